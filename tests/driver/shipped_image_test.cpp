// What only the shipped image can show: it runs away from the base it was
// linked at, and what it declares const (descriptors, dispatch tables) is
// read-only as on Windows, so a write into it is a bug check naming the
// image. These run on the loaded diskcam.sys alone.
#include <gtest/gtest.h>

#include "host/loader/driver_image.h"
#include "tests/support/capture_fixture.h"

namespace driver_test {
namespace {

class ShippedImage : public CaptureTest {
protected:
    void SetUp() override {
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        CaptureTest::SetUp();
        ASSERT_TRUE(LoadedDriver()) << "run with DISKCAM_DRIVER naming diskcam.sys";
        ASSERT_NE(StartCamera(), nullptr);
        filter_ = OpenFilter();
        ASSERT_NE(filter_, nullptr);
    }

    const host::DriverImage& Image() const { return *module_->Image(); }
};

TEST_F(ShippedImage, RunsAwayFromItsPreferredBaseWithItsDescriptorsInside) {
    EXPECT_NE(Image().Base(), Image().PreferredBase());
    const KSFILTER_DESCRIPTOR* descriptor = filter_->Kernel()->Descriptor;
    EXPECT_TRUE(Image().Contains(descriptor));
    EXPECT_TRUE(Image().Contains(descriptor->PinDescriptors));
    EXPECT_TRUE(Image().Contains(
        reinterpret_cast<const void*>(descriptor->PinDescriptors[0].Dispatch->Process)));
    EXPECT_STREQ(Image().SectionName(descriptor), ".rdata");
}

TEST_F(ShippedImage, AWriteIntoItsFilterDescriptorIsABugCheck) {
    auto* descriptor = const_cast<KSFILTER_DESCRIPTOR*>(filter_->Kernel()->Descriptor);
    EXPECT_DEATH(descriptor->Flags = 1,
                 "host kernel bug check: write to read-only memory at 0x[0-9a-f]+, address "
                 "0x[0-9a-f]+ \\(diskcam\\.sys\\+0x[0-9a-f]+ in \\.rdata\\)");
}

}  // namespace
}  // namespace driver_test
