// Single-precision sine, cosine and square root for the hue matrix. The kernel
// exports no maths library, so the driver carries its own and both builds run
// the same code.
#pragma once

// Accurate to within one unit in the last place for |x| up to a few thousand
// radians; any |x| below 1e9 gives a value in [-1, 1].
float SineFloat(float x);
float CosineFloat(float x);
// The sqrtss instruction: correctly rounded.
float SquareRootFloat(float x);
