// The codec registries, the writer's layout, round trips at every depth, palettes, and numbered
// images saved and loaded.
#include "runtime/images/codecs.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <cerrno>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "runtime/core/memory.h"
#include "runtime/core/startup.h"
#include "runtime/images/bmp.h"
#include "runtime/images/image.h"
#include "runtime/images/palette.h"
#include "runtime/images/png.h"
#include "tests/images/codec_helpers.h"

namespace vorlune {
namespace {

namespace fs = std::filesystem;
using testing::DecodeBytes;
using testing::Decoded;
using testing::ReadFile;

using CodecsTest = testing::CodecFixture;

using testing::TakeEncodedBlock;

uint32_t U32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

// Red, green, blue (and alpha) from a hash of the position.
std::vector<uint8_t> Picture(int32_t width, int32_t height, int32_t bytesPerPixel) {
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * bytesPerPixel);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = static_cast<uint8_t>((i * 2654435761u) >> 13);
    if (bytesPerPixel == 4) {
        for (size_t i = 3; i < pixels.size(); i += 4)
            pixels[i] = 255;
    }
    return pixels;
}

TEST_F(CodecsTest, StartUpRegistersEachCodecOnce) {
    InitRuntime();
    InitRuntime();
    EXPECT_EQ(ImageDecoderCount(), 2);
    EXPECT_EQ(ImageEncoderCount(), 2);
    EXPECT_EQ(FindImageEncoder(kBmpTag), BmpEncoderEntry());
    EXPECT_EQ(FindImageEncoder(kPngTag), PngEncoderEntry());
    EXPECT_EQ(FindImageEncoder(0x464947), nullptr);  // "GIF"
    for (int i = 0; i < 40; ++i)
        RegisterImageEncoder(BmpEncoderEntry());
    EXPECT_EQ(ImageEncoderCount(), 16) << "the registry stays within its room";
    EndRuntime();

    const uint8_t notBmp[20] = {'M', 'B'};
    EXPECT_EQ(IdentifyImage(notBmp, sizeof notBmp), 0u);
    EXPECT_EQ(IdentifyImage(nullptr, 100), 0u);
    EXPECT_EQ(IdentifyImageFile("/nonexistent/file.bmp"), 0u);
    EXPECT_EQ(DecodeImage(nullptr, 0, 0), 0) << "nothing identified";
}

TEST_F(CodecsTest, WrittenFilesHaveTheExpectedLayout) {
    struct Case {
        int32_t width, height, depth;
        uint32_t headerBytes, rowBytes;
    };
    const Case cases[] = {
        {3, 2, 24, 54, 12}, {3, 2, 32, 54, 12},  {3, 2, 8, 1078, 4}, {3, 2, 4, 118, 4},
        {3, 2, 1, 62, 4},   {33, 1, 1, 62, 8},   {9, 1, 4, 118, 8},  {5, 3, 24, 54, 16},
        {1, 1, 8, 1078, 4}, {17, 2, 32, 54, 68},
    };
    for (const Case& c : cases) {
        const std::vector<uint8_t> rgb = Picture(c.width, c.height, 3);
        const std::vector<uint8_t> file = TakeEncodedBlock(
            EncodeBmpFrom24(nullptr, rgb.data(), c.width, c.height, c.width * 3, 0, 0, c.depth));
        const uint32_t fileBytes = c.headerBytes + c.rowBytes * c.height;
        ASSERT_EQ(file.size(), fileBytes) << c.width << "x" << c.height << " at " << c.depth;
        EXPECT_EQ(file[0], 'B');
        EXPECT_EQ(file[1], 'M');
        EXPECT_EQ(U32(file, 2), fileBytes);
        EXPECT_EQ(U32(file, 6), 0u);
        EXPECT_EQ(U32(file, 10), c.headerBytes);
        EXPECT_EQ(U32(file, 14), 40u);
        EXPECT_EQ(U32(file, 18), uint32_t(c.width));
        EXPECT_EQ(U32(file, 22), uint32_t(c.height)) << "positive: rows bottom-up";
        EXPECT_EQ(file[26] | file[27] << 8, 1);
        EXPECT_EQ(file[28] | file[29] << 8, c.depth);
        EXPECT_EQ(U32(file, 30), 0u);
        EXPECT_EQ(U32(file, 34), c.rowBytes * c.height);
        EXPECT_EQ(U32(file, 46), 0u);
        EXPECT_EQ(BmpRowBytes(c.width, c.depth), c.rowBytes);
    }
    const std::vector<uint8_t> rgb = Picture(2, 2, 3);
    for (int32_t depth : {0, 2, 16, 48, -8})
        EXPECT_EQ(EncodeBmpFrom24(nullptr, rgb.data(), 2, 2, 6, 0, 0, depth), 0) << depth;
    EXPECT_EQ(EncodeBmpFrom24(nullptr, rgb.data(), 2, 2, 5, 0, 0, 24), 0) << "pitch too small";
    EXPECT_EQ(EncodeBmpFrom24(nullptr, rgb.data(), 0, 2, 6, 0, 0, 24), 0);
    EXPECT_EQ(EncodeBmpFrom24(nullptr, nullptr, 2, 2, 6, 0, 0, 24), 0);
}

// Each channel becomes (channel x alpha + (255 - alpha) x 255) / 255: a transparent pixel saves
// as white, an opaque one keeps its colour; long rows mix opaque runs with other pixels.
TEST_F(CodecsTest, ThirtyTwoBitPixelsAreLaidOverWhite) {
    const int32_t width = 45;
    std::vector<uint8_t> row = Picture(width, 2, 4);
    for (int32_t x : {0, 5, 6, 17, 30, 44})
        row[x * 4 + 3] = static_cast<uint8_t>(x * 5);
    std::vector<uint8_t> expected;
    for (size_t i = 0; i < row.size(); i += 4) {
        for (int c = 0; c < 3; ++c)
            expected.push_back(
                static_cast<uint8_t>((row[i + c] * row[i + 3] + (255 - row[i + 3]) * 255) / 255));
    }
    for (int32_t depth : {24, 32}) {
        const Decoded decoded = DecodeBytes(TakeEncodedBlock(
            EncodeBmpFrom32(nullptr, row.data(), width, 2, width * 4, 0, 0, depth)));
        EXPECT_EQ(decoded.rgb, expected) << depth;
    }
}

// The pixels the writer stores at an indexed depth, from the same palette reduction.
std::vector<uint8_t> IndexedPixels(const std::vector<uint8_t>& pixels, int32_t width,
                                   int32_t height, int32_t bytesPerPixel, int32_t depth) {
    PaletteReduction reduction;
    EXPECT_TRUE(ReducePalette(&reduction, pixels.data(), width, height, bytesPerPixel * 8,
                              width * bytesPerPixel, depth, 0));
    std::vector<uint8_t> rgb, indices(static_cast<size_t>(width));
    for (int32_t y = 0; y < height; ++y) {
        PaletteRow(&reduction, y, indices.data());
        for (uint8_t index : indices)
            rgb.insert(rgb.end(), reduction.colours[index], reduction.colours[index] + 3);
    }
    EndPaletteReduction(&reduction);
    return rgb;
}

// Round trips at every depth, odd widths, both sources, both row orders, memory and file.
TEST_F(CodecsTest, RoundTripsAtEveryDepth) {
    testing::ScratchFolder folder;
    const std::string path = folder.File("round.bmp");
    for (int32_t width : {1, 3, 5, 7, 31, 33}) {
        const int32_t height = 5;
        for (int32_t bytesPerPixel : {3, 4}) {
            const std::vector<uint8_t> pixels = Picture(width, height, bytesPerPixel);
            std::vector<uint8_t> rgb;
            for (size_t i = 0; i < pixels.size(); i += bytesPerPixel)
                rgb.insert(rgb.end(), pixels.begin() + i, pixels.begin() + i + 3);
            for (int32_t depth : {1, 4, 8, 24, 32}) {
                std::vector<uint8_t> expected = rgb;
                if (depth == 1) {
                    for (size_t i = 0; i < expected.size(); i += 3) {
                        const double light =
                            0.2126 * rgb[i] + 0.7152 * rgb[i + 1] + 0.0722 * rgb[i + 2];
                        std::fill_n(expected.begin() + i, 3, light > 160 ? 255 : 0);
                    }
                } else if (depth <= 8) {
                    expected = IndexedPixels(pixels, width, height, bytesPerPixel, depth);
                }
                for (int32_t flags : {0, kRowsAsStored}) {
                    const int64_t block =
                        EncodeBmp(nullptr, pixels.data(), width, height, width * bytesPerPixel,
                                  flags, 0, depth, bytesPerPixel * 8);
                    const Decoded decoded = DecodeBytes(TakeEncodedBlock(block), flags);
                    ASSERT_TRUE(decoded.ok);
                    EXPECT_EQ(decoded.rgb, expected)
                        << width << " wide, depth " << depth << ", flags " << flags;
                }
                ASSERT_EQ(EncodeBmp(path.c_str(), pixels.data(), width, height,
                                    width * bytesPerPixel, 0, 0, depth, bytesPerPixel * 8),
                          1);
                EXPECT_EQ(DecodeBytes(ReadFile(path)).rgb, expected) << "file at " << depth;
            }
        }
    }
}

TEST_F(CodecsTest, PalettesFollowTheColoursOfThePicture) {
    const int32_t samples[][2] = {{0, 0}, {128, 174}, {255, 255}, {1, 12}};
    for (const auto& [j, entry] : samples)
        EXPECT_EQ(GammaTableEntry(j), entry) << j;

    // A smooth gradient at 8 bits stays within a few levels; dithering keeps the average of
    // each block closer to the picture than plain nearest colours do at 4 bits.
    const int32_t width = 96, height = 64;
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            uint8_t* p = &rgb[(y * width + x) * 3];
            p[0] = static_cast<uint8_t>(x * 255 / (width - 1));
            p[1] = static_cast<uint8_t>(y * 255 / (height - 1));
            p[2] = 96;
        }
    }
    const Decoded eight = DecodeBytes(
        TakeEncodedBlock(EncodeBmpFrom24(nullptr, rgb.data(), width, height, width * 3, 0, 0, 8)));
    ASSERT_TRUE(eight.ok);
    double error = 0;
    for (size_t i = 0; i < rgb.size(); ++i)
        error += std::abs(int(eight.rgb[i]) - int(rgb[i]));
    EXPECT_LT(error / rgb.size(), 6.0);

    auto blockError = [&](int32_t options) {
        const Decoded four = DecodeBytes(TakeEncodedBlock(
            EncodeBmpFrom24(nullptr, rgb.data(), width, height, width * 3, 0, options, 4)));
        EXPECT_TRUE(four.ok);
        double total = 0;
        for (int32_t by = 0; by < height; by += 8) {
            for (int32_t bx = 0; bx < width; bx += 8) {
                for (int c = 0; c < 3; ++c) {
                    double sum = 0;
                    for (int32_t y = by; y < by + 8; ++y) {
                        for (int32_t x = bx; x < bx + 8; ++x) {
                            const size_t i = (static_cast<size_t>(y) * width + x) * 3 + c;
                            sum += int(four.rgb[i]) - int(rgb[i]);
                        }
                    }
                    total += std::abs(sum / 64);
                }
            }
        }
        return total;
    };
    EXPECT_LT(blockError(kPaletteDither), blockError(0) * 0.75);
}

int64_t SavedPixelsOf(int64_t number) {
    const ImageRecord* record = FindImage(number);
    return record != nullptr ? record->bitmap[0] | record->bitmap[5] << 8 : -1;
}

TEST_F(CodecsTest, NumberedImagesAreSavedAndLoaded) {
    testing::ScratchFolder folder;
    const std::string path = folder.File("image.bmp");
    ASSERT_NE(CreateImageWithBackground(1, 7, 3, 32, 0x00336699), 0);
    FindImage(1)->bitmap[0] = 200;
    FindImage(1)->bitmap[3] = 255;
    ASSERT_EQ(SaveImage(1, path.c_str(), kBmpTag, 24, 0), 1);
    ASSERT_NE(LoadImage(2, path.c_str()), 0);
    EXPECT_EQ(ImageWidth(2), 7);
    EXPECT_EQ(ImageHeight(2), 3);
    EXPECT_EQ(ImageDepth(2, kCreatedDepthFlag), 24);
    EXPECT_EQ(std::vector<uint8_t>(FindImage(2)->bitmap, FindImage(2)->bitmap + 84),
              std::vector<uint8_t>(FindImage(1)->bitmap, FindImage(1)->bitmap + 84));

    const std::vector<uint8_t> bytes = ReadFile(path);
    const int64_t number = LoadImageFromMemory(AnyNumber, bytes.data(), int64_t(bytes.size()));
    ASSERT_NE(number, 0);
    EXPECT_EQ(SavedPixelsOf(number), SavedPixelsOf(1));

    // Failures answer 0 and keep what the number held.
    const std::string broken = folder.File("broken.bmp");
    testing::WriteFile(broken, std::vector<uint8_t>(bytes.begin(), bytes.end() - 1));
    EXPECT_EQ(LoadImage(2, broken.c_str()), 0);
    EXPECT_EQ(LoadImage(2, folder.File("missing.bmp").c_str()), 0);
    EXPECT_EQ(SavedPixelsOf(2), SavedPixelsOf(1));
    EXPECT_EQ(SaveImage(1, path.c_str(), 0x464947, 24, 0), 0) << "no GIF encoder";
    EXPECT_EQ(SaveImage(99, path.c_str(), kBmpTag, 24, 0), 0) << "no image 99";
    EXPECT_EQ(SaveImage(1, path.c_str(), kBmpTag, 12, 0), 0) << "no depth 12";
    EXPECT_EQ(ReadFile(path), bytes) << "a failed save keeps the old file";
}

// A named pipe would block a plain open until a writer came; such paths are refused at once.
TEST_F(CodecsTest, LoadingRefusesPathsThatAreNotRegularFiles) {
    testing::ScratchFolder folder;
    const std::string pipe = folder.File("pipe.bmp");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    const struct {
        std::string path;
        int error;
    } cases[] = {{pipe, EINVAL},
                 {folder.path(), EISDIR},
                 {"/dev/null", EINVAL},
                 {folder.File("missing.bmp"), ENOENT}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        errno = 0;
        EXPECT_EQ(IdentifyImageFile(c.path.c_str()), 0u);
        EXPECT_EQ(errno, c.error);
        EXPECT_EQ(LoadImage(AnyNumber, c.path.c_str()), 0);
    }
}

std::vector<std::string> FolderEntries(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

bool FailEveryAllocation(uint64_t) {
    return true;
}

// A save that fails part-way leaves neither a partial file nor a damaged old one, in either
// format.
TEST_F(CodecsTest, FailedSavesLeaveNothingBehind) {
    const struct {
        ImageEncodeFunction encode;
        std::string kept, fresh;
        rlim_t limit;  // bytes: within every file's size, past its first piece
    } encoders[] = {{EncodeBmpFrom32, "kept.bmp", "new.bmp", 2000},
                    {EncodePngFrom32, "kept.png", "new.png", 400}};
    for (const auto& e : encoders) {
        SCOPED_TRACE(e.kept);
        testing::ScratchFolder folder;
        const std::string path = folder.File(e.kept);
        const std::vector<uint8_t> pixels = Picture(64, 64, 4);
        ASSERT_EQ(e.encode(path.c_str(), pixels.data(), 8, 8, 256, 0, 0, 24), 1);
        const std::vector<uint8_t> old = ReadFile(path);

        // Writes beyond the limit fail as on a full disk.
        struct rlimit saved;
        getrlimit(RLIMIT_FSIZE, &saved);
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = saved;
        small.rlim_cur = e.limit;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
        for (int32_t depth : {8, 24, 32}) {
            EXPECT_EQ(e.encode(path.c_str(), pixels.data(), 64, 64, 256, 0, 0, depth), 0);
            EXPECT_EQ(
                e.encode(folder.File(e.fresh).c_str(), pixels.data(), 64, 64, 256, 0, 0, depth), 0);
        }
        setrlimit(RLIMIT_FSIZE, &saved);
        signal(SIGXFSZ, SIG_DFL);
        EXPECT_EQ(FolderEntries(folder.path()), std::vector<std::string>{e.kept});
        EXPECT_EQ(ReadFile(path), old);

        EXPECT_EQ(
            e.encode(folder.File("no/such/folder").c_str(), pixels.data(), 8, 8, 256, 0, 0, 24), 0);
        SetAllocationFailureHook(FailEveryAllocation);
        EXPECT_EQ(e.encode(nullptr, pixels.data(), 8, 8, 256, 0, 0, 24), 0);
        EXPECT_EQ(e.encode(path.c_str(), pixels.data(), 8, 8, 256, 0, 0, 8), 0);
        EXPECT_EQ(e.encode(path.c_str(), pixels.data(), 8, 8, 256, 0, 0, 24), 0);
        SetAllocationFailureHook(nullptr);
        EXPECT_EQ(FolderEntries(folder.path()), std::vector<std::string>{e.kept});
        EXPECT_EQ(ReadFile(path), old);
    }
}

}  // namespace
}  // namespace vorlune
