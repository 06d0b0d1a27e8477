#pragma once
// Pieces of the fast picture: the exact scalar pixel, the vector line kernels and the lines of
// codes they fill. The kernel files include this header: it holds no inline code they could
// compile with their wider instructions for everyone.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "app/picture.h"

namespace vorlune {

// A pixel's code: its hue 0..360 in colour, 1 (white) or 0 (not written) in black and white.
inline constexpr uint16_t kRejectedCode = 0xFFFF;  // the vector kernel leaves it to the exact path
inline constexpr uint16_t kLargestHue = 360;

// Exact scalar pixel --------------------------------------------------------------------------
float SineAsFloat(double x);         // (float) sinl(x), through the double sine where safe
bool SineNeedsLongDouble(double s);  // s tiny, NaN, or within 64 units of a float midpoint
uint16_t HueOfFloat(float v);        // HueOfValue(v) for v in [-1, 1] and NaN, in double
uint16_t ExactCodeOfPower(double power, bool colour);  // power as DistancePower gives it
uint16_t ExactPixelCode(float xsSquared, float ys, float p, bool colour);

// Vector line kernels (x86-64 with glibc's vector maths only) ---------------------------------
// A line is a row or a column of the picture. Each of its sums xs * xs + ys * ys is the line's
// own square plus one square along the line, rounded once in double; ys * ys is exact there.
// The kernel writes count codes (a multiple of kLineMultiple, padded), kRejectedCode where the
// certified error bounds cannot decide the pixel, and answers whether it decided them all.
struct LineJob {
    double lineSquare;      // a row's ys * ys, or a column's xs * xs rounded to float
    const double* squares;  // along the line: the columns' rounded xs * xs, or the rows' ys * ys
    size_t count;
    double p;
    bool colour;
    uint16_t* codes;
};
inline constexpr size_t kLineMultiple = 32;
inline constexpr double kLargestVectorExponent = 65536;  // beyond it the bounds are not derived
inline constexpr double kLargestVectorSine = 0x1p40;     // arguments of the vector sine: [0, this)
inline constexpr double kVectorSineError = 0x1p-48;      // absolute, over those arguments

bool ComputeLineAvx2(const LineJob& job);
bool ComputeLineAvx512(const LineJob& job);
void SineAvx2(const double* x, double* s, size_t count);    // count a multiple of 4
void SineAvx512(const double* x, double* s, size_t count);  // count a multiple of 8
// The vector sine of a path, count a multiple of 8; false for the scalar or an unsupported path.
bool ComputeVectorSines(PicturePath path, const double* x, double* s, size_t count);
// The code of a pixel whose exact power has the vector sine s; kRejectedCode when undecided.
uint16_t CodeOfVectorSine(double s, bool colour);

// Lines of a centred picture kept for their mirrors: at most this many codes (a 1024 picture).
inline constexpr size_t kMostKeptCodes = size_t{1} << 18;

// Colours of the hues 0..360, red | green << 8 | blue << 16 ------------------------------------
const uint32_t* HueColours();

// Lines of codes ------------------------------------------------------------------------------
// With the centred origin only the first LineLength() places of a line are computed, and only
// the first LineLength() lines: the rest mirror them. The Compute operations may run on several
// threads at once; each fills codes (room for PaddedLength()) and answers the number of pixels
// it handed to the scalar power.
class PictureLines {
  public:
    PictureLines(const PictureSettings& settings, PicturePath path);

    const PictureSettings& Settings() const { return settings_; }
    bool Colour() const { return colour_; }
    uint16_t LineLength() const { return length_; }
    size_t PaddedLength() const { return padded_; }
    uint16_t SourceOf(uint16_t position) const {  // the computed place a position mirrors
        const auto mirror = static_cast<uint16_t>(settings_.size - 1u - position);
        return centred_ && position >= length_ ? mirror : position;
    }

    // Whether the lines mirrored beyond the centre are worth keeping from the first half: the
    // picture is centred and the computed lines fit in kMostKeptCodes codes.
    bool KeepsMirroredLines() const {
        return length_ < settings_.size && padded_ * length_ <= kMostKeptCodes;
    }

    int64_t ComputeRow(uint16_t y, uint16_t* codes) const;
    int64_t ComputeColumn(uint16_t x, uint16_t* codes) const;

  private:
    int64_t ComputeLine(bool row, uint16_t index, uint16_t* codes) const;

    PictureSettings settings_;
    bool centred_;
    bool colour_;
    uint16_t length_;
    size_t padded_;
    std::vector<float> coordinates_;     // of the computed places
    std::vector<double> columnSquares_;  // xs * xs rounded to float, widened; padded with 1
    std::vector<double> rowSquares_;     // ys * ys, exact; padded with 1
    bool (*kernel_)(const LineJob&) = nullptr;
    PicturePath path_;
};

}  // namespace vorlune
