// The fixture of the class-driver tests: the test minidriver loaded on a
// fresh host kernel with one device added and started; every test must leave
// nothing live.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "host/client/filter.h"
#include "host/client/pin.h"
#include "host/ks/device.h"
#include "host/nt/kernel_control.h"
#include "tests/host/ks/test_minidriver.h"

class KsTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::unique_ptr<client::Filter> OpenFilter();
    // A pin of the test format; its frame size is `sampleSize`.
    std::unique_ptr<client::Pin> CreatePin(client::Filter& filter, ULONG sampleSize = 1000);
    // Property request header of the test set.
    static KSPROPERTY Request(ULONG id, ULONG flags);

    std::unique_ptr<host::Driver> driver_;
    std::unique_ptr<host::Device> device_;
};

// With a filter open and a pin of the test format created on it.
class KsPinTest : public KsTest {
protected:
    void SetUp() override {
        KsTest::SetUp();
        filter_ = OpenFilter();
        pin_ = CreatePin(*filter_);
    }
    void TearDown() override {
        pin_.reset();
        filter_.reset();
        KsTest::TearDown();
    }

    std::unique_ptr<client::Filter> filter_;
    std::unique_ptr<client::Pin> pin_;
};

class KsDeathTest : public KsTest {
protected:
    void SetUp() override {
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        KsTest::SetUp();
    }
};
