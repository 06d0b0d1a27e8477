#include "app/picture_fast.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cmath>
#include <cstring>
#include <vector>

#include "app/picture.h"

// The fast picture gives exactly the pixels of ComputePictureLiteral:
// - the coordinates, the squared column and the root are computed as there;
// - the sine is taken in double and only falls back to long double where the double result
//   lies so close to a float rounding midpoint that the two could round apart;
// - the hue is rounded in double (exhaustively checked against the long double formula);
// - with the centred origin the picture is four mirrored copies of one quadrant: a column's
//   squared coordinate is identical for x and size - 1 - x, a row's coordinate just changes sign;
// - a vector path decides each pixel from certified error bounds and leaves the pixels it
//   cannot decide to the exact scalar path.

namespace vorlune {
namespace {

constexpr uint16_t kLargestHue = 360;
constexpr uint64_t kFloatDroppedBits = 29;  // of a double's 52 fraction bits
constexpr uint64_t kFloatMidpoint = uint64_t{1} << (kFloatDroppedBits - 1);
constexpr uint64_t kSineGuardUnits = 64;
constexpr double kSmallestGuardedSine = 0x1p-100;
constexpr size_t kMostKeptCodes = size_t{1} << 18;  // 512 KB, a 1024 picture

struct Rgb {
    int red;
    int green;
    int blue;
};

// The colour of every hue a sine can give.
using HueColours = std::array<Rgb, kLargestHue + 1>;

HueColours BuildHueColours() {
    HueColours colours{};
    float rgb[3];
    for (uint16_t hue = 0; hue <= kLargestHue; ++hue) {
        HueToRGB(hue, rgb);
        colours[hue] = {static_cast<int>(rgb[0]), static_cast<int>(rgb[1]),
                        static_cast<int>(rgb[2])};
    }
    return colours;
}

const HueColours& HueColourTable() {
    static const HueColours colours = BuildHueColours();
    return colours;
}

using ColumnKernel = void (*)(const ColumnJob&);

ColumnKernel KernelOf(PicturePath path) {
#if defined(__x86_64__) && defined(VORLUNE_VECTOR_PICTURE)
    if (path == PicturePath::Avx512) return ComputeColumnAvx512;
    if (path == PicturePath::Avx2) return ComputeColumnAvx2;
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

size_t RoundUpToRowMultiple(size_t count) {
    return (count + kRowMultiple - 1) / kRowMultiple * kRowMultiple;
}

// The work of one picture: the coordinates, shared by columns and rows, and the column codes.
class PictureRun {
  public:
    PictureRun(const PictureSettings& settings, PicturePath path)
        : settings_(settings),
          centred_(settings.origin != 0),
          colour_(settings.colour != 0),
          rowCount_(centred_ ? (settings.size + 1u) / 2 : settings.size),
          stride_(RoundUpToRowMultiple(rowCount_)),
          coordinates_(settings.size),
          rows_(stride_, 1.0),
          whiteRows_(colour_ ? 0 : settings.size) {
        for (uint16_t i = 0; i < settings.size; ++i)
            coordinates_[i] = ScaledCoordinate(i, settings);
        for (size_t y = 0; y < rowCount_; ++y)
            rows_[y] = coordinates_[y];
        // Beyond the bounds' reach every pixel would go the exact way anyway.
        if (std::fabs(settings.p) <= kLargestVectorExponent) kernel_ = KernelOf(path);
    }

    // With the centred origin the quadrant is computed first, unless it is too big to keep;
    // then each column is computed again for its mirror.
    void Draw(PixelWriter writePixel, void* context) {
        const bool keepQuadrant = centred_ && stride_ * rowCount_ <= kMostKeptCodes;
        std::vector<uint16_t> codes(keepQuadrant ? stride_ * rowCount_ : stride_);
        for (size_t x = 0; keepQuadrant && x < rowCount_; ++x)
            ComputeColumnCodes(static_cast<uint16_t>(x), &codes[x * stride_]);
        for (uint16_t x = 0; x < settings_.size; ++x) {
            const auto source = static_cast<uint16_t>(centred_ ? std::min(x, Mirror(x)) : x);
            uint16_t* column = keepQuadrant ? &codes[source * stride_] : codes.data();
            if (!keepQuadrant) ComputeColumnCodes(source, column);
            EmitColumn(x, column, writePixel, context);
        }
    }

    int64_t ExactPixels() const { return exactPixels_; }

  private:
    void ComputeColumnCodes(uint16_t x, uint16_t* codes) {
        const float xs = coordinates_[x];
        const float xsSquared = static_cast<float>(static_cast<long double>(xs) * xs);
        if (kernel_ != nullptr)
            kernel_({xsSquared, rows_.data(), stride_, settings_.p, colour_, codes});
        for (size_t y = 0; y < rowCount_; ++y) {
            if (kernel_ != nullptr && codes[y] != kRejectedCode) continue;
            codes[y] = ExactPixelCode(xsSquared, coordinates_[y], settings_.p, colour_);
            ++exactPixels_;
        }
    }

    uint16_t Mirror(uint16_t position) const {
        return static_cast<uint16_t>(settings_.size - 1u - position);
    }

    // Rows from rowCount_ on mirror the ones before them.
    void EmitColumn(uint16_t x, const uint16_t* codes, PixelWriter writePixel, void* context) {
        const uint16_t size = settings_.size;
        const auto direct = static_cast<uint16_t>(centred_ ? rowCount_ : size);
        if (colour_) {
            const HueColours& colours = HueColourTable();
            uint16_t y = 0;
            for (; y < direct; ++y)
                EmitColour(colours[codes[y]], x, y, writePixel, context);
            for (; y < size; ++y)
                EmitColour(colours[codes[Mirror(y)]], x, y, writePixel, context);
        } else {
            // The white rows are gathered without branches first: a branch per pixel would be
            // mispredicted all over a fine pattern.
            size_t count = 0;
            uint16_t y = 0;
            for (; y < direct; ++y) {
                whiteRows_[count] = y;
                count += codes[y] != 0;
            }
            for (; y < size; ++y) {
                whiteRows_[count] = y;
                count += codes[Mirror(y)] != 0;
            }
            for (size_t i = 0; i < count; ++i)
                writePixel(context, x, whiteRows_[i], 255, 255, 255);
        }
    }

    static void EmitColour(const Rgb& rgb, uint16_t x, uint16_t y, PixelWriter writePixel,
                           void* context) {
        writePixel(context, x, y, rgb.red, rgb.green, rgb.blue);
    }

    const PictureSettings settings_;
    const bool centred_;
    const bool colour_;
    const size_t rowCount_;  // rows computed per column: half of them with the centred origin
    const size_t stride_;    // rowCount_ padded to whole vectors
    std::vector<float> coordinates_;
    std::vector<double> rows_;  // padded with a harmless 1
    std::vector<uint16_t> whiteRows_;
    ColumnKernel kernel_ = nullptr;
    int64_t exactPixels_ = 0;
};

}  // namespace

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

uint16_t ExactPixelCode(float xsSquared, float ys, float p, bool colour) {
    const float v = SineAsFloat(DistancePower(xsSquared, ys, p));
    if (colour) return HueOfFloat(v);
    return v < 0 || std::isnan(v) ? 1 : 0;
}

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

int64_t ComputePictureOn(PicturePath path, const PictureSettings& settings, PixelWriter writePixel,
                         void* context) {
    if (!PicturePathSupported(path)) return -1;
    PictureRun run(settings, path);
    run.Draw(writePixel, context);
    return run.ExactPixels();
}

void ComputePicture(const PictureSettings& settings, PixelWriter writePixel, void* context) {
    ComputePictureOn(BestPicturePath(), settings, writePixel, context);
}

}  // namespace vorlune
