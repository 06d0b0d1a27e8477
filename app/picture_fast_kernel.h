#pragma once
// The vector column kernel, written once over a lane type and included by each instruction-set
// file. Those files are compiled with wider instructions enabled, so everything here is internal
// and uses no library inline function: no wide instruction can reach code shared with others.

#include <cstddef>
#include <cstdint>

#include "app/picture_fast.h"

namespace vorlune {
namespace {

// pi as a sum of three doubles (the rest is below 2^-162), and 1/pi rounded.
constexpr double kPiHigh = 0x1.921fb54442d18p+1;
constexpr double kPiMiddle = 0x1.1a62633145c07p-53;
constexpr double kPiLow = -0x1.f1976b7ed8fbcp-109;
constexpr double kOneOverPi = 0x1.45f306dc9c883p-2;
constexpr double kLargestSineArgument = 0x1p40;
constexpr double kLargestSquare = 0x1.fffffffffffffp+1023;
constexpr double kLargestExp2Power = 16;  // log2 of the power, beyond it the error grows too much

// Error bounds, all with room to spare, relative to the power unless said otherwise:
// - the vector sum S = xs^2 + ys^2 in double is within 2^-53 of the exact sum, the formula's
//   root within 2^-53 (plus 2^-63) of the exact root, so the powers differ by < |P| 2^-51;
// - glibc promises at most 4 units for its vector pow, log2 and exp2 (2^-50 each), the scalar
//   pow is within 1: 2^-49 for a pow; exp2(y) with y = P/2 log2 S, the power's binary
//   logarithm, adds |y| 2^-49 for the error of y;
// - the long double sine the formula uses is within 2^-60, the vector sine within 2^-48,
//   absolute;
// - a float v rounds at most 2^-25 away from a value in [-1, 1], so a hue step of v lies
//   within 2^-25 of the real (k + 0.5) / 180 - 1; the double arithmetic of the hue test stays
//   below 2^-40 degrees.
constexpr double kRootRelativeError = 0x1p-51;
constexpr double kPowerRelativeError = 0x1p-49;
constexpr double kLogarithmRelativeError = 0x1p-49;
constexpr double kSineError = kVectorSineError + 0x1p-60;
constexpr double kFloatRounding = 0x1p-25;
constexpr double kHueArithmetic = 0x1p-40;
constexpr double kTinySine = 0x1p-100;  // far above where a negative v rounds to -0

constexpr double Factorial(int n) {
    return n <= 1 ? 1.0 : n * Factorial(n - 1);  // exact in double up to 22!
}

constexpr double SineCoefficient(int n) {
    return ((n / 2) % 2 == 0 ? 1.0 : -1.0) / Factorial(n);
}

// The Taylor series of sin r / r as a polynomial in r^2, highest power first.
constexpr double kSineSeries[] = {SineCoefficient(21), SineCoefficient(19), SineCoefficient(17),
                                  SineCoefficient(15), SineCoefficient(13), SineCoefficient(11),
                                  SineCoefficient(9),  SineCoefficient(7),  SineCoefficient(5),
                                  SineCoefficient(3),  SineCoefficient(1)};

// sin x for 0 <= x < 2^40 within 2^-48: r = x - k pi in three fused steps (the first is exact,
// the next two round by at most 2^-54 each, |r| < 1.5711), then the Taylor series of sin r to
// r^21 (truncation below 2^-59; coefficients and Horner steps round by less than 2^-50).
template <class L>
typename L::Doubles SineOf(typename L::Doubles x) {
    using Doubles = typename L::Doubles;
    const Doubles k = L::RoundToNearest(L::Mul(x, L::Broadcast(kOneOverPi)));
    Doubles r = L::SubtractProduct(x, k, L::Broadcast(kPiHigh));
    r = L::SubtractProduct(r, k, L::Broadcast(kPiMiddle));
    r = L::SubtractProduct(r, k, L::Broadcast(kPiLow));
    const Doubles z = L::Mul(r, r);
    Doubles series = L::Broadcast(kSineSeries[0]);
    for (size_t n = 1; n < sizeof kSineSeries / sizeof kSineSeries[0]; ++n)
        series = L::MulAdd(series, z, L::Broadcast(kSineSeries[n]));
    const Doubles sine = L::Mul(series, r);
    // sin(r + k pi) = (-1)^k sin r
    const Doubles half = L::Mul(k, L::Broadcast(0.5));
    return L::Select(L::Equal(half, L::Floor(half)), sine, L::Negate(sine));
}

// The hue round((s + 1) * 180), or kRejectedCode when the true value could round otherwise.
template <class L>
typename L::Doubles HueCode(typename L::Doubles s, typename L::Doubles error) {
    using Doubles = typename L::Doubles;
    const Doubles degrees = L::Mul(L::Add(s, L::Broadcast(1.0)), L::Broadcast(180.0));
    const Doubles whole = L::Floor(degrees);
    const Doubles offset = L::Sub(L::Sub(degrees, whole), L::Broadcast(0.5));  // from k + 0.5
    const Doubles margin = L::MulAdd(L::Add(error, L::Broadcast(kFloatRounding)),
                                     L::Broadcast(180.0), L::Broadcast(kHueArithmetic));
    Doubles hue = L::Add(whole, L::Select(L::GreaterEqual(offset, L::Broadcast(0.0)),
                                          L::Broadcast(1.0), L::Broadcast(0.0)));
    hue = L::Max(L::Broadcast(0.0), L::Min(hue, L::Broadcast(360.0)));
    return L::Select(L::Less(margin, L::Abs(offset)), hue, L::Broadcast(kRejectedCode));
}

// White (1) for a negative value, 0 otherwise, or kRejectedCode when the sign is uncertain.
template <class L>
typename L::Doubles SignCode(typename L::Doubles s, typename L::Doubles error) {
    using Doubles = typename L::Doubles;
    const Doubles white =
        L::Select(L::Less(s, L::Broadcast(0.0)), L::Broadcast(1.0), L::Broadcast(0.0));
    const auto certain = L::Less(L::Add(error, L::Broadcast(kTinySine)), L::Abs(s));
    return L::Select(certain, white, L::Broadcast(kRejectedCode));
}

// The power S^(P/2) and its relative error bound: through exp2 and log2 where the power is
// moderate, as they are three times faster than pow, through pow otherwise.
template <class L>
typename L::Doubles PowerOf(typename L::Doubles sum, typename L::Doubles halfP,
                            typename L::Doubles baseError, typename L::Doubles& relativeError) {
    using Doubles = typename L::Doubles;
    const Doubles exponent = L::Mul(L::Log2(sum), halfP);
    const Doubles size = L::Abs(exponent);
    if (L::AllTrue(L::Less(size, L::Broadcast(kLargestExp2Power)))) {
        relativeError = L::MulAdd(size, L::Broadcast(kLogarithmRelativeError), baseError);
        return L::Exp2(exponent);
    }
    relativeError = baseError;
    return L::Pow(sum, halfP);
}

// Rows go kRowMultiple at a time, in independent vectors: one vector's chain of dependent
// steps (two library calls and the series) is too long for the processor to overlap with the
// next on its own.
template <class L>
void ComputeColumn(const ColumnJob& job) {
    using Doubles = typename L::Doubles;
    constexpr size_t kVectors = kRowMultiple / L::kLanes;
    const Doubles xsSquared = L::Broadcast(job.xsSquared);
    const Doubles halfP = L::Broadcast(job.p / 2);
    const double magnitude = job.p < 0 ? -job.p : job.p;
    const Doubles baseError = L::Broadcast(magnitude * kRootRelativeError + kPowerRelativeError);
    for (size_t row = 0; row < job.count; row += kRowMultiple) {
        Doubles sum[kVectors], power[kVectors], relativeError[kVectors];
        for (size_t v = 0; v < kVectors; ++v) {
            const Doubles ys = L::Load(job.ys + row + v * L::kLanes);
            sum[v] = L::MulAdd(ys, ys, xsSquared);  // ys * ys is exact
        }
        for (size_t v = 0; v < kVectors; ++v)
            power[v] = PowerOf<L>(sum[v], halfP, baseError, relativeError[v]);
        for (size_t v = 0; v < kVectors; ++v) {
            const Doubles s = SineOf<L>(power[v]);
            const Doubles error = L::MulAdd(power[v], relativeError[v], L::Broadcast(kSineError));
            // Zero or infinite sums, NaN and huge powers go to the exact path.
            const auto usable =
                L::And(L::And(L::Less(L::Broadcast(0.0), sum[v]),
                              L::LessEqual(sum[v], L::Broadcast(kLargestSquare))),
                       L::And(L::LessEqual(L::Broadcast(0.0), power[v]),
                              L::Less(power[v], L::Broadcast(kLargestSineArgument))));
            const Doubles code = job.colour ? HueCode<L>(s, error) : SignCode<L>(s, error);
            L::StoreCodes(job.codes + row + v * L::kLanes,
                          L::Select(usable, code, L::Broadcast(kRejectedCode)));
        }
    }
}

template <class L>
void ComputeSines(const double* x, double* s, size_t count) {
    for (size_t i = 0; i < count; i += L::kLanes)
        L::Store(s + i, SineOf<L>(L::Load(x + i)));
}

}  // namespace
}  // namespace vorlune
