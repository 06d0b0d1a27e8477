// Every primitive against the clip rectangle: at each edge, and for random shapes and modes.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <limits>
#include <random>

#include "runtime/drawing/modes.h"
#include "runtime/drawing/shapes.h"
#include "tests/drawing/canvas.h"

namespace vorlune {
namespace {

using testing::Canvas;

constexpr int32_t kWidth = 40;
constexpr int32_t kHeight = 32;

struct Rect {
    int64_t left, top, right, bottom;  // right and bottom exclusive
    bool Contains(int64_t x, int64_t y) const {
        return x >= left && x < right && y >= top && y < bottom;
    }
};

// The clip rectangle is the requested one cut to the output.
Rect ClipOf(int32_t x, int32_t y, int32_t w, int32_t h) {
    return {std::max<int64_t>(x, 0), std::max<int64_t>(y, 0),
            std::min<int64_t>(int64_t{x} + w, kWidth), std::min<int64_t>(int64_t{y} + h, kHeight)};
}

using Primitive = std::function<void(int32_t dx, int32_t dy)>;  // drawn at an offset

struct NamedPrimitive {
    const char* name;
    int32_t mode;
    Primitive draw;
};

std::vector<NamedPrimitive> PrimitivesAround(int32_t x, int32_t y) {
    return {
        {"box", 0, [=](int32_t dx, int32_t dy) { DrawBox(x - 5 + dx, y - 4 + dy, 11, 9); }},
        {"outlined box", DrawOutlined,
         [=](int32_t dx, int32_t dy) { DrawBox(x - 5 + dx, y - 4 + dy, 11, 9); }},
        {"ellipse", 0, [=](int32_t dx, int32_t dy) { DrawEllipse(x + dx, y + dy, 6, 4); }},
        {"outlined ellipse", DrawOutlined,
         [=](int32_t dx, int32_t dy) { DrawEllipse(x + dx, y + dy, 6, 4); }},
        {"round box", 0,
         [=](int32_t dx, int32_t dy) { DrawRoundBox(x - 6 + dx, y - 5 + dy, 13, 11, 4, 3); }},
        {"outlined round box", DrawOutlined,
         [=](int32_t dx, int32_t dy) { DrawRoundBox(x - 6 + dx, y - 5 + dy, 13, 11, 4, 3); }},
        {"row", 0,
         [=](int32_t dx, int32_t dy) { DrawLine(x - 7 + dx, y + dy, x + 7 + dx, y + dy); }},
        {"column", 0,
         [=](int32_t dx, int32_t dy) { DrawLine(x + dx, y - 7 + dy, x + dx, y + 7 + dy); }},
        {"fill", 0, [=](int32_t dx, int32_t dy) { FillArea(x + dx, y + dy, kFillRegion); }},
    };
}

// Clipped, a primitive paints exactly what it paints unclipped inside the clip rectangle.
TEST(ClipTest, EveryPrimitiveIsCutAtEveryEdge) {
    const Rect clip = ClipOf(8, 6, 20, 16);
    const std::pair<int32_t, int32_t> edgePoints[] = {{8, 14}, {27, 14}, {18, 6}, {18, 21}, {8, 6}};
    for (const int32_t format : {0x20, 0x20 | kPixelBottomUp, 0}) {
        for (const auto& [x, y] : edgePoints) {
            for (const NamedPrimitive& primitive : PrimitivesAround(x, y)) {
                Canvas whole(kWidth, kHeight, format);
                SetDrawingMode(primitive.mode);
                SetDrawingColour(0xFFFFFFFF);
                primitive.draw(0, 0);
                EndDrawing();
                Canvas clipped(kWidth, kHeight, format);
                SetDrawingMode(primitive.mode);
                SetDrawingColour(0xFFFFFFFF);
                ClipDrawing(8, 6, 20, 16);
                primitive.draw(-8, -6);
                int paintedInside = 0;
                for (int32_t py = 0; py < kHeight; ++py) {
                    for (int32_t px = 0; px < kWidth; ++px) {
                        const ColourValue expected =
                            clip.Contains(px, py) ? whole.Colour(px, py) : 0;
                        paintedInside += expected != 0;
                        ASSERT_EQ(clipped.Colour(px, py), expected)
                            << primitive.name << " at " << x << "," << y << " pixel " << px << ","
                            << py << " format " << format;
                    }
                }
                EXPECT_GT(paintedInside, 0) << primitive.name << " at " << x << "," << y;
            }
        }
    }
}

ColourValue InvertingFilter(int32_t, int32_t, ColourValue, ColourValue target) {
    return ~target;
}

int32_t RandomCoordinate(std::mt19937& random) {
    switch (random() % 8) {
        case 0:
            return std::numeric_limits<int32_t>::min() + static_cast<int32_t>(random() % 4);
        case 1:
            return std::numeric_limits<int32_t>::max() - static_cast<int32_t>(random() % 4);
        case 2:
            return static_cast<int32_t>(random() % 4000) - 2000;
        default:
            return static_cast<int32_t>(random() % 80) - 20;
    }
}

int32_t RandomRadius(std::mt19937& random) {
    switch (random() % 10) {
        case 0:
            return RandomCoordinate(random);
        case 1:
            return std::numeric_limits<int32_t>::max() - static_cast<int32_t>(random() % 2);
        default:
            return static_cast<int32_t>(random() % 60);
    }
}

// No primitive, in any mode and pixel format, writes a byte outside the clip rectangle.
TEST(ClipTest, NoPrimitiveWritesOutsideTheClipRectangle) {
    std::mt19937 random(2024);
    const int32_t formats[] = {0x20, 0x40 | kPixelBottomUp, 0, kPixelBottomUp};
    for (int trial = 0; trial < 1500; ++trial) {
        const int32_t format = formats[trial % 4];
        const int32_t padding = static_cast<int32_t>(random() % 3);
        Canvas canvas(kWidth, kHeight, format, 0x5A, padding);
        for (uint8_t& byte : canvas.bytes())
            byte = static_cast<uint8_t>(random());
        const std::vector<uint8_t> before = canvas.bytes();
        const int32_t cx = RandomCoordinate(random), cy = RandomCoordinate(random);
        const int32_t cw = RandomCoordinate(random), ch = RandomCoordinate(random);
        ClipDrawing(cx, cy, cw, ch);
        SetDrawingMode(static_cast<int32_t>(random() & 0x1FF));
        SetDrawingColour(static_cast<ColourValue>(random()));
        SetFilterFunction(InvertingFilter);
        AddGradientStop(0.5f, static_cast<ColourValue>(random()));
        const int32_t a = RandomCoordinate(random), b = RandomCoordinate(random);
        const int32_t c = RandomCoordinate(random), d = RandomCoordinate(random);
        switch (trial % 6) {
            case 0:
                DrawLine(a, b, c, d);
                break;
            case 1:
                DrawBox(a, b, c, d);
                break;
            case 2:
                DrawEllipse(a, b, RandomRadius(random), RandomRadius(random));
                break;
            case 3:
                DrawRoundBox(a, b, c, d, RandomRadius(random), RandomRadius(random));
                break;
            case 4:
                FillArea(a % 50, b % 40, random() % 2 ? kFillRegion : random());
                break;
            case 5:
                PlotPixel(a % 50, b % 40, static_cast<ColourValue>(random()));
                break;
        }
        const Rect clip = ClipOf(cx, cy, cw, ch);
        for (int32_t y = 0; y < kHeight; ++y) {
            const int32_t row = (format & kPixelBottomUp) != 0 ? kHeight - 1 - y : y;
            const size_t rowStart =
                static_cast<size_t>(row) * (kWidth * canvas.bytesPerPixel() + padding);
            for (size_t i = 0; i < static_cast<size_t>(kWidth * canvas.bytesPerPixel() + padding);
                 ++i) {
                const int64_t x = static_cast<int64_t>(i) / canvas.bytesPerPixel();
                if (x < kWidth && clip.Contains(x, y)) continue;
                ASSERT_EQ(canvas.bytes()[rowStart + i], before[rowStart + i])
                    << "trial " << trial << " byte " << i << " of row " << y;
            }
        }
    }
}

}  // namespace
}  // namespace vorlune
