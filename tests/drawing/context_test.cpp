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
    struct Case {
        int32_t red, green, blue;
        int64_t expected;
    };
    const Case cases[] = {
        {255, 0, 0, 0x000000FF}, {0, 0, 255, 0x00FF0000},       {255, 255, 255, 0x00FFFFFF},
        {256, 0, 0, 0x00000100}, {0, 0, 0x8000, -0x80000000LL}, {-1, 0, 0, -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MakeRGB(c.red, c.green, c.blue), c.expected) << c.red << " " << c.blue;
}

TEST(DrawingContextTest, PlotPixelStoresRedGreenBlueAndKeepsAlpha) {
    Canvas canvas(4, 3, kImagePixelFormat, 0x11);
    PlotPixel(0, 0, MakeRGB(255, 255, 255));
    const uint8_t expected[] = {255, 255, 255, 0x11, 0x11};
    EXPECT_EQ(std::vector<uint8_t>(canvas.bytes().begin(), canvas.bytes().begin() + 5),
              std::vector<uint8_t>(expected, expected + 5));
    EXPECT_EQ(ReadPixel(0, 0), 0x00FFFFFFu) << "mode 0 reads no alpha";
}

TEST(DrawingContextTest, BottomUpRowsAndPaddedPitchPlaceThePixel) {
    Canvas canvas(3, 4, kPixelBottomUp, 0, 5);  // three bytes per pixel, 14-byte rows
    PlotPixel(0, 0, 0x030201);
    PlotPixel(2, 3, 0x060504);
    const size_t pitch = 14;
    EXPECT_EQ(canvas.bytes()[3 * pitch], 1) << "row 0 is the last row in memory";
    EXPECT_EQ(canvas.bytes()[3 * pitch + 2], 3);
    EXPECT_EQ(canvas.bytes()[6], 4) << "row 3 is the first row in memory";
}

TEST(DrawingContextTest, ClipNormalisesAndPlotPixelAddsTheOrigin) {
    struct Case {
        int32_t x, y, w, h;
        int32_t left, top, width, height;  // expected clip rectangle in output coordinates
    };
    const Case cases[] = {
        {10, 20, 5, 5, 10, 20, 5, 5},   {-5, 0, 10, 10, 0, 0, 5, 10},
        {60, 60, 10, 10, 60, 60, 4, 4}, {70, 10, 5, 5, 0, 0, 0, 0},
        {5, 5, -3, 4, 0, 0, 0, 0},      {-100, -100, 50, 50, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        for (const int32_t format : {kImagePixelFormat, kImagePixelFormat | kPixelBottomUp}) {
            Canvas canvas(64, 64, format);
            DrawingContext* context = canvas.context();
            ClipDrawing(c.x, c.y, c.w, c.h);
            EXPECT_EQ(context->width, c.width) << c.x << "," << c.y;
            EXPECT_EQ(context->height, c.height) << c.x << "," << c.y;
            if (c.width == 0) continue;
            PlotPixel(c.left, c.top, 0xABCDEF);
            EXPECT_EQ(canvas.Colour(c.left, c.top) & 0xFFFFFF, 0xABCDEFu) << c.x << "," << c.y;
            PlotPixel(c.left - 1, c.top, 0x123456);  // outside the clip rectangle: ignored
            if (c.left > 0) {
                EXPECT_EQ(canvas.Colour(c.left - 1, c.top), 0u);
            }
            UnclipDrawing();
            EXPECT_EQ(context->width, 64);
            EXPECT_EQ(context->clipOrigin, canvas.bytes().data());
        }
    }
}

TEST(DrawingContextTest, LifeOfAContext) {
    EXPECT_EQ(BeginDrawing(nullptr), nullptr);
    CreateDrawingKey();
    {
        Canvas canvas(2, 2);
        EXPECT_EQ(CurrentDrawingContext(), canvas.context());
        EXPECT_EQ(pthread_getspecific(DrawingContextKey()), canvas.context());
        EXPECT_EQ(canvas.context()->frontColour, 0xFFFFFFFFu);
        EXPECT_EQ(canvas.context()->backColour, 0xFF000000u);
        EXPECT_EQ(canvas.context()->penInverseAlpha, 255);
        SetFrontColour(0x01020304);
        EXPECT_EQ(canvas.context()->frontColour, 0x01020304u);
        EndDrawing();
        EXPECT_EQ(CurrentDrawingContext(), nullptr);
        EXPECT_EQ(pthread_getspecific(DrawingContextKey()), nullptr);
        EndDrawing();  // a second end does nothing
    }
    // A target with neither a buffer nor a renderer cannot start: it is released and freed.
    static int releases = 0;
    DrawingContext* empty = CreateDrawingContext(kImagePixelFormat);
    empty->release = [](DrawingContext*, int32_t completed) { releases += completed == 0; };
    EXPECT_EQ(BeginDrawing(empty), nullptr);
    EXPECT_EQ(releases, 1);
    EXPECT_EQ(CurrentDrawingContext(), nullptr);
    EndDrawing();
    PlotPixel(0, 0, 0);  // no context: ignored
}

TEST(DrawingContextTest, FailedAllocationLeavesNoCurrentContext) {
    SetAllocationFailureHook([](uint64_t) { return true; });
    EXPECT_EQ(CreateDrawingContext(kImagePixelFormat), nullptr);
    SetAllocationFailureHook(nullptr);
    EXPECT_EQ(CurrentDrawingContext(), nullptr);
}

TEST(DrawingContextTest, SlotsReportTheBufferAndSetFontTakesMinusOneAsDefault) {
    Canvas canvas(5, 5, 0x40, 0, 3);
    DrawingContext* context = canvas.context();
    EXPECT_EQ(context->bytesPerPixel, 4);
    EXPECT_EQ(context->bufferAddress(context), canvas.bytes().data());
    EXPECT_EQ(context->bufferPitch(context), 23);
    EXPECT_EQ(context->bufferPixelFormat(context), 0x40);
    TextFont font = LoadFont(u"DejaVu Serif 9px");
    context->setFont(context, font);
    EXPECT_EQ(context->font, font);
    context->setFont(context, reinterpret_cast<TextFont>(intptr_t{-1}));
    EXPECT_EQ(context->font, nullptr);
    FreeFont(font);
}

}  // namespace
}  // namespace vorlune
