// The fixture of the tests that run the probe image: a fresh host kernel,
// the image loaded and entered, its probe routines at hand.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include <ntddk.h>

#include "host/loader/driver_image.h"
#include "tests/host/nt/kernel_test.h"

// The probe routines in the order the image's DriverEntry stores them.
enum class Probe {
    WriteConstant,
    Read,
    CompareMemory,
    PoolRoundTrip,
    CountNonZeroBss,
    DataPointers,
    ImportedData,
    MemoryRoutines,
    Recurse,
    ExecuteData,
    Divide,
};

// Image code is called with the Microsoft convention.
using ProbeRoutine = __attribute__((ms_abi)) long long (*)(void* argument);

std::string ProbeImagePath();

class ProbeImageTest : public KernelTest {
protected:
    void SetUp() override;
    void TearDown() override;

    long long Call(Probe probe, void* argument = nullptr) const;
    void* RoutineAddress(Probe probe) const;

    std::unique_ptr<host::DriverImage> image_;
    DRIVER_OBJECT driver_{};
};

// Death tests re-run the test binary so that threads of other tests cannot
// interfere.
class ProbeImageDeathTest : public ProbeImageTest {
protected:
    void SetUp() override {
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        ProbeImageTest::SetUp();
    }
};
