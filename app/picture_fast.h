#pragma once
// Pieces of the fast picture: the exact scalar pixel and the vector column kernels.

#include <cstddef>
#include <cstdint>

#include "app/picture.h"

namespace vorlune {

// A pixel's code: its hue 0..360 in colour, 1 (white) or 0 (not written) in black and white.
inline constexpr uint16_t kRejectedCode = 0xFFFF;  // the vector kernel leaves it to the exact path

// Exact scalar pixel --------------------------------------------------------------------------
float SineAsFloat(double x);         // (float) sinl(x), through the double sine where safe
bool SineNeedsLongDouble(double s);  // s tiny, NaN, or within 64 units of a float midpoint
uint16_t HueOfFloat(float v);        // HueOfValue(v) for v in [-1, 1] and NaN, in double
uint16_t ExactPixelCode(float xsSquared, float ys, float p, bool colour);

// Vector column kernels (x86-64 with glibc's vector maths only) -------------------------------
// The codes of count rows (a multiple of kRowMultiple, padded) of one column, kRejectedCode
// where the certified error bounds cannot decide the pixel.
struct ColumnJob {
    double xsSquared;  // the column's rounded square, widened
    const double* ys;  // the rows' coordinates, widened
    size_t count;
    double p;
    bool colour;
    uint16_t* codes;
};
inline constexpr size_t kRowMultiple = 32;
inline constexpr double kLargestVectorExponent = 65536;  // beyond it the bounds are not derived
inline constexpr double kVectorSineError = 0x1p-48;      // absolute, for arguments below 2^40

void ComputeColumnAvx2(const ColumnJob& job);
void ComputeColumnAvx512(const ColumnJob& job);
void SineAvx2(const double* x, double* s, size_t count);    // count a multiple of 4
void SineAvx512(const double* x, double* s, size_t count);  // count a multiple of 8
// The vector sine of a path, count a multiple of 8; false for the scalar or an unsupported path.
bool ComputeVectorSines(PicturePath path, const double* x, double* s, size_t count);

}  // namespace vorlune
