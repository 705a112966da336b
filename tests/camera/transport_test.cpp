// The sector protocol: exact command bytes, transfers only over an open link,
// frames only when the status sector says one is ready, and frame lengths.
#include <gtest/gtest.h>

#include <vector>

#include "camera/sensor.h"
#include "camera/transport.h"
#include "host/nt/disks.h"
#include "platform/atomics.h"
#include "tests/support/driver_fixture.h"
#include "tests/support/memory_disk.h"

namespace {

using testing_support::DriverTest;
using testing_support::MemoryDisk;
using testing_support::RecordingDisk;

std::vector<uint8_t> Command(uint8_t code, uint8_t phase, uint8_t high, uint8_t low) {
    std::vector<uint8_t> sector(512, 0);
    sector[0] = code;
    sector[1] = phase;
    sector[2] = high;
    sector[3] = low;
    return sector;
}

class TransportTest : public DriverTest {
protected:
    void SetUp() override {
        DriverTest::SetUp();
        sim_ = std::make_shared<sim::SimCamera>(Immediate());
        recorder_ = std::make_shared<RecordingDisk>(sim_);
        Watch(sim_);
        Attach(recorder_);
        camera_ = AddDevice();
        ASSERT_NE(camera_, nullptr);
    }

    std::shared_ptr<sim::SimCamera> sim_;
    std::shared_ptr<RecordingDisk> recorder_;
    CameraDevice* camera_ = nullptr;
};

TEST_F(TransportTest, RegisterWriteSendsAddressThenDataSector) {
    ASSERT_NE(camera_->OpenLink(), nullptr);
    ASSERT_TRUE(WriteSensorRegister(camera_, 0x301A, 0x10DE));
    camera_->CloseLink();

    auto writes = recorder_->Writes();
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[0].offset, 0x20200u);
    EXPECT_EQ(writes[0].bytes, Command(0x20, 0, 0x30, 0x1A));
    EXPECT_EQ(writes[1].offset, 0x20200u);
    EXPECT_EQ(writes[1].bytes, Command(0x20, 1, 0x10, 0xDE));
    EXPECT_EQ(sim_->Register(0x301A), 0x10DE);
}

TEST_F(TransportTest, EndOfConfigurationIsOneSector) {
    ASSERT_NE(camera_->OpenLink(), nullptr);
    SendEndOfConfiguration(camera_);
    camera_->CloseLink();
    auto writes = recorder_->Writes();
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].offset, 0x20200u);
    EXPECT_EQ(writes[0].bytes, Command(0x10, 0, 0, 0));
}

TEST_F(TransportTest, AFailedAddressPhaseSendsNoData) {
    ASSERT_NE(camera_->OpenLink(), nullptr);
    recorder_->FailNextTransfers(1);
    EXPECT_FALSE(WriteSensorRegister(camera_, 0x0202, 99));
    EXPECT_TRUE(recorder_->Writes().empty());
    recorder_->FailNextTransfers(0);
    camera_->CloseLink();
}

TEST_F(TransportTest, AFailedDataPhaseFailsTheWrite) {
    ASSERT_NE(camera_->OpenLink(), nullptr);
    recorder_->OnWrite(
        [&](const testing_support::WrittenSector&) { recorder_->FailNextTransfers(1); });
    EXPECT_FALSE(WriteSensorRegister(camera_, 0x0202, 99));
    EXPECT_EQ(recorder_->Writes().size(), 1u);
    camera_->CloseLink();
}

TEST_F(TransportTest, NothingIsTransferredWithTheLinkClosed) {
    std::vector<uint8_t> frame(camera_->FrameBytes + 512);
    bool ok = true;
    EXPECT_FALSE(WriteSensorRegister(camera_, 0x0202, 1));
    SendEndOfConfiguration(camera_);
    EXPECT_FALSE(camera_->ReadFrame(frame.data(), &ok));
    EXPECT_FALSE(ok);
    EXPECT_TRUE(recorder_->Writes().empty());
    EXPECT_EQ(recorder_->Reads(), 0u);
}

TEST_F(TransportTest, ReadsAFrameOnlyWhenTheFlagIsUp) {
    SetReadoutWindow(camera_, 0, 0, 64, 64, 0);
    ASSERT_TRUE(camera_->ConfigureSensor());
    std::vector<uint8_t> frame(4096);
    bool ok = false;

    // Before the end of configuration reaches the camera its flag is down:
    // reopen and lower it with a parameter hold.
    ASSERT_NE(camera_->OpenLink(), nullptr);
    WriteSensorRegister(camera_, RegisterParameterHold, 1);
    size_t readsBefore = recorder_->Reads();
    EXPECT_FALSE(camera_->ReadFrame(frame.data(), &ok));
    EXPECT_EQ(recorder_->Reads(), readsBefore + 1) << "only the status sector is read";
    EXPECT_EQ(camera_->FrameCount, 0);

    SendEndOfConfiguration(camera_);
    EXPECT_TRUE(camera_->ReadFrame(frame.data(), &ok));
    EXPECT_TRUE(ok);
    EXPECT_EQ(camera_->FrameCount, 1);
    EXPECT_EQ(sim_->FramesRead(), 1u);
    camera_->CloseLink();
}

class StatusSectorTest : public DriverTest {
protected:
    // A camera disk whose status sector the test writes: 64 x 64 frames of
    // 4096 bytes, with `frameBytes` of frame data present on the disk.
    CameraDevice* AttachStaticCamera(uint8_t frameReady, size_t frameBytes) {
        disk_ = std::make_shared<MemoryDisk>(0x20400 + frameBytes);
        disk_->WriteIdentification(0x2D, 0x0A, frameReady);
        for (size_t index = 0; index < frameBytes; ++index) {
            *disk_->At(0x20400 + index) = static_cast<uint8_t>(index * 7);
        }
        recorder_ = std::make_shared<RecordingDisk>(disk_);
        Attach(recorder_);
        CameraDevice* camera = AddDevice();
        SetReadoutWindow(camera, 0, 0, 64, 64, 0);
        EXPECT_TRUE(camera->ConfigureSensor());
        EXPECT_NE(camera->OpenLink(), nullptr);
        return camera;
    }

    std::shared_ptr<MemoryDisk> disk_;
    std::shared_ptr<RecordingDisk> recorder_;
};

TEST_F(StatusSectorTest, AFlagOtherThanOneYieldsNoFrame) {
    for (uint8_t flag : {0, 2, 0xFF}) {
        CameraDevice* camera = AttachStaticCamera(flag, 4096);
        std::vector<uint8_t> frame(4096, 0xEE);
        bool ok = true;
        size_t reads = recorder_->Reads();
        EXPECT_FALSE(camera->ReadFrame(frame.data(), &ok)) << "flag " << int(flag);
        EXPECT_FALSE(ok);
        EXPECT_EQ(recorder_->Reads(), reads + 1);
        EXPECT_EQ(frame, std::vector<uint8_t>(4096, 0xEE));
        camera->CloseLink();
        devices_.clear();
        host::DetachDisk(links_.back());
        links_.pop_back();
    }
}

TEST_F(StatusSectorTest, AReadyFrameIsReadWholeFromItsOffset) {
    CameraDevice* camera = AttachStaticCamera(1, 4096);
    std::vector<uint8_t> frame(4096);
    bool ok = false;
    ASSERT_TRUE(camera->ReadFrame(frame.data(), &ok));
    EXPECT_TRUE(ok);
    for (size_t index = 0; index < frame.size(); ++index) {
        ASSERT_EQ(frame[index], static_cast<uint8_t>(index * 7)) << index;
    }
    EXPECT_EQ(camera->FrameCount, 1);
    camera->CloseLink();
}

TEST_F(StatusSectorTest, AFailedFrameReadIsNotCountedButSaysTheBufferWasWritten) {
    // The disk ends before the frame does: the frame read fails, after the
    // transfer into the buffer began.
    CameraDevice* camera = AttachStaticCamera(1, 1024);
    std::vector<uint8_t> frame(4096);
    bool ok = true;
    EXPECT_TRUE(camera->ReadFrame(frame.data(), &ok));
    EXPECT_FALSE(ok);
    EXPECT_EQ(camera->FrameCount, 0);
    camera->CloseLink();
}

TEST_F(TransportTest, FrameBytesAreTheWindowRoundedUpToSectors) {
    const struct {
        LONG width, height;
        ULONG bytes;
    } cases[] = {{4384, 3288, 14414848}, {100, 33, 3584}, {64, 64, 4096}, {100, 100, 10240}};
    for (const auto& c : cases) {
        SetReadoutWindow(camera_, 0, 0, c.width, c.height, 0);
        ASSERT_TRUE(camera_->ConfigureSensor());
        ULONG bytes = 0;
        camera_->GetFrameBytes(&bytes);
        EXPECT_EQ(bytes, c.bytes) << c.width << " x " << c.height;
        LONG stride = 0, offset = -1;
        camera_->GetFrameStride(&stride);
        camera_->GetFrameOffset(&offset);
        EXPECT_EQ(stride, c.width);
        EXPECT_EQ(offset, 0);
    }
}

}  // namespace
