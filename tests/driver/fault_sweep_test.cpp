// Fault sweeps over the driver's whole life: load, device start, filter,
// pin, a few frames, property traffic, stop, close, unload. For each kind of
// failing kernel service, run N fails its Nth call, for N = 1, 2, 3, ...
// until a run no longer reaches the Nth call. Every run must end without a
// crash or a hang, with every pool block freed and every handle closed, and
// with an error status (never a success) wherever the client was refused;
// and a clean run right after it on the same host must succeed throughout.
#include <gtest/gtest.h>

#include <ksmedia.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "diskcam/controls.h"
#include "host/client/filter.h"
#include "host/client/pin.h"
#include "host/ks/device.h"
#include "host/nt/devices.h"
#include "host/nt/disks.h"
#include "host/nt/fault_plan.h"
#include "host/nt/kernel_control.h"
#include "host/nt/registry_store.h"
#include "host/system/driver_module.h"
#include "sim/sim_camera.h"
#include "tests/support/capture_fixture.h"
#include "tests/support/watchdog.h"

namespace driver_test {
namespace {

constexpr int Frames = 10;
// A run whose registry fails keeps the full-sensor window, slow under the
// sanitizers.
constexpr std::chrono::milliseconds FramePatience{60000};
// A hang is a run that takes longer than this.
constexpr std::chrono::seconds HangLimit{600};

// What one life did: the steps the driver refused, and whether every step
// succeeded.
struct Life {
    std::vector<std::string> refusals;
    bool clean() const { return refusals.empty(); }
};

std::string Hex(NTSTATUS status) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(status));
    return text;
}

// Records a refused step; false when it was refused. A refusal must be an
// error status: a warning or an informational status passed off as a
// refusal would leave the client unsure.
bool Step(Life& life, const char* step, NTSTATUS status) {
    if (NT_SUCCESS(status)) {
        return true;
    }
    EXPECT_TRUE(NT_ERROR(status)) << step << " refused with " << Hex(status);
    life.refusals.push_back(std::string(step) + ": " + Hex(status));
    return false;
}

void Stream(Life& life, client::Filter& filter, client::Pin& pin) {
    if (!Step(life, "run", pin.SetState(KSSTATE_RUN))) {
        return;
    }
    for (int frame = 0; frame < Frames; ++frame) {
        auto buffer = pin.NewBuffer();
        if (!Step(life, "queue", pin.Queue(std::move(buffer)))) {
            continue;
        }
        std::unique_ptr<client::StreamBuffer> done = pin.WaitForCompleted(FramePatience);
        ASSERT_NE(done, nullptr) << "a queued buffer never came back";
        Step(life, "frame", done->status);
    }
    int32_t exposure = 20;
    Step(life, "set Exposure", Control(filter, 2, diskcam::ControlSet, &exposure));
    Step(life, "get Exposure", Control(filter, 2, diskcam::ControlGet, &exposure));
    Step(life, "stop", pin.SetState(KSSTATE_STOP));
}

void UseFilter(Life& life, const std::string& path) {
    std::unique_ptr<client::Filter> filter;
    if (!Step(life, "open filter", client::Filter::Open(path, &filter))) {
        return;
    }
    std::vector<std::vector<UCHAR>> ranges = filter->DataRanges(0);
    ASSERT_EQ(ranges.size(), 3u);
    std::vector<UCHAR> format;
    const client::RequestResult proposal =
        filter->Intersect(0, ranges[0].data(), static_cast<ULONG>(ranges[0].size()),
                          sizeof(KS_DATAFORMAT_VIDEOINFOHEADER), &format);
    if (!Step(life, "intersect", proposal.status)) {
        return;
    }
    std::unique_ptr<client::Pin> pin;
    if (Step(life, "create pin",
             filter->CreatePin(0, format.data(), static_cast<ULONG>(format.size()), &pin))) {
        Stream(life, *filter, *pin);
    }
}

void UseDevice(Life& life, host::Driver& driver) {
    host::Device device(driver);
    if (!Step(life, "device add", device.Add())) {
        return;
    }
    // A small window keeps each run short.
    const std::string settings = host::DriverKeyPath(device.PhysicalDeviceObject()) + "\\Settings";
    host::RegistrySetDword(settings, "RoiW", 64);
    host::RegistrySetDword(settings, "RoiH", 32);
    if (!Step(life, "device start", device.Start())) {
        return;
    }
    const GUID capture = {STATIC_KSCATEGORY_CAPTURE};
    std::vector<std::string> filters = client::FindFilters(capture);
    if (filters.empty()) {
        life.refusals.push_back("no capture filter");
        return;
    }
    UseFilter(life, filters.front());
}

// One life on a fresh host kernel; `arm` plans the fault once the camera is
// attached and before the driver loads.
Life RunLife(const std::function<void()>& arm) {
    host::ResetKernel();
    sim::SimOptions options;
    options.framesPerSecond = 0;
    options.timing = sim::TransferTiming::Instant();
    auto camera = std::make_shared<sim::SimCamera>(options);
    const std::u16string link = host::AttachDisk(camera);
    arm();
    Life life;
    {
        host::DriverModule module(host::DriverFileFromEnvironment());
        host::Driver driver(module.Entry());
        if (Step(life, "driver entry", driver.EntryStatus())) {
            UseDevice(life, driver);
        }
    }
    host::ClearPlannedFault();
    EXPECT_EQ(host::CheckNoLeaks(), "") << "after unload";
    EXPECT_EQ(camera->Violations(), std::vector<std::string>{});
    host::DetachDisk(link);
    return life;
}

int FailedParts() {
    const ::testing::TestResult* result =
        ::testing::UnitTest::GetInstance()->current_test_info()->result();
    int failed = 0;
    for (int part = 0; part < result->total_part_count(); ++part) {
        failed += result->GetTestPartResult(part).failed();
    }
    return failed;
}

// Runs the sweep for one way of failing; returns the number of faulted runs.
uint64_t Sweep(const std::string& what, const std::function<void(uint64_t)>& failNth) {
    const int failedBefore = FailedParts();
    for (uint64_t n = 1;; ++n) {
        Life faulted;
        {
            testing_support::Watchdog watch(HangLimit, "a fault-sweep run");
            faulted = RunLife([&] { failNth(n); });
        }
        const bool fired = host::PlannedFaultFired();
        if (FailedParts() != failedBefore) {
            ADD_FAILURE() << what << " " << n << " failed; refused: "
                          << (faulted.clean() ? "nothing" : faulted.refusals.front());
            return n;
        }
        Life clean = RunLife([] {});
        EXPECT_TRUE(clean.clean()) << "the run after " << what << " " << n << ": "
                                   << (clean.clean() ? "" : clean.refusals.front());
        if (!fired || FailedParts() != failedBefore) {
            std::printf("fault sweep: %s, %llu calls failed one at a time\n", what.c_str(),
                        static_cast<unsigned long long>(n - 1));
            return n - 1;
        }
    }
}

class FaultSweep : public ::testing::Test {
protected:
    void TearDown() override { host::ResetKernel(); }

    static uint64_t SweepCalls(host::FaultSite site, NTSTATUS status) {
        return Sweep(host::FaultSiteName(site),
                     [=](uint64_t n) { host::FailNthCall(site, n, status); });
    }

    static uint64_t SweepTransfers(host::FaultSite site) {
        uint64_t runs = 0;
        for (host::DiskFailure failure :
             {host::DiskFailure::NotConnected, host::DiskFailure::NoSuchDevice,
              host::DiskFailure::Timeout, host::DiskFailure::ShortTransfer}) {
            runs += Sweep(std::string(host::FaultSiteName(site)) + " (" +
                              host::DiskFailureName(failure) + ")",
                          [=](uint64_t n) { host::FailNthTransfer(site, n, failure); });
        }
        return runs;
    }
};

TEST_F(FaultSweep, EveryPoolAllocation) {
    EXPECT_GT(SweepCalls(host::FaultSite::PoolAllocation, STATUS_INSUFFICIENT_RESOURCES), 0u);
}

TEST_F(FaultSweep, EveryDiskRead) {
    EXPECT_GT(SweepTransfers(host::FaultSite::DiskRead), 0u);
}

TEST_F(FaultSweep, EveryDiskWrite) {
    EXPECT_GT(SweepTransfers(host::FaultSite::DiskWrite), 0u);
}

TEST_F(FaultSweep, EveryRegistryCall) {
    EXPECT_GT(SweepCalls(host::FaultSite::RegistryCall, STATUS_INSUFFICIENT_RESOURCES), 0u);
}

TEST_F(FaultSweep, EveryThreadCreation) {
    EXPECT_GT(SweepCalls(host::FaultSite::ThreadCreation, STATUS_INSUFFICIENT_RESOURCES), 0u);
}

}  // namespace
}  // namespace driver_test
