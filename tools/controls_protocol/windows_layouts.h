// The Windows records the control requests are made of: the kernel
// streaming property header and the standard camera property sets' records.
// Both builds have them with the Windows x64 layouts: mingw-w64's user-mode
// headers for a Windows tool, host/include for the host one.
#pragma once

#if defined(_WIN32)
#include <windows.h>
#endif
#include <ks.h>
#include <ksmedia.h>
