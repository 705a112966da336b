// SimCamera: a disk that speaks the camera's sector protocol. The status
// sector at 0x20000 identifies the camera and carries the frame-ready flag,
// the command sector at 0x20200 takes two-phase register writes and the end
// of configuration, and a read at 0x20400 delivers one frame of the current
// window. It is as strict as a camera: writes outside the sensor's register
// map are ignored, no frame is served while the frame-ready flag is down, and
// a frame read of the wrong length fails. Each of these is also recorded as
// a violation, something a driver must never do. The sensor model lives in
// sensor.h, scenes in scene.h.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "host/disk/disk.h"
#include "sim/event_log.h"
#include "sim/registers.h"
#include "sim/scene.h"
#include "sim/sensor.h"

namespace sim {

constexpr uint64_t kStatusSectorOffset = 0x20000;
constexpr uint64_t kCommandSectorOffset = 0x20200;
constexpr uint64_t kFrameDataOffset = 0x20400;
constexpr size_t kSectorSize = 512;

// What the status sector presents at discovery.
enum class Identity {
    Camera,      // the signature and the camera's model code
    WrongModel,  // the signature with another model code
    PlainDisk,   // all zero: an ordinary disk
};

// True when a status sector (kSectorSize bytes) carries the camera's
// signature and model code, as the camera's status sector does.
bool IdentifiesAsCamera(const uint8_t* statusSector);

// How long a transfer takes: latency + length / bytesPerSecond.
struct TransferTiming {
    std::chrono::microseconds latency{0};
    uint64_t bytesPerSecond = 0;  // 0: unlimited

    // A USB 2.0 high-speed mass-storage link: about 250 us per command and
    // 40 MB/s of bulk data, 0.36 s for a full-sensor frame.
    static TransferTiming HighSpeed();
    // A USB 3 SuperSpeed link: about 100 us per command and 350 MB/s.
    static TransferTiming SuperSpeed();
    // No time at all, for tests.
    static TransferTiming Instant();
};

struct SimOptions {
    std::shared_ptr<const Scene> scene;  // null: the built-in test scene
    double framesPerSecond = 30;         // 0: a new frame for every read
    Identity identity = Identity::Camera;
    TransferTiming timing = TransferTiming::HighSpeed();
    bool frameReadyNeverRises = false;
    bool holdFrames = false;  // step mode from the start
    // Adds the frame's number (1 for the first frame read) to every sample,
    // modulo 256, so that tests can tell frames apart in what is delivered.
    bool stampFrameNumbers = false;
    // Frames rendered ahead: when not 0, the camera renders this many frames
    // (frame numbers 1 to N) once for the settings in force at the first
    // frame read and serves them in turn, frame n as frame (n - 1) % N + 1,
    // so that a frame read costs one copy; a change of settings renders them
    // again. 0 renders every frame as it is read.
    int preRenderedFrames = 0;
};

class SimCamera : public host::Disk {
public:
    explicit SimCamera(SimOptions options = {});

    uint64_t Size() const override;

    // Step mode: while held, no frame-ready flag rises on its own (at any
    // frame rate); ReleaseFrame raises it for exactly one frame, taking the
    // registers in force now. False when configuration has not ended.
    void HoldFrames(bool hold);
    bool ReleaseFrame();
    void SetFrameReadyNeverRises(bool neverRises);
    // The camera loses its power, as over a system sleep: its registers go
    // back to their power-on values, a half-written register is forgotten,
    // and no frame comes until it is configured again.
    void LosePower();

    // Inspection for tests.
    uint16_t Register(uint16_t address) const;
    SensorSettings CurrentSettings() const;
    bool Configured() const;
    uint64_t FramesRead() const;
    std::vector<std::string> Log() const;
    // What the camera refused or ignored, one line each, in order.
    std::vector<std::string> Violations() const;
    // Throws std::runtime_error when the file cannot be written.
    void WriteLog(const std::string& path) const;

protected:
    bool ReadAt(uint64_t offset, void* buffer, size_t length) override;
    bool WriteAt(uint64_t offset, const void* buffer, size_t length) override;

private:
    struct FrameJob {
        SensorSettings settings;
        uint64_t frameNumber;
    };
    enum class FrameServed { Served, NotReady, WrongLength };

    void SleepForTransfer(size_t length) const;
    void FillStatusSector(uint8_t* sector);
    void UpdateFrameReady(std::chrono::steady_clock::time_point now);
    bool FrameReadyFlag() const;
    bool ReadFrameArea(uint8_t* out, size_t length);
    void CopyPreRendered(const FrameJob& job, uint8_t* out);
    FrameServed TakeFrame(size_t length, FrameJob* job);
    void RunCommand(const uint8_t* sector);
    void WriteRegister(uint16_t address, uint16_t value);
    void EndConfiguration();
    void StopFrames();

    const std::shared_ptr<const Scene> scene_;
    const Identity identity_;
    const std::chrono::steady_clock::duration framePeriod_;  // zero at a frame rate of 0
    const TransferTiming timing_;
    const bool stampFrameNumbers_;
    const size_t preRenderedFrames_;

    // The frames rendered ahead and the settings they show, guarded by
    // renderedLock_ (never taken with lock_ held).
    std::mutex renderedLock_;
    std::optional<SensorSettings> renderedFor_;
    std::vector<std::vector<uint8_t>> rendered_;

    // Everything below is guarded by lock_, taken by every transfer and every
    // inspection; frames are rendered outside it from a snapshot.
    mutable std::mutex lock_;
    RegisterFile registers_;
    std::optional<uint16_t> pendingAddress_;  // address phase awaiting its data
    bool configured_ = false;                 // end of configuration in force
    bool holdFrames_;
    bool neverRises_;
    bool frameWaiting_ = false;  // a captured frame not yet read
    SensorSettings waitingFrame_;
    std::chrono::steady_clock::time_point nextCapture_;
    uint64_t framesRead_ = 0;
    EventLog log_;
    std::vector<std::string> violations_;
};

}  // namespace sim
