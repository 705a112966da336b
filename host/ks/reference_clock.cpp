// The reference clock.
#include "host/ks/reference_clock.h"

#include <chrono>

#include "host/ks/pool_object.h"

namespace host::ks {

namespace {

LONGLONG MonotonicTime() {
    using Ticks = std::chrono::duration<LONGLONG, std::ratio<1, 10000000>>;
    return std::chrono::duration_cast<Ticks>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

ReferenceClock* ReferenceClock::Create() {
    return NewInPool<ReferenceClock>(ClockTag);
}

NTSTATUS STDMETHODCALLTYPE ReferenceClock::QueryInterface(REFIID, PVOID* object) {
    *object = nullptr;
    return STATUS_NOT_IMPLEMENTED;
}

ULONG STDMETHODCALLTYPE ReferenceClock::AddRef() {
    return ++references_;
}

ULONG STDMETHODCALLTYPE ReferenceClock::Release() {
    const ULONG left = --references_;
    if (left == 0) {
        DeleteInPool(this, ClockTag);
    }
    return left;
}

LONGLONG STDMETHODCALLTYPE ReferenceClock::GetTime() {
    return MonotonicTime();
}

LONGLONG STDMETHODCALLTYPE ReferenceClock::GetPhysicalTime() {
    return MonotonicTime();
}

LONGLONG STDMETHODCALLTYPE ReferenceClock::GetCorrelatedTime(PLONGLONG systemTime) {
    *systemTime = MonotonicTime();
    return *systemTime;
}

LONGLONG STDMETHODCALLTYPE ReferenceClock::GetCorrelatedPhysicalTime(PLONGLONG systemTime) {
    return GetCorrelatedTime(systemTime);
}

NTSTATUS STDMETHODCALLTYPE ReferenceClock::GetResolution(PKSRESOLUTION resolution) {
    *resolution = {1, 1};
    return STATUS_SUCCESS;
}

NTSTATUS STDMETHODCALLTYPE ReferenceClock::GetState(PKSSTATE state) {
    *state = KSSTATE_RUN;
    return STATUS_SUCCESS;
}

}  // namespace host::ks
