// Sensor programming: the configuration sequence, the readout window and its
// clamps, the Bayer phase, the staged apply after each frame and the pending
// word.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "camera/sensor.h"
#include "camera/transport.h"
#include "driver/data_range.h"
#include "host/nt/disks.h"
#include "host/nt/fault_plan.h"
#include "platform/atomics.h"
#include "tests/support/driver_fixture.h"
#include "tests/support/memory_disk.h"

namespace {

using testing_support::DriverTest;
using testing_support::LogSince;
using Lines = std::vector<std::string>;

const Lines GainWrites = {"W 305A 100E", "W 3056 100E", "W 305C 100E", "W 3058 100E",
                          "W 305E 100E"};

Lines Concat(std::initializer_list<Lines> parts) {
    Lines all;
    for (const Lines& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

class SensorTest : public DriverTest {
protected:
    void SetUp() override {
        DriverTest::SetUp();
        sim_ = AttachCamera();
        camera_ = AddDevice();
        ASSERT_NE(camera_, nullptr);
        // The values LoadSettings gives a device with an empty registry.
        camera_->Exposure = 8;
        camera_->GlobalGain = 14;
    }

    Lines ConfigureAndLog() {
        size_t first = sim_->Log().size();
        EXPECT_TRUE(camera_->ConfigureSensor());
        return LogSince(*sim_, first);
    }

    // Reads one frame and returns what the camera saw after the FRAME line.
    Lines ReadOneFrame() {
        std::vector<uint8_t> frame(camera_->FrameBytes);
        size_t first = sim_->Log().size();
        bool ok = false;
        EXPECT_TRUE(camera_->ReadFrame(frame.data(), &ok));
        Lines lines = LogSince(*sim_, first);
        EXPECT_FALSE(lines.empty());
        if (!lines.empty()) {
            EXPECT_EQ(lines.front().rfind("FRAME ", 0), 0u);
            lines.erase(lines.begin());
        }
        return lines;
    }

    std::shared_ptr<sim::SimCamera> sim_;
    CameraDevice* camera_ = nullptr;
};

TEST_F(SensorTest, ConfiguresAFreeWindow) {
    SetReadoutWindow(camera_, 0, 0, 640, 480, 0);
    EXPECT_EQ(ConfigureAndLog(),
              (Lines{"W 0104 0001", "W 0340 026F", "W 0342 0C00", "W 0344 0018", "W 0346 0000",
                     "W 0348 0297", "W 034A 01DF", "W 034C 0280", "W 034E 01E0", "W 0400 0000",
                     "W 0404 0010", "W 3018 0000", "W 3010 0094", "W 3014 03FC", "W 301A 10DE",
                     "W 0104 0000", "W 3040 0041", "END"}));
    // Open for the stream's capture thread.
    EXPECT_NE(camera_->LinkHandle, nullptr);
    EXPECT_EQ(camera_->PendingChanges, PendingAfterConfiguration);
    EXPECT_EQ(camera_->ReadModeShadow, ReadModeFull);
    EXPECT_EQ(camera_->FrameStride, 640);
    EXPECT_EQ(camera_->FrameBytes, 640u * 480u);
}

// A camera that missed a write of its configuration would stream another
// window: the rest of the sequence still goes out, but the configuration
// fails and the link closes.
TEST_F(SensorTest, AFailedConfigurationWriteFailsTheConfiguration) {
    SetReadoutWindow(camera_, 0, 0, 640, 480, 0);
    // The address phase of 0x0344 (its data phase is then not sent), and the
    // end of configuration.
    for (uint64_t write : {7u, 35u}) {
        const size_t first = sim_->Log().size();
        host::FailNthTransfer(host::FaultSite::DiskWrite, write, host::DiskFailure::Timeout);
        EXPECT_FALSE(camera_->ConfigureSensor()) << "write " << write;
        EXPECT_TRUE(host::PlannedFaultFired());
        EXPECT_EQ(camera_->LinkHandle, nullptr);
        const Lines lines = LogSince(*sim_, first);
        EXPECT_EQ(lines.size(), 17u) << "write " << write;
        EXPECT_EQ(lines.back() == "END", write != 35u) << "write " << write;
    }
    EXPECT_TRUE(camera_->ConfigureSensor());
    camera_->CloseLink();
}

TEST_F(SensorTest, ConfiguresAWideOddWindowWithColumnOffset) {
    SetReadoutWindow(camera_, 1001, 7, 2001, 99, 0);
    Lines lines = ConfigureAndLog();
    ASSERT_EQ(lines.size(), 18u);
    EXPECT_EQ(Lines(lines.begin() + 1, lines.begin() + 9),
              (Lines{"W 0340 00F2", "W 0342 1212", "W 0344 0401", "W 0346 0007", "W 0348 0BD1",
                     "W 034A 0069", "W 034C 07D1", "W 034E 0063"}));
}

TEST_F(SensorTest, ConfiguresBothSubsampleModes) {
    SetReadoutWindow(camera_, 0, 0, 0, 0, 1);
    Lines half = ConfigureAndLog();
    EXPECT_EQ(Lines(half.begin() + 1, half.begin() + 9),
              (Lines{"W 0340 06FB", "W 0342 1258", "W 0344 0018", "W 0346 0000", "W 0348 1138",
                     "W 034A 0CD8", "W 034C 0890", "W 034E 066C"}));
    EXPECT_EQ(half[16], "W 3040 00C3");
    EXPECT_EQ(camera_->FrameBytes, 3603968u);  // 2192 x 1644 = 3603648, rounded up

    SetReadoutWindow(camera_, 0, 0, 0, 0, 2);
    Lines quarter = ConfigureAndLog();
    EXPECT_EQ(Lines(quarter.begin() + 1, quarter.begin() + 9),
              (Lines{"W 0340 03C5", "W 0342 0A2C", "W 0344 0018", "W 0346 0000", "W 0348 1138",
                     "W 034A 0CD8", "W 034C 0448", "W 034E 0336"}));
    EXPECT_EQ(quarter[16], "W 3040 01C7");
    EXPECT_EQ(camera_->ReadModeShadow, ReadModeQuarter);
    EXPECT_EQ(camera_->FrameBytes, 901120u);  // 1096 x 822 = 900912, rounded up
}

TEST_F(SensorTest, StagedApplyOverTheFirstTenFrames) {
    SetReadoutWindow(camera_, 0, 0, 64, 64, 0);
    camera_->Red = 300;
    camera_->Green1 = 1;
    camera_->Green2 = 64;
    camera_->Blue = -5;
    camera_->FlipV = 1;
    ASSERT_TRUE(camera_->ConfigureSensor());
    ASSERT_NE(camera_->OpenLink(), nullptr);
    camera_->FrameCount = 0;

    const std::vector<Lines> expected = {
        Concat({{"W 0202 0008"}, GainWrites, {"W 3040 8041"}}),  // the word 0x7F
        {},
        {"W 0202 0008"},
        {},
        GainWrites,
        {"W 305A 107F"},
        {"W 3056 1001"},
        {"W 305C 1040"},
        {"W 3058 1000"},
        {},
    };
    for (size_t frame = 0; frame < expected.size(); ++frame) {
        EXPECT_EQ(ReadOneFrame(), expected[frame]) << "frame " << frame + 1;
    }
    // From the tenth frame on only what requests mark pending is written.
    AtomicOr(&camera_->PendingChanges, PendingRed | PendingExposure);
    EXPECT_EQ(ReadOneFrame(), (Lines{"W 0202 0008", "W 305A 107F"}));
    EXPECT_EQ(ReadOneFrame(), Lines{});
    camera_->CloseLink();
}

// A pause resets the frame counter while the capture thread may be in the
// staged apply: whatever value it sees, it writes only registers the staged
// apply writes, never one picked by a counter read a second time.
TEST_F(SensorTest, TheStagedApplyReadsTheCounterOnce) {
    SetReadoutWindow(camera_, 0, 0, 64, 64, 0);
    ASSERT_TRUE(camera_->ConfigureSensor());
    ASSERT_NE(camera_->OpenLink(), nullptr);
    size_t first = sim_->Log().size();
    std::atomic<bool> done{false};
    std::thread resets([&] {
        for (LONG value = 6; !done; value = value == 6 ? 0 : 6) {
            RelaxedWrite(&camera_->FrameCount, value);
        }
    });
    for (int apply = 0; apply < 100000; ++apply) {
        AtomicOr(&camera_->PendingChanges, PendingRed);
        ApplyStagedSettings(camera_);
    }
    done = true;
    resets.join();
    for (const std::string& line : LogSince(*sim_, first)) {
        const std::string address = line.substr(0, 6);
        ASSERT_TRUE(address == "W 0202" || address == "W 3040" || address == "W 305A" ||
                    address == "W 3056" || address == "W 305C" || address == "W 3058" ||
                    address == "W 305E")
            << line;
    }
    camera_->CloseLink();
}

TEST_F(SensorTest, ApplyAllWritesEveryGroupInOrder) {
    ASSERT_TRUE(camera_->ConfigureSensor());
    ASSERT_NE(camera_->OpenLink(), nullptr);
    size_t first = sim_->Log().size();
    camera_->ApplyPendingChanges(true);
    EXPECT_EQ(
        LogSince(*sim_, first),
        Concat({{"W 0202 0008"},
                GainWrites,
                {"W 3040 0041", "W 305A 103F", "W 3056 103F", "W 305C 103F", "W 3058 103F"}}));
    EXPECT_EQ(camera_->PendingChanges, 0u);
    camera_->CloseLink();
}

TEST_F(SensorTest, ABitSetWhileAnApplyRunsSurvivesToTheNext) {
    auto recorder = std::make_shared<testing_support::RecordingDisk>(sim_);
    // Re-plug the camera behind a recorder that marks red pending when the
    // exposure reaches the sensor, as a request on another thread could.
    host::DetachDisk(links_[0]);
    links_[0] = Attach(recorder);
    links_.pop_back();
    recorder->OnWrite([&](const testing_support::WrittenSector& sector) {
        if (sector.bytes[0] == 0x20 && sector.bytes[1] == 1 && sector.bytes[2] == 0 &&
            sector.bytes[3] == 8) {
            AtomicOr(&camera_->PendingChanges, PendingRed);
        }
    });
    ASSERT_NE(camera_->OpenLink(), nullptr);
    camera_->PendingChanges = PendingExposure;
    size_t first = sim_->Log().size();
    camera_->ApplyPendingChanges(false);
    EXPECT_EQ(LogSince(*sim_, first), Lines{"W 0202 0008"});
    EXPECT_EQ(camera_->PendingChanges, PendingRed);
    camera_->ApplyPendingChanges(false);
    EXPECT_EQ(LogSince(*sim_, first), (Lines{"W 0202 0008", "W 305A 103F"}));
    camera_->CloseLink();
}

TEST_F(SensorTest, AFlipReachesTheSensorAndMovesThePhase) {
    SetReadoutWindow(camera_, 0, 0, 64, 64, 0);
    ASSERT_TRUE(camera_->ConfigureSensor());
    ASSERT_NE(camera_->OpenLink(), nullptr);
    camera_->FlipV = 1;
    camera_->PendingChanges = PendingFlip;
    camera_->ApplyPendingChanges(false);
    EXPECT_EQ(camera_->ReadModeShadow, 0x8041u);
    EXPECT_EQ(camera_->BayerPhase, 1u);  // an even height flips the row parity
    camera_->FlipV = 0;
    camera_->PendingChanges = PendingFlip;
    camera_->ApplyPendingChanges(false);
    EXPECT_EQ(camera_->ReadModeShadow, 0x41u);
    EXPECT_EQ(camera_->BayerPhase, 0u);
    camera_->CloseLink();
}

TEST_F(SensorTest, AFailedReadModeWriteChangesNothingButConsumesTheBit) {
    SetReadoutWindow(camera_, 0, 0, 64, 64, 0);
    ASSERT_TRUE(camera_->ConfigureSensor());
    ASSERT_NE(camera_->OpenLink(), nullptr);
    camera_->FlipV = 1;
    camera_->PendingChanges = PendingFlip;
    sim_->FailNextTransfers(1);
    camera_->ApplyPendingChanges(false);
    EXPECT_EQ(camera_->ReadModeShadow, ReadModeFull);
    EXPECT_EQ(camera_->BayerPhase, 0u);
    EXPECT_EQ(camera_->PendingChanges, 0u);
    EXPECT_EQ(sim_->Register(RegisterReadMode), 0x41);
    camera_->CloseLink();
}

struct PhaseCase {
    LONG x, y, width, height;
    ULONG flipV, flipH;
    ULONG phase;
};

TEST_F(SensorTest, BayerPhaseFollowsOddOriginsAndFlips) {
    const PhaseCase cases[] = {
        {0, 0, 64, 64, 0, 0, 0},   {0, 1, 64, 64, 0, 0, 1},  {1, 0, 64, 64, 0, 0, 2},
        {1, 1, 64, 64, 0, 0, 3},   {1, 1, 101, 50, 1, 0, 2}, {0, 0, 64, 64, 1, 0, 1},
        {0, 0, 64, 65, 1, 0, 0},   {0, 0, 64, 64, 0, 1, 2},  {0, 0, 65, 64, 0, 1, 0},
        {3, 5, 100, 100, 1, 1, 0},
    };
    for (const PhaseCase& c : cases) {
        SetReadoutWindow(camera_, c.x, c.y, c.width, c.height, 0);
        camera_->FlipV = c.flipV;
        camera_->FlipH = c.flipH;
        EXPECT_EQ(ComputeBayerPhase(camera_), c.phase)
            << c.x << "," << c.y << " " << c.width << "x" << c.height << " flip " << c.flipV;
        EXPECT_EQ(camera_->BayerPhase, c.phase);
    }
}

TEST_F(SensorTest, BayerPhaseTakesParityOfNegativeValues) {
    camera_->RoiX = -3;
    camera_->RoiY = -4;
    EXPECT_EQ(ComputeBayerPhase(camera_), 2u);
}

}  // namespace
