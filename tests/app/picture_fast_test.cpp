#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "app/picture.h"
#include "app/picture_fast.h"
#include "app/picture_rows.h"

namespace vorlune {

// Names the path in the test names and in ctest's list of tests.
void PrintTo(PicturePath path, std::ostream* out) {
    constexpr const char* kNames[] = {"Scalar", "Avx2", "Avx512"};
    *out << kNames[static_cast<int>(path)];
}

namespace {

constexpr float kInfinity = std::numeric_limits<float>::infinity();
const float kNaN = std::nanf("");

// Every write in order: x, y and the three channels in one number.
using Writes = std::vector<uint64_t>;

uint64_t Pack(uint16_t x, uint16_t y, int red, int green, int blue) {
    return uint64_t{x} << 48 | uint64_t{y} << 32 | uint64_t(red & 0xFF) << 16 |
           uint64_t(green & 0xFF) << 8 | uint64_t(blue & 0xFF);
}

void Record(void* context, uint16_t x, uint16_t y, int red, int green, int blue) {
    static_cast<Writes*>(context)->push_back(Pack(x, y, red, green, blue));
}

Writes Literal(const PictureSettings& settings) {
    Writes writes;
    ComputePictureLiteral(settings, Record, &writes);
    return writes;
}

// One test per code path. A path this processor lacks is skipped, saying so; an x86-64 build
// must have the vector paths, or they would be skipped on every processor.
class PicturePathTest : public ::testing::TestWithParam<PicturePath> {
  protected:
    void SetUp() override {
        const PicturePath path = GetParam();
        if (path == PicturePath::Scalar) return;
#if !defined(__x86_64__)
        GTEST_SKIP() << "the vector paths are for x86-64 processors";
#elif !defined(VORLUNE_VECTOR_PICTURE)
        FAIL() << "built without the vector paths: glibc's vector maths library was not found";
#else
        if (!PicturePathSupported(path)) {
            GTEST_SKIP() << "this processor lacks "
                         << (path == PicturePath::Avx2 ? "AVX2 or FMA" : "AVX-512F");
        }
#endif
    }
};

class VectorPathTest : public PicturePathTest {};

std::string NameOfParameter(const ::testing::TestParamInfo<PicturePath>& info) {
    return ::testing::PrintToString(info.param);
}

INSTANTIATE_TEST_SUITE_P(, PicturePathTest,
                         ::testing::Values(PicturePath::Scalar, PicturePath::Avx2,
                                           PicturePath::Avx512),
                         NameOfParameter);
INSTANTIATE_TEST_SUITE_P(, VectorPathTest,
                         ::testing::Values(PicturePath::Avx2, PicturePath::Avx512),
                         NameOfParameter);

// The same writes in row order: y, then x.
Writes ByRows(Writes writes) {
    const auto rowFirst = [](uint64_t w) { return (w >> 32 & 0xFFFF) << 48 | (w >> 48) << 32; };
    std::stable_sort(writes.begin(), writes.end(),
                     [&](uint64_t a, uint64_t b) { return rowFirst(a) < rowFirst(b); });
    return writes;
}

void ExpectSameWrites(const char* order, const Writes& writes, const Writes& expected,
                      const PictureSettings& s) {
    if (writes == expected) return;
    size_t first = 0;
    while (first < std::min(writes.size(), expected.size()) && writes[first] == expected[first])
        ++first;
    ADD_FAILURE() << order << " P " << s.p << " K " << s.k << " origin " << int(s.origin)
                  << " colour " << int(s.colour) << " size " << s.size << ": writes "
                  << writes.size() << " vs " << expected.size() << ", first difference at write "
                  << first;
}

// Both orders: columns outer as the formula has it, and rows outer.
void ExpectSamePicture(PicturePath path, const PictureSettings& s) {
    const Writes expected = Literal(s);
    Writes writes;
    ComputePictureOn(path, s, Record, &writes);
    ExpectSameWrites("by columns", writes, expected, s);
    writes.clear();
    ComputePictureByRowsOn(path, s, [&writes](uint16_t x, uint16_t y, int r, int g, int b) {
        writes.push_back(Pack(x, y, r, g, b));
    });
    ExpectSameWrites("by rows", writes, ByRows(expected), s);
}

// 13 exponents x 9 divisors x 2 origins x 2 colour modes at small sizes (odd and even), then
// full-size pictures, non-finite and overflowing settings.
TEST_P(PicturePathTest, DrawsTheLiteralPicture) {
    const float exponents[] = {-3, -1.5f, -0.75f, -0.2f, 0, 0.5f, 1, kStartP, 2, 2.5f, 3.3f, 5, 8};
    const float divisors[] = {1e-19f, 1e-7f, 0.004f, 0.05f, kStartK, 1, 3, 17, 50};
    const uint16_t sizes[] = {1, 2, 7, 16, 24, 33, 40};
    size_t next = 0;
    for (float p : exponents)
        for (float k : divisors)
            for (int8_t origin : {-1, 0})
                for (int8_t colour : {-1, 0})
                    ExpectSamePicture(GetParam(),
                                      {sizes[next++ % std::size(sizes)], p, k, origin, colour});

    const PictureSettings special[] = {
        kStartSettings,
        {512, kStartP, kStartK, -1, 0},
        {512, 2.5f, 0.05f, 0, -1},
        {512, 2.5f, 0.05f, 0, 0},
        {512, kStartP, 1e-19f, -1, -1},  // all but four columns overflow
        {511, 6.5f, 0.013f, -1, -1},     // powers far beyond the vector bounds
        {511, -2.0f, 0.7f, 0, 0},
        {64, kInfinity, 3, -1, -1},
        {64, -kInfinity, 0.5f, 0, -1},
        {64, kNaN, 1, 0, 0},
        {64, 2, kInfinity, 0, -1},
        {64, -1, -kInfinity, -1, 0},
        {64, 1.5f, kNaN, -1, -1},
        {64, 1.5f, 0, 0, -1},  // 0 / 0 at the corner
        {64, 0.5f, -0.3f, -1, 0},
        {64, 40, 2, 0, -1},  // powers overflow
        {64, 1e30f, 1, -1, -1},
        {64, -70000, 60, 0, 0},
        {64, 0.7f, 1e38f, -1, -1},  // coordinates underflow
        // Rounding v to float moves the hue of pixel (54, 7), then (7, 26), across a step.
        {55, 0x1.4cccccp-1f, 11, 0, -1},
        {27, 2.96f, 7, 0, -1},
    };
    for (const PictureSettings& s : special)
        ExpectSamePicture(GetParam(), s);
}

// The vector paths must settle nearly every pixel themselves, or they are slow but still right.
TEST_P(VectorPathTest, LeavesFewPixelsToTheExactPath) {
    Writes writes;
    EXPECT_LT(ComputePictureOn(GetParam(), kStartSettings, Record, &writes), 512 * 512 / 1000);
    EXPECT_LT(ComputePictureOn(GetParam(), {512, 2.5f, 0.05f, 0, -1}, Record, &writes),
              512 * 512 / 20);
}

// Too big to keep the quadrant: every line is computed again for its mirror. Sampled pixels
// are checked against the literal stages, the rows against the columns.
TEST(PictureFastTest, LargeCentredPictureMatchesTheLiteralStages) {
    const PictureSettings s{1030, 1.7f, 0.4f, -1, -1};
    Writes writes;
    ComputePicture(s, Record, &writes);
    Writes rows;
    ComputePictureByRows(s, [&rows](uint16_t x, uint16_t y, int r, int g, int b) {
        rows.push_back(Pack(x, y, r, g, b));
    });
    EXPECT_TRUE(rows == ByRows(writes));
    ASSERT_EQ(writes.size(), size_t{s.size} * s.size);
    float rgb[3];
    for (size_t i = 0; i < writes.size(); i += 101) {
        const auto x = static_cast<uint16_t>(i / s.size);
        const auto y = static_cast<uint16_t>(i % s.size);
        const float xs = ScaledCoordinate(x, s);
        HueToRGB(HueOfValue(PixelValue(xs * xs, ScaledCoordinate(y, s), s.p)), rgb);
        ASSERT_EQ(writes[i], Pack(x, y, int(rgb[0]), int(rgb[1]), int(rgb[2]))) << x << ", " << y;
    }
}

// Arguments whose sine lies within a few double units of a float rounding midpoint: the double
// sine alone rounds some of them the wrong way, the guard sends them to the long double sine.
TEST(PictureFastTest, SineGuardTakesNearMidpointArgumentsToLongDouble) {
    int guarded = 0;
    int doubleAloneWrong = 0;
    for (int i = 1; i < 4000; ++i) {
        const float below = static_cast<float>(i / 4001.0);
        const double midpoint = (double(below) + double(std::nextafter(below, 2.0f))) / 2;
        double x = std::asin(midpoint);
        for (int step = 0; step < 4; ++step, x = std::nextafter(x, 2.0)) {
            const auto exact = static_cast<float>(std::sin(static_cast<long double>(x)));
            guarded += SineNeedsLongDouble(std::sin(x));
            doubleAloneWrong += static_cast<float>(std::sin(x)) != exact;
            ASSERT_EQ(SineAsFloat(x), exact) << x;
        }
    }
    EXPECT_EQ(guarded, 4 * 3999);
    EXPECT_GT(doubleAloneWrong, 0);

    std::mt19937_64 random(9);
    for (int i = 0; i < 20000; ++i) {
        const double x = std::ldexp(std::generate_canonical<double, 53>(random), i % 80 - 10);
        ASSERT_EQ(SineAsFloat(x), static_cast<float>(std::sin(static_cast<long double>(x)))) << x;
    }
    EXPECT_TRUE(SineNeedsLongDouble(0x1p-101));
    EXPECT_TRUE(SineNeedsLongDouble(std::nan("")));
    EXPECT_FALSE(SineNeedsLongDouble(0.25));
}

// Around every hue step (k + 0.5) / 180 - 1, where a rounding could tip; the exhaustive check
// over all floats in [-1, 1] is bench_picture_proof.
TEST(PictureFastTest, HueInDoubleMatchesTheLongDoubleFormula) {
    for (int k = -1; k <= 360; ++k) {
        float v = static_cast<float>((k + 0.5) / 180 - 1);
        for (int step = 0; step < 8; ++step)
            v = std::nextafter(v, -2.0f);
        for (int step = 0; step < 16; ++step, v = std::nextafter(v, 2.0f))
            if (v >= -1 && v <= 1) {
                ASSERT_EQ(HueOfFloat(v), HueOfValue(v)) << v;
            }
    }
    for (float v :
         {-1.0f, 1.0f, 0.0f, -0.0f, 0.125f, -0.375f, 0.625f, -0.875f, 1e-40f, kNaN, -kNaN})
        EXPECT_EQ(HueOfFloat(v), HueOfValue(v)) << v;
}

// Random arguments of every size up to 2^40 and arguments next to multiples of pi/2, where the
// reduction cancels most.
TEST_P(VectorPathTest, SineStaysWithinItsCertifiedBound) {
    std::vector<double> x;
    std::mt19937_64 random(4);
    for (int i = 0; i < 4096; ++i)
        x.push_back(std::ldexp(std::generate_canonical<double, 53>(random), i % 42 - 1));
    for (double k = 1; k < 0x1p38; k = k * 3 + 1) {
        const double near = static_cast<double>(k * (3.14159265358979323846264338327950L / 2));
        x.insert(x.end(), {std::nextafter(near, 0.0), near, std::nextafter(near, 1e300)});
    }
    x.resize((x.size() + kLineMultiple - 1) / kLineMultiple * kLineMultiple, 1.0);
    std::vector<double> s(x.size());
    ASSERT_TRUE(ComputeVectorSines(GetParam(), x.data(), s.data(), x.size()));
    for (size_t i = 0; i < x.size(); ++i) {
        const long double error = s[i] - std::sin(static_cast<long double>(x[i]));
        ASSERT_LE(std::fabs(error), kVectorSineError) << "x " << x[i];
    }
}

}  // namespace
}  // namespace vorlune
