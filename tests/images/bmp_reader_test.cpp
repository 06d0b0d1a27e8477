// The reader refuses hand-built hostile files cleanly, and reads hand-built sound ones.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "runtime/images/bmp.h"
#include "runtime/images/codecs.h"
#include "tests/images/codec_helpers.h"

namespace vorlune {
namespace {

using testing::DecodeBytes;
using testing::Decoded;

// A BMP file from its fields; every field the header's size leaves out is omitted.
struct BmpSpec {
    uint16_t signature = 0x4D42;
    uint16_t reserved = 0;
    uint32_t headerSize = 40;
    int32_t width = 4;
    int32_t height = 3;
    uint16_t planes = 1;
    uint16_t bitCount = 8;
    uint32_t compression = 0;
    uint32_t coloursUsed = 0;
    std::vector<uint32_t> masks;  // after a 40-byte header, inside longer ones
    int32_t paletteEntries = -1;  // -1: 2^bitCount up to 8 bits, none above
    std::vector<uint8_t> pixels;  // empty: zero rows of the right size
    int64_t pixelOffset = -1;     // -1: right after the palette
    int64_t offsetField = -1;     // -1: the pixels' real offset
    int64_t keepBytes = -1;       // cut the file to this length
};

void Put(std::vector<uint8_t>& bytes, size_t offset, uint32_t value, int size) {
    for (int i = 0; i < size; ++i)
        bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

std::vector<uint8_t> BuildBmp(const BmpSpec& spec) {
    const bool core = spec.headerSize == 12;
    const size_t headerBytes = 14 + spec.headerSize;
    std::vector<uint8_t> bytes(headerBytes, 0);
    Put(bytes, 0, spec.signature, 2);
    Put(bytes, 6, spec.reserved, 2);
    Put(bytes, 14, spec.headerSize, 4);
    auto field = [&](uint32_t offset, uint32_t value, int size) {
        if (offset + size <= spec.headerSize) Put(bytes, 14 + offset, value, size);
    };
    if (core) {
        field(4, static_cast<uint32_t>(spec.width), 2);
        field(6, static_cast<uint32_t>(spec.height), 2);
        field(8, spec.planes, 2);
        field(10, spec.bitCount, 2);
    } else {
        field(4, static_cast<uint32_t>(spec.width), 4);
        field(8, static_cast<uint32_t>(spec.height), 4);
        field(12, spec.planes, 2);
        field(14, spec.bitCount, 2);
        field(16, spec.compression, 4);
        field(32, spec.coloursUsed, 4);
        for (size_t i = 0; i < spec.masks.size(); ++i) {
            if (spec.headerSize >= 52) {
                field(40 + 4 * static_cast<uint32_t>(i), spec.masks[i], 4);
            } else {
                bytes.resize(bytes.size() + 4);
                Put(bytes, bytes.size() - 4, spec.masks[i], 4);
            }
        }
    }
    int32_t entries = spec.paletteEntries;
    if (entries < 0) entries = spec.bitCount <= 8 ? 1 << spec.bitCount : 0;
    const int entryBytes = core ? 3 : 4;
    for (int32_t i = 0; i < entries; ++i) {
        const uint8_t entry[4] = {static_cast<uint8_t>(i), static_cast<uint8_t>(i * 3),
                                  static_cast<uint8_t>(i * 7), 0};
        bytes.insert(bytes.end(), entry, entry + entryBytes);
    }
    const size_t offset =
        spec.pixelOffset >= 0 ? static_cast<size_t>(spec.pixelOffset) : bytes.size();
    Put(bytes, 10, static_cast<uint32_t>(spec.offsetField >= 0 ? spec.offsetField : offset), 4);
    std::vector<uint8_t> pixels = spec.pixels;
    if (pixels.empty()) {
        const int64_t rows = spec.height < 0 ? -int64_t{spec.height} : spec.height;
        const int64_t size = (int64_t{spec.width} * spec.bitCount + 31) / 32 * 4 * rows;
        pixels.assign(static_cast<size_t>(std::clamp<int64_t>(size, 0, 1 << 20)), 0x21);
    }
    bytes.resize(std::max(bytes.size(), offset), 0);
    bytes.insert(bytes.end(), pixels.begin(), pixels.end());
    if (spec.keepBytes >= 0) bytes.resize(static_cast<size_t>(spec.keepBytes));
    Put(bytes, 2, static_cast<uint32_t>(bytes.size()), 4);
    return bytes;
}

enum class Outcome { Refused, DecodeRefused, Decoded };

struct HostileCase {
    const char* name;
    std::function<void(BmpSpec&)> change;
    Outcome outcome;
};

// An RLE8 stream for a 4 x 3 image.
std::vector<uint8_t> Rle(std::initializer_list<uint8_t> codes) {
    return codes;
}

class BmpReaderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        InitImageCodecs();
        RegisterBmpCodec();
    }
    void TearDown() override { EndImageDecoding(); }
};

TEST_F(BmpReaderTest, HostileFilesAreRefusedCleanly) {
    const HostileCase cases[] = {
        {"sound 8-bit file", [](BmpSpec&) {}, Outcome::Decoded},
        {"13 bytes", [](BmpSpec& s) { s.keepBytes = 13; }, Outcome::Refused},
        {"file header only", [](BmpSpec& s) { s.keepBytes = 14; }, Outcome::Refused},
        {"info header cut", [](BmpSpec& s) { s.keepBytes = 40; }, Outcome::Refused},
        {"palette cut", [](BmpSpec& s) { s.keepBytes = 54 + 512; }, Outcome::Refused},
        {"last pixel row cut", [](BmpSpec& s) { s.keepBytes = 54 + 1024 + 8 + 3; },
         Outcome::Refused},
        {"M then B", [](BmpSpec& s) { s.signature = 0x424D; }, Outcome::Refused},
        {"reserved field set", [](BmpSpec& s) { s.reserved = 1; }, Outcome::Refused},
        {"pixel offset at the end", [](BmpSpec& s) { s.offsetField = 54 + 1024 + 12; },
         Outcome::Refused},
        {"pixel offset far beyond", [](BmpSpec& s) { s.offsetField = 0xFFFFFFF0; },
         Outcome::Refused},
        {"pixel offset inside the header", [](BmpSpec& s) { s.offsetField = 20; },
         Outcome::Refused},
        {"pixel offset leaving rows short", [](BmpSpec& s) { s.offsetField = 54 + 1024 + 1; },
         Outcome::Refused},
        {"width 0", [](BmpSpec& s) { s.width = 0; }, Outcome::Refused},
        {"width -4", [](BmpSpec& s) { s.width = -4; }, Outcome::Refused},
        {"width 32768", [](BmpSpec& s) { s.width = 32768; }, Outcome::Refused},
        {"width INT32_MAX", [](BmpSpec& s) { s.width = INT32_MAX; }, Outcome::Refused},
        {"height 0", [](BmpSpec& s) { s.height = 0; }, Outcome::Refused},
        {"height INT32_MIN", [](BmpSpec& s) { s.height = INT32_MIN; }, Outcome::Refused},
        {"height -32768", [](BmpSpec& s) { s.height = -32768; }, Outcome::Refused},
        {"top-down height -3", [](BmpSpec& s) { s.height = -3; }, Outcome::Decoded},
        {"RLE claiming a huge image",
         [](BmpSpec& s) {
             s.width = 30000;
             s.height = 8000;
             s.compression = 1;
             s.pixels = {0, 2, 255, 255, 0, 0, 0, 1};
         },
         Outcome::Refused},
        {"RLE claiming 2^20 pixels",
         [](BmpSpec& s) {
             s.width = 1024;
             s.height = 1024;
             s.compression = 1;
             s.pixels = {0, 1};
         },
         Outcome::Decoded},
        {"over the pixel limit",
         [](BmpSpec& s) {
             s.width = 32767;
             s.height = 32767;
             s.bitCount = 1;
         },
         Outcome::Refused},
        {"planes 0", [](BmpSpec& s) { s.planes = 0; }, Outcome::Refused},
        {"bit count 0", [](BmpSpec& s) { s.bitCount = 0; }, Outcome::Refused},
        {"bit count 2", [](BmpSpec& s) { s.bitCount = 2; }, Outcome::Refused},
        {"bit count 64", [](BmpSpec& s) { s.bitCount = 64; }, Outcome::Refused},
        {"JPEG compression", [](BmpSpec& s) { s.compression = 4; }, Outcome::Refused},
        {"RLE4 on 8 bits", [](BmpSpec& s) { s.compression = 2; }, Outcome::Refused},
        {"bit fields on 8 bits", [](BmpSpec& s) { s.compression = 3; }, Outcome::Refused},
        {"257 colours on 8 bits", [](BmpSpec& s) { s.coloursUsed = 257; }, Outcome::Refused},
        {"a billion colours", [](BmpSpec& s) { s.coloursUsed = 0x40000000; }, Outcome::Refused},
        {"palette larger than the file",
         [](BmpSpec& s) {
             s.bitCount = 4;
             s.coloursUsed = 16;
             s.paletteEntries = 2;
             s.pixelOffset = 54 + 8;
             s.pixels.assign(12, 0);
         },
         Outcome::Refused},
        {"colours used 2 of 16",
         [](BmpSpec& s) {
             s.bitCount = 4;
             s.coloursUsed = 2;
             s.paletteEntries = 2;
         },
         Outcome::Decoded},
        {"header size 0", [](BmpSpec& s) { s.headerSize = 0; }, Outcome::Refused},
        {"header size 11", [](BmpSpec& s) { s.headerSize = 11; }, Outcome::Refused},
        {"header size 200", [](BmpSpec& s) { s.headerSize = 200; }, Outcome::Refused},
        {"header size beyond the file",
         [](BmpSpec& s) {
             s.headerSize = 124;
             s.keepBytes = 100;
         },
         Outcome::Refused},
        {"core header", [](BmpSpec& s) { s.headerSize = 12; }, Outcome::Decoded},
        {"short OS/2 header", [](BmpSpec& s) { s.headerSize = 16; }, Outcome::Decoded},
        {"Huffman in an OS/2 header",
         [](BmpSpec& s) {
             s.headerSize = 64;
             s.bitCount = 1;
             s.compression = 3;
         },
         Outcome::Refused},
    };
    for (const HostileCase& c : cases) {
        BmpSpec spec;
        c.change(spec);
        const std::vector<uint8_t> bytes = BuildBmp(spec);
        const uint32_t tag = IdentifyImage(bytes.data(), static_cast<int64_t>(bytes.size()));
        EndImageDecoding();
        const Decoded decoded = DecodeBytes(bytes);
        EXPECT_EQ(tag == kBmpTag, c.outcome != Outcome::Refused) << c.name;
        EXPECT_EQ(decoded.ok, c.outcome == Outcome::Decoded) << c.name;
    }
}

TEST_F(BmpReaderTest, BadBitFieldsAreRefused) {
    struct Case {
        const char* name;
        uint16_t bitCount;
        uint32_t headerSize;
        std::vector<uint32_t> masks;
        bool accepted;
    };
    const Case cases[] = {
        {"5-6-5 after the header", 16, 40, {0xF800, 0x07E0, 0x001F}, true},
        {"5-6-5 in a V4 header", 16, 108, {0xF800, 0x07E0, 0x001F, 0}, true},
        {"8-8-8-8 with alpha", 32, 124, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}, true},
        {"a zero mask", 16, 40, {0xF800, 0x07E0, 0}, false},
        {"masks that overlap", 16, 40, {0xF800, 0x0FE0, 0x001F}, false},
        {"a mask with a gap", 16, 40, {0xF000, 0x0F0F, 0x00F0}, false},
        {"a mask beyond 16 bits", 16, 40, {0x1F0000, 0x07E0, 0x001F}, false},
        {"alpha overlapping red", 32, 124, {0xFF0000, 0xFF00, 0xFF, 0x00FF0000}, false},
        {"masks cut off by the end", 16, 40, {0xF800}, false},
    };
    for (const Case& c : cases) {
        BmpSpec spec;
        spec.bitCount = c.bitCount;
        spec.headerSize = c.headerSize;
        spec.compression = 3;
        spec.masks = c.masks;
        if (c.masks.size() < 3) {
            spec.pixels.clear();
            spec.keepBytes = static_cast<int64_t>(14 + 40 + 4 * c.masks.size());
        }
        const std::vector<uint8_t> bytes = BuildBmp(spec);
        const Decoded decoded = DecodeBytes(bytes);
        EXPECT_EQ(decoded.ok, c.accepted) << c.name;
    }
}

// Pixels are palette entry i = (i, 3i, 7i) as blue, green, red: red 7i, green 3i, blue i.
std::vector<uint8_t> Entry(int i) {
    return {static_cast<uint8_t>(i * 7), static_cast<uint8_t>(i * 3), static_cast<uint8_t>(i)};
}

TEST_F(BmpReaderTest, RunLengthStreamsStayInsideTheirRowsAndTheImage) {
    struct Case {
        const char* name;
        uint32_t compression;
        std::vector<uint8_t> stream;
        bool decoded;
        std::vector<int> bottomRow;  // entries of the stored first row, when decoded
    };
    const Case cases[] = {
        {"runs and literals",
         1,
         Rle({1, 5, 0, 3, 1, 2, 3, 0, 0, 0, 0, 0, 0, 1}),
         true,
         {5, 1, 2, 3}},
        {"runs into the row's padding", 1, Rle({4, 1, 0, 0, 0, 1}), true, {1, 1, 1, 1}},
        {"unreached pixels keep entry 0", 1, Rle({1, 9, 0, 2, 1, 1, 0, 1}), true, {9, 0, 0, 0}},
        {"ends after its last row", 1, Rle({0, 0, 0, 0, 4, 6}), true, {0, 0, 0, 0}},
        {"RLE4 runs and literals", 2, Rle({3, 0x12, 0, 0, 0, 1}), true, {1, 2, 1, 0}},
        {"run past the padded row", 1, Rle({5, 1, 0, 1}), false, {}},
        {"literal past the padded row", 1, Rle({0, 5, 1, 2, 3, 4, 5, 0, 0, 1}), false, {}},
        {"RLE4 run past the padded row", 2, Rle({9, 0x11, 0, 1}), false, {}},
        {"move below the image", 1, Rle({0, 2, 0, 3, 0, 1}), false, {}},
        {"move right past the row", 1, Rle({0, 2, 5, 0, 0, 1}), false, {}},
        {"end of line after the last row", 1, Rle({0, 0, 0, 0, 0, 0, 0, 0, 0, 1}), false, {}},
        {"literal cut by the end", 1, Rle({0, 4, 1, 2}), false, {}},
        {"move cut by the end", 1, Rle({0, 2, 1}), false, {}},
        {"stream ends mid-image", 1, Rle({4, 1, 0, 0}), false, {}},
    };
    for (const Case& c : cases) {
        BmpSpec spec;
        spec.bitCount = c.compression == 1 ? 8 : 4;
        spec.compression = c.compression;
        spec.pixels = c.stream;
        const Decoded decoded = DecodeBytes(BuildBmp(spec));
        ASSERT_EQ(decoded.ok, c.decoded) << c.name;
        if (!c.decoded) continue;
        std::vector<uint8_t> expected;
        for (int i : c.bottomRow) {
            const std::vector<uint8_t> entry = Entry(i);
            expected.insert(expected.end(), entry.begin(), entry.end());
        }
        EXPECT_EQ(std::vector<uint8_t>(decoded.rgb.begin() + 2 * 12, decoded.rgb.end()), expected)
            << c.name;
    }
    BmpSpec topDown;
    topDown.compression = 1;
    topDown.height = -3;
    topDown.pixels = Rle({0, 1});
    EXPECT_FALSE(DecodeBytes(BuildBmp(topDown)).ok) << "the format has no top-down RLE";
}

// Rows are turned over unless the caller asks for them as stored; top-down files are not.
TEST_F(BmpReaderTest, RowOrderFollowsTheFileAndTheFlag) {
    for (const int32_t height : {3, -3}) {
        for (const int32_t flags : {0, kRowsAsStored}) {
            BmpSpec spec;
            spec.height = height;
            spec.pixels = {1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3};
            const Decoded decoded = DecodeBytes(BuildBmp(spec), flags);
            ASSERT_TRUE(decoded.ok);
            const bool storedFirst = height < 0 || flags != 0;
            EXPECT_EQ(decoded.rgb[0], Entry(storedFirst ? 1 : 3)[0]) << height << " " << flags;
        }
    }
    BmpSpec spec;
    const std::vector<uint8_t> bytes = BuildBmp(spec);
    ASSERT_EQ(IdentifyImage(bytes.data(), static_cast<int64_t>(bytes.size())), kBmpTag);
    std::vector<uint8_t> small(11);
    EXPECT_EQ(DecodeImage(small.data(), 11, 0), 0) << "a pitch below width x 3 is refused";
    EXPECT_EQ(DecodeImage(nullptr, 12, 0), 0);
}

// Widening repeats a channel's bits; wider channels keep their top 8 bits.
TEST_F(BmpReaderTest, BitFieldChannelsWidenToEightBits) {
    struct Case {
        uint16_t bitCount;
        std::vector<uint32_t> masks;
        uint32_t pixel;
        std::vector<uint8_t> rgb;
    };
    const Case cases[] = {
        {16, {0x7C00, 0x03E0, 0x001F}, 0x7FFF, {255, 255, 255}},
        {16, {0xF800, 0x07E0, 0x001F}, 0x0821, {8, 4, 8}},
        {16, {0x0F00, 0x00F0, 0x000F}, 0x0F81, {255, 136, 17}},
        {16, {0x0003, 0x000C, 0x0030}, 0x0039, {85, 170, 255}},
        {32, {0xFFC00000, 0x003FF000, 0x00000FFC}, 0x80008800, {128, 2, 128}},
    };
    for (const Case& c : cases) {
        BmpSpec spec;
        spec.width = 1;
        spec.height = 1;
        spec.bitCount = c.bitCount;
        spec.compression = 3;
        spec.masks = c.masks;
        spec.pixels.assign(4, 0);
        for (int i = 0; i < c.bitCount / 8; ++i)
            spec.pixels[i] = static_cast<uint8_t>(c.pixel >> (8 * i));
        const Decoded decoded = DecodeBytes(BuildBmp(spec));
        ASSERT_TRUE(decoded.ok) << std::hex << c.pixel;
        EXPECT_EQ(decoded.rgb, c.rgb) << std::hex << c.pixel;
    }
}

}  // namespace
}  // namespace vorlune
