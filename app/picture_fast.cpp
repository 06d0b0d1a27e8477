#include "app/picture_fast.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cassert>
#include <cmath>
#include <cstring>

#include "app/picture.h"
#include "app/picture_rows.h"

// The fast picture gives exactly the pixels of ComputePictureLiteral:
// - the coordinates, the squared column and the root are computed as there;
// - the sine is taken in double and only falls back to long double where the double result
//   lies so close to a float rounding midpoint that the two could round apart;
// - the hue is rounded in double (exhaustively checked against the long double formula);
// - with the centred origin the picture is four mirrored copies of one quadrant: a column's
//   squared coordinate is identical for x and size - 1 - x, a row's coordinate just changes sign;
// - a vector path decides each pixel from certified error bounds; a pixel it cannot decide gets
//   the formula's own power, whose vector sine decides it unless that is still too close to
//   call, and only then the exact scalar sine.

namespace vorlune {
namespace {

constexpr uint64_t kFloatDroppedBits = 29;  // of a double's 52 fraction bits
constexpr uint64_t kFloatMidpoint = uint64_t{1} << (kFloatDroppedBits - 1);
constexpr uint64_t kSineGuardUnits = 64;
constexpr double kSmallestGuardedSine = 0x1p-100;

// Deciding from the vector sine of an exact power: the sine is within kVectorSineError of the
// true one, the long double sine the formula takes within 2^-60, and the float v within 2^-25
// of that; the double arithmetic of the hue test stays below 2^-40 degrees.
constexpr double kExactPowerSineError = kVectorSineError + 0x1p-60;
constexpr double kHueMargin = 180 * (kExactPowerSineError + 0x1p-25) + 0x1p-40;
constexpr double kSignMargin = kExactPowerSineError + 0x1p-100;  // far above a float's -0

// Rejected pixels whose power is computed before their vector sines are taken together.
constexpr size_t kSineBatch = 64;

std::array<uint32_t, kLargestHue + 1> BuildHueColours() {
    std::array<uint32_t, kLargestHue + 1> colours{};
    float rgb[3];
    for (uint16_t hue = 0; hue <= kLargestHue; ++hue) {
        HueToRGB(hue, rgb);
        colours[hue] = static_cast<uint32_t>(rgb[0]) | static_cast<uint32_t>(rgb[1]) << 8 |
                       static_cast<uint32_t>(rgb[2]) << 16;
    }
    return colours;
}

using LineKernel = bool (*)(const LineJob&);

LineKernel KernelOf(PicturePath path) {
#if defined(__x86_64__) && defined(VORLUNE_VECTOR_PICTURE)
    if (path == PicturePath::Avx512) return ComputeLineAvx512;
    if (path == PicturePath::Avx2) return ComputeLineAvx2;
#else
    (void)path;
#endif
    return nullptr;
}

bool ProcessorRuns(PicturePath path) {
#if defined(__x86_64__) && defined(VORLUNE_VECTOR_PICTURE)
    __builtin_cpu_init();
    if (path == PicturePath::Avx512) return __builtin_cpu_supports("avx512f");
    if (path == PicturePath::Avx2)
        return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
#endif
    return path == PicturePath::Scalar;
}

size_t RoundUpToLineMultiple(size_t count) {
    return (count + kLineMultiple - 1) / kLineMultiple * kLineMultiple;
}

// Powers of pixels the kernel left undecided, waiting for their vector sines.
class SineBatch {
  public:
    SineBatch(PicturePath path, bool colour, uint16_t* codes)
        : path_(path), colour_(colour), codes_(codes) {}
    void Add(size_t place, double power) {
        places_[count_] = place;
        powers_[count_++] = power;
        if (count_ == kSineBatch) Flush();
    }

    void Flush() {
        if (count_ == 0) return;
        const size_t padded = (count_ + 7) / 8 * 8;
        std::fill(powers_ + count_, powers_ + padded, 0.0);
        ComputeVectorSines(path_, powers_, sines_, padded);
        for (size_t i = 0; i < count_; ++i) {
            const uint16_t code = CodeOfVectorSine(sines_[i], colour_);
            codes_[places_[i]] =
                code != kRejectedCode ? code : ExactCodeOfPower(powers_[i], colour_);
        }
        count_ = 0;
    }

  private:
    PicturePath path_;
    bool colour_;
    uint16_t* codes_;
    size_t count_ = 0;
    size_t places_[kSineBatch];
    double powers_[kSineBatch];
    double sines_[kSineBatch];
};

}  // namespace

// Exact scalar pixel -----------------------------------------------------------------------------

bool SineNeedsLongDouble(double s) {
    if (!(std::fabs(s) >= kSmallestGuardedSine)) return true;
    uint64_t bits;
    std::memcpy(&bits, &s, sizeof bits);
    const uint64_t dropped = bits & ((uint64_t{1} << kFloatDroppedBits) - 1);
    const uint64_t distance =
        dropped > kFloatMidpoint ? dropped - kFloatMidpoint : kFloatMidpoint - dropped;
    return distance <= kSineGuardUnits;
}

// glibc's double sine is within 0.52 units of the true value, the long double one far closer:
// outside the guard both round to the same float.
float SineAsFloat(double x) {
    const double s = std::sin(x);
    if (SineNeedsLongDouble(s)) return static_cast<float>(std::sin(static_cast<long double>(x)));
    return static_cast<float>(s);
}

// v + 1 and the product are exact or far from a half for every float v in [-1, 1]; the
// whole part and the fraction are exact.
uint16_t HueOfFloat(float v) {
    if (std::isnan(v)) return 0;
    const double degrees = (static_cast<double>(v) + 1) * 180;
    assert(degrees >= 0 && degrees <= kLargestHue);
    const auto whole = static_cast<uint16_t>(degrees);
    return static_cast<uint16_t>(whole + (degrees - whole >= 0.5 ? 1 : 0));
}

uint16_t ExactCodeOfPower(double power, bool colour) {
    const float v = SineAsFloat(power);
    if (colour) return HueOfFloat(v);
    return v < 0 || std::isnan(v) ? 1 : 0;
}

uint16_t ExactPixelCode(float xsSquared, float ys, float p, bool colour) {
    return ExactCodeOfPower(DistancePower(xsSquared, ys, p), colour);
}

// The float v may round away from s by 2^-25 and more than one whole hue away only beyond the
// margin; a tie of the double hue is always inside it.
uint16_t CodeOfVectorSine(double s, bool colour) {
    if (!colour) {
        if (!(std::fabs(s) > kSignMargin)) return kRejectedCode;
        return s < 0 ? 1 : 0;
    }
    const double degrees = (s + 1) * 180;
    const double hue = std::nearbyint(degrees);
    if (!(std::fabs(degrees - hue) + kHueMargin < 0.5)) return kRejectedCode;
    return static_cast<uint16_t>(std::clamp(hue, 0.0, double{kLargestHue}));
}

const uint32_t* HueColours() {
    static const std::array<uint32_t, kLargestHue + 1> colours = BuildHueColours();
    return colours.data();
}

// Paths ------------------------------------------------------------------------------------------

bool PicturePathSupported(PicturePath path) {
    static const bool avx2 = ProcessorRuns(PicturePath::Avx2);
    static const bool avx512 = ProcessorRuns(PicturePath::Avx512);
    return path == PicturePath::Scalar || (path == PicturePath::Avx2 && avx2) ||
           (path == PicturePath::Avx512 && avx512);
}

PicturePath BestPicturePath() {
    if (PicturePathSupported(PicturePath::Avx512)) return PicturePath::Avx512;
    if (PicturePathSupported(PicturePath::Avx2)) return PicturePath::Avx2;
    return PicturePath::Scalar;
}

bool ComputeVectorSines(PicturePath path, const double* x, double* s, size_t count) {
    if (path == PicturePath::Scalar || !PicturePathSupported(path)) return false;
#if defined(__x86_64__) && defined(VORLUNE_VECTOR_PICTURE)
    (path == PicturePath::Avx2 ? SineAvx2 : SineAvx512)(x, s, count);
    return true;
#else
    (void)x, (void)s, (void)count;
    return false;
#endif
}

// Lines of codes ---------------------------------------------------------------------------------

PictureLines::PictureLines(const PictureSettings& settings, PicturePath path)
    : settings_(settings),
      centred_(settings.origin != 0),
      colour_(settings.colour != 0),
      length_(static_cast<uint16_t>(centred_ ? (settings.size + 1u) / 2 : settings.size)),
      padded_(RoundUpToLineMultiple(length_)),
      coordinates_(length_),
      columnSquares_(padded_, 1.0),
      rowSquares_(padded_, 1.0),
      path_(path) {
    for (uint16_t i = 0; i < length_; ++i) {
        const float c = ScaledCoordinate(i, settings);
        coordinates_[i] = c;
        columnSquares_[i] = static_cast<float>(static_cast<long double>(c) * c);
        rowSquares_[i] = static_cast<double>(c) * c;  // 48 bits at most: exact
    }
    // Beyond the bounds' reach every pixel would go the exact way anyway.
    if (PicturePathSupported(path) && std::fabs(settings.p) <= kLargestVectorExponent)
        kernel_ = KernelOf(path);
}

int64_t PictureLines::ComputeRow(uint16_t y, uint16_t* codes) const {
    return ComputeLine(true, y, codes);
}

int64_t PictureLines::ComputeColumn(uint16_t x, uint16_t* codes) const {
    return ComputeLine(false, x, codes);
}

// A row runs along the columns with its own ys * ys, a column along the rows with its xs * xs.
int64_t PictureLines::ComputeLine(bool row, uint16_t index, uint16_t* codes) const {
    const double* squares = row ? columnSquares_.data() : rowSquares_.data();
    const double lineSquare = row ? rowSquares_[index] : columnSquares_[index];
    if (kernel_ != nullptr) {
        if (kernel_({lineSquare, squares, padded_, settings_.p, colour_, codes})) return 0;
    } else {
        std::fill_n(codes, length_, kRejectedCode);
    }
    SineBatch batch(path_, colour_, codes);
    int64_t scalarPixels = 0;
    for (size_t block = 0; block < length_; block += 64) {
        const size_t count = std::min<size_t>(64, length_ - block);
        for (uint64_t rejected = EqualCodesMask(codes + block, count, kRejectedCode); rejected != 0;
             rejected &= rejected - 1) {
            const auto i = static_cast<uint16_t>(block + std::countr_zero(rejected));
            ++scalarPixels;
            const uint16_t x = row ? i : index;
            const uint16_t y = row ? index : i;
            const double power =
                DistancePower(static_cast<float>(columnSquares_[x]), coordinates_[y], settings_.p);
            if (kernel_ != nullptr && power >= 0 && power < kLargestVectorSine)
                batch.Add(i, power);
            else
                codes[i] = ExactCodeOfPower(power, colour_);
        }
    }
    batch.Flush();
    return scalarPixels;
}

// The picture by columns ------------------------------------------------------------------------

int64_t ComputePictureOn(PicturePath path, const PictureSettings& settings, PixelWriter writePixel,
                         void* context) {
    if (!PicturePathSupported(path)) return -1;
    if (settings.size == 0) return 0;
    const PictureLines lines(settings, path);
    const size_t padded = lines.PaddedLength();
    const bool keep = lines.KeepsMirroredLines();  // columns right of the centre, from the left
    std::vector<uint16_t> codes(keep ? padded * lines.LineLength() : padded);
    int64_t scalarPixels = 0;
    for (uint16_t x = 0; x < settings.size; ++x) {
        const uint16_t source = lines.SourceOf(x);
        uint16_t* column = keep ? &codes[source * padded] : codes.data();
        if (!keep || source == x) scalarPixels += lines.ComputeColumn(source, column);
        const auto write = [=](uint16_t y, int red, int green, int blue) {
            writePixel(context, x, y, red, green, blue);
        };
        EmitLine(lines, column, write);
    }
    return scalarPixels;
}

void ComputePicture(const PictureSettings& settings, PixelWriter writePixel, void* context) {
    ComputePictureOn(BestPicturePath(), settings, writePixel, context);
}

}  // namespace vorlune
