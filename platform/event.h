// Notification events: once set, an event stays set, waking every waiter,
// until it is cleared. Setting and clearing are allowed inside a short lock;
// waiting only at passive level.
#pragma once

#include "platform/kernel.h"

struct Event {
    KEVENT event;
};

// Initialises a notification event, not set.
void InitializeEvent(Event* event);
void SignalEvent(Event* event);
void ClearEvent(Event* event);
// Waits without a time-out, not alertable, until the event is set.
void WaitForEvent(Event* event);
