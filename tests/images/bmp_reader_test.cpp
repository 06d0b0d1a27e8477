// The reader refuses hand-built hostile files cleanly, and reads hand-built sound ones.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
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
struct BmpHeader {
    uint16_t signature = 0x4D42;
    uint16_t reserved = 0;
    uint32_t headerSize = 40;
    int32_t width = 4;
    int32_t height = 3;
    uint16_t planes = 1;
    uint16_t bitCount = 8;
    uint32_t compression = 0;
    uint32_t coloursUsed = 0;
    std::vector<uint32_t> masks = {};  // after a 40-byte header, inside longer ones
    int32_t paletteEntries = -1;       // -1: 2^bitCount up to 8 bits, none above
    std::vector<uint8_t> pixels = {};  // empty: zero rows of the right size
    int64_t offsetField = -1;          // -1: the pixels' real offset
    int64_t keepBytes = -1;            // cut the file to this length
};

void Put(std::vector<uint8_t>& bytes, size_t offset, uint32_t value, int size) {
    for (int i = 0; i < size; ++i)
        bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

std::vector<uint8_t> BuildBmp(const BmpHeader& header) {
    const bool core = header.headerSize == 12;
    const size_t headerBytes = 14 + header.headerSize;
    std::vector<uint8_t> bytes(std::max<size_t>(headerBytes, 18), 0);
    Put(bytes, 0, header.signature, 2);
    Put(bytes, 6, header.reserved, 2);
    Put(bytes, 14, header.headerSize, 4);
    auto field = [&](uint32_t offset, uint32_t value, int size) {
        if (offset + size <= header.headerSize) Put(bytes, 14 + offset, value, size);
    };
    if (core) {
        field(4, static_cast<uint32_t>(header.width), 2);
        field(6, static_cast<uint32_t>(header.height), 2);
        field(8, header.planes, 2);
        field(10, header.bitCount, 2);
    } else {
        field(4, static_cast<uint32_t>(header.width), 4);
        field(8, static_cast<uint32_t>(header.height), 4);
        field(12, header.planes, 2);
        field(14, header.bitCount, 2);
        field(16, header.compression, 4);
        field(32, header.coloursUsed, 4);
        for (size_t i = 0; i < header.masks.size(); ++i) {
            if (header.headerSize >= 52) {
                field(40 + 4 * static_cast<uint32_t>(i), header.masks[i], 4);
            } else {
                bytes.resize(bytes.size() + 4);
                Put(bytes, bytes.size() - 4, header.masks[i], 4);
            }
        }
    }
    int32_t entries = header.paletteEntries;
    if (entries < 0) entries = header.bitCount <= 8 ? 1 << header.bitCount : 0;
    const int entryBytes = core ? 3 : 4;
    for (int32_t i = 0; i < entries; ++i) {
        const uint8_t entry[4] = {static_cast<uint8_t>(i), static_cast<uint8_t>(i * 3),
                                  static_cast<uint8_t>(i * 7), 0};
        bytes.insert(bytes.end(), entry, entry + entryBytes);
    }
    const size_t offset = bytes.size();
    Put(bytes, 10, static_cast<uint32_t>(header.offsetField >= 0 ? header.offsetField : offset), 4);
    std::vector<uint8_t> pixels = header.pixels;
    if (pixels.empty()) {
        const int64_t rows = header.height < 0 ? -int64_t{header.height} : header.height;
        const int64_t size = (int64_t{header.width} * header.bitCount + 31) / 32 * 4 * rows;
        pixels.assign(static_cast<size_t>(std::clamp<int64_t>(size, 0, 1 << 20)), 0x21);
    }
    bytes.insert(bytes.end(), pixels.begin(), pixels.end());
    if (header.keepBytes >= 0) bytes.resize(static_cast<size_t>(header.keepBytes));
    Put(bytes, 2, static_cast<uint32_t>(bytes.size()), 4);
    return bytes;
}

// An RLE stream for a 4 x 3 image.
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

// Each case differs from a sound 4 x 3 8-bit file in what it names.
TEST_F(BmpReaderTest, HostileFilesAreRefusedCleanly) {
    const struct {
        const char* name;
        BmpHeader header;
        bool decodes;
    } cases[] = {
        {"sound 8-bit file", {}, true},
        {"13 bytes", {.keepBytes = 13}, false},
        {"file header only", {.keepBytes = 14}, false},
        {"info header cut", {.keepBytes = 40}, false},
        {"palette cut", {.keepBytes = 54 + 512}, false},
        {"last pixel row cut", {.keepBytes = 54 + 1024 + 8 + 3}, false},
        {"M then B", {.signature = 0x424D}, false},
        {"reserved field set", {.reserved = 1}, false},
        {"pixel offset at the end", {.offsetField = 54 + 1024 + 12}, false},
        {"pixel offset far beyond", {.offsetField = 0xFFFFFFF0}, false},
        {"pixel offset inside the header", {.offsetField = 20}, false},
        {"pixel offset leaving rows short", {.offsetField = 54 + 1024 + 1}, false},
        {"width 0", {.width = 0}, false},
        {"width -4", {.width = -4}, false},
        {"width 32768", {.width = 32768}, false},
        {"width INT32_MAX", {.width = INT32_MAX}, false},
        {"height 0", {.height = 0}, false},
        {"height INT32_MIN", {.height = INT32_MIN}, false},
        {"height -32768", {.height = -32768}, false},
        {"top-down height -3", {.height = -3}, true},
        {"over the pixel limit", {.width = 32767, .height = 32767, .bitCount = 1}, false},
        {"RLE claiming a huge image",
         {.width = 30000, .height = 8000, .compression = 1, .pixels = {0, 2, 255, 255, 0, 1}},
         false},
        {"RLE claiming 2^20 pixels",
         {.width = 1024, .height = 1024, .compression = 1, .pixels = {0, 1}},
         true},
        {"planes 0", {.planes = 0}, false},
        {"bit count 0", {.bitCount = 0}, false},
        {"bit count 2", {.bitCount = 2}, false},
        {"bit count 64", {.bitCount = 64}, false},
        {"JPEG compression", {.compression = 4}, false},
        {"RLE4 on 8 bits", {.compression = 2}, false},
        {"bit fields on 8 bits", {.compression = 3}, false},
        {"257 colours on 8 bits", {.coloursUsed = 257}, false},
        {"a billion colours", {.coloursUsed = 0x40000000}, false},
        {"palette larger than the file",
         {.bitCount = 4,
          .coloursUsed = 16,
          .paletteEntries = 2,
          .pixels = std::vector<uint8_t>(12, 0)},
         false},
        {"colours used 2 of 16", {.bitCount = 4, .coloursUsed = 2, .paletteEntries = 2}, true},
        {"header size 0", {.headerSize = 0}, false},
        {"header size 11", {.headerSize = 11}, false},
        {"header size 200", {.headerSize = 200}, false},
        {"header size beyond the file", {.headerSize = 124, .keepBytes = 100}, false},
        {"core header", {.headerSize = 12}, true},
        {"short OS/2 header", {.headerSize = 16}, true},
        {"Huffman in an OS/2 header", {.headerSize = 64, .bitCount = 1, .compression = 3}, false},
    };
    for (const auto& c : cases) {
        const std::vector<uint8_t> bytes = BuildBmp(c.header);
        const uint32_t tag = IdentifyImage(bytes.data(), static_cast<int64_t>(bytes.size()));
        EndImageDecoding();
        EXPECT_EQ(tag == kBmpTag, c.decodes) << c.name;
        EXPECT_EQ(DecodeBytes(bytes).ok, c.decodes) << c.name;
    }
}

// Masks must be single runs inside the pixel that do not overlap; channels widen to 8 bits by
// repeating their bits, and wider channels keep their top 8 bits.
TEST_F(BmpReaderTest, BitFieldsAreCheckedAndWidened) {
    const struct {
        uint16_t bitCount;
        uint32_t headerSize;
        std::vector<uint32_t> masks;
        uint32_t pixel;
        std::vector<uint8_t> rgb;  // empty: refused
    } cases[] = {
        {16, 40, {0x7C00, 0x03E0, 0x001F}, 0x7FFF, {255, 255, 255}},
        {16, 108, {0xF800, 0x07E0, 0x001F, 0}, 0x0821, {8, 4, 8}},
        {16, 40, {0x0F00, 0x00F0, 0x000F}, 0x0F81, {255, 136, 17}},
        {16, 40, {0x0003, 0x000C, 0x0030}, 0x0039, {85, 170, 255}},
        {32, 124, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}, 0x12345678, {0x34, 0x56, 0x78}},
        {32, 40, {0xFFC00000, 0x003FF000, 0x00000FFC}, 0x80008800, {128, 2, 128}},
        {16, 40, {0xF800, 0x07E0, 0}, 0, {}},
        {16, 40, {0xF800, 0x0FE0, 0x001F}, 0, {}},
        {16, 40, {0xF000, 0x0F0F, 0x00F0}, 0, {}},
        {16, 40, {0x1F0000, 0x07E0, 0x001F}, 0, {}},
        {32, 124, {0xFF0000, 0xFF00, 0xFF, 0x00FF0000}, 0, {}},
    };
    for (const auto& c : cases) {
        BmpHeader header{.width = 1, .height = 1, .bitCount = c.bitCount, .compression = 3};
        header.headerSize = c.headerSize;
        header.masks = c.masks;
        header.pixels = {uint8_t(c.pixel), uint8_t(c.pixel >> 8), uint8_t(c.pixel >> 16),
                         uint8_t(c.pixel >> 24)};
        const Decoded decoded = DecodeBytes(BuildBmp(header));
        EXPECT_EQ(decoded.ok, !c.rgb.empty()) << std::hex << c.masks[1];
        if (decoded.ok) {
            EXPECT_EQ(decoded.rgb, c.rgb) << std::hex << c.pixel;
        }
    }
    BmpHeader cut{.compression = 3, .masks = {0xF800}, .keepBytes = 14 + 40 + 4};
    cut.bitCount = 16;
    EXPECT_FALSE(DecodeBytes(BuildBmp(cut)).ok) << "masks cut off by the end";
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
        BmpHeader header;
        header.bitCount = c.compression == 1 ? 8 : 4;
        header.compression = c.compression;
        header.pixels = c.stream;
        const Decoded decoded = DecodeBytes(BuildBmp(header));
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
    BmpHeader topDown;
    topDown.compression = 1;
    topDown.height = -3;
    topDown.pixels = Rle({0, 1});
    EXPECT_FALSE(DecodeBytes(BuildBmp(topDown)).ok) << "the format has no top-down RLE";
}

// Rows are turned over unless the caller asks for them as stored; top-down files are not.
TEST_F(BmpReaderTest, RowOrderFollowsTheFileAndTheFlag) {
    for (const int32_t height : {3, -3}) {
        for (const int32_t flags : {0, kRowsAsStored}) {
            BmpHeader header;
            header.height = height;
            header.pixels = {1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3};
            const Decoded decoded = DecodeBytes(BuildBmp(header), flags);
            ASSERT_TRUE(decoded.ok);
            const bool storedFirst = height < 0 || flags != 0;
            EXPECT_EQ(decoded.rgb[0], Entry(storedFirst ? 1 : 3)[0]) << height << " " << flags;
        }
    }
    BmpHeader header;
    const std::vector<uint8_t> bytes = BuildBmp(header);
    ASSERT_EQ(IdentifyImage(bytes.data(), static_cast<int64_t>(bytes.size())), kBmpTag);
    std::vector<uint8_t> small(11);
    EXPECT_EQ(DecodeImage(small.data(), 11, 0), 0) << "a pitch below width x 3 is refused";
    EXPECT_EQ(DecodeImage(nullptr, 12, 0), 0);
}

}  // namespace
}  // namespace vorlune
