// What only the shipped image can show: it runs away from the base it was
// linked at, and what it declares const (dispatch tables, automation tables,
// descriptor templates) is read-only as on Windows, so a write into it is a
// bug check naming the image; the descriptors a device publishes are its own
// copies in the pool. These run on the loaded diskcam.sys alone.
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

TEST_F(ShippedImage, RunsAwayFromItsPreferredBaseWithItsTablesInside) {
    EXPECT_NE(Image().Base(), Image().PreferredBase());
    const KSFILTER_DESCRIPTOR* descriptor = filter_->Kernel()->Descriptor;
    EXPECT_FALSE(Image().Contains(descriptor));
    EXPECT_FALSE(Image().Contains(descriptor->PinDescriptors[0].PinDescriptor.DataRanges[0]));
    const KSPIN_DISPATCH* dispatch = descriptor->PinDescriptors[0].Dispatch;
    EXPECT_STREQ(Image().SectionName(dispatch), ".rdata");
    EXPECT_STREQ(Image().SectionName(descriptor->AutomationTable), ".rdata");
    // The standard sets' tables are constants too, down to each item's values.
    EXPECT_STREQ(Image().SectionName(descriptor->PinDescriptors[0].AutomationTable), ".rdata");
    const KSPROPERTY_SET& procAmp = descriptor->AutomationTable->PropertySets[1];
    EXPECT_STREQ(Image().SectionName(procAmp.PropertyItem[0].Values->MembersList[0].Members),
                 ".rdata");
    EXPECT_STREQ(Image().SectionName(reinterpret_cast<const void*>(dispatch->Process)), ".text");
}

TEST_F(ShippedImage, AWriteIntoItsPinDispatchTableIsABugCheck) {
    auto* dispatch =
        const_cast<KSPIN_DISPATCH*>(filter_->Kernel()->Descriptor->PinDescriptors[0].Dispatch);
    EXPECT_DEATH(dispatch->Process = nullptr,
                 "host kernel bug check: write to read-only memory at 0x[0-9a-f]+, address "
                 "0x[0-9a-f]+ \\(diskcam\\.sys\\+0x[0-9a-f]+ in \\.rdata\\)");
}

}  // namespace
}  // namespace driver_test
