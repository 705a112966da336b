// The capture pin's state machine: each step along stop, acquire, pause and
// run turned into the capture engine's operations.
#pragma once

#include "capture/capture_pin.h"

// One step from `from` to `to`; the class driver passes them one at a time.
NTSTATUS ChangePinState(CapturePin* pin, KSSTATE to, KSSTATE from);
