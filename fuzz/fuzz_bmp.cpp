// Feeds arbitrary bytes to the BMP reader, from memory and from a file. An accepted image must lie
// within the reader's limits, and decoding must give the same pixels every time and from both
// sources.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "runtime/images/bmp.h"
#include "runtime/images/codecs.h"

namespace vorlune {
namespace {

// Large run-length images are identified and checked, but decoded only up to this size, so
// that each run stays fast.
constexpr int64_t kMaxDecodedPixels = int64_t{1} << 18;

void Fail(const char* what) {
    fuzz::Fail("fuzz_bmp", what);
}

struct Result {
    uint32_t tag = 0;
    int64_t width = 0, height = 0;
    int64_t decoded = 0;
    std::vector<uint8_t> rgb;
};

Result DecodeIdentified(uint32_t tag) {
    Result result;
    result.tag = tag;
    if (tag == 0) return result;
    result.width = DecodedImageWidth();
    result.height = DecodedImageHeight();
    if (result.width < 1 || result.height < 1 || result.width > kMaxBmpSide ||
        result.height > kMaxBmpSide || result.width * result.height > kMaxBmpPixels) {
        Fail("accepted dimensions outside the limits");
    }
    if (result.width * result.height <= kMaxDecodedPixels) {
        result.rgb.assign(static_cast<size_t>(result.width * result.height * 3), 0xA5);
        result.decoded = DecodeImage(result.rgb.data(), static_cast<int32_t>(result.width * 3), 0);
        std::vector<uint8_t> again(result.rgb.size(), 0x5A);
        const int64_t decodedAgain =
            DecodeImage(again.data(), static_cast<int32_t>(result.width * 3), 0);
        if (decodedAgain != result.decoded) Fail("a second decode answered differently");
        if (result.decoded == 1 && again != result.rgb) Fail("a second decode gave other pixels");
    }
    EndImageDecoding();
    return result;
}

}  // namespace
}  // namespace vorlune

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vorlune;
    static const std::string path = [] {
        InitImageCodecs();
        RegisterBmpCodec();
        return fuzz::ScratchFilePath("fuzz_bmp", ".bmp");
    }();
    const Result fromMemory = DecodeIdentified(IdentifyImage(data, static_cast<int64_t>(size)));

    if (!fuzz::WriteScratchFile(path, data, size)) return 0;
    const Result fromFile = DecodeIdentified(IdentifyImageFile(path.c_str()));
    std::remove(path.c_str());
    if (fromFile.tag != fromMemory.tag || fromFile.decoded != fromMemory.decoded ||
        fromFile.rgb != fromMemory.rgb) {
        Fail("the file and the memory source disagree");
    }
    return 0;
}
