// Draws random primitives with random coordinates, sizes, modes and clip rectangles on small
// outputs of every pixel format, and checks that no byte outside the clip rectangle changes.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "runtime/drawing/context.h"
#include "runtime/drawing/modes.h"
#include "runtime/drawing/shapes.h"
#include "runtime/drawing/text.h"
#include "runtime/images/image.h"

// Fontconfig keeps caches for the life of the process that LeakSanitizer cannot reach.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

namespace vorlune {
namespace {

constexpr int32_t kMaxSide = 24;
constexpr int kMaxOperations = 24;
constexpr int64_t kImageNumber = 0;

// The output: an image (which can also draw text) or a plain buffer in another format.
struct Output {
    int32_t width = 0, height = 0, format = 0, pitch = 0, bytesPerPixel = 4;
    std::vector<uint8_t> buffer;  // plain buffers only
    uint8_t* bytes = nullptr;
    bool isImage = false;

    bool Begin(FuzzedDataProvider& data) {
        width = data.ConsumeIntegralInRange<int32_t>(1, kMaxSide);
        height = data.ConsumeIntegralInRange<int32_t>(1, kMaxSide);
        const int32_t formats[] = {kImagePixelFormat, 0x40 | kPixelBottomUp, 0, kPixelBottomUp};
        const int kind = data.ConsumeIntegralInRange<int>(0, 4);
        isImage = kind == 4;
        if (isImage) {
            format = kImagePixelFormat;
            if (CreateImage(kImageNumber, width, height) == 0) return false;
            if (BeginDrawing(ImageDrawTarget(kImageNumber)) == nullptr) return false;
            bytes = FindImage(kImageNumber)->bitmap;
            pitch = width * 4;
        } else {
            format = formats[kind];
            bytesPerPixel = (format & 0x60) != 0 ? 4 : 3;
            pitch = width * bytesPerPixel + data.ConsumeIntegralInRange<int32_t>(0, 3);
            buffer.assign(static_cast<size_t>(pitch) * height, 0);
            bytes = buffer.data();
            DrawingContext* context = CreateDrawingContext(format);
            if (context == nullptr) return false;
            context->width = width;
            context->height = height;
            context->clipOrigin = bytes;
            context->pitch = pitch;
            if (BeginDrawing(context) == nullptr) return false;
        }
        for (int64_t i = 0; i < int64_t{pitch} * height; ++i)
            bytes[i] = data.ConsumeIntegral<uint8_t>();
        return true;
    }

    void End() {
        EndDrawing();
        if (isImage) FreeImage(kImageNumber);
    }
};

int32_t Coordinate(FuzzedDataProvider& data) {
    switch (data.ConsumeIntegralInRange<int>(0, 7)) {
        case 0:
            return data.ConsumeIntegral<int32_t>();
        case 1:
            return data.ConsumeIntegralInRange<int32_t>(-3000, 3000);
        default:
            return data.ConsumeIntegralInRange<int32_t>(-kMaxSide, 2 * kMaxSide);
    }
}

int32_t Radius(FuzzedDataProvider& data) {
    switch (data.ConsumeIntegralInRange<int>(0, 9)) {
        case 0:
            return data.ConsumeIntegral<int32_t>();
        case 1:
            return std::numeric_limits<int32_t>::max() - data.ConsumeIntegralInRange<int32_t>(0, 1);
        default:
            return data.ConsumeIntegralInRange<int32_t>(-2, 2 * kMaxSide);
    }
}

ColourValue ScrambleFilter(int32_t x, int32_t y, ColourValue source, ColourValue target) {
    return (source ^ ~target) + static_cast<ColourValue>(x * 31 + y);
}

float WavyGradient(DrawingContext*, int32_t x, int32_t y) {
    return static_cast<float>(x - y) / 7.0f;
}

std::u16string Text(FuzzedDataProvider& data) {
    // Letters only: the default font covers them, so no fallback font is looked for.
    const std::string letters = data.ConsumeRandomLengthString(8);
    std::u16string text;
    for (const char c : letters)
        text += static_cast<char16_t>(u'A' + static_cast<uint8_t>(c) % 58);
    return text;
}

void DrawOne(FuzzedDataProvider& data, const Output& output) {
    const int32_t a = Coordinate(data), b = Coordinate(data);
    const int32_t c = Coordinate(data), d = Coordinate(data);
    switch (data.ConsumeIntegralInRange<int>(0, 12)) {
        case 0:
            SetDrawingMode(data.ConsumeIntegralInRange<int32_t>(0, 0x1FF));
            break;
        case 1:
            SetDrawingColour(data.ConsumeIntegral<uint32_t>());
            break;
        case 2:
            AddGradientStop(data.ConsumeFloatingPointInRange<float>(0, 1), a);
            break;
        case 3:
            SetFilterFunction(data.ConsumeBool() ? ScrambleFilter : nullptr);
            break;
        case 4:
            SetGradientFunction(data.ConsumeBool() ? WavyGradient : nullptr);
            break;
        case 5:
            DrawLine(a, b, c, d);
            break;
        case 6:
            DrawBox(a, b, c, d);
            break;
        case 7:
            DrawEllipse(a, b, Radius(data), Radius(data));
            break;
        case 8:
            DrawRoundBox(a, b, c, d, Radius(data), Radius(data));
            break;
        case 9:
            FillArea(a, b, data.ConsumeBool() ? kFillRegion : c);
            break;
        case 10:
            PlotPixel(a, b, data.ConsumeIntegral<uint32_t>());
            break;
        case 11:
        case 12:
            if (!output.isImage) break;
            if (data.ConsumeBool()) {
                DrawText(a, b, Text(data).c_str());
            } else {
                DrawRotatedText(a, b, Text(data).c_str(), data.ConsumeFloatingPoint<float>());
            }
            break;
    }
}

}  // namespace
}  // namespace vorlune

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    vorlune::InitImageSystem();
    // Loads the default font's caches once, before inputs are checked for leaks.
    vorlune::CreateImage(1, 8, 8);
    vorlune::BeginDrawing(vorlune::ImageDrawTarget(1));
    std::u16string letters;
    for (char16_t c = u'A'; c < u'A' + 58; ++c)
        letters += c;
    vorlune::DrawText(0, 0, letters.c_str());
    vorlune::DrawRotatedText(4, 4, letters.c_str(), 45.0f);
    vorlune::EndDrawing();
    vorlune::FreeImage(1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    using namespace vorlune;
    FuzzedDataProvider data(bytes, size);
    Output output;
    if (!output.Begin(data)) {
        output.End();
        return 0;
    }
    const std::vector<uint8_t> before(output.bytes,
                                      output.bytes + int64_t{output.pitch} * output.height);
    const int32_t cx = Coordinate(data), cy = Coordinate(data);
    const int32_t cw = Coordinate(data), ch = Coordinate(data);
    ClipDrawing(cx, cy, cw, ch);
    const int64_t left = std::max<int64_t>(cx, 0), top = std::max<int64_t>(cy, 0);
    const int64_t right = std::min<int64_t>(int64_t{cx} + cw, output.width);
    const int64_t bottom = std::min<int64_t>(int64_t{cy} + ch, output.height);

    const int operations = data.ConsumeIntegralInRange<int>(1, kMaxOperations);
    for (int i = 0; i < operations && data.remaining_bytes() > 0; ++i)
        DrawOne(data, output);

    for (int64_t y = 0; y < output.height; ++y) {
        const int64_t row = (output.format & kPixelBottomUp) != 0 ? output.height - 1 - y : y;
        for (int64_t i = 0; i < output.pitch; ++i) {
            const int64_t x = i / output.bytesPerPixel;
            const bool inside =
                x < output.width && x >= left && x < right && y >= top && y < bottom;
            const int64_t at = row * output.pitch + i;
            if (!inside && output.bytes[at] != before[static_cast<size_t>(at)])
                fuzz::Fail("fuzz_draw", "a byte outside the clip rectangle changed", x, y);
        }
    }
    output.End();
    return 0;
}
