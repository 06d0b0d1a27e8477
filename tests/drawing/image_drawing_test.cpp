#include "runtime/drawing/image_drawing.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

#include "runtime/drawing/modes.h"
#include "runtime/images/image.h"
#include "runtime/images/resample.h"
#include "tests/drawing/canvas.h"

namespace vorlune {
namespace {

using testing::Canvas;
using Pixel = std::array<int32_t, 4>;

constexpr int32_t kFormats[] = {kImagePixelFormat, kPixelFourBytesAlt | kPixelBottomUp, 0,
                                kPixelBottomUp};

class ImageDrawingTest : public ::testing::Test {
  protected:
    void SetUp() override { InitImageSystem(); }
    void TearDown() override {
        EndDrawing();
        FreeImage(AnyNumber);
    }

    // Image `number` with pixels from a pattern that includes alphas 0, 128 and 255.
    NativeImage PatternImage(int64_t number, int32_t width, int32_t height, uint32_t seed) {
        CreateImage(number, width, height);
        uint8_t* p = FindImage(number)->bitmap;
        const uint8_t alphas[] = {0, 128, 255, 1, 254, 77};
        for (int32_t i = 0; i < width * height; ++i) {
            const uint32_t v = (i + seed) * 2654435761u;
            p[i * 4] = static_cast<uint8_t>(v >> 8);
            p[i * 4 + 1] = static_cast<uint8_t>(v >> 16);
            p[i * 4 + 2] = static_cast<uint8_t>(v >> 24);
            p[i * 4 + 3] = alphas[(i % width + i / width) % 6];
        }
        return ImageHandle(number);
    }
};

Pixel SourcePixel(NativeImage image, int32_t x, int32_t y) {
    const uint8_t* p = NativeImagePixels(image) + (y * NativeImageWidth(image) + x) * 4;
    return {p[0], p[1], p[2], p[3]};
}

ColourValue TestFilter(int32_t x, int32_t y, ColourValue source, ColourValue target) {
    return source ^ (target >> 1) ^
           (static_cast<ColourValue>(x) * 0x01020304u + static_cast<ColourValue>(y) * 0x40302010u);
}

// The blit rules, written out from their table.
Pixel ExpectedBlit(int32_t mode, bool fourBytes, int32_t opacity, int32_t alphaFlag, Pixel s,
                   Pixel d, int32_t x, int32_t visualRow) {
    const int32_t ae = opacity == 255 ? s[3] : opacity * s[3] / 255;
    if (!fourBytes) d[3] = 0;
    if (mode & DrawCustomFilter) {
        const ColourValue colour = s[0] | s[1] << 8 | s[2] << 16 | ae << 24;
        const ColourValue target =
            d[0] | d[1] << 8 | d[2] << 16 | (fourBytes ? d[3] << 24 : 0xFF000000u);
        const ColourValue r = TestFilter(x, visualRow, colour, target);
        return {int32_t(r & 0xFF), int32_t(r >> 8 & 0xFF), int32_t(r >> 16 & 0xFF),
                fourBytes ? int32_t(r >> 24) : 0};
    }
    auto over = [&](bool writeAlpha) {
        if (ae == 0) return;
        if (d[3] == 0) {
            d = {s[0], s[1], s[2], writeAlpha ? ae : 0};
            return;
        }
        const int32_t w = (255 - ae) * d[3];
        for (int c = 0; c < 3; ++c)
            d[c] = (s[c] * ae * 255 + d[c] * w) / (ae * 255 + w);
        if (writeAlpha) d[3] = (ae * 255 + w) / 255;
    };
    if (mode & DrawXor) {
        for (int c = 0; c < 3; ++c)
            d[c] ^= s[c];
    } else if (fourBytes) {
        if (mode & DrawAllChannels) {
            d = {s[0], s[1], s[2], ae};
        } else if (mode & DrawAlphaOnly) {
            d[3] = ae;
        } else if (mode & DrawAlphaBlend) {
            over(true);
        } else if (mode & DrawAlphaKeep) {
            over(false);
        } else if (alphaFlag) {
            over(true);
        } else {
            d = {s[0], s[1], s[2], d[3]};
        }
    } else if (mode & DrawAlphaOnly) {
    } else if ((mode & (DrawAlphaBlend | DrawAlphaKeep)) || alphaFlag) {
        for (int c = 0; c < 3; ++c)
            d[c] = (ae * s[c] + d[c] * (255 - ae)) / 255;
    } else {
        d = {s[0], s[1], s[2], 0};
    }
    return d;
}

Pixel CanvasPixel(Canvas& canvas, int32_t x, int32_t y) {
    const uint8_t* p = canvas.At(x, y);
    return {p[0], p[1], p[2], canvas.bytesPerPixel() == 4 ? p[3] : 0};
}

// The canvas's bytes with one pixel replaced; padding bytes stay as they are.
void SetPixel(Canvas& canvas, std::vector<uint8_t>& bytes, int32_t x, int32_t y, Pixel pixel) {
    const size_t offset = static_cast<size_t>(canvas.At(x, y) - canvas.bytes().data());
    for (int c = 0; c < canvas.bytesPerPixel(); ++c)
        bytes[offset + c] = static_cast<uint8_t>(pixel[c]);
}

// Every mode on every output format, at full opacity, as drawImageAlpha with 128 and with 0,
// with the image hanging over the left and bottom edges.
TEST_F(ImageDrawingTest, EveryModeOnEveryFormatFollowsItsRule) {
    const int32_t modes[] = {0,
                             DrawXor,
                             DrawAllChannels,
                             DrawAlphaOnly,
                             DrawAlphaBlend,
                             DrawAlphaKeep,
                             DrawCustomFilter,
                             DrawAllChannels | DrawAlphaBlend,
                             DrawGradient | DrawTransparent};
    struct Draw {
        int32_t opacity;
        int32_t alphaFlag;
    };
    const Draw draws[] = {{255, 0}, {128, 1}, {0, 1}, {255, 1}};
    NativeImage image = PatternImage(1, 5, 4, 3);
    const int32_t x = -2, y = 2, width = 7, height = 6;
    for (const int32_t format : kFormats) {
        for (const int32_t mode : modes) {
            for (const Draw& draw : draws) {
                Canvas canvas(width, height, format, 0, 2);
                for (size_t i = 0; i < canvas.bytes().size(); ++i)
                    canvas.bytes()[i] = static_cast<uint8_t>(i * 37 + (i % 5 == 0 ? 0 : 11));
                std::vector<uint8_t> expected = canvas.bytes();
                const bool fourBytes = canvas.bytesPerPixel() == 4;
                for (int32_t cy = 0; cy < height; ++cy) {
                    for (int32_t cx = 0; cx < width; ++cx) {
                        const int32_t sx = cx - x, sy = cy - y;
                        if (sx < 0 || sx >= 5 || sy < 0 || sy >= 4) continue;
                        const int32_t normalised = mode & DrawAllChannels
                                                       ? mode & ~0x38 & (fourBytes ? ~0 : ~0x100)
                                                       : mode;
                        SetPixel(canvas, expected, cx, cy,
                                 ExpectedBlit(normalised, fourBytes, draw.opacity, draw.alphaFlag,
                                              SourcePixel(image, sx, sy),
                                              CanvasPixel(canvas, cx, cy), cx, cy));
                    }
                }
                SetDrawingMode(mode);
                SetFilterFunction(TestFilter);
                if (draw.alphaFlag) {
                    DrawImageAlpha(image, x, y, draw.opacity);
                } else {
                    DrawImage(image, x, y);
                }
                EXPECT_EQ(canvas.bytes(), expected)
                    << "format " << format << " mode " << mode << " opacity " << draw.opacity
                    << " flag " << draw.alphaFlag;
            }
        }
    }
}

// Scaled drawing resamples through the smaller intermediate image, then blits in mode 0.
TEST_F(ImageDrawingTest, SizedDrawingResamplesTheSmallerIntermediateFirst) {
    struct Case {
        int32_t imageWidth, imageHeight, w, h;
        bool rowsFirst;  // rows first when h x imageWidth < w x imageHeight
    };
    const Case cases[] = {{6, 4, 9, 3, true}, {4, 6, 3, 9, false}, {5, 5, 10, 10, false}};
    for (const Case& c : cases) {
        NativeImage image = PatternImage(1, c.imageWidth, c.imageHeight, 5);
        const uint8_t* pixels = NativeImagePixels(image);
        std::vector<uint8_t> middle(static_cast<size_t>(c.w) * c.imageHeight * 4 +
                                    static_cast<size_t>(c.imageWidth) * c.h * 4);
        std::vector<uint8_t> scaled(static_cast<size_t>(c.w) * c.h * 4);
        if (c.rowsFirst) {
            ResampleVertically(pixels, c.imageWidth, c.imageHeight, middle.data(), c.imageWidth,
                               c.h);
            ResampleHorizontally(middle.data(), c.imageWidth, scaled.data(), c.w, c.h);
        } else {
            ResampleHorizontally(pixels, c.imageWidth, middle.data(), c.w, c.imageHeight);
            ResampleVertically(middle.data(), c.w, c.imageHeight, scaled.data(), c.w, c.h);
        }
        Canvas canvas(c.w + 2, c.h + 2, kImagePixelFormat, 0x5A);
        DrawImageSized(image, 1, 1, c.w, c.h);
        for (int32_t y = 0; y < c.h + 2; ++y) {
            for (int32_t x = 0; x < c.w + 2; ++x) {
                const bool inside = x >= 1 && x <= c.w && y >= 1 && y <= c.h;
                const uint8_t* s = &scaled[((y - 1) * c.w + (x - 1)) * 4];
                const ColourValue expected =
                    inside ? s[0] | s[1] << 8 | s[2] << 16 | 0x5Au << 24 : 0x5A5A5A5Au;
                ASSERT_EQ(canvas.Colour(x, y), expected)
                    << c.w << "x" << c.h << " at " << x << "," << y;
            }
        }
    }
    // At the image's own size the pixels are copied unfiltered, and a size below 1 draws nothing.
    NativeImage image = PatternImage(2, 3, 3, 1);
    Canvas canvas(3, 3, kImagePixelFormat | kPixelBottomUp, 0);
    DrawImageSized(image, 0, 0, 3, 3);
    DrawImageSized(image, 0, 0, 0, 5);
    DrawImageSized(image, 0, 0, 4, -1);
    for (int32_t y = 0; y < 3; ++y) {
        for (int32_t x = 0; x < 3; ++x) {
            const Pixel s = SourcePixel(image, x, y);
            EXPECT_EQ(canvas.Colour(x, y), ColourValue(s[0] | s[1] << 8 | s[2] << 16));
        }
    }
}

// Grabbing an area partly outside the output fills the part inside and leaves the rest as
// allocated; three-byte outputs become opaque four-byte pixels.
TEST_F(ImageDrawingTest, GrabbingCopiesTheVisiblePartOfTheArea) {
    struct Case {
        int32_t x, y, w, h;
    };
    const Case cases[] = {{-2, -1, 4, 3}, {3, 2, 5, 5}, {0, 0, 6, 5}, {1, 1, 2, 2}, {9, 0, 2, 2}};
    for (const int32_t format : kFormats) {
        for (const Case& c : cases) {
            Canvas canvas(6, 5, format, 0, 1);
            for (size_t i = 0; i < canvas.bytes().size(); ++i)
                canvas.bytes()[i] = static_cast<uint8_t>(i * 11 + 1);
            const int64_t number = GrabImage(AnyNumber, c.x, c.y, c.w, c.h);
            ASSERT_NE(number, 0);
            const ImageRecord* record = FindImage(number);
            ASSERT_NE(record, nullptr);
            EXPECT_EQ(record->pixelWidth, c.w);
            EXPECT_EQ(record->createdDepth, 32);
            for (int32_t y = 0; y < c.h; ++y) {
                for (int32_t x = 0; x < c.w; ++x) {
                    const int32_t cx = c.x + x, cy = c.y + y;
                    const uint8_t* p = record->bitmap + (y * c.w + x) * 4;
                    const bool inside = cx >= 0 && cy >= 0 && cx < 6 && cy < 5;
                    Pixel expected = {0, 0, 0, 0};
                    if (inside) {
                        expected = CanvasPixel(canvas, cx, cy);
                        if (canvas.bytesPerPixel() == 3) expected[3] = 255;
                    }
                    ASSERT_EQ((Pixel{p[0], p[1], p[2], p[3]}), expected)
                        << "format " << format << " grab " << c.x << "," << c.y << " pixel " << x
                        << "," << y;
                }
            }
            FreeImage(number);
        }
    }
    Canvas canvas(4, 4);
    const int64_t handle = GrabImage(7, 0, 0, 2, 2);
    EXPECT_EQ(handle, reinterpret_cast<int64_t>(ImageHandle(7)));
    EXPECT_EQ(GrabImage(8, 0, 0, 0, 2), 0);
    EXPECT_EQ(ImageHandle(8), nullptr);
}

// Drawing an image onto itself reads its pixels as they were before the draw.
TEST_F(ImageDrawingTest, DrawingAnImageOntoItselfReadsTheOldPixels) {
    for (const int32_t mode : {0, DrawAllChannels, DrawAlphaBlend}) {
        NativeImage image = PatternImage(3, 6, 5, 9);
        const std::vector<uint8_t> before(NativeImagePixels(image), NativeImagePixels(image) + 120);
        NativeImage copy = PatternImage(4, 6, 5, 9);
        CreateImage(5, 6, 5);
        std::memcpy(FindImage(5)->bitmap, before.data(), before.size());
        BeginDrawing(ImageDrawTarget(5));
        SetDrawingMode(mode);
        DrawImage(copy, 1, 2);
        EndDrawing();
        BeginDrawing(ImageDrawTarget(3));
        SetDrawingMode(mode);
        DrawImage(image, 1, 2);
        EndDrawing();
        const uint8_t* drawn = NativeImagePixels(image);
        EXPECT_EQ(std::vector<uint8_t>(drawn, drawn + 120),
                  std::vector<uint8_t>(FindImage(5)->bitmap, FindImage(5)->bitmap + 120))
            << mode;
    }
}

}  // namespace
}  // namespace vorlune
