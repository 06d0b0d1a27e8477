#include "runtime/drawing/modes.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>

#include "runtime/drawing/shapes.h"
#include "tests/drawing/canvas.h"

namespace vorlune {
namespace {

using testing::Canvas;
using Pixel = std::array<uint8_t, 4>;

// The colour form of each rule, written out from the rule table.
Pixel Expected(int32_t mode, bool fourBytes, Pixel p, ColourValue colour) {
    const int32_t c[3] = {static_cast<int32_t>(colour & 0xFF),
                          static_cast<int32_t>((colour >> 8) & 0xFF),
                          static_cast<int32_t>((colour >> 16) & 0xFF)};
    const int32_t a = static_cast<int32_t>(colour >> 24);
    if (mode & DrawAllChannels) mode &= fourBytes ? ~0x38 : ~0x138;
    auto blend = [&](bool writeAlpha) {
        if (a == 0) return;
        const int32_t ad = p[3];
        const int32_t w = (255 - a) * ad;
        for (int i = 0; i < 3; ++i)
            p[i] = ad == 0 ? c[i] : (c[i] * a * 255 + p[i] * w) / (a * 255 + w);
        if (writeAlpha) p[3] = ad == 0 ? a : (a * 255 + w) / 255;
    };
    if (mode & DrawXor) {
        for (int i = 0; i < 3; ++i)
            p[i] ^= c[i];
    } else if (mode & DrawAllChannels) {
        p = {uint8_t(c[0]), uint8_t(c[1]), uint8_t(c[2]), uint8_t(a)};
    } else if (mode & DrawAlphaOnly) {
        if (fourBytes) p[3] = a;
    } else if (fourBytes && (mode & DrawAlphaBlend)) {
        blend(true);
    } else if (fourBytes && (mode & DrawAlphaKeep)) {
        blend(false);
    } else if (mode & (DrawAlphaBlend | DrawAlphaKeep)) {
        for (int i = 0; i < 3; ++i)
            p[i] = (c[i] * a + p[i] * (255 - a)) / 255;
    } else {
        for (int i = 0; i < 3; ++i)
            p[i] = c[i];
    }
    return p;
}

Pixel Read(Canvas& canvas, int32_t x) {
    const uint8_t* p = canvas.At(x, 0);
    return {p[0], p[1], p[2], canvas.bytesPerPixel() == 4 ? p[3] : uint8_t{0}};
}

void Write(Canvas& canvas, int32_t x, const Pixel& pixel) {
    for (int i = 0; i < canvas.bytesPerPixel(); ++i)
        canvas.At(x, 0)[i] = pixel[i];
}

// Every way a pixel can be painted (a colour, the pen, a span, the general routine of lines)
// gives the rule's result, on both pixel sizes.
TEST(DrawingModesTest, EveryPaintingPathFollowsTheModeArithmetic) {
    const int32_t modes[] = {DrawPlain,
                             DrawXor,
                             DrawAllChannels,
                             DrawAlphaOnly,
                             DrawAlphaBlend,
                             DrawAlphaKeep,
                             0x118,
                             DrawAlphaBlend | DrawTransparent,
                             0x30,
                             DrawAlphaOnly | DrawAlphaBlend};
    std::mt19937 random(7);
    const uint8_t edges[] = {0, 1, 127, 128, 254, 255};
    for (const int32_t format : {0x20, 0}) {
        const bool four = format != 0;
        for (const int32_t mode : modes) {
            Canvas canvas(4, 2, format);
            SetDrawingMode(mode);
            DrawingContext* context = canvas.context();
            for (int sample = 0; sample < 400; ++sample) {
                Pixel before;
                for (uint8_t& b : before)
                    b = sample < 36 ? edges[sample % 6] : static_cast<uint8_t>(random());
                if (!four) before[3] = 0;
                ColourValue colour = static_cast<ColourValue>(random());
                if (sample < 36)
                    colour = (colour & 0xFFFFFF) | ColourValue{edges[sample / 6]} << 24;
                for (int32_t x = 0; x < 4; ++x)
                    Write(canvas, x, before);
                PlotPixel(0, 0, colour);
                SetDrawingColour(colour);
                context->plotPen(context, 1, 0);
                DrawBox(2, 0, 1, 1);
                DrawLine(2, 1, 3, 0);  // a sloped line: the general routine
                const Pixel expected = Expected(mode, four, before, colour);
                for (int32_t x = 0; x < 4; ++x)
                    ASSERT_EQ(Read(canvas, x), expected)
                        << "mode " << mode << " format " << format << " path " << x << " colour "
                        << std::hex << colour;
            }
        }
    }
}

TEST(DrawingModesTest, SpecifiedCases) {
    Canvas canvas(4, 1, 0x20, 0);
    SetDrawingMode(DrawAlphaBlend);
    Write(canvas, 0, {0, 0, 0, 255});
    PlotPixel(0, 0, 0x80FF0000);
    EXPECT_EQ(Read(canvas, 0), (Pixel{0, 0, 128, 255}));
    EXPECT_EQ(ReadPixel(0, 0), 0xFF800000u) << "blend modes read alpha";
    SetDrawingMode(DrawAlphaKeep);
    PlotPixel(1, 0, 0x80102030);
    EXPECT_EQ(Read(canvas, 1), (Pixel{0x30, 0x20, 0x10, 0})) << "keep leaves alpha 0";
    SetDrawingMode(DrawCustomFilter);  // the default filter keeps every pixel
    DrawBox(0, 0, 4, 1);
    EXPECT_EQ(Read(canvas, 1), (Pixel{0x30, 0x20, 0x10, 0}));
    SetDrawingMode(DrawGradient | DrawAllChannels);  // the default gradient: the front colour
    SetFrontColour(0x80402010);
    DrawBox(2, 0, 2, 1);
    EXPECT_EQ(canvas.Colour(3, 0), 0x80402010u);
}

TEST(DrawingModesTest, XorTwiceRestoresAndAlphaOnlyOnThreeBytesChangesNothing) {
    Canvas canvas(8, 8, 0, 0x5A);
    const std::vector<uint8_t> before = canvas.bytes();
    SetDrawingMode(DrawAlphaOnly);
    SetDrawingColour(0xFF123456);
    DrawBox(0, 0, 8, 8);
    DrawEllipse(4, 4, 3, 2);
    EXPECT_EQ(canvas.bytes(), before);
    SetDrawingMode(DrawXor);
    for (int pass = 0; pass < 2; ++pass) {
        DrawBox(1, 1, 5, 5);
        DrawLine(0, 0, 7, 3);
    }
    EXPECT_EQ(canvas.bytes(), before);
}

float PositionFromX(DrawingContext*, int32_t x, int32_t) {
    return static_cast<float>(x) / 10;
}

// mix(a, b, u): a (1 - u) in double plus b u in single precision, truncated, low 8 bits.
ColourValue Mix(ColourValue a, ColourValue b, float u) {
    ColourValue result = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const double value = ((a >> shift) & 0xFF) * (1.0 - u) +
                             static_cast<double>(static_cast<float>((b >> shift) & 0xFF) * u);
        result |= (static_cast<ColourValue>(static_cast<int64_t>(value)) & 0xFF) << shift;
    }
    return result;
}

TEST(DrawingModesTest, GradientStopsAreSortedAndMixedPerPosition) {
    Canvas canvas(16, 1);
    SetDrawingMode(DrawGradient | DrawAllChannels);
    SetGradientFunction(PositionFromX);
    SetBackColour(0xFF000000);
    SetFrontColour(0xFFFFFFFF);
    EXPECT_FALSE(AddGradientStop(1.5f, 0));
    EXPECT_FALSE(AddGradientStop(NAN, 0));
    ASSERT_TRUE(AddGradientStop(0.6f, 0xFF00FF00));
    ASSERT_TRUE(AddGradientStop(0.3f, 0x800000FF));
    DrawBox(0, 0, 16, 1);
    for (int32_t x = 0; x < 16; ++x) {
        const float t = static_cast<float>(x) / 10;
        ColourValue expected;
        if (t < 0.3f) {
            expected = Mix(0xFF000000, 0x800000FF, t / 0.3f);
        } else if (t < 0.6f) {
            expected = Mix(0x800000FF, 0xFF00FF00, (t - 0.3f) / (0.6f - 0.3f));
        } else {
            expected = Mix(0xFF00FF00, 0xFFFFFFFF, (t - 0.6f) / (1.0f - 0.6f));
        }
        EXPECT_EQ(canvas.Colour(x, 0), expected) << "x " << x;
    }
    ClearGradientStops();
    EXPECT_EQ(canvas.context()->gradientStops, nullptr);
}

// The gradient's colour goes through the mode's rule like a plain colour.
TEST(DrawingModesTest, GradientColoursBlendLikePlainColours) {
    Canvas canvas(2, 1, 0x20, 255);
    SetDrawingMode(DrawGradient | DrawAlphaBlend);
    SetFrontColour(0x80FF0000);
    PlotPixel(0, 0, 0);
    SetDrawingMode(DrawAlphaBlend);
    PlotPixel(1, 0, 0x80FF0000);
    EXPECT_EQ(canvas.Colour(0, 0), canvas.Colour(1, 0));
}

TEST(DrawingModesTest, FilterSeesColourAndTargetAndItsResultIsStored) {
    static ColourValue seenSource = 0;
    static ColourValue seenTarget = 0;
    for (const int32_t format : {0x20, 0}) {
        Canvas canvas(1, 1, format, 0x10);
        SetDrawingMode(DrawCustomFilter);
        SetFilterFunction([](int32_t, int32_t, ColourValue source, ColourValue target) {
            seenSource = source;
            seenTarget = target;
            return ColourValue{0x44332211};
        });
        PlotPixel(0, 0, 0x01020304);
        EXPECT_EQ(seenSource, 0x01020304u);
        EXPECT_EQ(seenTarget, format != 0 ? 0x10101010u : 0xFF101010u);
        EXPECT_EQ(canvas.Colour(0, 0), format != 0 ? 0x44332211u : 0x332211u);
    }
}

}  // namespace
}  // namespace vorlune
