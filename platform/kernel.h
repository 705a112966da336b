// The one header that brings in the platform's kernel headers: the WDK
// headers of mingw-w64 in the Windows build, our own subset in host/include
// in the host build. Everything build-specific below the kernel boundary
// stays in this file.
#pragma once

#if defined(_WIN32)

// wdm.h declares these two intrinsics a second time unless told they exist.
#define __INTRINSIC_DEFINED_InterlockedBitTestAndSet
#define __INTRINSIC_DEFINED_InterlockedBitTestAndReset
#include <ntddk.h>

// ksmedia.h uses TCHAR, which no kernel header defines.
typedef WCHAR TCHAR;
#include <windef.h>
// windef.h keeps the 16-bit pointer qualifiers as empty macros; they would
// swallow ordinary names.
#undef near
#undef far

// ks.h declares the reference-clock interface only when IUnknown is known.
#include <basetyps.h>
#ifndef DECLSPEC_NOTHROW
#define DECLSPEC_NOTHROW
#endif
#ifndef DECLSPEC_NOVTABLE
#define DECLSPEC_NOVTABLE
#endif
#define __IUnknown_INTERFACE_DEFINED__
struct IUnknown {
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;
};
typedef IUnknown* PUNKNOWN;

#include <ks.h>
#include <ksmedia.h>

// Wide string literals: WCHAR is wchar_t on Windows.
#define KERNEL_TEXT(text) L##text

// mingw-w64's wdm.h declares these for x86 only; the x64 kernel exports them
// and its import library has them.
extern "C" {
NTKERNELAPI NTSTATUS NTAPI KeSaveExtendedProcessorState(ULONG64 Mask, PXSTATE_SAVE XStateSave);
NTKERNELAPI VOID NTAPI KeRestoreExtendedProcessorState(PXSTATE_SAVE XStateSave);
}
// Its XSAVE component masks stop at the legacy ones: AVX (component 2) and
// AVX-512 (opmask, upper halves of ZMM0-15, ZMM16-31) as winnt.h has them.
#define XSTATE_MASK_AVX (1ULL << 2)
#define XSTATE_MASK_AVX512 (7ULL << 5)
// Its video frame flags stop at the picture types; the Windows SDK's
// ksmedia.h has this one too.
#define KS_VIDEO_FLAG_REPEAT_FIELD 0x0040L

#else

#include <ks.h>
#include <ksmedia.h>
#include <ntddk.h>

// Wide string literals: WCHAR is char16_t in the host headers.
#define KERNEL_TEXT(text) u##text

#endif

#if defined(_WIN32)
// Placement new: the kernel build has no C++ library headers.
inline void* operator new(decltype(sizeof(0)), void* place) noexcept {
    return place;
}
#else
#include <new>
#endif
