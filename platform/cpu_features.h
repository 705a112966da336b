// The widest vector instruction set the processor has and the operating
// system saves: CPUID for the instructions, XGETBV for the register state the
// OS has enabled in XCR0.
#pragma once

#include "platform/kernel.h"

// Instruction-set levels, as the SimdLevel setting numbers them.
constexpr LONG SimdLevelBest = 0;
constexpr LONG SimdLevelSse2 = 1;
constexpr LONG SimdLevelAvx2 = 2;
constexpr LONG SimdLevelAvx512 = 3;  // AVX-512 F and BW

// SSE2 at least: every x86-64 processor has it. Detected once, at the first
// call, which the driver's entry makes.
LONG SupportedSimdLevel();

// The processors active now, in every processor group.
ULONG ActiveProcessorCount();
