// Notification events over the kernel's dispatcher events.
#include "platform/event.h"

void InitializeEvent(Event* event) {
    KeInitializeEvent(&event->event, NotificationEvent, FALSE);
}

void SignalEvent(Event* event) {
    KeSetEvent(&event->event, IO_NO_INCREMENT, FALSE);
}

void ClearEvent(Event* event) {
    KeResetEvent(&event->event);
}

void WaitForEvent(Event* event) {
    KeWaitForSingleObject(&event->event, Executive, KernelMode, FALSE, nullptr);
}
