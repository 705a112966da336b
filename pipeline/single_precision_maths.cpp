// Sine and cosine: reduction by pi/2 and Taylor polynomials, all in double, so
// the single-precision result is the correctly rounded value in all but rare
// half-way cases.
#include "pipeline/single_precision_maths.h"

#include <emmintrin.h>

namespace {

constexpr double kHalfPi = 1.57079632679489661923;
constexpr double kTwoOverPi = 0.63661977236758134308;

// |r| <= pi/4: the first omitted term is below 1e-13 relative.
double SinePolynomial(double r) {
    const double r2 = r * r;
    return r * (1.0 + r2 * (-1.0 / 6.0 +
                            r2 * (1.0 / 120.0 +
                                  r2 * (-1.0 / 5040.0 + r2 * (1.0 / 362880.0 +
                                                              r2 * (-1.0 / 39916800.0 +
                                                                    r2 * (1.0 / 6227020800.0)))))));
}

double CosinePolynomial(double r) {
    const double r2 = r * r;
    return 1.0 +
           r2 * (-1.0 / 2.0 +
                 r2 * (1.0 / 24.0 +
                       r2 * (-1.0 / 720.0 +
                             r2 * (1.0 / 40320.0 +
                                   r2 * (-1.0 / 3628800.0 + r2 * (1.0 / 479001600.0 +
                                                                  r2 * (-1.0 / 87178291200.0)))))));
}

// x = quadrant * pi/2 + remainder with |remainder| <= pi/4.
struct Reduced {
    int quadrant;
    double remainder;
};

Reduced Reduce(float x) {
    const double wide = x;
    const double scaled = wide * kTwoOverPi;
    const int quadrant = static_cast<int>(scaled >= 0.0 ? scaled + 0.5 : scaled - 0.5);
    return {quadrant & 3, wide - quadrant * kHalfPi};
}

}  // namespace

float SineFloat(float x) {
    const Reduced reduced = Reduce(x);
    switch (reduced.quadrant) {
        case 0:
            return static_cast<float>(SinePolynomial(reduced.remainder));
        case 1:
            return static_cast<float>(CosinePolynomial(reduced.remainder));
        case 2:
            return static_cast<float>(-SinePolynomial(reduced.remainder));
        default:
            return static_cast<float>(-CosinePolynomial(reduced.remainder));
    }
}

float CosineFloat(float x) {
    const Reduced reduced = Reduce(x);
    switch (reduced.quadrant) {
        case 0:
            return static_cast<float>(CosinePolynomial(reduced.remainder));
        case 1:
            return static_cast<float>(-SinePolynomial(reduced.remainder));
        case 2:
            return static_cast<float>(-CosinePolynomial(reduced.remainder));
        default:
            return static_cast<float>(SinePolynomial(reduced.remainder));
    }
}

float SquareRootFloat(float x) {
    return _mm_cvtss_f32(_mm_sqrt_ss(_mm_set_ss(x)));
}
