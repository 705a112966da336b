// Format negotiation with arbitrary bytes: data ranges offered to the pin's
// intersect handler with any output buffer size, and connection formats for
// pin creation and for a format change on a pin in any state. Ranges and
// formats start from one of the three the pin publishes (RGB32, YUY2, NV12)
// and what it proposes for it, patched and cut by the input, so that most
// reach the driver's checks past the class driver's.
// An accepted format must then stream: a frame is released and delivered
// into a buffer of the framing's size.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <chrono>
#include <cstring>

#include "fuzz/fuzz_stack.h"

namespace {

constexpr NTSTATUS RequestTooShort = static_cast<NTSTATUS>(0xC0000206);
constexpr NTSTATUS PinInstancesExhausted = static_cast<NTSTATUS>(0x80000011);
constexpr size_t MaxBytes = 512;

// The base, or the input's own bytes, with patches at chosen offsets and a
// chosen length.
std::vector<UCHAR> Shaped(FuzzedDataProvider& input, std::vector<UCHAR> bytes) {
    if (input.ConsumeIntegralInRange(0, 7) == 0) {
        bytes = input.ConsumeBytes<UCHAR>(input.ConsumeIntegralInRange<size_t>(0, MaxBytes));
    }
    for (int patches = input.ConsumeIntegralInRange(0, 4); patches > 0 && !bytes.empty();
         --patches) {
        const size_t offset = input.ConsumeIntegralInRange<size_t>(0, bytes.size() - 1);
        std::vector<UCHAR> patch = input.ConsumeBytes<UCHAR>(
            input.ConsumeIntegralInRange<size_t>(1, std::min<size_t>(8, bytes.size() - offset)));
        if (patch.empty()) {
            break;
        }
        std::memcpy(bytes.data() + offset, patch.data(), patch.size());
    }
    if (input.ConsumeBool()) {
        bytes.resize(input.ConsumeIntegralInRange<size_t>(0, MaxBytes));
    }
    return bytes;
}

void CheckProposal(const std::vector<UCHAR>& range, const std::vector<UCHAR>& format,
                   ULONG bufferSize, const client::RequestResult& result) {
    switch (result.status) {
        case STATUS_SUCCESS:
            break;
        case STATUS_BUFFER_OVERFLOW:
            FUZZ_CHECK(bufferSize == 0, "a size query with a buffer");
            FUZZ_CHECK(result.bytesReturned >= sizeof(KS_DATAFORMAT_VIDEOINFOHEADER),
                       "a size below a whole format");
            return;
        case STATUS_NO_MATCH:
        case STATUS_INVALID_PARAMETER:
        case STATUS_BUFFER_TOO_SMALL:
        case RequestTooShort:
        case STATUS_INSUFFICIENT_RESOURCES:
            FUZZ_CHECK(result.bytesReturned == 0, "a refused intersection with bytes");
            return;
        default:
            fuzz::Fail("undocumented intersection status " + std::to_string(result.status));
    }
    FUZZ_CHECK(result.bytesReturned <= bufferSize, "a proposal longer than its buffer");
    FUZZ_CHECK(format.size() >= sizeof(KS_DATAFORMAT_VIDEOINFOHEADER), "a proposal too short");
    KSDATAFORMAT header;
    std::memcpy(&header, format.data(), sizeof(header));
    FUZZ_CHECK(header.FormatSize == result.bytesReturned, "FormatSize is not the reply's size");
    KS_VIDEOINFOHEADER proposed;
    std::memcpy(&proposed, format.data() + sizeof(KSDATAFORMAT), sizeof(proposed));
    FUZZ_CHECK(header.SampleSize == proposed.bmiHeader.biSizeImage,
               "SampleSize is not biSizeImage");
    FUZZ_CHECK(range.size() >= sizeof(KS_DATARANGE_VIDEO), "a proposal for a short range");
}

void Stream(fuzz::Stack& stack, sim::SimCamera& camera) {
    client::Pin* pin = stack.Pin();
    const NTSTATUS status = pin->SetState(KSSTATE_RUN);
    FUZZ_CHECK(status == STATUS_SUCCESS || status == STATUS_INVALID_PARAMETER ||
                   status == STATUS_NO_MATCH || status == STATUS_INSUFFICIENT_RESOURCES,
               "undocumented state change status " + std::to_string(status));
    if (status != STATUS_SUCCESS) {
        return;
    }
    // A format may ask for frames of any size; the client's buffer is its
    // own choice, and the delivery must fit whichever it makes.
    constexpr ULONG MaxExtent = 1 << 20;
    const ULONG extent = std::min(pin->FrameSize(), MaxExtent);
    auto buffer = pin->NewBuffer(extent);
    FUZZ_CHECK(pin->Queue(std::move(buffer)) == STATUS_PENDING, "a buffer refused while running");
    FUZZ_CHECK(camera.ReleaseFrame(), "no frame after configuration");
    std::unique_ptr<client::StreamBuffer> done = pin->WaitForCompleted(std::chrono::seconds(10));
    FUZZ_CHECK(done != nullptr, "an accepted format delivered nothing");
    FUZZ_CHECK(done->header.DataUsed <= extent, "DataUsed beyond the frame extent");
}

void ChangeFormat(FuzzedDataProvider& input, fuzz::Stack& stack, const std::vector<UCHAR>& base) {
    const KSSTATE states[] = {KSSTATE_STOP, KSSTATE_ACQUIRE, KSSTATE_PAUSE};
    const KSSTATE state = input.PickValueInArray(states);
    // Acquiring attaches a pipeline of the pin's format, which may be one the
    // pipeline refuses or the pool cannot hold: a refusal with its status,
    // the pin left below.
    const NTSTATUS walk = stack.Pin()->SetState(state);
    FUZZ_CHECK(walk == STATUS_SUCCESS || walk == STATUS_INSUFFICIENT_RESOURCES ||
                   walk == STATUS_INVALID_PARAMETER,
               "undocumented state walk status " + std::to_string(walk));
    if (walk != STATUS_SUCCESS) {
        return;
    }
    std::vector<UCHAR> format = Shaped(input, base);
    const NTSTATUS status =
        stack.Pin()->SetDataFormat(format.data(), static_cast<ULONG>(format.size()));
    FUZZ_CHECK(status == STATUS_SUCCESS || status == STATUS_NO_MATCH ||
                   status == STATUS_INVALID_PARAMETER || status == STATUS_INVALID_DEVICE_STATE ||
                   status == RequestTooShort,
               "undocumented format change status " + std::to_string(status));
    FUZZ_CHECK(state == KSSTATE_STOP || status != STATUS_SUCCESS,
               "a format change accepted while not stopped");
    FUZZ_CHECK(stack.Pin()->SetState(KSSTATE_STOP) == STATUS_SUCCESS, "a stop refused");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    FuzzedDataProvider input(bytes, size);
    std::shared_ptr<sim::SimCamera> camera = fuzz::SteppedCamera();
    fuzz::Stack stack({camera});
    FUZZ_CHECK(stack.Camera() != nullptr, "device add failed");
    stack.StoreWindow(0, 0, input.ConsumeIntegralInRange<LONG>(32, fuzz::MaxWindow),
                      input.ConsumeIntegralInRange<LONG>(32, fuzz::MaxWindow));
    FUZZ_CHECK(stack.Start() == STATUS_SUCCESS, "device start failed");
    FUZZ_CHECK(stack.OpenFilter() != nullptr, "filter open failed");

    const size_t which = input.ConsumeIntegralInRange<size_t>(0, fuzz::Stack::RangeCount - 1);
    const std::vector<UCHAR> published = stack.Range(which);
    const std::vector<UCHAR> range = Shaped(input, published);
    const ULONG bufferSize = input.ConsumeIntegralInRange<ULONG>(0, MaxBytes);
    std::vector<UCHAR> proposal;
    client::RequestResult result = stack.Filter()->Intersect(
        0, range.data(), static_cast<ULONG>(range.size()), bufferSize, &proposal);
    CheckProposal(range, proposal, bufferSize, result);

    const std::vector<UCHAR> base =
        result.status == STATUS_SUCCESS ? proposal : stack.Proposal(which);
    const NTSTATUS created = stack.CreatePin(Shaped(input, base));
    FUZZ_CHECK(created == STATUS_SUCCESS || created == STATUS_NO_MATCH ||
                   created == STATUS_INVALID_PARAMETER || created == RequestTooShort ||
                   created == PinInstancesExhausted,
               "undocumented pin creation status " + std::to_string(created));
    if (created != STATUS_SUCCESS) {
        return 0;
    }
    if (input.ConsumeBool()) {
        ChangeFormat(input, stack, base);
    }
    Stream(stack, *camera);
    fuzz::CheckDeviceInvariants(*stack.Camera());
    return 0;
}
