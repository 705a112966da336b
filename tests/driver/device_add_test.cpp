// Device add: the CameraDevice joins the device's object bag, becomes its
// context and carries the construction values; a failing pool or bag leaves
// nothing behind.
#include <gtest/gtest.h>

#include "camera/camera_device.h"
#include "driver/data_range.h"
#include "driver/device.h"
#include "host/nt/pool_control.h"
#include "platform/pool.h"
#include "tests/support/driver_fixture.h"

namespace {

using testing_support::DriverTest;

TEST_F(DriverTest, DriverEntryRegistersTheDeviceDescriptor) {
    const KSDEVICE_DESCRIPTOR* descriptor = driver_->Descriptor();
    ASSERT_EQ(descriptor, &CaptureDeviceDescriptor);
    EXPECT_EQ(descriptor->FilterDescriptorsCount, 0u);
    EXPECT_EQ(descriptor->FilterDescriptors, nullptr);
    EXPECT_EQ(descriptor->Version, 0u);
    EXPECT_EQ(descriptor->Dispatch->Add, DeviceAdd);
}

TEST_F(DriverTest, DeviceAddSetsTheConstructionValues) {
    CameraDevice* camera = AddDevice();
    ASSERT_NE(camera, nullptr);
    KSDEVICE* device = LastDevice().Ks();
    EXPECT_EQ(camera->Device, device);
    EXPECT_EQ(camera->PhysicalDeviceObject, device->PhysicalDeviceObject);
    // The device's published descriptors and the CameraDevice.
    EXPECT_EQ(LastDevice().BagSize(), 2u);
    EXPECT_EQ(camera->FilterDescriptor->PinDescriptors[0].PinDescriptor.DataRanges[0],
              &camera->AdvertisedRange->DataRange);

    EXPECT_EQ(camera->Timeout, 3000u);
    EXPECT_EQ(camera->Exposure, 0);
    EXPECT_EQ(camera->GlobalGain, 0);
    EXPECT_EQ(camera->RedGain, 128);
    EXPECT_EQ(camera->GreenGain, 128);
    EXPECT_EQ(camera->BlueGain, 128);
    EXPECT_EQ(camera->ColorEnable, 1u);
    EXPECT_EQ(camera->WhiteBalance, 0u);
    EXPECT_EQ(camera->ColorCorrection, 1u);
    EXPECT_EQ(camera->Brightness, 255);
    EXPECT_EQ(camera->Contrast, 10);
    EXPECT_EQ(camera->Saturation, 10);
    EXPECT_EQ(camera->Hue, 0);
    EXPECT_EQ(camera->Red, 63);
    EXPECT_EQ(camera->Green1, 63);
    EXPECT_EQ(camera->Green2, 63);
    EXPECT_EQ(camera->Blue, 63);
    EXPECT_EQ(camera->FlipH, 0u);
    EXPECT_EQ(camera->FlipV, 0u);
    EXPECT_EQ(camera->CameraNo, 0);
    EXPECT_EQ(camera->ReadModeShadow, 0x41u);
    EXPECT_EQ(camera->BayerPhase, 0u);
    EXPECT_EQ(camera->SubSample, 0);
    EXPECT_EQ(camera->RoiW, 4384);
    EXPECT_EQ(camera->RoiH, 3288);
    EXPECT_EQ(camera->WindowWidth, 4384);
    EXPECT_EQ(camera->WindowHeight, 3288);
    EXPECT_EQ(camera->OutputWidth, 4384);
    EXPECT_EQ(camera->OutputHeight, 3288);
    EXPECT_EQ(camera->LinkHandle, nullptr);
    EXPECT_EQ(camera->CaptureEngine, nullptr);
    EXPECT_EQ(camera->ImagePipeline, nullptr);
    EXPECT_EQ(camera->AttachedPin, nullptr);
    EXPECT_EQ(camera->FormatLock, 0u);
    EXPECT_EQ(camera->PendingChanges, 0u);
    for (UCHAR byte : camera->CommandSector) {
        ASSERT_EQ(byte, 0);
    }
    for (UCHAR byte : camera->StatusSector) {
        ASSERT_EQ(byte, 0);
    }
    // The first device add replaces the initial intervals of the data range.
    EXPECT_EQ(camera->AdvertisedRange->ConfigCaps.MinFrameInterval, 333333);
    EXPECT_EQ(camera->AdvertisedRange->VideoInfoHeader.AvgTimePerFrame, 333333);
}

TEST_F(DriverTest, RemovalFreesTheCameraDevice) {
    ASSERT_NE(AddDevice(), nullptr);
    // The CameraDevice and the descriptors the device publishes.
    EXPECT_EQ(host::PoolStatsForTag(PoolTagContext).liveAllocations, 2u);
    LastDevice().Remove();
    EXPECT_EQ(host::PoolStatsForTag(PoolTagContext).liveAllocations, 0u);
    EXPECT_EQ(LastDevice().Ks()->Context, nullptr);
}

TEST_F(DriverTest, DeviceAddFailsCleanlyWithoutPool) {
    host::FailPoolAllocationsWithTag(PoolTagContext);
    EXPECT_EQ(AddDevice(), nullptr);
    EXPECT_EQ(LastAddStatus(), STATUS_INSUFFICIENT_RESOURCES);
    host::ClearPoolFaults();
}

TEST_F(DriverTest, DeviceAddFailsCleanlyWhenTheBagRefuses) {
    // The camera record is the first allocation, the bag's entry the second.
    host::FailPoolAllocation(2);
    EXPECT_EQ(AddDevice(), nullptr);
    EXPECT_EQ(LastAddStatus(), STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(LastDevice().Ks()->Context, nullptr);
    EXPECT_EQ(host::PoolStatsForTag(PoolTagContext).totalAllocations, 1u);
    EXPECT_EQ(host::PoolStatsForTag(PoolTagContext).liveAllocations, 0u);
    host::ClearPoolFaults();
}

TEST_F(DriverTest, EachDeviceHasItsOwnCameraDevice) {
    CameraDevice* first = AddDevice();
    CameraDevice* second = AddDevice();
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    EXPECT_NE(first->PhysicalDeviceObject, second->PhysicalDeviceObject);
}

}  // namespace
