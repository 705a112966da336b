// The fixture of the host kernel tests: every test must leave nothing live,
// and starts from a fresh kernel.
#pragma once

#include <gtest/gtest.h>

#include <ntddk.h>

#include "host/nt/kernel_control.h"

class KernelTest : public ::testing::Test {
protected:
    void SetUp() override { host::ResetKernel(); }
    void TearDown() override {
        EXPECT_EQ(host::CheckNoLeaks(), "");
        host::ResetKernel();
    }
};

// Death tests re-run the test binary so that threads of other tests cannot
// interfere.
class KernelDeathTest : public KernelTest {
protected:
    void SetUp() override {
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        KernelTest::SetUp();
    }
};
