#include "app/picture.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <vector>

namespace vorlune {
namespace {

using Colour = std::array<int, 3>;
constexpr Colour kRed{255, 0, 0};
constexpr Colour kWhite{255, 255, 255};
constexpr Colour kUnwritten{-1, -1, -1};

// Everything ComputePicture hands to its writer, in order.
struct Canvas {
    uint16_t size = 0;
    std::vector<Colour> pixels;
    std::vector<int> writes;
    std::vector<std::array<int, 2>> order;

    Colour At(int x, int y) const { return pixels[static_cast<size_t>(y) * size + x]; }
};

void Record(void* context, uint16_t x, uint16_t y, int red, int green, int blue) {
    auto& canvas = *static_cast<Canvas*>(context);
    ASSERT_LT(x, canvas.size);
    ASSERT_LT(y, canvas.size);
    const size_t index = static_cast<size_t>(y) * canvas.size + x;
    canvas.pixels[index] = {red, green, blue};
    ++canvas.writes[index];
    canvas.order.push_back({x, y});
}

Canvas Render(const PictureSettings& settings) {
    Canvas canvas;
    canvas.size = settings.size;
    const size_t count = static_cast<size_t>(settings.size) * settings.size;
    canvas.pixels.assign(count, kUnwritten);
    canvas.writes.assign(count, 0);
    ComputePicture(settings, Record, &canvas);
    return canvas;
}

PictureSettings With(float p, float k, int8_t origin, int8_t colour, uint16_t size = 512) {
    return {size, p, k, origin, colour};
}

// The hue wheel from each channel's distance to its peak (red 0, green 120, blue 240).
Colour ReferenceHue(int hue) {
    Colour rgb{};
    for (int channel = 0; channel < 3; ++channel) {
        int distance = std::abs(hue - 120 * channel) % 360;
        distance = std::min(distance, 360 - distance);
        const float ramp = std::max(0.0f, static_cast<float>((120 - distance) / 60.0));
        rgb[channel] = static_cast<int>(std::floor(std::min(ramp, 1.0f) * 255.0 + 0.5));
    }
    return rgb;
}

// One pixel straight from the formula: coordinates and the square of the column rounded to
// float, the distance in long double and then double, the sine in long double, v in float.
Colour ReferencePixel(const PictureSettings& s, int x, int y) {
    const auto scaled = [&s](int i) {
        const long double centred = s.origin != 0 ? i - s.size / 2.0L + 0.5L : i;
        return static_cast<float>(centred / s.k);
    };
    const float xs = scaled(x);
    const float xsSquared = xs * xs;
    const long double ys = scaled(y);
    const double r = static_cast<double>(sqrtl(xsSquared + ys * ys));
    const float v = static_cast<float>(sinl(std::pow(r, static_cast<double>(s.p))));
    if (s.colour == 0) return std::isnan(v) || v < 0 ? kWhite : kUnwritten;
    const double degrees = static_cast<double>((v + 1.0L) * 180);
    return ReferenceHue(std::isnan(degrees) ? 0 : static_cast<int>(std::round(degrees)));
}

TEST(PictureTest, HueWheelSamplesAndEveryWholeHue) {
    const struct {
        uint16_t hue;
        Colour rgb;
    } samples[] = {{0, {255, 0, 0}},     {30, {255, 128, 0}},  {60, {255, 255, 0}},
                   {120, {0, 255, 0}},   {180, {0, 255, 255}}, {240, {0, 0, 255}},
                   {300, {255, 0, 255}}, {360, {255, 0, 0}}};
    float rgb[3];
    for (const auto& sample : samples) {
        EXPECT_EQ(HueToRGB(sample.hue, rgb), 0);
        EXPECT_EQ((Colour{int(rgb[0]), int(rgb[1]), int(rgb[2])}), sample.rgb) << sample.hue;
    }
    for (uint16_t hue = 0; hue <= 360; ++hue) {
        HueToRGB(hue, rgb);
        for (const float channel : rgb)
            EXPECT_EQ(channel, std::floor(channel)) << hue;
        EXPECT_EQ((Colour{int(rgb[0]), int(rgb[1]), int(rgb[2])}), ReferenceHue(hue)) << hue;
    }
}

TEST(PictureTest, MinOfPrefersTheSecondUnlessTheFirstIsSmaller) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(MinOf(1.0f, 2.0f), 1.0f);
    EXPECT_EQ(MinOf(2.0f, 1.0f), 1.0f);
    EXPECT_TRUE(std::signbit(MinOf(0.0f, -0.0f)));
    EXPECT_FALSE(std::signbit(MinOf(-0.0f, 0.0f)));
    EXPECT_TRUE(std::isnan(MinOf(0.5f, nan)));
    EXPECT_EQ(MinOf(nan, 0.5f), 0.5f);
}

TEST(PictureTest, HueOfValueKeepsTheLowBitsAndMapsNonNumbersToZero) {
    const float inf = std::numeric_limits<float>::infinity();
    const struct {
        float v;
        uint16_t hue;
    } cases[] = {{-1.0f, 0},  {-0.5f, 90},      {0.0f, 180},       {0.5f, 270},
                 {1.0f, 360}, {1000.0f, 49108}, {-1000.0f, 16788}, {1e30f, 0},
                 {-1e30f, 0}, {inf, 0},         {-inf, 0},         {std::nanf(""), 0}};
    for (const auto& c : cases)
        EXPECT_EQ(HueOfValue(c.v), c.hue) << c.v;
}

TEST(PictureTest, StartPictureIsWrittenOnceInColumnOrderAndMirrorsFourWays) {
    const Canvas canvas = Render(kStartSettings);
    ASSERT_EQ(canvas.order.size(), 512u * 512u);
    for (size_t k = 0; k < canvas.order.size(); k += 997)
        EXPECT_EQ(canvas.order[k], (std::array<int, 2>{int(k / 512), int(k % 512)}));
    for (int y = 0; y < 512; ++y) {
        for (int x = 0; x < 512; ++x) {
            ASSERT_EQ(canvas.writes[static_cast<size_t>(y) * 512 + x], 1);
            ASSERT_EQ(canvas.At(x, y), canvas.At(511 - x, y)) << x << ", " << y;
            ASSERT_EQ(canvas.At(x, y), canvas.At(x, 511 - y)) << x << ", " << y;
        }
        ASSERT_EQ(canvas.At(255, y), canvas.At(256, y));
        ASSERT_EQ(canvas.At(y, 255), canvas.At(y, 256));
    }
}

// In black and white only pixels with v < 0 or not a number reach the writer, in white.
TEST(PictureTest, PixelsMatchADirectEvaluationOfTheFormula) {
    const PictureSettings settings[] = {
        kStartSettings,
        With(kStartP, kStartK, -1, 0),
        With(2.5f, 7.0f, 0, -1),
        With(0.7f, 3.0f, -1, -1, 101),
        With(1.3f, -0.5f, 0, 0, 200),  // a negative K: only squares of it count
        With(-0.75f, 0.05f, -1, -1, 64),
        With(3.1f, 40.0f, -1, -1, 300),
        // Powers far above 2^53: one unit in the last place of r changes the sine entirely,
        // so every rounding point shows.
        With(4.0f, 0.001f, 0, -1, 160),
        With(6.5f, 0.013f, -1, 0, 160),
    };
    for (const auto& s : settings) {
        const Canvas canvas = Render(s);
        int mismatches = 0;
        for (int x = 0; x < s.size; x += 3) {
            for (int y = 0; y < s.size; y += 2) {
                const Colour expected = ReferencePixel(s, x, y);
                if (canvas.At(x, y) != expected && ++mismatches <= 5)
                    ADD_FAILURE() << "P " << s.p << " K " << s.k << " size " << s.size << " pixel "
                                  << x << ", " << y;
            }
        }
        EXPECT_EQ(mismatches, 0);
    }
}

TEST(PictureTest, CornerPixelAtNegativeExponentIsNotANumber) {
    EXPECT_TRUE(std::isnan(PixelValue(0.0f, 0.0f, -0.5f)));
    EXPECT_EQ(Render(With(-0.5f, kStartK, 0, 0, 16)).At(0, 0), kWhite);
    EXPECT_EQ(Render(With(-0.5f, kStartK, 0, -1, 16)).At(0, 0), kRed);
}

TEST(PictureTest, ZeroExponentAtTheCornerIsUniform) {
    // sin 1 = 0.84147: hue 331, so red, no green, blue 29/60 of the way.
    const Canvas colour = Render(With(0.0f, kStartK, 0, -1, 128));
    for (const Colour& pixel : colour.pixels)
        ASSERT_EQ(pixel, (Colour{255, 0, 123}));
    const Canvas blackAndWhite = Render(With(0.0f, kStartK, 0, 0, 128));
    for (const int writes : blackAndWhite.writes)
        ASSERT_EQ(writes, 0);
}

TEST(PictureTest, OverflowingColumnsAtTheLowestKAreNotANumber) {
    const Canvas colour = Render(With(kStartP, 1e-19f, -1, -1));
    const Canvas blackAndWhite = Render(With(kStartP, 1e-19f, -1, 0));
    for (int x = 0; x < 512; ++x) {
        if (x >= 254 && x <= 257) continue;
        for (int y = 0; y < 512; ++y) {
            ASSERT_EQ(colour.At(x, y), kRed) << x << ", " << y;
            ASSERT_EQ(blackAndWhite.At(x, y), kWhite) << x << ", " << y;
        }
    }
    int notRed = 0;
    for (int y = 0; y < 512; ++y)
        notRed += colour.At(255, y) != kRed;
    EXPECT_GT(notRed, 0) << "columns 254 to 257 stay finite";
}

TEST(PictureTest, HugePowersStillGiveASine) {
    // sin(1e22) = -0.8522008497671888..., a classic test of argument reduction.
    EXPECT_EQ(PixelValue(0.0f, 10.0f, 22.0f), -0.8522008497671888f);
    EXPECT_EQ(Render(With(22.0f, 1.0f, 0, -1, 11)).At(0, 10), (Colour{255, 115, 0}));
    for (float p = 4.0f; p < 60.0f; p += 0.37f) {
        const float v = PixelValue(1e10f, 3.0f, p);  // r = 1e5, power 1e20 and far beyond
        EXPECT_GE(v, -1.0f) << p;
        EXPECT_LE(v, 1.0f) << p;
    }
}

TEST(PictureTest, SizeZeroDrawsNothingAndSizeOneDrawsOnePixel) {
    EXPECT_TRUE(Render(With(kStartP, kStartK, -1, -1, 0)).order.empty());
    EXPECT_EQ(Render(With(kStartP, kStartK, -1, -1, 1)).order.size(), 1u);
    EXPECT_EQ(Render(With(kStartP, kStartK, 0, -1, 3)).order.size(), 9u);
}

}  // namespace
}  // namespace vorlune
