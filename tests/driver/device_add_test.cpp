// Device add: the CameraDevice joins the device's object bag and becomes its
// context, and removal frees it. Failing allocations of device add are the
// fault sweep's; the default settings are the control and registry tests'.
#include <gtest/gtest.h>

#include "camera/camera_device.h"
#include "host/nt/pool_control.h"
#include "platform/pool.h"
#include "tests/support/driver_fixture.h"

namespace {

using testing_support::DriverTest;

TEST_F(DriverTest, DeviceAddMakesTheCameraDeviceTheContextAndRemovalFreesIt) {
    CameraDevice* camera = AddDevice();
    ASSERT_NE(camera, nullptr);
    KSDEVICE* device = LastDevice().Ks();
    EXPECT_EQ(camera->Device, device);
    EXPECT_EQ(camera->PhysicalDeviceObject, device->PhysicalDeviceObject);
    // The device's published descriptors and the CameraDevice.
    EXPECT_EQ(LastDevice().BagSize(), 2u);
    EXPECT_EQ(camera->FilterDescriptor->PinDescriptors[0].PinDescriptor.DataRanges[0],
              &camera->AdvertisedRange->DataRange);
    // The first device add replaces the initial intervals of the data range.
    EXPECT_EQ(camera->AdvertisedRange->ConfigCaps.MinFrameInterval, 333333);
    EXPECT_EQ(camera->AdvertisedRange->VideoInfoHeader.AvgTimePerFrame, 333333);

    EXPECT_EQ(host::PoolStatsForTag(PoolTagContext).liveAllocations, 2u);
    LastDevice().Remove();
    EXPECT_EQ(host::PoolStatsForTag(PoolTagContext).liveAllocations, 0u);
    EXPECT_EQ(LastDevice().Ks()->Context, nullptr);
}

}  // namespace
