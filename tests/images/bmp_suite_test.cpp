// The reader against a standard BMP suite and against ImageMagick, and ImageMagick against the
// writer.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "runtime/core/memory.h"
#include "runtime/images/bmp.h"
#include "runtime/images/codecs.h"
#include "tests/images/codec_helpers.h"

namespace vorlune {
namespace {

namespace fs = std::filesystem;
using testing::DecodeBytes;
using testing::Decoded;
using testing::ImageMagickRgb;
using testing::ReadFile;

const fs::path kSuite = fs::path(VORLUNE_TEST_DATA_DIR) / "bmpsuite";
constexpr const char* kNoImageMagick =
    "ImageMagick's convert is not installed: scripts/install-deps installs it";

// The files of one folder of the suite as its MD5SUMS lists them, so that a partial copy fails
// instead of quietly testing less.
std::vector<std::string> SuiteFiles(const std::string& folder) {
    std::ifstream list(kSuite / "MD5SUMS");
    std::vector<std::string> files;
    for (std::string sum, name; list >> sum >> name;) {
        if (name.rfind(folder + "/", 0) != 0) continue;
        const fs::path path = kSuite / name;
        if (fs::is_regular_file(path)) {
            files.push_back(path.string());
        } else {
            ADD_FAILURE() << path << " is listed in MD5SUMS but missing";
        }
    }
    return files;
}

class BmpSuiteTest : public ::testing::Test {
  protected:
    void SetUp() override {
        InitImageCodecs();
        RegisterBmpCodec();
    }
    void TearDown() override { EndImageDecoding(); }
};

// Decodes from memory and from the file; both must agree with each other and be sound.
Decoded DecodeBothWays(const std::string& path) {
    const Decoded fromMemory = DecodeBytes(ReadFile(path));
    Decoded fromFile;
    if (IdentifyImageFile(path.c_str()) == kBmpTag) {
        fromFile.width = DecodedImageWidth();
        fromFile.height = DecodedImageHeight();
        fromFile.rgb.assign(static_cast<size_t>(fromFile.width * fromFile.height * 3), 0);
        fromFile.ok =
            DecodeImage(fromFile.rgb.data(), static_cast<int32_t>(fromFile.width * 3), 0) == 1;
        EndImageDecoding();
    }
    EXPECT_EQ(fromMemory.ok, fromFile.ok) << path;
    EXPECT_EQ(fromMemory.rgb, fromFile.rgb) << path;
    return fromMemory;
}

TEST_F(BmpSuiteTest, GoodFilesDecodeToWhatImageMagickReads) {
    ASSERT_TRUE(testing::HasImageMagick()) << kNoImageMagick;
    const std::vector<std::string> files = SuiteFiles("g");
    ASSERT_FALSE(files.empty()) << "no BMP suite under " << kSuite;
    for (const std::string& path : files) {
        const Decoded decoded = DecodeBothWays(path);
        ASSERT_TRUE(decoded.ok) << path;
        EXPECT_EQ(decoded.rgb, ImageMagickRgb(path)) << path;
    }
}

TEST_F(BmpSuiteTest, BadFilesAreRefusedOrDecodedWithinTheLimits) {
    std::vector<std::string> files = SuiteFiles("b");
    const std::vector<std::string> more = SuiteFiles("x");
    files.insert(files.end(), more.begin(), more.end());
    ASSERT_FALSE(files.empty()) << "no BMP suite under " << kSuite;
    int refused = 0;
    for (const std::string& path : files) {
        const Decoded decoded = DecodeBothWays(path);
        if (!decoded.ok) {
            ++refused;
            continue;
        }
        EXPECT_LE(decoded.width, kMaxBmpSide) << path;
        EXPECT_LE(decoded.height, kMaxBmpSide) << path;
    }
    EXPECT_GT(refused, static_cast<int>(files.size()) / 2);
}

// A picture of odd size with the given number of distinct colours (0: every pixel its own).
std::vector<uint8_t> TestPicture(int32_t width, int32_t height, int32_t colours) {
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            const uint32_t n = colours > 0 ? static_cast<uint32_t>((x * 7 + y * 13) % colours)
                                           : static_cast<uint32_t>(y * width + x);
            const uint32_t colour = n * 2654435761u ^ (n * 40503u << 7);
            uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
            p[0] = static_cast<uint8_t>(colour);
            p[1] = static_cast<uint8_t>(colour >> 8);
            p[2] = static_cast<uint8_t>(colour >> 16);
        }
    }
    return rgb;
}

void WritePpm(const std::string& path, int32_t width, int32_t height,
              const std::vector<uint8_t>& rgb) {
    const std::string header =
        "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
    std::vector<uint8_t> bytes(header.begin(), header.end());
    bytes.insert(bytes.end(), rgb.begin(), rgb.end());
    testing::WriteFile(path, bytes);
}

TEST_F(BmpSuiteTest, EveryVariantImageMagickWritesDecodesToWhatItReads) {
    ASSERT_TRUE(testing::HasImageMagick()) << kNoImageMagick;
    struct Variant {
        const char* name;
        int32_t colours;
        const char* options;
        int32_t fileDepth;
        bool runLength;
        bool fourBitChannels = false;
    };
    const Variant variants[] = {
        {"BMP3", 2, "-type palette -compress none", 1, false},
        {"BMP3", 13, "-type palette -compress none", 4, false},
        {"BMP3", 200, "-type palette -compress none", 8, false},
        {"BMP3", 200, "-type palette -compress RLE", 8, true},
        {"BMP3", 0, "-type truecolor", 24, false},
        {"BMP", 0, "-alpha on", 32, false},
        {"BMP2", 200, "-type palette -compress none", 8, false},
        {"BMP", 0, "-define bmp:subtype=RGB565", 16, false},
        {"BMP", 0, "-define bmp:subtype=RGB555", 16, false},
        {"BMP", 0, "-alpha on -define bmp:subtype=ARGB4444", 16, false, true},
        {"BMP", 0, "-alpha on -define bmp:subtype=ARGB1555", 16, false},
    };
    testing::ScratchFolder folder;
    const int32_t width = 37, height = 29;
    for (const Variant& v : variants) {
        const std::string label = std::string(v.name) + " " + v.options;
        const std::string source = folder.File("source.ppm");
        const std::string path = folder.File("variant.bmp");
        WritePpm(source, width, height, TestPicture(width, height, v.colours));
        ASSERT_TRUE(
            testing::RunConvert("'" + source + "' " + v.options + " " + v.name + ":'" + path + "'"))
            << label;
        const std::vector<uint8_t> bytes = ReadFile(path);
        ASSERT_EQ(IdentifyImage(bytes.data(), static_cast<int64_t>(bytes.size())), kBmpTag)
            << label;
        EXPECT_EQ(DecodedImageFileDepth(), v.fileDepth) << label;
        EXPECT_EQ(bytes[30] == 1, v.runLength) << label;  // compression
        EndImageDecoding();
        const Decoded decoded = DecodeBytes(bytes);
        ASSERT_TRUE(decoded.ok) << label;
        std::vector<uint8_t> expected = ImageMagickRgb(path);
        // ImageMagick widens a 4-bit channel n to n x 16; the reader repeats its bits, n x 17,
        // so that 15 is full intensity.
        if (v.fourBitChannels) {
            for (uint8_t& byte : expected)
                byte = static_cast<uint8_t>(byte | byte >> 4);
        }
        EXPECT_EQ(decoded.rgb, expected) << label;
    }
}

// What the writer makes, ImageMagick reads as the reader does, and at 24 and 32 bits exactly as
// the source; odd widths exercise every kind of row padding.
TEST_F(BmpSuiteTest, ImageMagickReadsWrittenFilesAsTheReaderDoes) {
    ASSERT_TRUE(testing::HasImageMagick()) << kNoImageMagick;
    testing::ScratchFolder folder;
    const int32_t widths[] = {1, 7, 37};
    const int32_t height = 11;
    for (int32_t width : widths) {
        const std::vector<uint8_t> rgb = TestPicture(width, height, 0);
        for (int32_t depth : {1, 4, 8, 24, 32}) {
            for (int32_t options : {0, kPaletteDither}) {
                const std::string path = folder.File("written.bmp");
                ASSERT_EQ(EncodeBmpFrom24(path.c_str(), rgb.data(), width, height, width * 3, 0,
                                          options, depth),
                          1);
                const Decoded decoded = DecodeBytes(ReadFile(path));
                ASSERT_TRUE(decoded.ok);
                EXPECT_EQ(ImageMagickRgb(path), decoded.rgb)
                    << "depth " << depth << " width " << width << " options " << options;
                if (depth > 8) {
                    EXPECT_EQ(decoded.rgb, rgb) << depth;
                }
            }
        }
    }
}

}  // namespace
}  // namespace vorlune
