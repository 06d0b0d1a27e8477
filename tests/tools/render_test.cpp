// vorlune-render against the picture formula drawn straight into memory, and its arguments.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/picture.h"
#include "runtime/core/version.h"
#include "runtime/images/bmp.h"
#include "runtime/images/codecs.h"
#include "tests/images/codec_helpers.h"

namespace vorlune {
namespace {

namespace fs = std::filesystem;

// The exit status; *text gets what the program wrote on standard error, or on standard output.
int RunRenderer(const std::string& arguments, std::string* text = nullptr,
                bool standardOutput = false) {
    const std::string command = std::string(VORLUNE_RENDER_PROGRAM) + " " + arguments +
                                (standardOutput ? " 2>/dev/null" : " 2>&1 >/dev/null");
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return -1;
    char buffer[512];
    std::string output;
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr)
        output += buffer;
    const int status = pclose(pipe);
    if (text != nullptr) *text = output;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The picture as red, green, blue rows, black where nothing is written.
std::vector<uint8_t> Expected(const PictureSettings& settings) {
    std::vector<uint8_t> rgb(static_cast<size_t>(settings.size) * settings.size * 3, 0);
    struct Target {
        std::vector<uint8_t>* rgb;
        int32_t size;
    } target{&rgb, settings.size};
    ComputePicture(
        settings,
        [](void* context, uint16_t x, uint16_t y, int red, int green, int blue) {
            auto* t = static_cast<Target*>(context);
            uint8_t* p = t->rgb->data() + (static_cast<size_t>(y) * t->size + x) * 3;
            p[0] = static_cast<uint8_t>(red);
            p[1] = static_cast<uint8_t>(green);
            p[2] = static_cast<uint8_t>(blue);
        },
        &target);
    return rgb;
}

class RenderTest : public testing::CodecFixture {
  protected:
    testing::ScratchFolder folder_;
};

TEST_F(RenderTest, WritesThePictureItWasAskedFor) {
    struct Case {
        const char* arguments;
        PictureSettings settings;
        int32_t depth;
    };
    const Case cases[] = {
        {"", kStartSettings, 24},
        {"--size 64 --p 2.5 --k 3", {64, 2.5f, 3.0f, -1, -1}, 24},
        {"--size=33 --corner --bw --depth 32", {33, kStartP, kStartK, 0, 0}, 32},
        {"--p -0.75 --k -7.5 --size 41 --corner", {41, -0.75f, -7.5f, 0, -1}, 24},
        {"--bw --size 50 --depth 1 --p 1.5 --k 0.5", {50, 1.5f, 0.5f, -1, 0}, 1},
    };
    for (const Case& c : cases) {
        const std::string path = folder_.File("picture.bmp");
        ASSERT_EQ(RunRenderer(std::string(c.arguments) + " -o " + path), 0) << c.arguments;
        const testing::Decoded decoded = testing::DecodeBytes(testing::ReadFile(path));
        ASSERT_TRUE(decoded.ok) << c.arguments;
        EXPECT_EQ(DecodedImageFileDepth(), c.depth) << c.arguments;
        EXPECT_EQ(decoded.width, c.settings.size);
        EXPECT_EQ(decoded.rgb, Expected(c.settings)) << c.arguments;
        fs::remove(path);
    }
}

// Rows in flight on several threads, the slow exact ones among them: the same right file for any
// number of threads.
TEST_F(RenderTest, TheFileIsTheSameForAnyNumberOfThreads) {
    const struct {
        const char* arguments;
        PictureSettings settings;
    } cases[] = {
        {"--size 301", {301, kStartP, kStartK, -1, -1}},
        {"--size 300 --corner --bw --p 2.5 --k 0.05", {300, 2.5f, 0.05f, 0, 0}},
        {"--size 260 --corner --p 3.1 --k 0.02", {260, 3.1f, 0.02f, 0, -1}},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> first;
        for (const char* threads : {"1", "2", "5"}) {
            const std::string path = folder_.File("picture.bmp");
            ASSERT_EQ(
                RunRenderer(std::string(c.arguments) + " --threads " + threads + " -o " + path), 0)
                << c.arguments << " --threads " << threads;
            const std::vector<uint8_t> bytes = testing::ReadFile(path);
            if (first.empty()) {
                first = bytes;
                EXPECT_EQ(testing::DecodeBytes(bytes).rgb, Expected(c.settings)) << c.arguments;
            }
            EXPECT_TRUE(bytes == first) << c.arguments << " --threads " << threads;
            fs::remove(path);
        }
    }
}

std::vector<uint8_t> LoadedPixels(const std::string& path) {
    if (LoadImage(1, path.c_str()) == 0) return {};
    const ImageRecord* image = FindImage(1);
    return {image->bitmap, image->bitmap + image->pixelWidth * image->pixelHeight * 4};
}

// The extension chooses the format; at every depth both files hold the same picture.
TEST_F(RenderTest, PngAndBmpHoldTheSamePicture) {
    for (const char* depth : {"1", "4", "8", "24", "32"}) {
        const std::string arguments = std::string("--size 37 --p 1.5 --depth ") + depth + " -o ";
        const std::string bmp = folder_.File("picture.bmp"), png = folder_.File("picture.PNG");
        ASSERT_EQ(RunRenderer(arguments + bmp), 0) << depth;
        ASSERT_EQ(RunRenderer(arguments + png), 0) << depth;
        EXPECT_EQ(IdentifyImageFile(png.c_str()), kPngTag);
        EndImageDecoding();
        const std::vector<uint8_t> pixels = LoadedPixels(png);
        EXPECT_EQ(pixels.size(), 37u * 37 * 4) << depth;
        EXPECT_EQ(pixels, LoadedPixels(bmp)) << depth;
    }
}

TEST_F(RenderTest, BadArgumentsWriteNothing) {
    const std::string path = folder_.File("never.bmp");
    const struct {
        std::string arguments;
        std::string message;
    } cases[] = {
        {"", "no output file"},
        {"--depth 7 -o " + path, "--depth"},
        {"--depth 24x -o " + path, "--depth"},
        {"--size 0 -o " + path, "--size"},
        {"--size 40000 -o " + path, "--size"},
        {"--p nan -o " + path, "--p"},
        {"--p 1e99 -o " + path, "--p"},
        {"--k 0 -o " + path, "--k"},
        {"--k -o " + path, "--k"},
        {"--threads 0 -o " + path, "--threads"},
        {"--threads 257 -o " + path, "--threads"},
        {"--threads=two -o " + path, "--threads"},
        {"--bw=1 -o " + path, "--bw"},
        {"--version=1 -o " + path, "--version"},
        {"--colour -o " + path, "unknown"},
        {"picture.bmp", "unknown"},
        {"-o", "-o needs a value"},
        {"-o " + folder_.File("picture.jpg"), ".bmp or .png, not"},
        {"-o " + folder_.File("png"), ".bmp or .png, not"},
    };
    for (const auto& c : cases) {
        std::string errors;
        EXPECT_EQ(RunRenderer(c.arguments, &errors), 2) << c.arguments;
        EXPECT_NE(errors.find(c.message), std::string::npos) << c.arguments << ": " << errors;
    }
    std::string errors;
    EXPECT_EQ(RunRenderer("--size 8 -o " + folder_.File("missing/x.bmp"), &errors), 1);
    EXPECT_NE(errors.find("cannot write"), std::string::npos) << errors;
    EXPECT_TRUE(fs::is_empty(folder_.path()));
    EXPECT_EQ(RunRenderer("--help"), 0);
}

TEST_F(RenderTest, VersionIsTheProjects) {
    std::string output;
    EXPECT_EQ(RunRenderer("--version -o " + folder_.File("never.bmp"), &output, true), 0);
    EXPECT_EQ(output, "vorlune-render " VORLUNE_VERSION "\n");
    EXPECT_TRUE(fs::is_empty(folder_.path()));
}

}  // namespace
}  // namespace vorlune
