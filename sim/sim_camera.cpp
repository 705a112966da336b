// SimCamera: the sector protocol, frame pacing and the transfer model.
#include "sim/sim_camera.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <thread>

namespace sim {

namespace {

using Clock = std::chrono::steady_clock;

// Room for the status and command sectors and a full-sensor frame.
constexpr uint64_t kDiskSize = 16 * 1024 * 1024;

constexpr uint8_t kSignature[] = {'Q', 'U', 'E', 'L', 'M', 'A'};
constexpr size_t kModelCodeByte = 26;
constexpr uint8_t kModelCode[] = {0x2D, 0x0A};
constexpr uint8_t kOtherModelCode[] = {0x2D, 0x0B};
constexpr size_t kFrameReadyByte = 256;

constexpr uint8_t kCommandRegisterWrite = 0x20;
constexpr uint8_t kCommandEndOfConfiguration = 0x10;
constexpr uint8_t kPhaseAddress = 0;
constexpr uint8_t kPhaseData = 1;

Clock::duration PeriodOf(double framesPerSecond) {
    if (framesPerSecond <= 0) {
        return Clock::duration::zero();
    }
    return std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(1.0 / framesPerSecond));
}

// Copies the part of an area [areaOffset, areaOffset + areaLength) that falls
// inside a transfer of `length` bytes at `offset`.
void CopyOverlap(uint64_t areaOffset, const uint8_t* area, size_t areaLength, uint64_t offset,
                 uint8_t* out, size_t length) {
    uint64_t start = std::max(areaOffset, offset);
    uint64_t end = std::min(areaOffset + areaLength, offset + length);
    if (start < end) {
        std::memcpy(out + (start - offset), area + (start - areaOffset), end - start);
    }
}

std::string Hex(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

// Adds the frame number to the `pixels` samples at the start of a frame.
void StampFrame(uint64_t frameNumber, uint8_t* frame, size_t pixels) {
    for (size_t i = 0; i < pixels; ++i) {
        frame[i] = static_cast<uint8_t>(frame[i] + frameNumber);
    }
}

}  // namespace

bool IdentifiesAsCamera(const uint8_t* statusSector) {
    return std::memcmp(statusSector, kSignature, sizeof kSignature) == 0 &&
           std::memcmp(statusSector + kModelCodeByte, kModelCode, sizeof kModelCode) == 0;
}

TransferTiming TransferTiming::HighSpeed() {
    return {std::chrono::microseconds(250), 40'000'000};
}

TransferTiming TransferTiming::SuperSpeed() {
    return {std::chrono::microseconds(100), 350'000'000};
}

TransferTiming TransferTiming::Instant() {
    return {};
}

SimCamera::SimCamera(SimOptions options)
    : scene_(options.scene ? options.scene : Scene::Bars()),
      identity_(options.identity),
      framePeriod_(PeriodOf(options.framesPerSecond)),
      timing_(options.timing),
      stampFrameNumbers_(options.stampFrameNumbers),
      preRenderedFrames_(static_cast<size_t>(std::max(options.preRenderedFrames, 0))),
      holdFrames_(options.holdFrames),
      neverRises_(options.frameReadyNeverRises) {}

uint64_t SimCamera::Size() const {
    return kDiskSize;
}

void SimCamera::HoldFrames(bool hold) {
    std::lock_guard<std::mutex> guard(lock_);
    holdFrames_ = hold;
    nextCapture_ = Clock::now() + framePeriod_;
}

bool SimCamera::ReleaseFrame() {
    std::lock_guard<std::mutex> guard(lock_);
    UpdateFrameReady(Clock::now());
    if (!configured_) {
        return false;
    }
    frameWaiting_ = true;
    waitingFrame_ = SensorSettings::FromRegisters(registers_);
    return true;
}

void SimCamera::SetFrameReadyNeverRises(bool neverRises) {
    std::lock_guard<std::mutex> guard(lock_);
    neverRises_ = neverRises;
}

uint16_t SimCamera::Register(uint16_t address) const {
    std::lock_guard<std::mutex> guard(lock_);
    return registers_.Read(address);
}

SensorSettings SimCamera::CurrentSettings() const {
    std::lock_guard<std::mutex> guard(lock_);
    return SensorSettings::FromRegisters(registers_);
}

bool SimCamera::Configured() const {
    std::lock_guard<std::mutex> guard(lock_);
    return configured_;
}

uint64_t SimCamera::FramesRead() const {
    std::lock_guard<std::mutex> guard(lock_);
    return framesRead_;
}

std::vector<std::string> SimCamera::Log() const {
    std::lock_guard<std::mutex> guard(lock_);
    return log_.Lines();
}

std::vector<std::string> SimCamera::Violations() const {
    std::lock_guard<std::mutex> guard(lock_);
    return violations_;
}

void SimCamera::WriteLog(const std::string& path) const {
    WriteLogFile(path, Log());
}

// A read is served area by area: the status sector where it overlaps, a
// frame when it starts at the frame offset, zeros everywhere else.
bool SimCamera::ReadAt(uint64_t offset, void* buffer, size_t length) {
    SleepForTransfer(length);
    auto* out = static_cast<uint8_t*>(buffer);
    if (offset == kFrameDataOffset) {
        return ReadFrameArea(out, length);
    }
    std::memset(out, 0, length);
    uint64_t end = offset + length;
    if (offset < kStatusSectorOffset + kSectorSize && end > kStatusSectorOffset) {
        uint8_t sector[kSectorSize] = {};
        FillStatusSector(sector);
        CopyOverlap(kStatusSectorOffset, sector, kSectorSize, offset, out, length);
    }
    return true;
}

// Zeros while no frame is ready; a failed transfer when the length is not
// the frame's. A served frame writes every byte itself.
bool SimCamera::ReadFrameArea(uint8_t* out, size_t length) {
    FrameJob job;
    switch (TakeFrame(length, &job)) {
        case FrameServed::NotReady:
            std::memset(out, 0, length);
            return true;
        case FrameServed::WrongLength:
            std::memset(out, 0, length);
            return false;
        case FrameServed::Served:
            break;
    }
    if (preRenderedFrames_ != 0) {
        CopyPreRendered(job, out);
    } else {
        RenderFrame(*scene_, job.settings, job.frameNumber, out, length);
    }
    if (stampFrameNumbers_) {
        StampFrame(
            job.frameNumber, out,
            static_cast<size_t>(job.settings.width) * static_cast<size_t>(job.settings.height));
    }
    return true;
}

// The frame's length is its settings' FrameBytes, which TakeFrame checked.
void SimCamera::CopyPreRendered(const FrameJob& job, uint8_t* out) {
    std::lock_guard<std::mutex> guard(renderedLock_);
    if (!renderedFor_ || !(*renderedFor_ == job.settings)) {
        const size_t length = job.settings.FrameBytes();
        rendered_.resize(preRenderedFrames_);
        for (size_t index = 0; index < rendered_.size(); ++index) {
            rendered_[index].resize(length);
            RenderFrame(*scene_, job.settings, index + 1, rendered_[index].data(), length);
        }
        renderedFor_ = job.settings;
    }
    const std::vector<uint8_t>& frame = rendered_[(job.frameNumber - 1) % preRenderedFrames_];
    std::memcpy(out, frame.data(), frame.size());
}

// Only a write that covers the whole command sector is a command; the rest
// of the disk has no storage behind it.
bool SimCamera::WriteAt(uint64_t offset, const void* buffer, size_t length) {
    SleepForTransfer(length);
    if (offset <= kCommandSectorOffset && offset + length >= kCommandSectorOffset + kSectorSize) {
        RunCommand(static_cast<const uint8_t*>(buffer) + (kCommandSectorOffset - offset));
    }
    return true;
}

void SimCamera::SleepForTransfer(size_t length) const {
    auto delay = timing_.latency;
    if (timing_.bytesPerSecond != 0) {
        delay += std::chrono::microseconds(length * uint64_t{1000000} / timing_.bytesPerSecond);
    }
    if (delay.count() > 0) {
        std::this_thread::sleep_for(delay);
    }
}

void SimCamera::FillStatusSector(uint8_t* sector) {
    if (identity_ == Identity::PlainDisk) {
        return;
    }
    std::memcpy(sector, kSignature, sizeof kSignature);
    const uint8_t* model = identity_ == Identity::Camera ? kModelCode : kOtherModelCode;
    std::memcpy(sector + kModelCodeByte, model, sizeof kModelCode);
    std::lock_guard<std::mutex> guard(lock_);
    UpdateFrameReady(Clock::now());
    sector[kFrameReadyByte] = FrameReadyFlag() ? 1 : 0;
}

// Caller holds lock_. Captures a frame at each period boundary that has
// passed; a frame not read by the next boundary is replaced by the newer one.
void SimCamera::UpdateFrameReady(Clock::time_point now) {
    if (!configured_ || holdFrames_ || framePeriod_ == Clock::duration::zero() ||
        now < nextCapture_) {
        return;
    }
    frameWaiting_ = true;
    waitingFrame_ = SensorSettings::FromRegisters(registers_);
    auto missedPeriods = (now - nextCapture_) / framePeriod_;
    nextCapture_ += framePeriod_ * (missedPeriods + 1);
}

// Caller holds lock_.
bool SimCamera::FrameReadyFlag() const {
    if (!configured_ || neverRises_) {
        return false;
    }
    return frameWaiting_ || (framePeriod_ == Clock::duration::zero() && !holdFrames_);
}

// The waiting frame if there is one, otherwise (at a frame rate of 0) a
// frame of the registers in force now; only while the flag is up and only
// for a read of the frame's length. Logged here, under the lock, so the log
// orders it before any command that follows the read.
SimCamera::FrameServed SimCamera::TakeFrame(size_t length, FrameJob* job) {
    std::lock_guard<std::mutex> guard(lock_);
    UpdateFrameReady(Clock::now());
    if (!FrameReadyFlag()) {
        violations_.push_back("frame read with the frame-ready flag down");
        return FrameServed::NotReady;
    }
    SensorSettings settings =
        frameWaiting_ ? waitingFrame_ : SensorSettings::FromRegisters(registers_);
    if (length != settings.FrameBytes()) {
        violations_.push_back("frame read of " + std::to_string(length) + " bytes; the " +
                              std::to_string(settings.width) + " x " +
                              std::to_string(settings.height) + " window needs " +
                              std::to_string(settings.FrameBytes()));
        return FrameServed::WrongLength;
    }
    frameWaiting_ = false;
    ++framesRead_;
    log_.FrameRead(framesRead_);
    *job = {settings, framesRead_};
    return FrameServed::Served;
}

// A frame whose period ended before this command was captured before it,
// whether or not the flag has been polled since.
void SimCamera::RunCommand(const uint8_t* sector) {
    std::lock_guard<std::mutex> guard(lock_);
    UpdateFrameReady(Clock::now());
    auto word = static_cast<uint16_t>(sector[2] << 8 | sector[3]);
    if (sector[0] == kCommandEndOfConfiguration) {
        pendingAddress_.reset();
        EndConfiguration();
    } else if (sector[0] == kCommandRegisterWrite && sector[1] == kPhaseAddress) {
        pendingAddress_ = word;
    } else if (sector[0] == kCommandRegisterWrite && sector[1] == kPhaseData && pendingAddress_) {
        WriteRegister(*pendingAddress_, word);
        pendingAddress_.reset();
    }
}

// Caller holds lock_.
void SimCamera::WriteRegister(uint16_t address, uint16_t value) {
    if (!IsSensorRegister(address)) {
        violations_.push_back("write of " + Hex(value) + " to " + Hex(address) +
                              ", which the sensor does not have");
        return;
    }
    registers_.Write(address, value);
    log_.RegisterWrite(address, value);
    if ((address == reg::kParameterHold && value == 1) || IsWindowRegister(address)) {
        StopFrames();
    }
}

// Caller holds lock_. The first frame of a configuration is captured one
// period after it ends.
void SimCamera::EndConfiguration() {
    log_.EndOfConfiguration();
    configured_ = true;
    frameWaiting_ = false;
    nextCapture_ = Clock::now() + framePeriod_;
}

void SimCamera::LosePower() {
    std::lock_guard<std::mutex> guard(lock_);
    registers_ = RegisterFile();
    pendingAddress_.reset();
    StopFrames();
}

// Caller holds lock_.
void SimCamera::StopFrames() {
    configured_ = false;
    frameWaiting_ = false;
}

}  // namespace sim
