// Loading and entering the probe image for a test.
#include "probe_image_fixture.h"

std::string ProbeImagePath() {
    return DISKCAM_PROBE_IMAGE;
}

void ProbeImageTest::SetUp() {
    KernelTest::SetUp();
    NTSTATUS status = STATUS_UNSUCCESSFUL;
    std::string error;
    image_ = host::DriverImage::Load(ProbeImagePath(), &status, &error);
    ASSERT_NE(image_, nullptr) << error;
    UNICODE_STRING registryPath{};
    ASSERT_EQ(image_->Entry()(&driver_, &registryPath), STATUS_SUCCESS);
}

void ProbeImageTest::TearDown() {
    image_.reset();
    KernelTest::TearDown();
}

long long ProbeImageTest::Call(Probe probe, void* argument) const {
    return reinterpret_cast<ProbeRoutine>(RoutineAddress(probe))(argument);
}

void* ProbeImageTest::RoutineAddress(Probe probe) const {
    return reinterpret_cast<void*>(driver_.MajorFunction[static_cast<int>(probe)]);
}
