// Feeds arbitrary bytes to the PNG reader, from memory and from a file. An accepted image must lie
// within the reader's limits with a depth of 24 or 32, and decoding must give the same pixels
// every time and from both sources. The mutator mends the chunks' checksums after most
// mutations, so that they reach the chunks' contents instead of stopping at the first checksum.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "runtime/images/bmp.h"
#include "runtime/images/codecs.h"
#include "runtime/images/png.h"

namespace vorlune {
namespace {

// Larger images are identified and checked, but decoded only up to this size, so that each run
// stays fast.
constexpr int64_t kMaxDecodedPixels = int64_t{1} << 18;

void Fail(const char* what) {
    fuzz::Fail("fuzz_png", what);
}

struct Result {
    uint32_t tag = 0;
    int64_t width = 0, height = 0, depth = 0;
    int64_t decoded = 0;
    std::vector<uint8_t> pixels;
};

Result DecodeIdentified(uint32_t tag) {
    Result result;
    result.tag = tag;
    if (tag == 0) return result;
    if (tag != kPngTag) Fail("accepted by another decoder");
    result.width = DecodedImageWidth();
    result.height = DecodedImageHeight();
    result.depth = DecodedImageDepth();
    if (result.width < 1 || result.height < 1 || result.width > kMaxPngSide ||
        result.height > kMaxPngSide || result.width * result.height > kMaxPngPixels) {
        Fail("accepted dimensions outside the limits");
    }
    if (result.depth != 24 && result.depth != 32) Fail("decoded depth neither 24 nor 32");
    if (result.width * result.height <= kMaxDecodedPixels) {
        const int64_t pitch = result.width * result.depth / 8;
        result.pixels.assign(static_cast<size_t>(pitch * result.height), 0xA5);
        result.decoded = DecodeImage(result.pixels.data(), static_cast<int32_t>(pitch), 0);
        std::vector<uint8_t> again(result.pixels.size(), 0x5A);
        const int64_t decodedAgain =
            DecodeImage(again.data(), static_cast<int32_t>(pitch), kRowsAsStored);
        if (decodedAgain != result.decoded) Fail("a second decode answered differently");
        if (result.decoded == 1 && again != result.pixels)
            Fail("a second decode gave other pixels");
    }
    EndImageDecoding();
    return result;
}

// CRC-32 as PNG computes it (ISO 3309, over a chunk's kind and data).
uint32_t ChunkCrc(const uint8_t* bytes, size_t count) {
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < count; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

uint32_t BigEndian(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3];
}

// Rewrites the checksum of every whole chunk after the signature.
void MendChecksums(uint8_t* data, size_t size) {
    size_t at = 8;
    while (at + 12 <= size) {
        const uint64_t length = BigEndian(data + at);
        if (length > size - at - 12) break;
        const uint32_t crc = ChunkCrc(data + at + 4, static_cast<size_t>(length) + 4);
        uint8_t* out = data + at + 8 + length;
        for (int i = 0; i < 4; ++i)
            out[i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
        at += 12 + length;
    }
}

}  // namespace
}  // namespace vorlune

extern "C" __attribute__((weak)) size_t LLVMFuzzerMutate(uint8_t* data, size_t size,
                                                         size_t maxSize);

// One mutation in eight keeps whatever checksums it made, so that damaged ones are tried too.
extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t maxSize,
                                          unsigned int seed) {
    size = LLVMFuzzerMutate(data, size, maxSize);
    if (seed % 8 != 0) vorlune::MendChecksums(data, size);
    return size;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vorlune;
    static const std::string path = [] {
        InitImageCodecs();
        RegisterBmpCodec();
        RegisterPngCodec();
        return fuzz::ScratchFilePath("fuzz_png", ".png");
    }();
    const uint32_t memoryTag = IdentifyImage(data, static_cast<int64_t>(size));
    if (memoryTag == kBmpTag) {
        EndImageDecoding();
        return 0;
    }
    const Result fromMemory = DecodeIdentified(memoryTag);

    if (!fuzz::WriteScratchFile(path, data, size)) return 0;
    const Result fromFile = DecodeIdentified(IdentifyImageFile(path.c_str()));
    std::remove(path.c_str());
    if (fromFile.tag != fromMemory.tag || fromFile.depth != fromMemory.depth ||
        fromFile.decoded != fromMemory.decoded || fromFile.pixels != fromMemory.pixels) {
        Fail("the file and the memory source disagree");
    }
    return 0;
}
