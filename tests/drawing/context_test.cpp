#include "runtime/drawing/context.h"

#include <gtest/gtest.h>

#include "runtime/core/memory.h"
#include "runtime/drawing/modes.h"
#include "runtime/drawing/text.h"
#include "tests/drawing/canvas.h"

namespace vorlune {
namespace {

using testing::Canvas;

TEST(DrawingContextTest, MakeRGBPacksRedLowWithoutMasking) {
    EXPECT_EQ(MakeRGB(255, 0, 0), 0x000000FF);
    EXPECT_EQ(MakeRGB(0, 0, 255), 0x00FF0000);
    EXPECT_EQ(MakeRGB(255, 255, 255), 0x00FFFFFF);
    EXPECT_EQ(MakeRGB(256, 0, 0), 0x00000100);
    EXPECT_EQ(MakeRGB(0, 0, 0x8000), -0x80000000LL);
}

TEST(DrawingContextTest, MakeRGBAKeepsEachChannelInItsByte) {
    EXPECT_EQ(MakeRGBA(1, 2, 3, 4), 0x04030201u);
    EXPECT_EQ(MakeRGBA(255, 0, 0, 255), 0xFF0000FFu);
    EXPECT_EQ(MakeRGBA(256, -1, 0, 511), 0xFF00FF00u) << "out-of-range channels do not spill";
    EXPECT_EQ(MakeRGBA(10, 20, 30, 0), static_cast<ColourValue>(MakeRGB(10, 20, 30)));
}

TEST(DrawingContextTest, PlotPixelFindsThePixelInEveryRowOrderAndPitch) {
    Canvas image(4, 3, kImagePixelFormat, 0x11);
    PlotPixel(0, 0, MakeRGB(255, 255, 255));
    EXPECT_EQ(image.bytes()[0], 255);
    EXPECT_EQ(image.bytes()[2], 255);
    EXPECT_EQ(image.bytes()[3], 0x11) << "mode 0 leaves alpha";
    EXPECT_EQ(ReadPixel(0, 0), 0x00FFFFFFu) << "mode 0 reads no alpha";
    EndDrawing();

    Canvas bottomUp(3, 4, kPixelBottomUp, 0, 5);  // three bytes per pixel, 14-byte rows
    PlotPixel(0, 0, 0x030201);
    PlotPixel(2, 3, 0x060504);
    PlotPixel(3, 0, 0xFFFFFF);  // outside: ignored
    EXPECT_EQ(bottomUp.bytes()[3 * 14], 1) << "row 0 is the last row in memory";
    EXPECT_EQ(bottomUp.bytes()[3 * 14 + 2], 3);
    EXPECT_EQ(bottomUp.bytes()[6], 4) << "row 3 is the first row in memory";
    EXPECT_EQ(std::count(bottomUp.bytes().begin(), bottomUp.bytes().end(), 0), 56 - 6);
}

TEST(DrawingContextTest, ClipCutsToTheOutputAndPlotPixelAddsTheOrigin) {
    struct Case {
        int32_t x, y, w, h;
        int32_t left, top, width, height;  // the clip rectangle in output coordinates
    };
    const Case cases[] = {
        {10, 20, 5, 5, 10, 20, 5, 5}, {-5, 0, 10, 10, 0, 0, 5, 10}, {60, 60, 10, 10, 60, 60, 4, 4},
        {70, 10, 5, 5, 0, 0, 0, 0},   {5, 5, -3, 4, 0, 0, 0, 0},    {-99, -99, 50, 50, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        for (const int32_t format : {kImagePixelFormat, kImagePixelFormat | kPixelBottomUp}) {
            Canvas canvas(64, 64, format);
            ClipDrawing(c.x, c.y, c.w, c.h);
            EXPECT_EQ(canvas.context()->width, c.width) << c.x << "," << c.y;
            EXPECT_EQ(canvas.context()->height, c.height) << c.x << "," << c.y;
            PlotPixel(c.left - 1, c.top, 0x123456);  // outside the clip rectangle: ignored
            PlotPixel(c.left, c.top, 0xABCDEF);
            for (int32_t x = std::max(c.left - 1, 0); x <= c.left; ++x) {
                const bool written = c.width > 0 && x == c.left;
                EXPECT_EQ(canvas.Colour(x, c.top), written ? 0xABCDEFu : 0u) << c.x << "," << c.y;
            }
            UnclipDrawing();
            EXPECT_EQ(canvas.context()->width, 64);
            EXPECT_EQ(canvas.context()->clipOrigin, canvas.bytes().data());
        }
    }
}

// The plotter does what PlotPixel does in every pixel format, clip and mode, inside and outside.
TEST(DrawingContextTest, PixelPlotterPlotsAsPlotPixelDoes) {
    struct Case {
        int32_t format;
        int32_t mode;
        bool clipped;
    };
    const Case cases[] = {
        {kImagePixelFormat, DrawPlain, false},
        {kImagePixelFormat, DrawPlain, true},
        {kImagePixelFormat | kPixelBottomUp, DrawPlain, true},
        {0, DrawPlain, true},
        {kImagePixelFormat, DrawXor, true},
        {kImagePixelFormat, DrawAlphaBlend, false},
    };
    const auto draw = [](const Case& c, bool plotter, std::vector<uint8_t>* bytes) {
        Canvas canvas(9, 7, c.format, 0x5A, 3);
        SetDrawingMode(c.mode);
        if (c.clipped) ClipDrawing(2, 1, 5, 4);
        const PixelPlotter plot(CurrentDrawingContext());
        for (int32_t y = -2; y < 9; ++y) {
            for (int32_t x = -2; x < 11; ++x) {
                const auto colour =
                    static_cast<ColourValue>(0x80000000u + x * 0x10203 + y * 0x30201);
                if (plotter)
                    plot.Plot(x, y, colour);
                else
                    PlotPixel(x, y, colour);
            }
        }
        EndDrawing();
        *bytes = canvas.bytes();
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> expected, plotted;
        draw(c, false, &expected);
        draw(c, true, &plotted);
        EXPECT_EQ(plotted, expected)
            << "format " << c.format << " mode " << c.mode << " clip " << c.clipped;
        EXPECT_NE(std::count(expected.begin(), expected.end(), 0x5A), std::ssize(expected));
    }
    PixelPlotter(nullptr).Plot(0, 0, 0);  // no context: nothing
}

// Plotting without the test per pixel is offered only where every place of the area is inside
// and stored in line, and there it stores what Plot stores.
TEST(DrawingContextTest, PixelPlotterPlotsInsideWithoutTestsWhereItMay) {
    struct Case {
        int32_t format;
        int32_t mode;
        bool clipped;
        int32_t width, height;
        bool inLine;
    };
    const Case cases[] = {
        {kImagePixelFormat, DrawPlain, false, 9, 7, true},
        {kImagePixelFormat | kPixelBottomUp, DrawPlain, false, 9, 7, true},
        {kImagePixelFormat, DrawPlain, false, 10, 7, false},
        {kImagePixelFormat, DrawPlain, false, 9, 8, false},
        {kImagePixelFormat, DrawPlain, true, 5, 4, false},  // the clip starts at (2, 1)
        {kImagePixelFormat, DrawXor, false, 9, 7, false},
        {0, DrawPlain, false, 9, 7, false},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes[2];
        for (const bool inside : {false, true}) {
            Canvas canvas(9, 7, c.format, 0x5A, 3);
            SetDrawingMode(c.mode);
            if (c.clipped) ClipDrawing(2, 1, 5, 4);
            const PixelPlotter plot(CurrentDrawingContext());
            EXPECT_EQ(plot.StoresInLine(c.width, c.height), c.inLine) << c.width << "x" << c.height;
            for (int32_t y = 0; c.inLine && y < c.height; ++y) {
                for (int32_t x = 0; x < c.width; ++x) {
                    const auto colour =
                        static_cast<ColourValue>(0x80000000u + x * 0x10203 + y * 0x30201);
                    if (inside)
                        plot.PlotInside(x, y, colour);
                    else
                        plot.Plot(x, y, colour);
                }
            }
            EndDrawing();
            bytes[inside] = canvas.bytes();
        }
        EXPECT_EQ(bytes[1], bytes[0]);
    }
    EXPECT_FALSE(PixelPlotter(nullptr).StoresInLine(0, 0));
}

TEST(DrawingContextTest, LifeOfAContext) {
    EXPECT_EQ(BeginDrawing(nullptr), nullptr);
    CreateDrawingKey();
    {
        Canvas canvas(2, 2);
        DrawingContext* context = canvas.context();
        EXPECT_EQ(CurrentDrawingContext(), context);
        EXPECT_EQ(pthread_getspecific(DrawingContextKey()), context);
        EXPECT_EQ(context->frontColour, 0xFFFFFFFFu);
        EXPECT_EQ(context->backColour, 0xFF000000u);
        EXPECT_EQ(context->penInverseAlpha, 255);
        context->setFont(context, reinterpret_cast<TextFont>(intptr_t{-1}));
        EXPECT_EQ(context->font, nullptr);
        EndDrawing();
        EXPECT_EQ(CurrentDrawingContext(), nullptr);
        EXPECT_EQ(pthread_getspecific(DrawingContextKey()), nullptr);
        EndDrawing();  // a second end does nothing
    }
    // A target with neither a buffer nor a renderer cannot start: released with 0 and freed.
    static int abandoned = 0;
    DrawingContext* empty = CreateDrawingContext(kImagePixelFormat);
    empty->release = [](DrawingContext*, int32_t completed) { abandoned += completed == 0; };
    EXPECT_EQ(BeginDrawing(empty), nullptr);
    EXPECT_EQ(abandoned, 1);
    EXPECT_EQ(CurrentDrawingContext(), nullptr);
    EndDrawing();
    PlotPixel(0, 0, 0);  // no context: ignored

    SetAllocationFailureHook([](uint64_t) { return true; });
    EXPECT_EQ(CreateDrawingContext(kImagePixelFormat), nullptr);
    SetAllocationFailureHook(nullptr);
    EXPECT_EQ(CurrentDrawingContext(), nullptr);
}

}  // namespace
}  // namespace vorlune
