// Host stand-in for the kernel's driver development header: the subset of
// the executive's types, constants and routines the driver uses, with the
// Windows x64 sizes and layouts and the names and signatures of the
// mingw-w64 headers. Implemented by host/nt; host/include/ks.h builds on it.
#pragma once

#include "nt/io.h"
#include "nt/kernel.h"
#include "nt/objects.h"
#include "nt/pool.h"
#include "nt/registry.h"
#include "nt/rtl.h"
#include "nt/status.h"
#include "nt/threads.h"
#include "nt/types.h"
