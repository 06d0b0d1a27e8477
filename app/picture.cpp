#include "app/picture.h"

#include <cmath>

#include "runtime/core/random.h"

// This is the reference implementation of the picture: every rounding point is written out.
// Inside one expression the arithmetic runs in long double (64-bit mantissa); each assignment
// to a float rounds to float; Power and RoundValue take and give doubles. The build must not
// contract multiplications and additions (-ffp-contract=off) nor relax IEEE rules.

namespace vorlune {
namespace {

constexpr int kRoundNearest = 2;
constexpr double kTwoToThe63 = 9223372036854775808.0;

// What the processor's conversion gives: the most negative value for anything that does not
// fit, not a number included. A plain cast would be undefined there.
int64_t WholeToInt64(double w) {
    if (w >= -kTwoToThe63 && w < kTwoToThe63) return static_cast<int64_t>(w);
    return INT64_MIN;
}

}  // namespace

float MinOf(float a, float b) {
    return a < b ? a : b;  // b when b <= a and when the two do not compare
}

int HueToRGB(uint16_t h, float rgb[3]) {
    const long double hue = h;
    float t[3];
    if (h < 120) {
        t[0] = static_cast<float>((120 - hue) / 60);
        t[1] = static_cast<float>(hue / 60);
        t[2] = 0;
    } else if (h < 240) {
        t[0] = 0;
        t[1] = static_cast<float>((240 - hue) / 60);
        t[2] = static_cast<float>((hue - 120) / 60);
    } else {
        t[0] = static_cast<float>((hue - 240) / 60);
        t[1] = 0;
        t[2] = static_cast<float>((360 - hue) / 60);
    }
    for (int i = 0; i < 3; ++i) {
        const long double scaled = static_cast<long double>(MinOf(t[i], 1.0f)) * 255;
        rgb[i] = static_cast<float>(RoundValue(static_cast<double>(scaled), kRoundNearest));
    }
    return 0;
}

float ScaledCoordinate(uint16_t position, const PictureSettings& settings) {
    const long double k = settings.k;
    if (settings.origin != 0) {
        const long double half = static_cast<long double>(settings.size) / 2;  // 255.5 for 511
        return static_cast<float>((static_cast<long double>(position) - half + 0.5L) / k);
    }
    return static_cast<float>(static_cast<long double>(position) / k);
}

double DistancePower(float xsSquared, float ys, float p) {
    // ys * ys stays exact in long double; the sum and the root are rounded there, r to double.
    const long double sum = static_cast<long double>(xsSquared) + static_cast<long double>(ys) * ys;
    const double r = static_cast<double>(std::sqrt(sum));  // long double overload
    return Power(r, static_cast<double>(p));
}

float PixelValue(float xsSquared, float ys, float p) {
    // The long double sine reduces any finite argument properly; an infinite one gives NaN.
    return static_cast<float>(std::sin(static_cast<long double>(DistancePower(xsSquared, ys, p))));
}

uint16_t HueOfValue(float v) {
    const long double degrees = (static_cast<long double>(v) + 1) * 180;
    const double w = RoundValue(static_cast<double>(degrees), kRoundNearest);
    return static_cast<uint16_t>(static_cast<uint64_t>(WholeToInt64(w)));  // low 16 bits
}

void ComputePictureLiteral(const PictureSettings& settings, PixelWriter writePixel, void* context) {
    // The loops test x <= size - 1 in 16 bits, which never fails for size 0.
    if (settings.size == 0) return;
    const uint16_t last = static_cast<uint16_t>(settings.size - 1);
    float rgb[3];
    for (uint16_t x = 0; x <= last; x = static_cast<uint16_t>(x + 1)) {
        float xs = ScaledCoordinate(x, settings);
        xs = static_cast<float>(static_cast<long double>(xs) * xs);  // may overflow to infinity
        for (uint16_t y = 0; y <= last; y = static_cast<uint16_t>(y + 1)) {
            const float ys = ScaledCoordinate(y, settings);
            const float v = PixelValue(xs, ys, settings.p);
            if (settings.colour != 0) {
                HueToRGB(HueOfValue(v), rgb);
                writePixel(context, x, y, static_cast<int>(rgb[0]), static_cast<int>(rgb[1]),
                           static_cast<int>(rgb[2]));
            } else if (v < 0 || std::isnan(v)) {
                writePixel(context, x, y, 255, 255, 255);
            }
        }
    }
}

}  // namespace vorlune
