// The simulated camera's sector protocol: identification, two-phase register
// writes, the end of configuration gating frames, the frame-ready flag, the
// event log, step mode, what the camera refuses and injected failures.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "sim_test_support.h"

namespace sim::test {
namespace {

using ::testing::ElementsAre;

const Window kSmallWindow = {0, 0, 32, 16, 0x41};

TEST(Identification, CameraWrongModelAndPlainDisk) {
    SimCamera camera(AtFrameRateZero(CoordinateScene()));
    std::vector<uint8_t> status = ReadStatus(camera);
    std::vector<uint8_t> expected(512, 0);
    std::copy_n("QUELMA", 6, expected.begin());
    expected[26] = 0x2D;
    expected[27] = 0x0A;
    EXPECT_EQ(status, expected);

    SimOptions options = AtFrameRateZero(CoordinateScene());
    options.identity = Identity::WrongModel;
    status = ReadStatus(*std::make_unique<SimCamera>(options));
    EXPECT_EQ(std::string(status.begin(), status.begin() + 6), "QUELMA");
    EXPECT_FALSE(status[26] == 0x2D && status[27] == 0x0A);
    options.identity = Identity::PlainDisk;
    EXPECT_EQ(ReadStatus(*std::make_unique<SimCamera>(options)), std::vector<uint8_t>(512, 0));
}

TEST(Identification, StatusSectorServedInsideLargerRead) {
    SimCamera camera(AtFrameRateZero(CoordinateScene()));
    std::vector<uint8_t> bytes(0x600, 0xEE);
    ASSERT_TRUE(camera.Read(0x1FE00, bytes.data(), bytes.size()));
    EXPECT_EQ(bytes[0x1FF], 0);
    EXPECT_EQ(bytes[0x200], 'Q');
    EXPECT_EQ(bytes[0x200 + 26], 0x2D);
    EXPECT_EQ(bytes[0x400], 0);
}

TEST(RegisterWrites, AddressThenDataWritesRegister) {
    SimCamera camera(AtFrameRateZero(CoordinateScene()));
    ASSERT_TRUE(WriteRegister(camera, 0x301A, 0x10DE));
    EXPECT_EQ(camera.Register(0x301A), 0x10DE);
    EXPECT_THAT(camera.Log(), ElementsAre("W 301A 10DE"));
}

TEST(RegisterWrites, AddressPhaseAloneWritesNothing) {
    SimCamera camera(AtFrameRateZero(CoordinateScene()));
    std::vector<uint8_t> sector(512, 0);
    sector[0] = 0x20;
    sector[2] = 0x30;
    sector[3] = 0x1A;
    ASSERT_TRUE(camera.Write(kCommandSectorOffset, sector.data(), sector.size()));
    EXPECT_EQ(camera.Register(0x301A), 0);
    EXPECT_TRUE(camera.Log().empty());
}

TEST(RegisterWrites, DataPhaseWithoutAddressIsIgnored) {
    SimCamera camera(AtFrameRateZero(CoordinateScene()));
    ASSERT_TRUE(WriteRegister(camera, 0x0202, 20));
    std::vector<uint8_t> sector(512, 0);
    sector[0] = 0x20;
    sector[1] = 1;
    sector[3] = 99;
    ASSERT_TRUE(camera.Write(kCommandSectorOffset, sector.data(), sector.size()));
    EXPECT_EQ(camera.Register(0x0202), 20);
    EXPECT_THAT(camera.Log(), ElementsAre("W 0202 0014"));
}

TEST(RegisterWrites, GlobalGainSetsAllChannelGains) {
    SimCamera camera(AtFrameRateZero(CoordinateScene()));
    ASSERT_TRUE(WriteRegister(camera, 0x305A, 0x1010));
    ASSERT_TRUE(WriteRegister(camera, 0x305E, 0x1020));
    for (uint16_t gain : {0x305A, 0x3056, 0x305C, 0x3058}) {
        EXPECT_EQ(camera.Register(gain), 0x1020) << std::hex << gain;
    }
}

TEST(Configuration, NoFrameReadyBeforeEndOfConfiguration) {
    SimCamera camera(AtFrameRateZero(CoordinateScene()));
    EXPECT_EQ(FrameReadyByte(camera), 0);
    WriteRegister(camera, 0x034C, 32);
    EXPECT_EQ(FrameReadyByte(camera), 0);
    EndConfiguration(camera);
    EXPECT_TRUE(camera.Configured());
    EXPECT_EQ(FrameReadyByte(camera), 1);
}

TEST(Configuration, ParameterHoldLowersFlagUntilNextEnd) {
    SimCamera camera(AtFrameRateZero(CoordinateScene()));
    Configure(camera, kSmallWindow);
    ASSERT_EQ(FrameReadyByte(camera), 1);
    WriteRegister(camera, 0x0104, 1);
    EXPECT_EQ(FrameReadyByte(camera), 0);
    WriteRegister(camera, 0x0104, 0);
    EXPECT_EQ(FrameReadyByte(camera), 0);
    EndConfiguration(camera);
    EXPECT_EQ(FrameReadyByte(camera), 1);
}

TEST(Configuration, EveryWindowRegisterLowersFlag) {
    for (uint16_t address : {0x0344, 0x0346, 0x0348, 0x034A, 0x034C, 0x034E}) {
        SimCamera camera(AtFrameRateZero(CoordinateScene()));
        Configure(camera, kSmallWindow);
        WriteRegister(camera, address, camera.Register(address));
        EXPECT_EQ(FrameReadyByte(camera), 0) << std::hex << address;
    }
}

TEST(Configuration, StreamingRegistersKeepFramesFlowing) {
    SimCamera camera(AtFrameRateZero(CoordinateScene()));
    Configure(camera, kSmallWindow);
    for (uint16_t address : {0x0202, 0x3040, 0x305A, 0x305E}) {
        WriteRegister(camera, address, camera.Register(address));
        EXPECT_EQ(FrameReadyByte(camera), 1) << std::hex << address;
    }
}

TEST(FrameReady, AtRateZeroEveryReadIsNewFrameOfCurrentRegisters) {
    SimCamera camera(AtFrameRateZero(SolidScene({100, 100, 100})));
    Configure(camera, kSmallWindow);
    EXPECT_EQ(ReadFrame(camera, 512)[0], 100);
    EXPECT_EQ(FrameReadyByte(camera), 1);
    WriteRegister(camera, 0x0202, 16);
    EXPECT_EQ(ReadFrame(camera, 512)[0], 200);
    EXPECT_EQ(camera.FramesRead(), 2u);
}

TEST(FrameReady, RisesOnePeriodAfterEndAndFallsWhenRead) {
    SimOptions options;
    options.scene = CoordinateScene();
    options.framesPerSecond = 4;  // a period long enough to look before its end
    SimCamera camera(options);
    Configure(camera, kSmallWindow);
    EXPECT_EQ(FrameReadyByte(camera), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(FrameReadyByte(camera), 1);
    ReadFrame(camera, 512);
    EXPECT_EQ(FrameReadyByte(camera), 0);
}

TEST(FrameReady, FrameKeepsRegistersOfItsPeriodEnd) {
    SimOptions options;
    options.scene = SolidScene({100, 100, 100});
    options.framesPerSecond = 20;
    SimCamera camera(options);
    Configure(camera, kSmallWindow);
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    WriteRegister(camera, 0x0202, 16);
    EXPECT_EQ(ReadFrame(camera, 512)[0], 100);
}

TEST(FrameReady, NeverRisesOptionKeepsFlagDown) {
    SimOptions options = AtFrameRateZero(CoordinateScene());
    options.frameReadyNeverRises = true;
    SimCamera camera(options);
    Configure(camera, kSmallWindow);
    EXPECT_EQ(FrameReadyByte(camera), 0);
    camera.SetFrameReadyNeverRises(false);
    EXPECT_EQ(FrameReadyByte(camera), 1);
}

TEST(StepMode, ReleasedFrameUsesRegistersAtRelease) {
    SimOptions options = AtFrameRateZero(SolidScene({100, 100, 100}));
    options.holdFrames = true;
    SimCamera camera(options);
    Configure(camera, kSmallWindow);
    camera.ReleaseFrame();
    WriteRegister(camera, 0x0202, 16);
    EXPECT_EQ(ReadFrame(camera, 512)[0], 100);
    camera.ReleaseFrame();
    EXPECT_EQ(ReadFrame(camera, 512)[0], 200);
}

TEST(StepMode, HoldOverridesFrameRate) {
    SimOptions options;
    options.scene = CoordinateScene();
    options.framesPerSecond = 1000;
    SimCamera camera(options);
    camera.HoldFrames(true);
    Configure(camera, kSmallWindow);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(FrameReadyByte(camera), 0);
    camera.HoldFrames(false);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(FrameReadyByte(camera), 1);
}

// What a camera refuses: each refusal is also a violation on record.
TEST(Strictness, WritesOutsideTheRegisterMapAreIgnored) {
    SimCamera camera(AtFrameRateZero(CoordinateScene()));
    Configure(camera, kSmallWindow);
    const size_t logged = camera.Log().size();
    ASSERT_TRUE(WriteRegister(camera, 0x3041, 0x1234));
    ASSERT_TRUE(WriteRegister(camera, 0x0000, 1));
    EXPECT_EQ(camera.Register(0x3041), 0);
    EXPECT_EQ(camera.Log().size(), logged);
    EXPECT_EQ(FrameReadyByte(camera), 1);
    EXPECT_THAT(camera.Violations(),
                ElementsAre("write of 0x1234 to 0x3041, which the sensor does not have",
                            "write of 0x1 to 0x0, which the sensor does not have"));
    for (uint16_t address : {0x0104, 0x0202, 0x0340, 0x0342, 0x0400, 0x0404, 0x3010, 0x3014, 0x3018,
                             0x301A, 0x3040, 0x305E}) {
        WriteRegister(camera, address, 0x1001);
        EXPECT_EQ(camera.Register(address), 0x1001) << std::hex << address;
    }
    EXPECT_EQ(camera.Violations().size(), 2u);
}

TEST(Strictness, NoFrameIsServedWhileTheFlagIsDown) {
    SimOptions options = AtFrameRateZero(SolidScene({100, 100, 100}));
    options.holdFrames = true;
    SimCamera camera(options);
    EXPECT_FALSE(camera.ReleaseFrame()) << "nothing to release before the configuration";
    Configure(camera, kSmallWindow);
    EXPECT_EQ(FrameReadyByte(camera), 0);
    EXPECT_EQ(ReadFrame(camera, 512), std::vector<uint8_t>(512, 0));
    EXPECT_EQ(camera.FramesRead(), 0u);
    ASSERT_TRUE(camera.ReleaseFrame());
    EXPECT_EQ(ReadFrame(camera, 512)[0], 100);
    EXPECT_EQ(ReadFrame(camera, 512)[0], 0);
    EXPECT_EQ(camera.FramesRead(), 1u);
    EXPECT_THAT(camera.Violations(), ElementsAre("frame read with the frame-ready flag down",
                                                 "frame read with the frame-ready flag down"));
}

TEST(Strictness, AFrameReadOfTheWrongLengthFailsAndKeepsTheFrame) {
    SimOptions options = AtFrameRateZero(SolidScene({100, 100, 100}));
    options.holdFrames = true;
    SimCamera camera(options);
    Configure(camera, {0, 0, 100, 33, 0x41});
    ASSERT_TRUE(camera.ReleaseFrame());
    std::vector<uint8_t> buffer(3584 + 512);
    EXPECT_FALSE(camera.Read(kFrameDataOffset, buffer.data(), 3584 - 512));
    EXPECT_FALSE(camera.Read(kFrameDataOffset, buffer.data(), 3584 + 512));
    EXPECT_EQ(FrameReadyByte(camera), 1);
    EXPECT_EQ(ReadFrame(camera, 3584)[3299], 100);
    EXPECT_THAT(camera.Violations(),
                ElementsAre("frame read of 3072 bytes; the 100 x 33 window needs 3584",
                            "frame read of 4096 bytes; the 100 x 33 window needs 3584"));
}

TEST(InjectedFailures, FailedCommandsNeverReachRegisters) {
    SimCamera camera(AtFrameRateZero(CoordinateScene()));
    camera.FailNextTransfers(1);
    EXPECT_FALSE(WriteRegister(camera, 0x0202, 16));
    EXPECT_EQ(camera.Register(0x0202), 8);
    EXPECT_TRUE(WriteRegister(camera, 0x0202, 16));
    EXPECT_EQ(camera.Register(0x0202), 16);
    EXPECT_THAT(camera.Log(), ElementsAre("W 0202 0010"));
}

TEST(InjectedFailures, FailedFrameReadLeavesFrameWaiting) {
    SimOptions options = AtFrameRateZero(CoordinateScene());
    options.holdFrames = true;
    SimCamera camera(options);
    Configure(camera, kSmallWindow);
    camera.ReleaseFrame();
    camera.FailNextTransfers(2);
    std::vector<uint8_t> buffer(512);
    EXPECT_FALSE(camera.Read(kStatusSectorOffset, buffer.data(), buffer.size()));
    EXPECT_FALSE(camera.Read(kFrameDataOffset, buffer.data(), buffer.size()));
    EXPECT_EQ(camera.FramesRead(), 0u);
    EXPECT_EQ(FrameReadyByte(camera), 1);
}

TEST(TransferModel, LatencyDelaysEveryTransfer) {
    SimOptions options = AtFrameRateZero(CoordinateScene());
    options.timing.latency = std::chrono::milliseconds(20);
    SimCamera camera(options);
    auto start = std::chrono::steady_clock::now();
    ReadStatus(camera);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(20));
}

TEST(EventLog, RecordsWritesEndAndFramesInOrder) {
    SimCamera camera(AtFrameRateZero(CoordinateScene()));
    WriteRegister(camera, 0x034C, 32);
    WriteRegister(camera, 0x034E, 16);
    EndConfiguration(camera);
    ReadFrame(camera, 512);
    WriteRegister(camera, 0x0202, 0xABC);
    ReadFrame(camera, 512);
    EXPECT_THAT(camera.Log(), ElementsAre("W 034C 0020", "W 034E 0010", "END", "FRAME 1",
                                          "W 0202 0ABC", "FRAME 2"));
}

TEST(EventLog, WritesOneEventPerLine) {
    SimCamera camera(AtFrameRateZero(CoordinateScene()));
    WriteRegister(camera, 0x3040, 0x80C3);
    EndConfiguration(camera);
    std::string path = ::testing::TempDir() + "sim-log.txt";
    camera.WriteLog(path);
    std::ifstream file(path);
    std::string text((std::istreambuf_iterator<char>(file)), {});
    EXPECT_EQ(text, "W 3040 80C3\nEND\n");
    std::remove(path.c_str());
}

// A capture thread polls and reads while the test releases frames and writes
// registers: every released frame is read exactly once and logged in order.
TEST(Concurrency, CaptureThreadAndTestShareTheCamera) {
    SimOptions options = AtFrameRateZero(CoordinateScene());
    options.holdFrames = true;
    SimCamera camera(options);
    Configure(camera, kSmallWindow);
    constexpr int kFrames = 50;
    std::thread capture([&camera] {
        for (int read = 0; read < kFrames;) {
            if (FrameReadyByte(camera) == 1) {
                ReadFrame(camera, 512);
                ++read;
            }
        }
    });
    for (int released = 0; released < kFrames;) {
        if (FrameReadyByte(camera) == 0 && camera.ReleaseFrame()) {
            ++released;
        }
        WriteRegister(camera, 0x0202, static_cast<uint16_t>(released));
    }
    capture.join();
    EXPECT_EQ(camera.FramesRead(), static_cast<uint64_t>(kFrames));
    std::vector<std::string> log = camera.Log();
    EXPECT_EQ(std::count(log.begin(), log.end(), "FRAME " + std::to_string(kFrames)), 1);
}

}  // namespace
}  // namespace sim::test
