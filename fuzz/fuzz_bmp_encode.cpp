// Writes random images at random depths, row orders and dithering into exactly sized memory
// blocks, and reads every file back: the layout must match, and 24- and 32-bit files must give
// back the picture (32-bit sources laid over white).
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "runtime/core/memory.h"
#include "runtime/images/bmp.h"
#include "runtime/images/codecs.h"

namespace vorlune {
namespace {

constexpr int32_t kMaxSide = 48;

void Fail(const char* what) {
    fuzz::Fail("fuzz_bmp_encode", what);
}

uint8_t OverWhite(uint32_t channel, uint32_t alpha) {
    return static_cast<uint8_t>((channel * alpha + (255 - alpha) * 255) / 255);
}

}  // namespace
}  // namespace vorlune

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vorlune;
    static const bool started = [] {
        InitImageCodecs();
        RegisterBmpCodec();
        return true;
    }();
    (void)started;
    FuzzedDataProvider input(data, size);
    const int32_t width = input.ConsumeIntegralInRange<int32_t>(1, kMaxSide);
    const int32_t height = input.ConsumeIntegralInRange<int32_t>(1, kMaxSide);
    const int32_t sourceBits = input.ConsumeBool() ? 32 : 24;
    const int32_t depths[] = {1, 4, 8, 24, 32};
    const int32_t depth = depths[input.ConsumeIntegralInRange<int>(0, 4)];
    const int32_t flags = input.ConsumeBool() ? kRowsAsStored : 0;
    const int32_t options = input.ConsumeBool() ? kPaletteDither : 0;
    const int32_t sourceBytes = sourceBits / 8;
    const int32_t pitch = width * sourceBytes + input.ConsumeIntegralInRange<int32_t>(0, 5);
    std::vector<uint8_t> pixels(static_cast<size_t>(pitch) * height);
    for (uint8_t& byte : pixels)
        byte = input.remaining_bytes() > 0 ? input.ConsumeIntegral<uint8_t>() : byte;

    const int64_t block =
        EncodeBmp(nullptr, pixels.data(), width, height, pitch, flags, options, depth, sourceBits);
    if (block == 0) Fail("a sound image was not encoded");
    auto* file = reinterpret_cast<uint8_t*>(block);
    const uint64_t length = BlockLength(file);
    if (length != static_cast<uint64_t>(BmpHeaderBytes(depth) + BmpRowBytes(width, depth) * height))
        Fail("the file's length does not follow its layout");
    if (IdentifyImage(file, static_cast<int64_t>(length)) != kBmpTag) Fail("file not identified");
    if (DecodedImageWidth() != width || DecodedImageHeight() != height ||
        DecodedImageFileDepth() != depth) {
        Fail("file read back with other dimensions");
    }
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    if (DecodeImage(rgb.data(), width * 3, flags) != 1) Fail("file not decoded");
    EndImageDecoding();
    FreeBlock(file);
    if (depth <= 8) return 0;
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            const uint8_t* s = &pixels[static_cast<size_t>(y) * pitch + x * sourceBytes];
            const uint8_t* d = &rgb[(static_cast<size_t>(y) * width + x) * 3];
            for (int c = 0; c < 3; ++c) {
                const uint8_t expected = sourceBits == 32 ? OverWhite(s[c], s[3]) : s[c];
                if (d[c] != expected) Fail("a pixel changed on the way through the file");
            }
        }
    }
    return 0;
}
