#include "runtime/drawing/shapes.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>
#include <ostream>
#include <random>
#include <set>
#include <utility>

#include "runtime/drawing/modes.h"
#include "tests/drawing/canvas.h"
#include "tests/drawing/midpoint_walk.h"

namespace vorlune {
namespace {

using testing::Canvas;
using testing::MidpointWalk;
using testing::PaintCounter;
using Points = std::set<std::pair<int, int>>;

constexpr int32_t kSide = 48;

Points Painted(Canvas& canvas, int32_t side = kSide) {
    Points points;
    for (int32_t y = 0; y < side; ++y) {
        for (int32_t x = 0; x < side; ++x) {
            if ((canvas.Colour(x, y) & 0xFFFFFF) != 0) points.insert({x, y});
        }
    }
    return points;
}

Points Row(int y, int from, int to) {
    Points points;
    for (int x = from; x <= to; ++x)
        points.insert({x, y});
    return points;
}

TEST(ShapesTest, LinesPaintTheSpecifiedPixels) {
    struct Case {
        int32_t x1, y1, x2, y2;
        Points expected;
    };
    const Case cases[] = {
        {0, 0, 3, 0, Row(0, 0, 3)},
        {3, 0, 0, 0, Row(0, 0, 3)},
        {0, 0, 3, 1, {{0, 0}, {1, 0}, {2, 1}, {3, 1}}},
        {3, 1, 0, 0, {{0, 0}, {1, 0}, {2, 1}, {3, 1}}},
        {1, 0, 0, 3, {{1, 0}, {1, 1}, {0, 2}, {0, 3}}},
        {-10, 0, -1, 20, {}},
        {-3, 0, 5, 4, {{0, 1}, {1, 2}, {2, 2}, {3, 3}, {4, 3}, {5, 4}}},  // y 1.5 truncated
        {2, 5, 2, -7, {{2, 0}, {2, 1}, {2, 2}, {2, 3}, {2, 4}, {2, 5}}},
        {44, 40, 52, 44, {{44, 40}, {45, 40}, {46, 41}, {47, 41}}},
    };
    for (const Case& c : cases) {
        Canvas canvas(kSide, kSide);
        SetDrawingColour(0xFFFFFFFF);
        DrawLine(c.x1, c.y1, c.x2, c.y2);
        EXPECT_EQ(Painted(canvas), c.expected) << c.x1 << "," << c.y1 << " " << c.x2 << "," << c.y2;
    }
}

// How often shapes paint: totals, the most any pixel is painted, and the extent of rows.
TEST(ShapesTest, SpecifiedBoxesEllipsesAndRoundBoxes) {
    struct Row {
        int y, first, last;
    };
    struct Case {
        const char* name;
        int32_t mode;
        void (*draw)();
        int total;  // -1: not checked
        int maxPaints;
        std::vector<Row> rows;
    };
    const Case cases[] = {
        {"box -3 wide", 0, [] { DrawBox(5, 5, -3, 2); }, 6, 1, {{5, 2, 4}, {6, 2, 4}}},
        {"box 0 high", 0, [] { DrawBox(1, 1, 4, 0); }, 0, 0, {}},
        {"outline 2 wide", DrawOutlined, [] { DrawBox(1, 1, 2, 5); }, 10, 1, {{3, 1, 2}}},
        {"outline 6x4", DrawOutlined, [] { DrawBox(1, 1, 6, 4); }, 16, 1, {{1, 1, 6}, {4, 1, 6}}},
        {"outline 1 high", DrawOutlined, [] { DrawBox(1, 1, 5, 1); }, 10, 2, {{1, 1, 5}}},
        {"outline 0 high", DrawOutlined, [] { DrawBox(1, 1, 5, 0); }, 0, 0, {}},
        {"outline -2x-2", DrawOutlined, [] { DrawBox(3, 3, -2, -2); }, 4, 1, {{1, 1, 2}}},
        {"ellipse 10x6",
         0,
         [] { DrawEllipse(20, 20, 10, 6); },
         213,
         1,
         {{19, 10, 30}, {20, 10, 30}, {21, 10, 30}, {14, 17, 23}, {26, 17, 23}}},
        {"ellipse 3x2", 0, [] { DrawEllipse(10, 10, 3, 2); }, -1, 1, {{10, 7, 13}}},
        {"ellipse 0x5", 0, [] { DrawEllipse(10, 10, 0, 5); }, 2, 2, {{10, 10, 10}}},
        {"ellipse 4x0", 0, [] { DrawEllipse(10, 10, 4, 0); }, 18, 2, {{10, 6, 14}}},
        {"round box",
         0,
         [] { DrawRoundBox(2, 2, 20, 12, 5, 3); },
         224,
         1,
         {{2, 5, 18}, {13, 5, 18}, {3, 3, 20}, {4, 2, 21}, {11, 2, 21}}},
        {"negative radii or sizes",
         0,
         [] {
             DrawEllipse(10, 10, -3, 4);
             DrawRoundBox(0, 0, 20, 20, 4, -1);
             DrawRoundBox(0, 0, -20, 20, 4, 4);
         },
         0,
         0,
         {}},
    };
    for (const Case& c : cases) {
        Canvas canvas(kSide, kSide);
        PaintCounter counter(kSide, kSide, c.mode);
        c.draw();
        EXPECT_TRUE(c.total < 0 || counter.Total() == c.total) << c.name << " " << counter.Total();
        EXPECT_EQ(counter.MaxCount(), c.maxPaints) << c.name;
        for (const Row& row : c.rows) {
            for (int x = 0; x < kSide; ++x) {
                const bool inside = x >= row.first && x <= row.last;
                EXPECT_EQ(counter.At(x, row.y) > 0, inside) << c.name << " " << x << "," << row.y;
            }
        }
    }
}

// Filled round boxes, and ellipses that enter the row region, paint every pixel once, in rows
// without gaps, symmetric about their centre; outlines lie inside the filled shape and reach its
// left and right ends.
TEST(ShapesTest, FilledShapesPaintEachPixelOnceAndOutlinesStayInside) {
    std::mt19937 random(11);
    for (int trial = 0; trial < 300; ++trial) {
        const int32_t rx = static_cast<int32_t>(random() % 22) + 1;
        const int32_t ry = static_cast<int32_t>(random() % 22) + 1;
        const bool roundBox = trial % 2 == 1;
        // Flat ellipses skip the row region and paint their centre row twice, by design.
        if (!roundBox && 2 * ry * ry + rx * rx / 2 - 4 * ry * ry * rx >= 0) continue;
        const int32_t w = 2 * rx + static_cast<int32_t>(random() % 4) + 1;
        const int32_t h = 2 * ry + static_cast<int32_t>(random() % 4) + 1;
        auto draw = [&] {
            if (roundBox) {
                DrawRoundBox(0, 0, w, h, rx, ry);
            } else {
                DrawEllipse(24, 24, rx, ry);
            }
        };
        Canvas canvas(kSide + 2, kSide + 2);
        PaintCounter counter(kSide + 2, kSide + 2);
        draw();
        EndDrawing();
        ASSERT_EQ(counter.MaxCount(), 1)
            << (roundBox ? "round box " : "ellipse ") << rx << "," << ry;
        const int32_t right = roundBox ? w - 1 : 24 + rx;
        const int32_t bottom = roundBox ? h - 1 : 24 + ry;
        const int32_t left = roundBox ? 0 : 24 - rx;
        const int32_t top = roundBox ? 0 : 24 - ry;
        for (int32_t y = top; y <= bottom; ++y) {
            int runs = 0;
            for (int32_t x = left; x <= right; ++x) {
                ASSERT_EQ(counter.At(x, y), counter.At(left + right - x, top + bottom - y));
                runs += counter.At(x, y) == 1 && (x == left || counter.At(x - 1, y) == 0);
            }
            ASSERT_LE(runs, 1) << "row " << y << " of " << rx << "," << ry;
            if (y == (top + bottom) / 2) {
                ASSERT_EQ(runs, 1);
            }
        }
        Canvas outline(kSide + 2, kSide + 2);
        PaintCounter outlineCounter(kSide + 2, kSide + 2, DrawOutlined);
        draw();
        for (int32_t y = 0; y < kSide + 2; ++y) {
            for (int32_t x = 0; x < kSide + 2; ++x)
                ASSERT_FALSE(outlineCounter.At(x, y) > 0 && counter.At(x, y) == 0) << x << "," << y;
        }
        EXPECT_GT(outlineCounter.At(left, (top + bottom) / 2), 0) << rx << "," << ry;
        EXPECT_GT(outlineCounter.At(right, (top + bottom) / 2), 0);
    }
}

// Ellipses and round boxes against the walk ------------------------------------------------------

// An ellipse about (x, y), or, when w is not 0, a round box at (x, y) of w by h.
struct Rounded {
    int32_t x, y, w, h, rx, ry;

    bool IsBox() const { return w != 0; }
    void Draw() const {
        if (IsBox()) {
            DrawRoundBox(x, y, w, h, rx, ry);
        } else {
            DrawEllipse(x, y, rx, ry);
        }
    }
    void Walk(MidpointWalk& walk, bool outlined) const {
        if (IsBox()) {
            walk.RoundBox(x, y, w, h, rx, ry, outlined);
        } else {
            walk.Ellipse(x, y, rx, ry, outlined);
        }
    }
};

std::ostream& operator<<(std::ostream& out, const Rounded& shape) {
    return out << (shape.IsBox() ? "round box " : "ellipse ") << shape.x << "," << shape.y << " "
               << shape.w << "x" << shape.h << " radii " << shape.rx << "," << shape.ry;
}

// The rasteriser answers each row directly instead of walking: it must paint what the walk paints
// (a filled round box each of those pixels once), whatever the radii and wherever the shape lies.
TEST(ShapesTest, EllipsesAndRoundBoxesPaintWhatTheWalkPaints) {
    constexpr int32_t kHuge = 300000;
    // The image centred on the walk's switch from rows to columns, where the answers change rule.
    auto atSwitch = [](int32_t rx, int32_t ry) {
        const auto [row, x] = MidpointWalk::SwitchPoint(rx, ry);
        return Rounded{static_cast<int32_t>(24 - x), static_cast<int32_t>(24 - row), 0, 0, rx, ry};
    };
    const auto [cornerRow, cornerX] = MidpointWalk::SwitchPoint(kHuge, kHuge / 2);
    const int32_t cornerLeft = static_cast<int32_t>(24 + cornerX - kHuge);
    const int32_t cornerTop = static_cast<int32_t>(24 + cornerRow - kHuge / 2);
    std::vector<Rounded> shapes = {
        {30 - kHuge, 24, 0, 0, kHuge, kHuge},  // near the widest row
        {24, 30 - kHuge, 0, 0, kHuge, kHuge},  // near the lowest column
        atSwitch(kHuge, kHuge),
        atSwitch(kHuge, 170000),
        atSwitch(170000, kHuge),
        {24, 20 - 150, 0, 0, kHuge, 150},  // flat: no row region
        {20 - 150, 24, 0, 0, 150, kHuge},  // tall
        {cornerLeft, cornerTop, 4 * kHuge, 4 * kHuge, kHuge, kHuge / 2},
    };
    std::mt19937 random(7);
    auto radius = [&] {
        return static_cast<int32_t>(random() % 3 == 0 ? random() % 3 : random() % 30);
    };
    for (int trial = 0; trial < 1500; ++trial) {
        const bool box = trial % 2 == 1;
        const int32_t x = static_cast<int32_t>(random() % 70) - 20;
        const int32_t y = static_cast<int32_t>(random() % 70) - 20;
        const int32_t w = box ? static_cast<int32_t>(random() % 50) + 1 : 0;
        const int32_t h = box ? static_cast<int32_t>(random() % 50) + 1 : 0;
        shapes.push_back({x, y, w, h, radius(), radius()});
    }
    for (const Rounded& shape : shapes) {
        for (const bool outlined : {false, true}) {
            MidpointWalk walk(kSide, kSide);
            shape.Walk(walk, outlined);
            Canvas canvas(kSide, kSide);
            PaintCounter counter(kSide, kSide, outlined ? DrawOutlined : 0);
            shape.Draw();
            const bool once = shape.IsBox() && !outlined;
            for (int32_t y = 0; y < kSide; ++y) {
                for (int32_t x = 0; x < kSide; ++x) {
                    ASSERT_EQ(counter.At(x, y), once ? std::min(walk.At(x, y), 1) : walk.At(x, y))
                        << shape << (outlined ? " outlined" : "") << " at " << x << "," << y;
                }
            }
        }
    }
}

// Every mode sees each pixel of a filled round box once, also where corners are flat or empty or
// overlap: XOR with white leaves the shape white, and a half-transparent white blended over
// opaque black gives 128 (blended twice it would give 191).
TEST(ShapesTest, FilledRoundBoxesPaintEachPixelOnceInXorAndBlend) {
    struct Case {
        int32_t w, h, rx, ry;
    };
    const Case cases[] = {
        {10, 6, 0, 0},  {10, 6, 10, 1},  {10, 6, 3, 0},  {10, 6, 0, 3},    {10, 6, 1, 0},
        {10, 6, 0, 1},  {10, 6, 1, 1},   {10, 6, 5, 3},  {10, 6, 6, 4},    {10, 6, 8, 5},
        {4, 4, 10, 10}, {1, 1, 0, 0},    {1, 1, 3, 3},   {20, 12, 5, 3},   {7, 30, 2, 20},
        {30, 7, 20, 2}, {30, 30, 40, 1}, {3, 40, 1, 30}, {40, 40, 30, 30}, {25, 9, 12, 4},
    };
    for (const Case& c : cases) {
        MidpointWalk walk(kSide, kSide);
        walk.RoundBox(2, 2, c.w, c.h, c.rx, c.ry, false);
        Canvas xored(kSide, kSide);
        SetDrawingMode(DrawXor);
        SetDrawingColour(0xFFFFFF);
        DrawRoundBox(2, 2, c.w, c.h, c.rx, c.ry);
        EndDrawing();
        Canvas blended(kSide, kSide);
        for (size_t i = 3; i < blended.bytes().size(); i += 4)
            blended.bytes()[i] = 255;
        SetDrawingMode(DrawAlphaBlend);
        SetDrawingColour(0x80FFFFFF);
        DrawRoundBox(2, 2, c.w, c.h, c.rx, c.ry);
        for (int32_t y = 0; y < kSide; ++y) {
            for (int32_t x = 0; x < kSide; ++x) {
                const bool inside = walk.At(x, y) > 0;
                ASSERT_EQ(xored.Colour(x, y), inside ? 0xFFFFFFu : 0u)
                    << c.w << "x" << c.h << " radii " << c.rx << "," << c.ry << " at " << x << ","
                    << y;
                ASSERT_EQ(blended.Colour(x, y), inside ? 0xFF808080u : 0xFF000000u)
                    << c.w << "x" << c.h << " radii " << c.rx << "," << c.ry << " at " << x << ","
                    << y;
            }
        }
    }
}

// Is the point (x / 2, y / 2) strictly inside the ellipse with radii rx, ry about the origin?
bool InsideEllipse(int64_t rx, int64_t ry, int64_t twiceX, int64_t twiceY) {
    __extension__ using Wide = unsigned __int128;
    const Wide a = static_cast<Wide>(rx) * static_cast<Wide>(rx);
    const Wide b = static_cast<Wide>(ry) * static_cast<Wide>(ry);
    const Wide x = static_cast<Wide>(std::abs(twiceX)), y = static_cast<Wide>(std::abs(twiceY));
    return b * x * x + a * y * y < 4 * a * b;
}

// Radii up to 2^31 - 1, the arc crossing the image: a pixel whose farthest point from the centre is
// inside the ellipse is painted once, one whose nearest point is not inside is not painted, and
// the outline is exactly the painted pixels beside an unpainted one, unbroken across the image.
TEST(ShapesTest, HugeShapesPaintTheArcThatCrossesTheImage) {
    constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
    constexpr int32_t kDiagonal = 1518500249;  // kMax / sqrt(2)
    struct Case {
        const char* name;
        Rounded shape;
        int64_t centreX, centreY;  // of the ellipse whose quarter the image shows
    };
    const Case cases[] = {
        {"widest rows", {30 - kMax, 24, 0, 0, kMax, kMax}, 30 - kMax, 24},
        {"45 degrees",
         {24 - kDiagonal, 24 - kDiagonal, 0, 0, kMax, kMax},
         24 - kDiagonal,
         24 - kDiagonal},
        {"lowest columns", {24, 30 - 1000000, 0, 0, kMax, 1000000}, 24, 30 - 1000000},
        {"flat", {24, 30 - 5000, 0, 0, kMax, 5000}, 24, 30 - 5000},
        {"round corner",
         {-292893195, -292893195, kMax, kMax, 1000000000, 1000000000},
         707106805,
         707106805},
        {"elliptic corner",
         {-42173691, -213795610, 2100000000, 700000000, 1000000000, 300000000},
         957826309,
         86204390},
    };
    for (const Case& c : cases) {
        Canvas canvas(kSide, kSide);
        PaintCounter filled(kSide, kSide);
        c.shape.Draw();
        EndDrawing();
        Canvas outlineCanvas(kSide, kSide);
        PaintCounter outline(kSide, kSide, DrawOutlined);
        c.shape.Draw();
        auto isFilled = [&](int32_t x, int32_t y) { return filled.At(x, y) > 0; };
        int whollyInside = 0, whollyOutside = 0, outlined = 0;
        for (int32_t y = 0; y < kSide; ++y) {
            for (int32_t x = 0; x < kSide; ++x) {
                const int64_t dx = std::abs(x - c.centreX), dy = std::abs(y - c.centreY);
                const int64_t rx = c.shape.rx, ry = c.shape.ry;
                const bool whole = InsideEllipse(rx, ry, 2 * dx + 1, 2 * dy + 1);
                const bool none = !InsideEllipse(rx, ry, std::max<int64_t>(2 * dx - 1, 0),
                                                 std::max<int64_t>(2 * dy - 1, 0));
                ASSERT_LE(filled.At(x, y), 1) << c.name << " at " << x << "," << y;
                if (whole || none) {
                    ASSERT_EQ(filled.At(x, y), whole ? 1 : 0) << c.name << " at " << x << "," << y;
                }
                whollyInside += whole;
                whollyOutside += none;
                outlined += outline.At(x, y);
                if (x == 0 || y == 0 || x == kSide - 1 || y == kSide - 1) continue;
                const bool border = isFilled(x, y) && !(isFilled(x - 1, y) && isFilled(x + 1, y) &&
                                                        isFilled(x, y - 1) && isFilled(x, y + 1));
                ASSERT_EQ(outline.At(x, y), border ? 1 : 0) << c.name << " at " << x << "," << y;
            }
        }
        EXPECT_GT(whollyInside, 0) << c.name;
        EXPECT_GT(whollyOutside, 0) << c.name;
        EXPECT_GE(outlined, kSide - 2) << c.name;
    }
}

// Flood fill ------------------------------------------------------------------------------------

TEST(FillTest, BorderFillStopsAtTheOutlineAndRegionFillTakesTheSeedColour) {
    Canvas canvas(kSide, kSide);
    SetDrawingMode(DrawOutlined);
    SetDrawingColour(0x0000FF);
    DrawBox(2, 2, 10, 8);
    SetDrawingColour(0x00FF00);
    FillArea(5, 5, 0x0000FF);
    SetDrawingColour(0xFF0000);
    FillArea(30, 30, kFillRegion);  // everything black outside the box
    for (int32_t y = 0; y < kSide; ++y) {
        for (int32_t x = 0; x < kSide; ++x) {
            const bool interior = x >= 3 && x <= 10 && y >= 3 && y <= 8;
            const bool border = !interior && x >= 2 && x <= 11 && y >= 2 && y <= 9;
            const ColourValue expected = interior ? 0x00FF00 : border ? 0x0000FF : 0xFF0000;
            ASSERT_EQ(canvas.Colour(x, y) & 0xFFFFFF, expected) << x << "," << y;
        }
    }
}

TEST(FillTest, EachRegionPixelIsPaintedOnceEvenWhenItStaysInTheRegion) {
    Canvas canvas(kSide, kSide);
    SetDrawingColour(0xFFFFFF);
    DrawEllipse(20, 20, 12, 9);
    SetDrawingColour(0);
    DrawBox(18, 0, 3, kSide);            // a black bar splits the ellipse into two halves
    PaintCounter counter(kSide, kSide);  // paints by keeping each pixel as it was
    FillArea(12, 20, kFillRegion);
    for (int32_t y = 0; y < kSide; ++y) {
        for (int32_t x = 0; x < kSide; ++x) {
            const bool white = (canvas.Colour(x, y) & 0xFFFFFF) == 0xFFFFFF;
            ASSERT_EQ(counter.At(x, y), white && x < 18 ? 1 : 0) << x << "," << y;
        }
    }
}

TEST(FillTest, SeedsOutsideTheClipOrOnTheBorder) {
    Canvas canvas(16, 4);
    SetDrawingColour(0x0000FF);
    DrawLine(3, 0, 3, 3);
    DrawLine(9, 0, 9, 3);
    SetDrawingColour(0x00FF00);
    const std::vector<uint8_t> before = canvas.bytes();
    for (const auto& [x, y] : {std::pair{-1, 0}, {16, 0}, {0, -1}, {0, 4}})
        FillArea(x, y, kFillRegion);
    EXPECT_EQ(canvas.bytes(), before);
    FillArea(9, 1, 0x0000FF);  // the seed stops the scan: only the run to its left is painted
    for (int32_t y = 0; y < 4; ++y) {
        for (int32_t x = 0; x < 16; ++x) {
            const ColourValue expected = x == 3 || x == 9 ? 0x0000FF
                                         : x > 3 && x < 9 ? 0x00FF00
                                                          : 0;
            EXPECT_EQ(canvas.Colour(x, y) & 0xFFFFFF, expected) << x << "," << y;
        }
    }
}

// A one-pixel corridor winding through the whole canvas: a recursive fill would nest once
// per bend; the fill must reach its end, and again after the clip rectangle has grown.
TEST(FillTest, DeepWindingRegionsAndAGrowingClipAreFilled) {
    constexpr int32_t kMaze = 401;
    Canvas canvas(kMaze, kMaze);
    ClipDrawing(0, 0, kMaze, 3);
    FillArea(0, 0, kFillRegion);  // the row table is first made for 3 rows
    UnclipDrawing();
    SetDrawingColour(0xFFFFFF);
    for (int32_t x = 1; x < kMaze; x += 2)
        DrawLine(x, x % 4 == 1 ? 0 : 1, x, x % 4 == 1 ? kMaze - 2 : kMaze - 1);
    SetDrawingColour(0x00FF00);
    FillArea(0, 0, kFillRegion);
    int64_t filled = 0;
    for (int32_t y = 0; y < kMaze; ++y) {
        for (int32_t x = 0; x < kMaze; ++x)
            filled += (canvas.Colour(x, y) & 0xFFFFFF) == 0x00FF00;
    }
    EXPECT_EQ(filled, int64_t{kMaze} * kMaze - int64_t{kMaze / 2} * (kMaze - 1));
    EXPECT_EQ(canvas.Colour(kMaze - 1, kMaze - 1) & 0xFFFFFF, 0x00FF00u);
}

}  // namespace
}  // namespace vorlune
