// Single-precision sine, cosine and square root for the hue matrix. The kernel
// exports no maths library, so the driver carries its own and both builds run
// the same code.
#pragma once

// Within one unit in the last place of the exact value for |x| <= 2 pi, the
// range of the hue angles; larger arguments lose accuracy gradually, and any
// |x| below 1e9 still gives a value in [-1, 1].
float SineFloat(float x);
float CosineFloat(float x);
// The sqrtss instruction: correctly rounded.
float SquareRootFloat(float x);
