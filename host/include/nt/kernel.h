// The kernel proper: interrupt request levels, spin locks, dispatcher
// objects (events and the waits on them), critical regions, the clock and
// the bug check.
#pragma once

#include "objects.h"

typedef UCHAR KIRQL;
typedef KIRQL* PKIRQL;
#define PASSIVE_LEVEL 0
#define APC_LEVEL 1
#define DISPATCH_LEVEL 2

typedef LONG KPRIORITY;
#define IO_NO_INCREMENT 0

typedef enum _KWAIT_REASON {
    Executive = 0,
    FreePage,
    PageIn,
    PoolAllocation,
    DelayExecution,
    Suspended,
    UserRequest,
} KWAIT_REASON;

typedef enum _EVENT_TYPE { NotificationEvent, SynchronizationEvent } EVENT_TYPE;

// The header every waitable object starts with. Type says what the object
// is, Size is the object's size in 32-bit words, SignalState whether it is
// signalled.
typedef struct _DISPATCHER_HEADER {
    UCHAR Type;
    UCHAR Signalling;
    UCHAR Size;
    UCHAR Reserved1;
    LONG SignalState;
    LIST_ENTRY WaitListHead;
} DISPATCHER_HEADER, *PDISPATCHER_HEADER;

typedef struct _KEVENT {
    DISPATCHER_HEADER Header;
} KEVENT, *PKEVENT, *PRKEVENT;

static_assert(sizeof(DISPATCHER_HEADER) == 24 && offsetof(DISPATCHER_HEADER, SignalState) == 4,
              "DISPATCHER_HEADER layout");
static_assert(sizeof(KEVENT) == 24, "KEVENT layout");

NTKERNELAPI VOID NTAPI KeInitializeEvent(PRKEVENT Event, EVENT_TYPE Type, BOOLEAN State);
// Both return the event's previous state.
NTKERNELAPI LONG NTAPI KeSetEvent(PRKEVENT Event, KPRIORITY Increment, BOOLEAN Wait);
NTKERNELAPI LONG NTAPI KeResetEvent(PRKEVENT Event);

// Waits for an event or a thread. Timeout: null waits forever, negative is
// relative in 100-ns units, positive an absolute system time.
NTKERNELAPI NTSTATUS NTAPI KeWaitForSingleObject(PVOID Object, KWAIT_REASON WaitReason,
                                                 KPROCESSOR_MODE WaitMode, BOOLEAN Alertable,
                                                 PLARGE_INTEGER Timeout);
// Puts the calling thread to sleep for Interval, in the forms of Timeout.
NTKERNELAPI NTSTATUS NTAPI KeDelayExecutionThread(KPROCESSOR_MODE WaitMode, BOOLEAN Alertable,
                                                  PLARGE_INTEGER Interval);

typedef ULONG_PTR KSPIN_LOCK;
typedef KSPIN_LOCK* PKSPIN_LOCK;

NTKERNELAPI VOID NTAPI KeInitializeSpinLock(PKSPIN_LOCK SpinLock);
NTKERNELAPI KIRQL NTAPI KeAcquireSpinLockRaiseToDpc(PKSPIN_LOCK SpinLock);
#define KeAcquireSpinLock(SpinLock, OldIrql) *(OldIrql) = KeAcquireSpinLockRaiseToDpc(SpinLock)
NTKERNELAPI VOID NTAPI KeReleaseSpinLock(PKSPIN_LOCK SpinLock, KIRQL NewIrql);
NTKERNELAPI KIRQL NTAPI KeGetCurrentIrql(VOID);

NTKERNELAPI VOID NTAPI KeEnterCriticalRegion(VOID);
NTKERNELAPI VOID NTAPI KeLeaveCriticalRegion(VOID);

NTHALAPI LARGE_INTEGER NTAPI KeQueryPerformanceCounter(PLARGE_INTEGER PerformanceFrequency);

// The active processors of one group, or of all with ALL_PROCESSOR_GROUPS.
#define ALL_PROCESSOR_GROUPS 0xffff
NTKERNELAPI ULONG NTAPI KeQueryActiveProcessorCountEx(USHORT GroupNumber);

// Extended processor state (XSAVE components) a driver saves before it uses
// vector registers beyond SSE: bit n of a mask is XSAVE component n.
#define XSTATE_MASK_LEGACY 0x3ULL
#define XSTATE_MASK_AVX 0x4ULL
#define XSTATE_MASK_AVX512 0xE0ULL  // opmask, upper halves of ZMM0-15, ZMM16-31

typedef struct _XSAVE_AREA XSAVE_AREA, *PXSAVE_AREA;

typedef struct _XSTATE_CONTEXT {
    ULONG64 Mask;
    ULONG Length;
    ULONG Reserved1;
    PXSAVE_AREA Area;
    PVOID Buffer;
} XSTATE_CONTEXT, *PXSTATE_CONTEXT;

// The caller's record of one save, on its stack; saves nest, newest first.
typedef struct _XSTATE_SAVE {
    struct _XSTATE_SAVE* Prev;
    PVOID Thread;
    UCHAR Level;
    XSTATE_CONTEXT XStateContext;
} XSTATE_SAVE, *PXSTATE_SAVE;

static_assert(sizeof(XSTATE_CONTEXT) == 32, "XSTATE_CONTEXT layout");
static_assert(sizeof(XSTATE_SAVE) == 56 && offsetof(XSTATE_SAVE, XStateContext) == 24,
              "XSTATE_SAVE layout");

// Saves the components in Mask for the calling thread, at or below
// DISPATCH_LEVEL; each successful save is undone by one restore of the same
// record on the same thread, newest first.
NTKERNELAPI NTSTATUS NTAPI KeSaveExtendedProcessorState(ULONG64 Mask, PXSTATE_SAVE XStateSave);
NTKERNELAPI VOID NTAPI KeRestoreExtendedProcessorState(PXSTATE_SAVE XStateSave);

NTKERNELAPI DECLSPEC_NORETURN VOID NTAPI KeBugCheckEx(ULONG BugCheckCode,
                                                      ULONG_PTR BugCheckParameter1,
                                                      ULONG_PTR BugCheckParameter2,
                                                      ULONG_PTR BugCheckParameter3,
                                                      ULONG_PTR BugCheckParameter4);
