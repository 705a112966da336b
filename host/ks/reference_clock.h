// The graph's reference clock: times in 100-ns units from the host's
// monotonic clock, reference counted. It lives in the pool, so a reference
// the driver never releases shows in the leak check.
#pragma once

#include <ks.h>

#include <atomic>

namespace host::ks {

class ReferenceClock final : public IKsReferenceClock {
public:
    // A new clock with one reference held by the caller; null when the pool
    // refuses.
    static ReferenceClock* Create();

    NTSTATUS STDMETHODCALLTYPE QueryInterface(REFIID interfaceId, PVOID* object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    LONGLONG STDMETHODCALLTYPE GetTime() override;
    LONGLONG STDMETHODCALLTYPE GetPhysicalTime() override;
    LONGLONG STDMETHODCALLTYPE GetCorrelatedTime(PLONGLONG systemTime) override;
    LONGLONG STDMETHODCALLTYPE GetCorrelatedPhysicalTime(PLONGLONG systemTime) override;
    NTSTATUS STDMETHODCALLTYPE GetResolution(PKSRESOLUTION resolution) override;
    NTSTATUS STDMETHODCALLTYPE GetState(PKSSTATE state) override;

    ULONG References() const { return references_.load(); }

private:
    std::atomic<ULONG> references_{1};
};

}  // namespace host::ks
