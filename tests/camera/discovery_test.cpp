// Finding the camera among the disks: identification, order, selection by
// CameraNo, and that every disk not selected is closed again.
#include <gtest/gtest.h>

#include "camera/sensor.h"
#include "camera/transport.h"
#include "host/nt/disks.h"
#include "platform/disk.h"
#include "tests/support/driver_fixture.h"
#include "tests/support/memory_disk.h"

namespace {

using testing_support::DriverTest;
using testing_support::MemoryDisk;

class DiscoveryTest : public DriverTest {
protected:
    // The camera the link reaches: the one whose register file sees a write.
    int LinkedCamera(CameraDevice* camera,
                     const std::vector<std::shared_ptr<sim::SimCamera>>& all) {
        const USHORT marker = ++marker_;
        EXPECT_TRUE(WriteSensorRegister(camera, RegisterTiming0404, marker));
        int found = -1;
        for (size_t index = 0; index < all.size(); ++index) {
            if (all[index]->Register(RegisterTiming0404) == marker) {
                EXPECT_EQ(found, -1) << "two cameras took the write";
                found = static_cast<int>(index);
            }
        }
        return found;
    }

    // True when nobody holds the disk: an exclusive open succeeds.
    static bool IsClosed(const std::u16string& link) {
        HANDLE handle;
        if (!OpenDisk(reinterpret_cast<PCWSTR>(link.c_str()), &handle)) {
            return false;
        }
        CloseDisk(handle);
        return true;
    }

    std::shared_ptr<MemoryDisk> AttachMemoryDisk(uint8_t model0, uint8_t model1) {
        auto disk = std::make_shared<MemoryDisk>(0x40000);
        disk->WriteIdentification(model0, model1, 0);
        Attach(disk);
        return disk;
    }

    USHORT marker_ = 0x1000;

    std::vector<std::shared_ptr<sim::SimCamera>> AttachCameras(int count) {
        std::vector<std::shared_ptr<sim::SimCamera>> cameras;
        for (int index = 0; index < count; ++index) {
            cameras.push_back(AttachCamera());
        }
        return cameras;
    }
};

TEST_F(DiscoveryTest, SkipsPlainDisksAndOtherModelsAndKeepsDiskOrder) {
    auto plain = std::make_shared<MemoryDisk>(0x40000);
    Attach(plain);
    auto first = AttachCamera();
    AttachMemoryDisk(0x2D, 0x0B);
    AttachMemoryDisk(0x0A, 0x2D);
    sim::SimOptions wrongModel = Immediate();
    wrongModel.identity = sim::Identity::WrongModel;
    AttachCamera(wrongModel);
    auto second = AttachCamera();

    CameraDevice* camera = AddDevice();
    for (LONG cameraNo : {0, 1}) {
        camera->CameraNo = cameraNo;
        ASSERT_NE(camera->OpenLink(), nullptr);
        EXPECT_EQ(LinkedCamera(camera, {first, second}), cameraNo);
        camera->CloseLink();
    }
}

TEST_F(DiscoveryTest, CameraNoBeyondTheCountTakesTheLastAndNegativeTheFirst) {
    auto cameras = AttachCameras(3);
    CameraDevice* camera = AddDevice();
    const std::pair<LONG, int> cases[] = {{7, 2}, {-1, 0}, {1, 1}, {3, 2}, {-2147483647 - 1, 0}};
    for (auto [cameraNo, expected] : cases) {
        camera->CameraNo = cameraNo;
        ASSERT_NE(camera->OpenLink(), nullptr);
        EXPECT_EQ(LinkedCamera(camera, cameras), expected) << "CameraNo " << cameraNo;
        for (size_t index = 0; index < cameras.size(); ++index) {
            EXPECT_EQ(IsClosed(links_[index]), static_cast<int>(index) != expected);
        }
        camera->CloseLink();
    }
}

TEST_F(DiscoveryTest, KeepsAtMostThirtyTwoCamerasAndClosesTheRest) {
    auto cameras = AttachCameras(34);
    CameraDevice* camera = AddDevice();
    camera->CameraNo = 40;
    ASSERT_NE(camera->OpenLink(), nullptr);
    EXPECT_EQ(LinkedCamera(camera, cameras), 31);
    for (size_t index = 0; index < cameras.size(); ++index) {
        EXPECT_EQ(IsClosed(links_[index]), index != 31) << "disk " << index;
    }
    camera->CloseLink();
}

TEST_F(DiscoveryTest, SkipsADiskWhoseIdentificationReadFails) {
    auto cameras = AttachCameras(2);
    cameras[0]->FailNextTransfers(1);
    CameraDevice* camera = AddDevice();
    ASSERT_NE(camera->OpenLink(), nullptr);
    EXPECT_EQ(LinkedCamera(camera, cameras), 1);
    EXPECT_TRUE(IsClosed(links_[0]));
    camera->CloseLink();
}

TEST_F(DiscoveryTest, SkipsADiskSomebodyElseHoldsOpen) {
    auto cameras = AttachCameras(2);
    HANDLE held;
    ASSERT_TRUE(OpenDisk(reinterpret_cast<PCWSTR>(links_[0].c_str()), &held));
    CameraDevice* camera = AddDevice();
    ASSERT_NE(camera->OpenLink(), nullptr);
    EXPECT_EQ(LinkedCamera(camera, cameras), 1);
    camera->CloseLink();
    CloseDisk(held);
}

TEST_F(DiscoveryTest, NoCameraMeansNoLinkAndNoConfiguration) {
    Attach(std::make_shared<MemoryDisk>(0x40000));
    CameraDevice* camera = AddDevice();
    EXPECT_EQ(camera->OpenLink(), nullptr);
    EXPECT_EQ(camera->LinkHandle, nullptr);
    EXPECT_FALSE(camera->ConfigureSensor());
    EXPECT_TRUE(IsClosed(links_[0]));
}

TEST_F(DiscoveryTest, NoDiskListMeansNoCamera) {
    AttachCamera();
    CameraDevice* camera = AddDevice();
    host::FailNextDeviceInterfaceQueries(1);
    EXPECT_EQ(camera->OpenLink(), nullptr);
    EXPECT_NE(camera->OpenLink(), nullptr);
    camera->CloseLink();
}

TEST_F(DiscoveryTest, OpenLinkTwiceHoldsOneHandle) {
    AttachCamera();
    CameraDevice* camera = AddDevice();
    ASSERT_NE(camera->OpenLink(), nullptr);
    // The first handle is closed before discovery, or the exclusive open of
    // the only camera would fail.
    ASSERT_NE(camera->OpenLink(), nullptr);
    camera->CloseLink();
    EXPECT_EQ(camera->LinkHandle, nullptr);
    EXPECT_TRUE(IsClosed(links_[0]));
}

}  // namespace
