// The capture pin's dispatch routines: create, close, state changes and
// processing. Each finds the pin's CapturePin and works on it.
#pragma once

#include "platform/kernel.h"

// Locks the device's window, makes the CapturePin with a copy of the
// connection format, declares stream headers with a KS_FRAME_INFO, and gives
// the pin its own allocator framing of two frames of the format's image
// size.
NTSTATUS NTAPI PinCreate(PKSPIN pin, PIRP request);
// Unlocks the device's window.
NTSTATUS NTAPI PinClose(PKSPIN pin, PIRP request);
NTSTATUS NTAPI PinSetDeviceState(PKSPIN pin, KSSTATE to, KSSTATE from);
NTSTATUS NTAPI PinProcess(PKSPIN pin);
