#pragma once
// The vector line kernel, written once over a lane type and included by each instruction-set
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
// Added to a value below 2^51, it leaves the nearest whole number in the low fraction bits.
constexpr double kRoundingShift = 0x1.8p52;

// Error bounds, all with room to spare:
// - the vector sum S = xs^2 + ys^2 in double is within 2^-53 of the exact sum, the formula's
//   root within 2^-53 (plus 2^-63) of the exact root, so the powers differ by < |P| 2^-51;
// - the power is 2^n 2^(f + P/2 log2 m) with S = 2^e m, m in [1, 2), e P/2 = n + f exactly:
//   glibc promises at most 4 units for its vector log2 (< 2^-51 absolute on [0, 1)) and exp2,
//   so the exponent is within (|P|/2 + 1) 2^-51 and the power within that and 2^-50, relative;
//   the formula's scalar pow is within 1 unit; all of it stays below the sum of the constants;
// - the long double sine the formula uses is within 2^-60, the vector sine within 2^-48,
//   absolute, and a power that underflows is off by less than 2^-1074;
// - a float v rounds at most 2^-25 away from a value in [-1, 1], so a hue step of v lies
//   within 2^-25 of the real (k + 0.5) / 180 - 1; the double arithmetic of the hue test stays
//   below 2^-40 degrees; the margins are rounded up by kSlack.
constexpr double kRootRelativeError = 0x1p-51;       // per unit of |P|
constexpr double kLogarithmRelativeError = 0x1p-51;  // per unit of |P|/2 + 1
constexpr double kExponentialRelativeError = 0x1p-49;
constexpr double kSineError = kVectorSineError + 0x1p-60;
constexpr double kFloatRounding = 0x1p-25;
constexpr double kHueArithmetic = 0x1p-40;
constexpr double kTinySine = 0x1p-100;  // far above where a negative v rounds to -0
constexpr double kSlack = 1 + 0x1p-30;

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

// sin x for 0 <= x < 2^40 within 2^-48: k = x / pi rounded to a whole number in the shifted
// sum's low bits, r = x - k pi in three fused steps (the first is exact, the next two round by
// at most 2^-54 each, |r| < 1.5711), then the Taylor series of sin r to r^21 (truncation below
// 2^-59; coefficients and Horner steps round by less than 2^-50).
template <class L>
typename L::Doubles SineOf(typename L::Doubles x) {
    using Doubles = typename L::Doubles;
    const Doubles shifted = L::MulAdd(x, L::Broadcast(kOneOverPi), L::Broadcast(kRoundingShift));
    const Doubles k = L::Sub(shifted, L::Broadcast(kRoundingShift));
    Doubles r = L::SubtractProduct(x, k, L::Broadcast(kPiHigh));
    r = L::SubtractProduct(r, k, L::Broadcast(kPiMiddle));
    r = L::SubtractProduct(r, k, L::Broadcast(kPiLow));
    const Doubles z = L::Mul(r, r);
    Doubles series = L::Broadcast(kSineSeries[0]);
    for (size_t n = 1; n < sizeof kSineSeries / sizeof kSineSeries[0]; ++n)
        series = L::MulAdd(series, z, L::Broadcast(kSineSeries[n]));
    // sin(r + k pi) = (-1)^k sin r, the parity of k being the lowest bit of the shifted sum.
    return L::NegateWhereOdd(L::Mul(series, r), shifted);
}

// S^(P/2) = 2^n 2^(f + P/2 log2 m): only the mantissa's logarithm is rounded, so the error does
// not grow with the power. scaled tells the lanes where the scaling by 2^n is exact.
template <class L>
typename L::Doubles PowerOf(typename L::Doubles sum, typename L::Doubles halfP,
                            typename L::Mask& scaled) {
    using Doubles = typename L::Doubles;
    const Doubles product = L::Mul(L::Exponent(sum), halfP);  // exact: 11 bits by 24
    const Doubles whole = L::Floor(product);
    const Doubles fraction = L::Sub(product, whole);  // exact
    const Doubles exponent = L::MulAdd(halfP, L::Log2(L::Mantissa(sum)), fraction);
    scaled = L::ScalesExactly(whole);
    return L::Scale(L::Exp2(exponent), whole);
}

// The hue round((s + 1) * 180); certain tells where the true value rounds to it for sure.
template <class L>
typename L::Doubles HueCode(typename L::Doubles s, typename L::Doubles margin,
                            typename L::Mask& certain) {
    using Doubles = typename L::Doubles;
    const Doubles degrees = L::MulAdd(s, L::Broadcast(180.0), L::Broadcast(180.0));
    const Doubles hue = L::RoundToNearest(degrees);  // a tie is never inside the margin
    const Doubles offset = L::Abs(L::Sub(degrees, hue));
    certain = L::Less(L::Add(offset, margin), L::Broadcast(0.5));
    return hue;
}

// White (1) for a negative value, 0 otherwise; certain tells where the sign is sure.
template <class L>
typename L::Doubles SignCode(typename L::Doubles s, typename L::Doubles margin,
                             typename L::Mask& certain) {
    certain = L::Less(margin, L::Abs(s));
    return L::Select(L::Less(s, L::Broadcast(0.0)), L::Broadcast(1.0), L::Broadcast(0.0));
}

// Lines go kLineMultiple places at a time, in independent vectors: one vector's chain of
// dependent steps (two library calls and the series) is too long for the processor to overlap
// with the next on its own.
template <class L>
bool ComputeLine(const LineJob& job) {
    using Doubles = typename L::Doubles;
    constexpr size_t kVectors = kLineMultiple / L::kLanes;
    const double magnitude = job.p < 0 ? -job.p : job.p;
    const double relativeError =
        (magnitude * kRootRelativeError + (magnitude / 2 + 1) * kLogarithmRelativeError +
         kExponentialRelativeError) *
        kSlack;
    // The margin is a x power + b: the absolute error, scaled to degrees for the hue.
    const double scale = job.colour ? 180 * kSlack : 1.0;
    const Doubles marginPerPower = L::Broadcast(relativeError * scale);
    const Doubles marginBase =
        L::Broadcast(job.colour ? (kSineError + kFloatRounding) * scale + kHueArithmetic
                                : (kSineError + kTinySine) * kSlack);
    const Doubles lineSquare = L::Broadcast(job.lineSquare);
    const Doubles halfP = L::Broadcast(job.p / 2);
    typename L::Mask allDecided = L::AllLanes();
    for (size_t place = 0; place < job.count; place += kLineMultiple) {
        Doubles sum[kVectors], power[kVectors];
        typename L::Mask scaled[kVectors];
        for (size_t v = 0; v < kVectors; ++v)
            sum[v] = L::Add(L::Load(job.squares + place + v * L::kLanes), lineSquare);
        for (size_t v = 0; v < kVectors; ++v)
            power[v] = PowerOf<L>(sum[v], halfP, scaled[v]);
        for (size_t v = 0; v < kVectors; ++v) {
            const Doubles s = SineOf<L>(power[v]);
            const Doubles margin = L::MulAdd(power[v], marginPerPower, marginBase);
            // Zero, infinite or NaN sums, and NaN or huge powers, go to the exact path.
            const auto usable =
                L::And(L::And(L::Less(L::Broadcast(0.0), sum[v]), L::Less(sum[v], L::Infinity())),
                       L::And(L::Less(power[v], L::Broadcast(kLargestVectorSine)), scaled[v]));
            typename L::Mask certain;
            const Doubles code =
                job.colour ? HueCode<L>(s, margin, certain) : SignCode<L>(s, margin, certain);
            const auto decided = L::And(usable, certain);
            allDecided = L::And(allDecided, decided);
            L::StoreCodes(job.codes + place + v * L::kLanes,
                          L::Select(decided, code, L::Broadcast(kRejectedCode)));
        }
    }
    return L::AllTrue(allDecided);
}

template <class L>
void ComputeSines(const double* x, double* s, size_t count) {
    for (size_t i = 0; i < count; i += L::kLanes)
        L::Store(s + i, SineOf<L>(L::Load(x + i)));
}

}  // namespace
}  // namespace vorlune
