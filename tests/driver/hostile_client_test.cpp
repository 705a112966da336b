// A client that sends whatever it likes: property requests of any set, id,
// flags and lengths with random bytes, extreme control values, mangled
// ranges and formats, state walks in any order and buffers of any size while
// the camera streams. Whatever the statuses, nothing crashes, no reply claims
// more bytes than its buffer has, nothing leaks, and afterwards a well-formed
// client still captures frames.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <random>

#include "tests/support/capture_fixture.h"

namespace driver_test {
namespace {

const GUID ControlSet = {
    0xcaa3f35d, 0xd36c, 0x48bc, {0x9f, 0xe6, 0xfc, 0xbd, 0xb1, 0x47, 0x2c, 0x9c}};
const GUID PinSet = {STATIC_KSPROPSETID_Pin};

class HostileClient : public CaptureTest {
protected:
    void SetUp() override {
        CaptureTest::SetUp();
        ASSERT_NE(StartCamera(), nullptr);
        filter_ = OpenFilter();
        ASSERT_NE(filter_, nullptr);
        range_ = PinRange(*filter_);
        proposal_ = ProposedFormat(*filter_);
    }

    ULONG Below(ULONG bound) { return std::uniform_int_distribution<ULONG>(0, bound - 1)(random_); }
    bool OneIn(ULONG n) { return Below(n) == 0; }

    // Mostly small values, with the edges of every 32-bit range among them.
    LONG Value() {
        const LONG edges[] = {INT_MIN, INT_MAX, -1, 0, 1, 2, 255, 256, 65535, 65536};
        switch (Below(3)) {
            case 0:
                return edges[Below(sizeof(edges) / sizeof(edges[0]))];
            case 1:
                return static_cast<LONG>(random_());
            default:
                return static_cast<LONG>(Below(300)) - 20;
        }
    }

    std::vector<UCHAR> RandomBytes(size_t count) {
        std::vector<UCHAR> bytes(count);
        for (UCHAR& byte : bytes) {
            byte = static_cast<UCHAR>(random_());
        }
        return bytes;
    }

    // A copy of `bytes` with a few bytes changed and perhaps cut or grown.
    std::vector<UCHAR> Mangled(std::vector<UCHAR> bytes) {
        for (ULONG i = Below(4); i > 0 && !bytes.empty(); --i) {
            bytes[Below(static_cast<ULONG>(bytes.size()))] = static_cast<UCHAR>(random_());
        }
        if (OneIn(3)) {
            bytes.resize(Below(static_cast<ULONG>(bytes.size()) + 16));
        }
        return bytes;
    }

    // A property header of a known or random set, then values; as long as
    // the caller says, which may be shorter than the header.
    std::vector<UCHAR> PropertyRequest(ULONG length) {
        std::vector<UCHAR> request = RandomBytes(std::max<ULONG>(length, 48));
        const GUID sets[] = {ControlSet, ControlSet, ControlSet, PinSet};
        const GUID set = OneIn(8) ? GUID{} : sets[Below(4)];
        const ULONG flagChoices[] = {KSPROPERTY_TYPE_GET,
                                     KSPROPERTY_TYPE_SET,
                                     KSPROPERTY_TYPE_BASICSUPPORT,
                                     KSPROPERTY_TYPE_SETSUPPORT,
                                     KSPROPERTY_TYPE_SET | KSPROPERTY_TYPE_TOPOLOGY,
                                     KSPROPERTY_TYPE_GET | KSPROPERTY_TYPE_SET,
                                     static_cast<ULONG>(random_())};
        const ULONG id = OneIn(10) ? static_cast<ULONG>(random_()) : Below(72);
        const ULONG flags = flagChoices[Below(7)];
        std::memcpy(request.data(), &set, sizeof(set));
        std::memcpy(request.data() + 16, &id, 4);
        std::memcpy(request.data() + 20, &flags, 4);
        for (size_t offset = 24; offset + 4 <= 48; offset += 4) {
            const LONG value = Value();
            std::memcpy(request.data() + offset, &value, 4);
        }
        return request;
    }

    void SendProperty(bool toPin) {
        const ULONG lengths[] = {0, 4, 16, 23, 24, 27, 28, 31, 32, 40, 47, 48, 64};
        const ULONG propertyLength = OneIn(4) ? lengths[Below(13)] : (OneIn(3) ? 48 : 32);
        std::vector<UCHAR> property = PropertyRequest(propertyLength);
        const ULONG dataLength = OneIn(4) ? lengths[Below(13)] : propertyLength;
        std::vector<UCHAR> data = OneIn(2) ? property : RandomBytes(dataLength);
        data.resize(dataLength);
        const client::RequestResult result =
            toPin ? pin_->Property(property.data(), propertyLength, data.data(), dataLength)
                  : filter_->Property(property.data(), propertyLength, data.data(), dataLength);
        if (NT_SUCCESS(result.status)) {
            EXPECT_LE(result.bytesReturned, dataLength);
        }
    }

    void Intersect() {
        std::vector<UCHAR> range = Mangled(range_);
        std::vector<UCHAR> format;
        const ULONG bufferSize = OneIn(4) ? 0 : Below(static_cast<ULONG>(proposal_.size()) + 64);
        const client::RequestResult result = filter_->Intersect(
            0, range.data(), static_cast<ULONG>(range.size()), bufferSize, &format);
        if (result.status == STATUS_SUCCESS) {
            EXPECT_LE(result.bytesReturned, bufferSize);
        }
    }

    void CreateOrClosePin() {
        if (pin_ != nullptr) {
            pin_.reset();
            return;
        }
        std::vector<UCHAR> format = OneIn(2) ? proposal_ : Mangled(proposal_);
        filter_->CreatePin(0, format.data(), static_cast<ULONG>(format.size()), &pin_);
    }

    void Walk() {
        const KSSTATE states[] = {KSSTATE_STOP, KSSTATE_ACQUIRE, KSSTATE_PAUSE, KSSTATE_RUN,
                                  KSSTATE_RUN};
        pin_->SetState(states[Below(5)]);
    }

    void ChangeFormat() {
        std::vector<UCHAR> format = Mangled(proposal_);
        pin_->SetDataFormat(format.data(), static_cast<ULONG>(format.size()));
    }

    // Buffers of any extent while the pin runs; those that come back never
    // claim more than their extent.
    void Stream() {
        const ULONG frame = pin_->FrameSize();
        const ULONG extent = OneIn(4) ? Below(64) : Below(frame + frame / 2 + 1);
        pin_->Queue(pin_->NewBuffer(extent));
        while (auto done = pin_->WaitForCompleted(std::chrono::milliseconds(OneIn(4) ? 20 : 0))) {
            EXPECT_LE(done->header.DataUsed, done->header.FrameExtent);
        }
    }

    void Step() {
        switch (Below(pin_ != nullptr ? 10 : 4)) {
            case 0:
            case 1:
                return SendProperty(false);
            case 2:
                return Intersect();
            case 3:
                return CreateOrClosePin();
            case 4:
                return SendProperty(true);
            case 5:
            case 6:
                return Walk();
            case 7:
                return ChangeFormat();
            default:
                return Stream();
        }
    }

    // DISKCAM_TEST_SEED runs another sequence, for longer searches by hand.
    static ULONG Seed() {
        const char* seed = std::getenv("DISKCAM_TEST_SEED");
        return seed != nullptr ? static_cast<ULONG>(std::strtoul(seed, nullptr, 10)) : 20261207;
    }

    const ULONG seed_ = Seed();
    std::mt19937 random_{seed_};
    std::vector<UCHAR> range_;
    std::vector<UCHAR> proposal_;
};

TEST_F(HostileClient, NothingItSendsBreaksTheDriver) {
    for (int step = 0; step < 3000; ++step) {
        Step();
        ASSERT_FALSE(HasFailure()) << "seed " << seed_ << ", step " << step;
    }
    pin_.reset();

    // A well-formed client afterwards: a small window, the proposed format,
    // and a frame.
    ASSERT_EQ(SetWindow(*filter_, 0, 0, 0, 64, 16), STATUS_SUCCESS);
    ASSERT_EQ(CreatePin(), STATUS_SUCCESS);
    ASSERT_EQ(pin_->SetState(KSSTATE_RUN), STATUS_SUCCESS);
    std::unique_ptr<client::StreamBuffer> frame = Capture();
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->status, STATUS_SUCCESS);
    EXPECT_EQ(frame->header.DataUsed, pin_->FrameSize());
}

}  // namespace
}  // namespace driver_test
