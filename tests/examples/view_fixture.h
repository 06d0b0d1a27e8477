#pragma once
// What the tests of vorlune-view share: the test files, the runtime of this process on the
// in-memory platform with a folder for files, and what the viewer must show of a file, by the
// runtime's own decoding and resampling.

#include <stdlib.h>

#include <gtest/gtest.h>
#include <vorlune/headless.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/examples/example_window.h"

namespace vorlune {

using test::Picture;

inline const std::string kData = VORLUNE_TEST_DATA_DIR;
inline const std::string kColourful = kData + "/bmpsuite/g/rgb24.bmp";    // 127 x 64
inline const std::string kTwoColours = kData + "/bmpsuite/g/pal1bg.bmp";  // 127 x 64
inline const std::string kDamaged = kData + "/bmp-malformed/rle8-literal-cut.bmp";
inline const std::string kNoImage = kData + "/bmp-malformed/signature-ba.bmp";
constexpr int32_t kSide = 127;  // of the test images above
constexpr int32_t kHeight = 64;
// Larger than the 1280 x 1024 screen of scripts/with-display.
constexpr int32_t kLargeWidth = 1700;
constexpr int32_t kLargeHeight = 1400;
// This process's own images, apart from the viewer's.
constexpr int64_t kDecoded = 20;
constexpr int64_t kResampled = 21;

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The runtime of this process on the in-memory platform, and a folder of files for the tests.
class ViewTest : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        InitRuntime();
        char folder[] = "/tmp/vorlune-view-test-XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        folder_ = folder;
    }
    static void TearDownTestSuite() {
        EndRuntime();
        FreeTempStrings();
        std::filesystem::remove_all(folder_);
    }

    // A file larger than the screen: smooth ramps with sharp-edged squares, which any resampling
    // other than the runtime's would show.
    static bool WriteLargeImage(const std::string& path) {
        if (CreateImage(kDecoded, kLargeWidth, kLargeHeight) == 0) return false;
        uint8_t* pixels = FindImage(kDecoded)->bitmap;
        for (int32_t y = 0; y < kLargeHeight; ++y) {
            for (int32_t x = 0; x < kLargeWidth; ++x) {
                uint8_t* pixel = pixels + (static_cast<int64_t>(y) * kLargeWidth + x) * 4;
                const bool square = (x / 37 + y / 29) % 2 == 0;
                pixel[0] = static_cast<uint8_t>(x * 255 / kLargeWidth);
                pixel[1] = static_cast<uint8_t>(y * 255 / kLargeHeight);
                pixel[2] = square ? 255 : 0;
            }
        }
        return SaveImage(kDecoded, path.c_str(), kBmpTag, 24, 0) != 0;
    }

    // The file as the runtime decodes it, resampled to width x height as the viewer must show it.
    static Picture Expected(const std::string& path, int32_t width, int32_t height) {
        if (LoadImage(kDecoded, path.c_str()) == 0) return {};
        if (width == ImageWidth(kDecoded) && height == ImageHeight(kDecoded)) {
            return test::PictureOfImage(kDecoded);
        }
        if (CreateImage(kResampled, width, height) == 0) return {};
        if (BeginDrawing(ImageDrawTarget(kResampled)) == nullptr) return {};
        DrawImageSized(ImageHandle(kDecoded), 0, 0, width, height);
        EndDrawing();
        return test::PictureOfImage(kResampled);
    }

    static Picture Expected(const std::string& path, double zoom = 1) {
        const auto side = static_cast<int32_t>(std::lround(kSide * zoom));
        const auto height = static_cast<int32_t>(std::lround(kHeight * zoom));
        return Expected(path, side, height);
    }

    static inline std::string folder_;
};

}  // namespace vorlune
