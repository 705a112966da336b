// The class driver's device side: driver registration and the PnP life of a
// device (add, start, stop, removal) with its object bag and device mutex.
// Tests and the tool drive a loaded driver through these classes. PnP runs
// in the System process.
//
// A driver goes after its devices. At its unload, as Driver Verifier checks
// it, every pool block of a tag other than the class driver's own must have
// been freed: a block still live stops with bug check 0xC4, parameter 0x62,
// naming each tag and its count.
#pragma once

#include <ks.h>

#include <memory>

namespace host {

// A loaded driver: its driver object after DriverEntry ran.
class Driver {
public:
    explicit Driver(PDRIVER_INITIALIZE entry);
    ~Driver();
    Driver(const Driver&) = delete;
    Driver& operator=(const Driver&) = delete;

    NTSTATUS EntryStatus() const { return entryStatus_; }
    // The descriptor KsInitializeDriver recorded, or null.
    const KSDEVICE_DESCRIPTOR* Descriptor() const;
    PDRIVER_OBJECT Object() { return &object_; }

    // The names the I/O manager gives the driver.
    static constexpr const WCHAR* DriverName = u"\\Driver\\diskcam";
    static constexpr const WCHAR* ServiceName = u"diskcam";
    static constexpr const WCHAR* ServiceKeyPath =
        u"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\diskcam";

private:
    friend class Device;

    DRIVER_OBJECT object_{};
    DRIVER_EXTENSION extension_{};
    NTSTATUS entryStatus_;
    int devices_ = 0;  // Device objects made on this driver and not yet destroyed
};

// One device of a driver, with its physical device object (whose driver key
// exists in the host registry). Destruction removes it if it is still there.
class Device {
public:
    explicit Device(Driver& driver);
    ~Device();
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    // The PnP steps; each calls the driver's dispatch routine if it has one.
    NTSTATUS Add();
    NTSTATUS Start();
    void Stop();
    // Frees the object bag (running its free routines) and forgets the device.
    void Remove();
    // A device power change as the power manager sends it around a system
    // sleep (to D3 with PowerSystemSleeping3) and wake (to D0 with
    // PowerSystemWorking): the driver's QueryPower may refuse it, with its
    // status returned; then SetPower is called with the new and the old
    // state, and the device's DevicePowerState follows. A change to the
    // state the device is in does nothing.
    NTSTATUS SetPower(DEVICE_POWER_STATE state);

    KSDEVICE* Ks() { return &device_; }
    PDEVICE_OBJECT PhysicalDeviceObject() { return device_.PhysicalDeviceObject; }
    size_t BagSize() const;

private:
    Driver& driver_;
    KSDEVICE device_{};
    DEVICE_OBJECT functional_{};
    bool added_ = false;
};

namespace ks {

class KsMutex;

// The device mutex of an added device; a bug check for any other.
KsMutex& DeviceMutex(PKSDEVICE device);

}  // namespace ks
}  // namespace host
