// Process structure: system threads.
#pragma once

#include "kernel.h"

typedef struct _KTHREAD* PKTHREAD;
typedef struct _KTHREAD* PRKTHREAD;
typedef struct _ETHREAD* PETHREAD;

// The thread object type, for ObReferenceObjectByHandle(..., *PsThreadType, ...).
extern POBJECT_TYPE* PsThreadType;

#define THREAD_ALL_ACCESS (STANDARD_RIGHTS_REQUIRED | SYNCHRONIZE | 0xFFFF)

typedef struct _CLIENT_ID {
    HANDLE UniqueProcess;
    HANDLE UniqueThread;
} CLIENT_ID, *PCLIENT_ID;

static_assert(sizeof(CLIENT_ID) == 16, "CLIENT_ID layout");

typedef VOID NTAPI KSTART_ROUTINE(PVOID StartContext);
typedef KSTART_ROUTINE* PKSTART_ROUTINE;

NTKERNELAPI NTSTATUS NTAPI PsCreateSystemThread(PHANDLE ThreadHandle, ULONG DesiredAccess,
                                                POBJECT_ATTRIBUTES ObjectAttributes,
                                                HANDLE ProcessHandle, PCLIENT_ID ClientId,
                                                PKSTART_ROUTINE StartRoutine, PVOID StartContext);
// Ends the calling system thread; does not return.
NTKERNELAPI DECLSPEC_NORETURN NTSTATUS NTAPI PsTerminateSystemThread(NTSTATUS ExitStatus);
