#include "runtime/images/image.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "runtime/core/startup.h"
#include "runtime/drawing/context.h"

namespace vorlune {
namespace {

int recaches = 0;
void CountRecache(void*, NativeImage) {
    ++recaches;
}

class ImageTest : public ::testing::Test {
  protected:
    void SetUp() override {
        InitImageSystem();
        recaches = 0;
    }
    void TearDown() override { FreeImage(AnyNumber); }
};

std::vector<uint8_t> Bytes(int64_t number) {
    const uint8_t* bitmap = FindImage(number)->bitmap;
    return {bitmap, bitmap + ImageWidth(number) * ImageHeight(number) * 4};
}

bool EveryPixelIs(int64_t number, std::vector<uint8_t> pixel) {
    const std::vector<uint8_t> bytes = Bytes(number);
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != pixel[i % 4]) return false;
    }
    return true;
}

TEST_F(ImageTest, CreationFillsAndRecordsTheDepth) {
    const int64_t handle = CreateImage(0, 512, 512);
    ASSERT_NE(handle, 0);
    EXPECT_EQ(reinterpret_cast<NativeImage>(handle), ImageHandle(0));
    EXPECT_EQ(ImageWidth(0), 512);
    EXPECT_EQ(ImageHeight(0), 512);
    EXPECT_EQ(ImageDepth(0, kCreatedDepthFlag), 24);
    EXPECT_EQ(ImageDepth(0, 0), 32);
    EXPECT_TRUE(EveryPixelIs(0, {0, 0, 0, 255}));

    struct Case {
        int32_t width, height, depth, background;
        std::vector<uint8_t> pixel;
    };
    const Case cases[] = {
        {4, 4, 32, -1, {0, 0, 0, 0}},
        {3, 1, 24, 0x00112233, {0x33, 0x22, 0x11, 0xFF}},
        {5, 2, 16, static_cast<int32_t>(0xAA112233), {0x33, 0x22, 0x11, 0xFF}},
    };
    for (const Case& c : cases) {
        ASSERT_NE(CreateImageWithBackground(1, c.width, c.height, c.depth, c.background), 0);
        EXPECT_TRUE(EveryPixelIs(1, c.pixel)) << c.background;
        EXPECT_EQ(ImageDepth(1, kCreatedDepthFlag), c.depth);
    }
    ASSERT_NE(CreateImageWithDepth(2, 2, 2, 8), 0);
    EXPECT_TRUE(EveryPixelIs(2, {0, 0, 0, 255}));
    EXPECT_EQ(ImageDepth(2, kCreatedDepthFlag), 8);
}

// Pixels are read with their alpha, row by row, and nothing is read outside an image.
TEST_F(ImageTest, ImagePixelReadsOnePixelOfAnImage) {
    ASSERT_NE(CreateImageWithBackground(1, 3, 2, 32, kTransparentBackground), 0);
    const int64_t other = CreateImage(AnyNumber, 2, 2);
    ASSERT_NE(other, 0);
    uint8_t* pixel = FindImage(1)->bitmap + (1 * 3 + 2) * 4;  // (2, 1)
    pixel[0] = 0x11, pixel[1] = 0x22, pixel[2] = 0x33, pixel[3] = 0x44;

    struct Case {
        int64_t number;
        int32_t x, y;
        ColourValue expected;
    };
    const Case cases[] = {
        {1, 2, 1, 0x44332211}, {1, 1, 2, 0},  {1, 0, 0, 0},         {other, 1, 1, 0xFF000000},
        {1, 3, 0, 0},          {1, 0, 2, 0},  {1, -1, 0, 0},        {1, 0, -1, 0},
        {1, INT32_MIN, 1, 0},  {99, 0, 0, 0}, {AnyNumber, 0, 0, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ImagePixel(c.number, c.x, c.y), c.expected)
            << c.number << " " << c.x << "," << c.y;
}

TEST_F(ImageTest, RefusedSizesLeaveTheNumberFree) {
    const std::pair<int32_t, int32_t> sizes[] = {{0, 5}, {5, 0}, {-1, 5}, {32768, 1}, {1, 40000}};
    for (const auto& [width, height] : sizes) {
        ASSERT_NE(CreateImage(3, 2, 2), 0);
        EXPECT_EQ(CreateImage(3, width, height), 0) << width << "x" << height;
        EXPECT_EQ(ImageHandle(3), nullptr);
        EXPECT_EQ(CreateImage(AnyNumber, width, height), 0);
    }
    EXPECT_EQ(ImageWidth(99), 0);
    EXPECT_EQ(ImageDepth(99, 0), 0);
    EXPECT_EQ(ImageDrawTarget(99), nullptr);
    EXPECT_EQ(CurrentDrawingContext(), nullptr);
}

TEST_F(ImageTest, AnyNumberAndReuseOfANumberFreeWhatTheyReplace) {
    const int64_t number = CreateImage(AnyNumber, 6, 7);
    ASSERT_NE(number, 0);
    EXPECT_EQ(ImageWidth(number), 6);
    EXPECT_EQ(FindImage(number), reinterpret_cast<ImageRecord*>(number));

    CreateImage(4, 2, 2);
    NativeImage old = ImageHandle(4);
    RetainNativeImage(old);
    CreateImage(4, 3, 3);
    EXPECT_EQ(NativeImageReferences(old), 1) << "the old image gave up its reference";
    EXPECT_NE(ImageHandle(4), old);
    ReleaseNativeImage(old);

    FreeImage(AnyNumber);
    EXPECT_EQ(ImageHandle(4), nullptr);
    EXPECT_EQ(FindImage(number), nullptr);
    FreeImage(AnyNumber);  // nothing left: nothing happens
}

TEST_F(ImageTest, DrawTargetDrawsIntoTheBitmapAndRecachesOnEnd) {
    CreateImage(0, 512, 512);
    NativeImage image = ImageHandle(0);
    AddRecacheObserver(image, CountRecache, nullptr);
    DrawingContext* context = ImageDrawTarget(0);
    ASSERT_NE(context, nullptr);
    EXPECT_EQ(CurrentDrawingContext(), context);
    EXPECT_EQ(context->width, 512);
    EXPECT_EQ(context->height, 512);
    EXPECT_EQ(context->depth, 32);
    EXPECT_EQ(context->pitch, 2048);
    EXPECT_EQ(context->clipOrigin, FindImage(0)->bitmap);
    EXPECT_EQ(context->pixelFormat, kImagePixelFormat);
    EXPECT_EQ(NativeImageReferences(image), 2) << "the text renderer holds the pixels";
    EXPECT_EQ(BeginDrawing(context), context->graphicsContext);
    PlotPixel(511, 1, MakeRGB(1, 2, 3));
    EXPECT_EQ(Bytes(0)[(1 * 512 + 511) * 4 + 2], 3);
    EndDrawing();
    EXPECT_EQ(recaches, 1);
    EXPECT_EQ(NativeImageReferences(image), 1);

    AbandonDrawingContext(ImageDrawTarget(0));  // ended without completing: no recache
    EXPECT_EQ(recaches, 1);
    EXPECT_EQ(NativeImageReferences(image), 1);
    EXPECT_EQ(CurrentDrawingContext(), nullptr);
}

TEST_F(ImageTest, PixelsOutliveTheImageWhileAViewOrADrawingHoldsThem) {
    CreateImage(0, 8, 8);
    BeginDrawing(ImageDrawTarget(0));
    PlotPixel(2, 2, 0x00FF00);
    NativeImage shown = ImageHandle(0);
    RetainNativeImage(shown);  // as an image view does
    AddRecacheObserver(shown, CountRecache, nullptr);
    FreeImage(0);
    PlotPixel(3, 3, 0xFF0000);  // still drawing into the freed image's pixels
    EndDrawing();
    EXPECT_EQ(recaches, 0) << "the image is gone: nothing to recache";
    const uint8_t* pixels = NativeImagePixels(shown);
    EXPECT_EQ(pixels[(2 * 8 + 2) * 4 + 1], 0xFF);
    EXPECT_EQ(pixels[(3 * 8 + 3) * 4 + 2], 0xFF);
    EXPECT_EQ(pixels[3], 0xFF);
    EXPECT_EQ(NativeImageReferences(shown), 1);
    ReleaseNativeImage(shown);
}

TEST(ImageStartupTest, RuntimeHooksStartAndEndTheImageSystem) {
    static int64_t handleSeen = 0;
    char name[] = "vorlune";
    char* argv[] = {name, nullptr};
    RunProcess(1, argv, [] {
        handleSeen = CreateImage(9, 4, 4);
        AddRecacheObserver(ImageHandle(9), CountRecache, nullptr);
    });
    EXPECT_NE(handleSeen, 0);
    EXPECT_NE(ImageRegistry(), nullptr);
    EXPECT_TRUE(HasDrawingContextKey());
    EXPECT_NE(DrawingStateBlock(), nullptr);
    EXPECT_EQ(ImageHandle(9), nullptr) << "the end hook freed every image";
}

}  // namespace
}  // namespace vorlune
