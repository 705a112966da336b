// Basic types of the kernel headers, with the sizes they have on Windows x64:
// LONG and ULONG are 32 bits here as there (never `long`), WCHAR is a 16-bit
// UTF-16 code unit, pointer-sized integers are 64 bits.
#pragma once

#include <stddef.h>
#include <stdint.h>

// Calling conventions: every routine, callback and interface method that
// crosses the kernel boundary uses the Microsoft x64 convention, as the .sys
// built for Windows does, so the host calls and is called by both drivers the
// same way. A System V function assigned to one of these pointer types fails
// to compile. On x64 __stdcall and __fastcall are that same convention.
#define NTAPI __attribute__((ms_abi))
#define FASTCALL __attribute__((ms_abi))
#define STDMETHODCALLTYPE __attribute__((ms_abi))
#define NTKERNELAPI
#define NTSYSAPI
#define NTHALAPI
#define IN
#define OUT
#define OPTIONAL
#define CONST const
#define DECLSPEC_NORETURN __attribute__((noreturn))

typedef void VOID;
typedef VOID* PVOID;
typedef PVOID* PPVOID;
typedef const VOID* PCVOID;

typedef char CHAR;
typedef CHAR* PCHAR;
typedef CHAR* PSTR;
typedef const CHAR* PCSTR;
typedef char CCHAR;
typedef unsigned char UCHAR;
typedef UCHAR* PUCHAR;
typedef int16_t SHORT;
typedef SHORT* PSHORT;
typedef int16_t CSHORT;
typedef uint16_t USHORT;
typedef USHORT* PUSHORT;
typedef int32_t LONG;
typedef LONG* PLONG;
typedef uint32_t ULONG;
typedef ULONG* PULONG;
typedef int64_t LONGLONG;
typedef LONGLONG* PLONGLONG;
typedef uint64_t ULONGLONG;
typedef ULONGLONG* PULONGLONG;
typedef int64_t LONG64;
typedef uint64_t ULONG64;
typedef ULONG64* PULONG64;

// Pointer-sized integers; SIZE_T is the same type as size_t in both builds.
typedef intptr_t LONG_PTR;
typedef LONG_PTR* PLONG_PTR;
typedef uintptr_t ULONG_PTR;
typedef ULONG_PTR* PULONG_PTR;
typedef ULONG_PTR SIZE_T;
typedef SIZE_T* PSIZE_T;

typedef UCHAR BOOLEAN;
typedef BOOLEAN* PBOOLEAN;
#define TRUE 1
#define FALSE 0

typedef char16_t WCHAR;
typedef WCHAR* PWCHAR;
typedef WCHAR* PWSTR;
typedef const WCHAR* PCWSTR;

typedef PVOID HANDLE;
typedef HANDLE* PHANDLE;

typedef ULONG ACCESS_MASK;
typedef ACCESS_MASK* PACCESS_MASK;

typedef union _LARGE_INTEGER {
    struct {
        ULONG LowPart;
        LONG HighPart;
    };
    struct {
        ULONG LowPart;
        LONG HighPart;
    } u;
    LONGLONG QuadPart;
} LARGE_INTEGER, *PLARGE_INTEGER;

typedef struct _LIST_ENTRY {
    struct _LIST_ENTRY* Flink;
    struct _LIST_ENTRY* Blink;
} LIST_ENTRY, *PLIST_ENTRY;

typedef struct _GUID {
    ULONG Data1;
    USHORT Data2;
    USHORT Data3;
    UCHAR Data4[8];
} GUID, *PGUID;
typedef const GUID* LPCGUID;

// DEFINE_GUID declares the name; where INITGUID is defined it also defines
// it, once for the whole program however many files do so.
#ifdef INITGUID
#define DEFINE_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
    extern const GUID __attribute__((weak)) name = {l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}}
#else
#define DEFINE_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) extern const GUID name
#endif

inline bool IsEqualGUID(const GUID& a, const GUID& b) {
    for (int i = 0; i < 8; ++i) {
        if (a.Data4[i] != b.Data4[i]) {
            return false;
        }
    }
    return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3;
}

#define FIELD_OFFSET(type, field) ((LONG)offsetof(type, field))
#define CONTAINING_RECORD(address, type, field) \
    ((type*)((PCHAR)(address) - (ULONG_PTR)offsetof(type, field)))
#define UNREFERENCED_PARAMETER(p) ((void)(p))
#define ARGUMENT_PRESENT(p) ((p) != NULL)

static_assert(sizeof(LONG) == 4 && sizeof(ULONG) == 4, "LONG and ULONG are 32 bits");
static_assert(sizeof(WCHAR) == 2, "WCHAR is a UTF-16 code unit");
static_assert(sizeof(SIZE_T) == 8 && sizeof(ULONG_PTR) == 8, "pointer-sized integers");
static_assert(sizeof(LARGE_INTEGER) == 8, "LARGE_INTEGER layout");
static_assert(sizeof(LIST_ENTRY) == 16, "LIST_ENTRY layout");
static_assert(sizeof(GUID) == 16 && offsetof(GUID, Data4) == 8, "GUID layout");
