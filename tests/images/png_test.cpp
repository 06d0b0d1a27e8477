// The PNG codec against ImageMagick: every colour type, bit depth and interlacing it writes
// decodes to its pixels, and every depth we write reads back in it as we meant; numbered images
// keep their transparency.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "runtime/core/memory.h"
#include "runtime/images/codecs.h"
#include "runtime/images/image.h"
#include "runtime/images/palette.h"
#include "runtime/images/pixel_rows.h"
#include "runtime/images/png.h"
#include "tests/images/codec_helpers.h"

namespace vorlune {
namespace {

using testing::ReadFile;

// BMP first, as at start-up: its check reads from every file before the PNG check does.
class PngTest : public testing::CodecFixture {
  protected:
    void SetUp() override {
        CodecFixture::SetUp();
        ASSERT_TRUE(testing::HasImageMagick()) << "ImageMagick's convert is needed";
    }
    testing::ScratchFolder folder_;
};

using testing::ImageMagickRgba;

std::vector<uint8_t> ImageBytes(int64_t number) {
    const ImageRecord* record = FindImage(number);
    if (record == nullptr) return {};
    return {record->bitmap, record->bitmap + record->pixelWidth * record->pixelHeight * 4};
}

bool HasChunk(const std::vector<uint8_t>& file, const std::string& kind) {
    return std::search(file.begin(), file.end(), kind.begin(), kind.end()) != file.end();
}

struct Header {
    int bitDepth, colourType, interlace;
    bool operator==(const Header&) const = default;
};

Header HeaderOf(const std::vector<uint8_t>& file) {
    if (file.size() < 29) return {-1, -1, -1};
    return {file[24], file[25], file[28]};
}

int Channels(int colourType) {
    const int channels[] = {1, 0, 3, 1, 2, 0, 4};
    return channels[colourType];
}

const std::string kGrey = "-size 19x11 gradient:black-white";
const std::string kColours =
    "-size 19x11 xc: -channel R -fx i/w -channel G -fx j/h -channel B -fx '(i*j%7)/7' +channel";
const std::string kBinaryAlpha = " -alpha set -channel A -fx 'i<3?0:1' +channel";
const std::string kSoftAlpha = " -alpha set -channel A -fx i/w +channel";

std::string Kind(int colourType, int bitDepth) {
    return " -define png:color-type=" + std::to_string(colourType) +
           " -define png:bit-depth=" + std::to_string(bitDepth);
}

struct MagickCase {
    std::string picture;  // convert's arguments before the output
    int colourType, bitDepth;
    bool transparencyChunk;
    bool interlaced;          // also written interlaced (ImageMagick drops a palette's tRNS then)
    std::string prefix = "";  // of the output file: a format ImageMagick writes
};

std::vector<MagickCase> MagickCases() {
    std::vector<MagickCase> cases;
    for (int depth : {1, 2, 4, 8, 16})
        cases.push_back({kGrey + Kind(0, depth), 0, depth, false, true});
    for (int depth : {8, 16}) {
        cases.push_back({kGrey + kBinaryAlpha + Kind(0, depth), 0, depth, true, true});
        cases.push_back({kGrey + kSoftAlpha + Kind(4, depth), 4, depth, false, true});
        cases.push_back({kColours + Kind(2, depth), 2, depth, false, true});
        cases.push_back({kColours + kBinaryAlpha + Kind(2, depth), 2, depth, true, true});
        cases.push_back({kColours + kSoftAlpha + Kind(6, depth), 6, depth, false, true});
    }
    for (int depth : {1, 2, 4, 8}) {
        const std::string colours = " +dither -colors " + std::to_string(1 << depth);
        cases.push_back({kColours + colours + Kind(3, depth), 3, depth, false, true});
    }
    cases.push_back(
        {kColours + " +dither -colors 15" + kBinaryAlpha + Kind(3, 8), 3, 8, true, false, "PNG8:"});
    return cases;
}

// Each file is checked to be of the kind meant, so that the table covers what it says.
TEST_F(PngTest, DecodesEveryKindImageMagickWrites) {
    int files = 0;
    for (const MagickCase& c : MagickCases()) {
        for (int interlace : {0, 1}) {
            if (interlace == 1 && !c.interlaced) continue;
            const std::string path = folder_.File("magick" + std::to_string(files++) + ".png");
            ASSERT_TRUE(testing::RunConvert(
                c.picture + " -define png:exclude-chunks=date,time,bKGD" +
                (interlace ? " -interlace PNG " : " -interlace none ") + c.prefix + path));
            SCOPED_TRACE(c.picture + (interlace ? ", interlaced" : ""));
            const std::vector<uint8_t> bytes = ReadFile(path);
            ASSERT_EQ(HeaderOf(bytes), (Header{c.bitDepth, c.colourType, interlace}));
            ASSERT_EQ(HasChunk(bytes, "tRNS"), c.transparencyChunk);

            ASSERT_EQ(IdentifyImageFile(path.c_str()), kPngTag);
            const bool alpha = c.transparencyChunk || (c.colourType & 4) != 0;
            EXPECT_EQ(DecodedImageDepth(), alpha ? 32 : 24);
            EXPECT_EQ(DecodedImageFileDepth(), c.bitDepth * Channels(c.colourType));
            const std::vector<uint8_t> expected = ImageMagickRgba(path);
            ASSERT_EQ(expected.size(), 19u * 11 * 4);
            ASSERT_NE(LoadImage(1, path.c_str()), 0);
            EXPECT_EQ(ImageBytes(1), expected);
            ASSERT_NE(LoadImageFromMemory(2, bytes.data(), int64_t(bytes.size())), 0);
            EXPECT_EQ(ImageBytes(2), expected);
        }
    }
}

// Red, green, blue and alpha from a hash of the position; alpha 0 and 255 among the others.
std::vector<uint8_t> Picture(int32_t width, int32_t height, int32_t bytesPerPixel) {
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * bytesPerPixel);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = static_cast<uint8_t>((i * 2654435761u) >> 13);
    for (size_t i = 3; bytesPerPixel == 4 && i < pixels.size(); i += 12) {
        pixels[i] = 255;
        if (i + 4 < pixels.size()) pixels[i + 4] = 0;
    }
    return pixels;
}

// What a file written at depth holds, as red, green, blue, alpha.
std::vector<uint8_t> Written(const std::vector<uint8_t>& pixels, int32_t width, int32_t height,
                             int32_t bytesPerPixel, int32_t depth, int32_t options) {
    std::vector<uint8_t> rgba;
    if (depth > 8) {
        for (size_t i = 0; i < pixels.size(); i += bytesPerPixel) {
            const uint8_t alpha = bytesPerPixel == 4 ? pixels[i + 3] : 255;
            for (int c = 0; c < 3; ++c)
                rgba.push_back(depth == 32 ? pixels[i + c] : OverWhite(pixels[i + c], alpha));
            rgba.push_back(depth == 32 ? alpha : 255);
        }
        return rgba;
    }
    PaletteReduction reduction;
    EXPECT_TRUE(ReducePalette(&reduction, pixels.data(), width, height, bytesPerPixel * 8,
                              width * bytesPerPixel, depth, options));
    const bool keepsAlpha = depth > 1 && bytesPerPixel == 4;
    std::vector<uint8_t> indices(static_cast<size_t>(width));
    for (int32_t y = 0; y < height; ++y) {
        PaletteRow(&reduction, y, indices.data());
        for (uint8_t index : indices) {
            rgba.insert(rgba.end(), reduction.colours[index], reduction.colours[index] + 3);
            rgba.push_back(keepsAlpha ? reduction.colours[index][3] : 255);
        }
    }
    EndPaletteReduction(&reduction);
    return rgba;
}

// Every depth, both sources, dithered or not, odd widths: the same file in memory, on disk and
// in either row order, and the same pixels in ImageMagick and in our reader.
TEST_F(PngTest, ImageMagickReadsEveryDepthWeWrite) {
    const std::string path = folder_.File("ours.png");
    for (int32_t width : {1, 7, 33}) {
        const int32_t height = 5;
        for (int32_t bytesPerPixel : {3, 4}) {
            const std::vector<uint8_t> pixels = Picture(width, height, bytesPerPixel);
            const int32_t pitch = width * bytesPerPixel, bits = bytesPerPixel * 8;
            for (int32_t depth : {1, 4, 8, 24, 32}) {
                for (int32_t options : {0, kPaletteDither}) {
                    SCOPED_TRACE(std::to_string(width) + " wide from " + std::to_string(bits) +
                                 " bits, depth " + std::to_string(depth) + ", options " +
                                 std::to_string(options));
                    ASSERT_EQ(EncodePng(path.c_str(), pixels.data(), width, height, pitch, 0,
                                        options, depth, bits),
                              1);
                    const std::vector<uint8_t> file = ReadFile(path);
                    for (int32_t flags : {0, kRowsAsStored}) {
                        EXPECT_EQ(testing::TakeEncodedBlock(EncodePng(nullptr, pixels.data(), width,
                                                                      height, pitch, flags, options,
                                                                      depth, bits)),
                                  file);
                    }
                    const std::vector<uint8_t> expected =
                        Written(pixels, width, height, bytesPerPixel, depth, options);
                    EXPECT_EQ(ImageMagickRgba(path), expected);
                    ASSERT_NE(LoadImage(1, path.c_str()), 0);
                    EXPECT_EQ(ImageBytes(1), expected);
                    const int colourType = depth <= 8 ? 3 : depth == 24 ? 2 : 6;
                    EXPECT_EQ(HeaderOf(file), (Header{depth <= 8 ? depth : 8, colourType, 0}));
                }
            }
        }
    }
}

TEST_F(PngTest, NumberedImagesKeepTheirTransparency) {
    const std::string path = folder_.File("image.png");
    ASSERT_NE(CreateImageWithBackground(1, 9, 4, 32, kTransparentBackground), 0);
    for (int i = 0; i < 9 * 4 * 4; ++i)
        FindImage(1)->bitmap[i] = static_cast<uint8_t>(i * 7);
    ASSERT_EQ(SaveImage(1, path.c_str(), kPngTag, 32, 0), 1);
    EXPECT_EQ(IdentifyImageFile(path.c_str()), kPngTag) << "after the BMP check read the file";
    EndImageDecoding();
    ASSERT_NE(LoadImage(2, path.c_str()), 0);
    EXPECT_EQ(ImageBytes(2), ImageBytes(1));
    EXPECT_EQ(ImageDepth(2, kCreatedDepthFlag), 32);

    // Refusals answer 0 and keep what the number held.
    std::vector<uint8_t> bytes = ReadFile(path);
    bytes.resize(bytes.size() - 1);
    testing::WriteFile(path, bytes);
    EXPECT_EQ(LoadImage(2, path.c_str()), 0);
    EXPECT_EQ(LoadImageFromMemory(2, bytes.data(), int64_t(bytes.size())), 0);
    EXPECT_EQ(ImageBytes(2), ImageBytes(1));
    for (int32_t depth : {0, 2, 16, 48})
        EXPECT_EQ(SaveImage(1, path.c_str(), kPngTag, depth, 0), 0) << depth;
    EXPECT_EQ(ReadFile(path), bytes) << "a refused save keeps the old file";
    const uint8_t pixel[4] = {};
    EXPECT_EQ(EncodePngFrom32(nullptr, pixel, 1, 1, 3, 0, 0, 32), 0) << "pitch too small";
    EXPECT_EQ(EncodePngFrom32(nullptr, nullptr, 1, 1, 4, 0, 0, 32), 0);
    EXPECT_EQ(EncodePngFrom32(nullptr, pixel, 0, 1, 4, 0, 0, 32), 0);
}

TEST_F(PngTest, DecodingNeedsRoomForEveryPixel) {
    const std::vector<uint8_t> pixels = Picture(6, 2, 4);
    const std::vector<uint8_t> file =
        testing::TakeEncodedBlock(EncodePngFrom32(nullptr, pixels.data(), 6, 2, 24, 0, 0, 32));
    ASSERT_EQ(IdentifyImage(file.data(), int64_t(file.size())), kPngTag);
    std::vector<uint8_t> out(6 * 2 * 4);
    EXPECT_EQ(DecodeImage(out.data(), 6 * 3, 0), 0) << "three bytes a pixel for an alpha image";
    EXPECT_EQ(DecodeImage(nullptr, 6 * 4, 0), 0);
    EXPECT_EQ(DecodeImage(out.data(), 6 * 4, 0), 1);
    EXPECT_EQ(DecodeImage(out.data(), 6 * 4, kRowsAsStored), 1) << "again, in stored order";
    EXPECT_EQ(out, pixels);
}

}  // namespace
}  // namespace vorlune
