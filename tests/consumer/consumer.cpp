// A program of its own on an installed copy of the runtime: it draws into an image with the
// in-memory platform, saves the image as a BMP file, loads the file back and compares every
// pixel. Usage: consumer FILE.bmp; the exit status is 0 only when everything came back.
#include <vorlune/vorlune.h>

#include <cstdio>
#include <cstring>

namespace {

constexpr int32_t kWidth = 13;  // odd: BMP rows are padded to four bytes
constexpr int32_t kHeight = 7;
constexpr int64_t kDrawn = 1;
constexpr int64_t kLoaded = 2;
constexpr int32_t kBoxX = 3, kBoxY = 2, kBoxWidth = 4, kBoxHeight = 3;
constexpr vorlune::ColourValue kBoxColour = 0x123456;

const char* path = nullptr;
int failures = 0;

vorlune::ColourValue PatternColour(int32_t x, int32_t y) {
    return static_cast<vorlune::ColourValue>(vorlune::MakeRGB(x * 19, y * 37, 255 - x * y));
}

vorlune::ColourValue ExpectedColour(int32_t x, int32_t y) {
    const bool inBox = x >= kBoxX && x < kBoxX + kBoxWidth && y >= kBoxY && y < kBoxY + kBoxHeight;
    return inBox ? kBoxColour : PatternColour(x, y);
}

void Fail(const char* what) {
    std::fprintf(stderr, "consumer: %s\n", what);
    ++failures;
}

bool Draw() {
    if (vorlune::CreateImage(kDrawn, kWidth, kHeight) == 0) return false;
    if (vorlune::BeginDrawing(vorlune::ImageDrawTarget(kDrawn)) == nullptr) return false;
    for (int32_t y = 0; y < kHeight; ++y)
        for (int32_t x = 0; x < kWidth; ++x)
            vorlune::PlotPixel(x, y, PatternColour(x, y));
    vorlune::SetDrawingColour(kBoxColour);
    vorlune::DrawBox(kBoxX, kBoxY, kBoxWidth, kBoxHeight);
    const bool measured = vorlune::TextWidth(u"Vorlune") > 0;  // the platform's fonts work
    vorlune::EndDrawing();
    if (!measured) Fail("text has no width");
    return vorlune::SaveImage(kDrawn, path, vorlune::kBmpTag, 24, 0) == 1;
}

void CompareLoaded() {
    if (vorlune::ImageWidth(kLoaded) != kWidth || vorlune::ImageHeight(kLoaded) != kHeight)
        return Fail("the loaded image has another size");
    if (vorlune::BeginDrawing(vorlune::ImageDrawTarget(kLoaded)) == nullptr)
        return Fail("cannot read the loaded image");
    for (int32_t y = 0; y < kHeight; ++y) {
        for (int32_t x = 0; x < kWidth; ++x) {
            const vorlune::ColourValue read = vorlune::ReadPixel(x, y) & 0xFFFFFF;
            if (read != ExpectedColour(x, y)) {
                std::fprintf(stderr, "consumer: pixel (%d, %d) is %06X, not %06X\n", x, y,
                             static_cast<unsigned>(read),
                             static_cast<unsigned>(ExpectedColour(x, y)));
                ++failures;
            }
        }
    }
    vorlune::EndDrawing();
}

void Check() {
    if (std::strcmp(vorlune::VorluneVersion(), VORLUNE_VERSION) != 0)
        Fail("the library's version differs from its headers'");
    if (!Draw()) return Fail("cannot draw the image or save it");
    if (vorlune::LoadImage(kLoaded, path) == 0) return Fail("cannot load the saved file");
    CompareLoaded();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: consumer FILE.bmp\n");
        return 2;
    }
    path = argv[1];
    const int status = vorlune::RunProcess(argc, argv, Check);
    if (status != 0 || failures != 0) return 1;
    std::printf("consumer: runtime %s, %d x %d pixels came back\n", vorlune::VorluneVersion(),
                kWidth, kHeight);
    return 0;
}
