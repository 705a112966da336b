// Run-time library: counted UTF-16 strings and memory helpers.
#pragma once

#include "types.h"

typedef struct _UNICODE_STRING {
    USHORT Length;  // bytes, without a terminator
    USHORT MaximumLength;
    PWSTR Buffer;
} UNICODE_STRING, *PUNICODE_STRING;
typedef const UNICODE_STRING* PCUNICODE_STRING;

static_assert(sizeof(UNICODE_STRING) == 16 && offsetof(UNICODE_STRING, Buffer) == 8,
              "UNICODE_STRING layout");

// Points DestinationString at SourceString (NUL-terminated, or null for an
// empty string) without copying.
NTSYSAPI VOID NTAPI RtlInitUnicodeString(PUNICODE_STRING DestinationString, PCWSTR SourceString);

// The number of leading bytes that are equal.
NTSYSAPI SIZE_T NTAPI RtlCompareMemory(const VOID* Source1, const VOID* Source2, SIZE_T Length);

#define RtlCopyMemory(destination, source, length) \
    __builtin_memcpy((destination), (source), (length))
#define RtlMoveMemory(destination, source, length) \
    __builtin_memmove((destination), (source), (length))
#define RtlFillMemory(destination, length, fill) __builtin_memset((destination), (fill), (length))
#define RtlZeroMemory(destination, length) __builtin_memset((destination), 0, (length))
