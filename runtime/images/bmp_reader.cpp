// The BMP reader. Files come from anywhere: every field is read through a bounds-checked cursor,
// sizes are computed in 64 bits, and a file is refused as soon as its headers disagree with its
// length. The file size recorded in the header and the image size field are ignored: only the
// real length bounds reads.
#include <algorithm>
#include <bit>
#include <cstring>

#include "runtime/core/memory.h"
#include "runtime/images/bmp.h"
#include "runtime/images/byte_cursor.h"
#include "runtime/images/pixel_rows.h"

namespace vorlune {

namespace {

constexpr int64_t kFileHeaderBytes = 14;
constexpr uint16_t kBmpSignature = 19778;  // "BM"
constexpr int32_t kDecodedDepth = 24;

// Header sizes: the OS/2 1.x core header, the Windows headers, and OS/2 2.x headers, which may be
// cut short anywhere from 16 bytes on (absent fields read as 0).
constexpr uint32_t kCoreHeaderBytes = 12;
constexpr uint32_t kInfoHeaderBytes = 40;
constexpr uint32_t kMaskHeaderBytes = 52;
constexpr uint32_t kAlphaMaskHeaderBytes = 56;
constexpr uint32_t kV4HeaderBytes = 108;
constexpr uint32_t kV5HeaderBytes = 124;
constexpr uint32_t kMinOs2HeaderBytes = 16;
constexpr uint32_t kMaxOs2HeaderBytes = 64;

enum Compression : uint32_t { kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3, kAlphaBitFields = 6 };

struct Channel {
    uint32_t mask;
    int32_t shift;
    int32_t bits;
};

// What the headers say, checked against the file's length.
struct BmpLayout {
    int64_t width;
    int64_t height;  // positive
    bool topDown;
    int32_t bitCount;
    uint32_t compression;
    Channel channels[3];  // red, green, blue of 16- and 32-bit pixels
    int64_t paletteOffset;
    int32_t paletteEntries;
    int32_t paletteEntryBytes;  // 3 in core headers, else 4
    int64_t pixelOffset;
    int64_t rowBytes;  // of uncompressed rows
};

// Where a file's bytes are kept while it is decoded from a file.
struct BmpSourceArea {
    uint8_t* block;
    int64_t length;
};
static_assert(sizeof(BmpSourceArea) <= kDecoderAreaBytes);

BmpSourceArea* SourceArea(ImageCodecState* state) {
    return reinterpret_cast<BmpSourceArea*>(state->decoderArea);
}

bool ReadFileHeader(const uint8_t* header) {
    const uint16_t signature = static_cast<uint16_t>(header[0] | header[1] << 8);
    const bool reservedZero = header[6] == 0 && header[7] == 0 && header[8] == 0 && header[9] == 0;
    return signature == kBmpSignature && reservedZero;
}

// Bytes -------------------------------------------------------------------------------------------

// From a file, the whole file is read into one block; from memory the bytes are used in place.
bool LoadSource(ImageCodecState* state) {
    if (state->fromMemory) {
        return state->sourceMemory != nullptr && state->sourceLength >= kFileHeaderBytes &&
               ReadFileHeader(state->sourceMemory);
    }
    FILE* file = state->sourceFile;
    if (file == nullptr || std::fseek(file, 0, SEEK_END) != 0) return false;
    const long length = std::ftell(file);
    if (length < kFileHeaderBytes || length > INT32_MAX || std::fseek(file, 0, SEEK_SET) != 0)
        return false;
    auto* block = static_cast<uint8_t*>(AllocBlockUncleared(static_cast<uint64_t>(length)));
    if (block == nullptr) return false;
    const bool read = std::fread(block, 1, kFileHeaderBytes, file) == kFileHeaderBytes &&
                      ReadFileHeader(block) &&
                      std::fread(block + kFileHeaderBytes, 1, length - kFileHeaderBytes, file) ==
                          static_cast<size_t>(length - kFileHeaderBytes);
    if (!read) {
        FreeBlock(block);
        return false;
    }
    *SourceArea(state) = {block, length};
    return true;
}

void SourceBytes(ImageCodecState* state, const uint8_t** bytes, int64_t* length) {
    if (state->fromMemory) {
        *bytes = state->sourceMemory;
        *length = state->sourceLength;
    } else {
        *bytes = SourceArea(state)->block;
        *length = SourceArea(state)->length;
    }
}

// Headers -----------------------------------------------------------------------------------------

bool IsWindowsHeader(uint32_t size) {
    return size == kInfoHeaderBytes || size == kMaskHeaderBytes || size == kAlphaMaskHeaderBytes ||
           size == kV4HeaderBytes || size == kV5HeaderBytes;
}

bool IsOs2Header(uint32_t size) {
    return size == kCoreHeaderBytes ||
           (size >= kMinOs2HeaderBytes && size <= kMaxOs2HeaderBytes && !IsWindowsHeader(size));
}

// A field of the info header, 0 when the header is too short to hold it.
uint32_t HeaderField(const uint8_t* header, uint32_t headerSize, uint32_t offset, int bytes) {
    if (offset + bytes > headerSize) return 0;
    ByteCursor cursor(header + offset, bytes);
    if (bytes == 2) {
        uint16_t value = 0;
        cursor.ReadU16(&value);
        return value;
    }
    uint32_t value = 0;
    cursor.ReadU32(&value);
    return value;
}

// A mask must be one run of bits inside the pixel.
bool MakeChannel(uint32_t mask, int32_t bitCount, Channel* channel) {
    if (mask == 0) return false;
    if (bitCount < 32 && (mask >> bitCount) != 0) return false;
    const int32_t shift = std::countr_zero(mask);
    const uint32_t run = mask >> shift;
    if ((run & (run + 1)) != 0) return false;
    *channel = {mask, shift, std::popcount(mask)};
    return true;
}

bool ReadChannels(const uint32_t masks[4], int32_t bitCount, BmpLayout* layout) {
    for (int i = 0; i < 3; ++i) {
        if (!MakeChannel(masks[i], bitCount, &layout->channels[i])) return false;
    }
    Channel alpha{};
    if (masks[3] != 0 && !MakeChannel(masks[3], bitCount, &alpha)) return false;
    const uint32_t all[4] = {masks[0], masks[1], masks[2], masks[3]};
    for (int i = 0; i < 4; ++i) {
        for (int j = i + 1; j < 4; ++j) {
            if ((all[i] & all[j]) != 0) return false;
        }
    }
    return true;
}

void DefaultChannels(int32_t bitCount, BmpLayout* layout) {
    if (bitCount == 16) {
        layout->channels[0] = {0x7C00, 10, 5};
        layout->channels[1] = {0x03E0, 5, 5};
        layout->channels[2] = {0x001F, 0, 5};
    } else {
        layout->channels[0] = {0xFF0000, 16, 8};
        layout->channels[1] = {0x00FF00, 8, 8};
        layout->channels[2] = {0x0000FF, 0, 8};
    }
}

bool CompressionFits(uint32_t compression, int32_t bitCount, bool windows) {
    switch (compression) {
        case kRgb:
            return true;
        case kRle8:
            return bitCount == 8;
        case kRle4:
            return bitCount == 4;
        case kBitFields:  // in OS/2 2.x headers this value is Huffman coding, not read here
        case kAlphaBitFields:
            return windows && (bitCount == 16 || bitCount == 32);
        default:
            return false;
    }
}

bool ReadPaletteLayout(uint32_t coloursUsed, int64_t length, BmpLayout* layout) {
    const int64_t maxEntries = int64_t{1} << layout->bitCount;
    int64_t entries = coloursUsed;
    if (entries > maxEntries) return false;
    if (entries == 0) {
        // Implied full palettes are often cut short by the pixels that follow them.
        entries = maxEntries;
        const int64_t room = layout->pixelOffset - layout->paletteOffset;
        if (room >= 0) entries = std::min(entries, room / layout->paletteEntryBytes);
    }
    if (entries < 1) return false;
    if (layout->paletteOffset + entries * layout->paletteEntryBytes > length) return false;
    layout->paletteEntries = static_cast<int32_t>(entries);
    return true;
}

bool ParseBmp(const uint8_t* bytes, int64_t length, BmpLayout* layout) {
    *layout = {};
    ByteCursor cursor(bytes, length);
    uint16_t signature = 0, reserved1 = 0, reserved2 = 0;
    uint32_t fileSize = 0, pixelOffset = 0, headerSize = 0;
    if (!cursor.ReadU16(&signature) || !cursor.ReadU32(&fileSize) || !cursor.ReadU16(&reserved1) ||
        !cursor.ReadU16(&reserved2) || !cursor.ReadU32(&pixelOffset) ||
        !cursor.ReadU32(&headerSize)) {
        return false;
    }
    if (signature != kBmpSignature || reserved1 != 0 || reserved2 != 0) return false;
    const bool windows = IsWindowsHeader(headerSize);
    if (!windows && !IsOs2Header(headerSize)) return false;
    const uint8_t* header = cursor.Take(int64_t{headerSize} - 4);
    if (header == nullptr) return false;
    header -= 4;  // offsets below count from the start of the info header

    int64_t width = 0, height = 0;
    uint32_t planes = 0;
    if (headerSize == kCoreHeaderBytes) {
        width = HeaderField(header, headerSize, 4, 2);
        height = HeaderField(header, headerSize, 6, 2);
        planes = HeaderField(header, headerSize, 8, 2);
        layout->bitCount = static_cast<int32_t>(HeaderField(header, headerSize, 10, 2));
        layout->paletteEntryBytes = 3;
    } else {
        width = static_cast<int32_t>(HeaderField(header, headerSize, 4, 4));
        height = static_cast<int32_t>(HeaderField(header, headerSize, 8, 4));
        planes = HeaderField(header, headerSize, 12, 2);
        layout->bitCount = static_cast<int32_t>(HeaderField(header, headerSize, 14, 2));
        layout->compression = HeaderField(header, headerSize, 16, 4);
        layout->paletteEntryBytes = 4;
    }
    layout->topDown = height < 0;
    height = height < 0 ? -height : height;
    if (planes != 1 || width < 1 || height < 1 || width > kMaxBmpSide || height > kMaxBmpSide ||
        width * height > kMaxBmpPixels) {
        return false;
    }
    layout->width = width;
    layout->height = height;
    const int32_t bitCount = layout->bitCount;
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 &&
        bitCount != 32) {
        return false;
    }
    if (!CompressionFits(layout->compression, bitCount, windows)) return false;
    const bool runLength = layout->compression == kRle8 || layout->compression == kRle4;
    if (runLength && layout->topDown) return false;  // the format has no top-down RLE

    // Bit-field masks live in the longer headers, or follow the 40-byte one.
    const bool bitFields =
        layout->compression == kBitFields || layout->compression == kAlphaBitFields;
    int64_t afterHeader = kFileHeaderBytes + headerSize;
    if (bitFields) {
        uint32_t masks[4] = {};
        if (headerSize >= kMaskHeaderBytes) {
            for (int i = 0; i < 4; ++i)
                masks[i] = HeaderField(header, headerSize, 40 + 4 * i, 4);
        } else {
            const int count = layout->compression == kAlphaBitFields ? 4 : 3;
            for (int i = 0; i < count; ++i) {
                if (!cursor.ReadU32(&masks[i])) return false;
            }
            afterHeader = cursor.Position();
        }
        if (!ReadChannels(masks, bitCount, layout)) return false;
    } else if (bitCount == 16 || bitCount == 32) {
        DefaultChannels(bitCount, layout);
    }

    layout->pixelOffset = pixelOffset;
    if (layout->pixelOffset < kFileHeaderBytes + headerSize || layout->pixelOffset >= length)
        return false;
    layout->paletteOffset = afterHeader;
    if (bitCount <= 8 &&
        !ReadPaletteLayout(HeaderField(header, headerSize, 32, 4), length, layout)) {
        return false;
    }
    layout->rowBytes = (layout->width * bitCount + 31) / 32 * 4;
    if (runLength) {
        const int64_t allowed =
            std::max(kRunLengthPixelsAlwaysAllowed,
                     (length - layout->pixelOffset) * kMaxRunLengthPixelsPerByte);
        return layout->width * layout->height <= allowed;
    }
    return layout->pixelOffset + layout->rowBytes * layout->height <= length;
}

// Pixels ------------------------------------------------------------------------------------------

using Palette = uint8_t[256][3];

// Indices beyond the palette are black.
void ReadPalette(const uint8_t* bytes, const BmpLayout& layout, Palette palette) {
    std::memset(palette, 0, sizeof(Palette));
    for (int32_t i = 0; i < layout.paletteEntries; ++i) {
        const uint8_t* entry = bytes + layout.paletteOffset + int64_t{i} * layout.paletteEntryBytes;
        palette[i][0] = entry[2];
        palette[i][1] = entry[1];
        palette[i][2] = entry[0];
    }
}

// An n-bit channel widened to 8 bits by repeating its bits.
inline uint8_t WidenChannel(uint32_t pixel, const Channel& channel) {
    const uint32_t value = (pixel & channel.mask) >> channel.shift;
    if (channel.bits >= 8) return static_cast<uint8_t>(value >> (channel.bits - 8));
    uint32_t wide = 0;
    for (int32_t filled = 0; filled < 8; filled += channel.bits)
        wide = wide << channel.bits | value;
    const int32_t total = (8 + channel.bits - 1) / channel.bits * channel.bits;
    return static_cast<uint8_t>(wide >> (total - 8));
}

void DecodeIndexedRow(const uint8_t* in, uint8_t* out, int64_t width, int32_t bitCount,
                      const Palette palette) {
    if (bitCount == 8) {
        for (int64_t x = 0; x < width; ++x, out += 3)
            std::memcpy(out, palette[in[x]], 3);
        return;
    }
    const int32_t perByte = 8 / bitCount;
    const uint32_t mask = (1u << bitCount) - 1;
    for (int64_t x = 0; x < width; ++x, out += 3) {
        const int32_t shift = 8 - bitCount * (1 + static_cast<int32_t>(x % perByte));
        const uint32_t index = (in[x / perByte] >> shift) & mask;
        std::memcpy(out, palette[index], 3);
    }
}

void DecodeRow(const uint8_t* in, uint8_t* out, const BmpLayout& layout, const Palette palette) {
    const int64_t width = layout.width;
    switch (layout.bitCount) {
        case 24:
            SwapTriples(in, out, width);
            return;
        case 32:
            if (layout.compression == kRgb) {
                PackQuadsSwapped(in, out, width, false);
                return;
            }
            for (int64_t x = 0; x < width; ++x, in += 4, out += 3) {
                const uint32_t pixel = in[0] | in[1] << 8 | in[2] << 16 | uint32_t{in[3]} << 24;
                for (int c = 0; c < 3; ++c)
                    out[c] = WidenChannel(pixel, layout.channels[c]);
            }
            return;
        case 16:
            for (int64_t x = 0; x < width; ++x, in += 2, out += 3) {
                const uint32_t pixel = in[0] | in[1] << 8;
                for (int c = 0; c < 3; ++c)
                    out[c] = WidenChannel(pixel, layout.channels[c]);
            }
            return;
        default:
            DecodeIndexedRow(in, out, width, layout.bitCount, palette);
    }
}

// Where stored row i goes in the destination.
struct RowMapping {
    uint8_t* pixels;
    int64_t pitch;
    int64_t height;
    bool asStored;

    uint8_t* Row(int64_t stored) const {
        return pixels + (asStored ? stored : height - 1 - stored) * pitch;
    }
};

bool DecodeUncompressed(ByteCursor& cursor, const BmpLayout& layout, const Palette palette,
                        const RowMapping& rows) {
    if (!cursor.Seek(layout.pixelOffset)) return false;
    for (int64_t stored = 0; stored < layout.height; ++stored) {
        const uint8_t* in = cursor.Take(layout.rowBytes);
        if (in == nullptr) return false;
        DecodeRow(in, rows.Row(stored), layout, palette);
    }
    return true;
}

// Run-length coding: pixels no run reaches keep palette entry 0. Runs may reach into the row's
// padding, as some writers code the padded row; those pixels are dropped. A run or a move that
// would leave the padded row or the image refuses the file.
class RunLengthDecoder {
  public:
    RunLengthDecoder(const BmpLayout& layout, const Palette palette, const RowMapping& rows)
        : layout_(layout),
          palette_(palette),
          rows_(rows),
          rowLimit_(layout.rowBytes * 8 / layout.bitCount) {}

    bool Decode(ByteCursor& cursor) {
        FillUnreached();
        if (!cursor.Seek(layout_.pixelOffset)) return false;
        for (;;) {
            uint8_t count = 0, value = 0;
            if (!cursor.ReadU8(&count) || !cursor.ReadU8(&value)) return RowsComplete();
            if (count > 0) {
                if (!Fits(count)) return false;
                for (int32_t i = 0; i < count; ++i)
                    Put(fourBits() ? (i % 2 == 0 ? value >> 4 : value & 0x0F) : value);
                continue;
            }
            switch (value) {
                case 0:  // end of line
                    if (y_ >= layout_.height) return false;
                    x_ = 0;
                    ++y_;
                    break;
                case 1:  // end of image
                    return true;
                case 2: {  // move right and down
                    uint8_t dx = 0, dy = 0;
                    if (!cursor.ReadU8(&dx) || !cursor.ReadU8(&dy)) return false;
                    x_ += dx;
                    y_ += dy;
                    if (x_ > rowLimit_ || y_ >= layout_.height) return false;
                    break;
                }
                default:
                    if (!Literal(cursor, value)) return false;
            }
        }
    }

  private:
    bool fourBits() const { return layout_.compression == kRle4; }

    bool Fits(int64_t count) const { return y_ < layout_.height && x_ + count <= rowLimit_; }

    // A file may end without the end-of-image code once its last row is complete.
    bool RowsComplete() const {
        return y_ >= layout_.height || (y_ == layout_.height - 1 && x_ >= layout_.width);
    }

    void Put(uint32_t index) {
        if (x_ < layout_.width) std::memcpy(rows_.Row(y_) + x_ * 3, palette_[index], 3);
        ++x_;
    }

    bool Literal(ByteCursor& cursor, int32_t count) {
        if (!Fits(count)) return false;
        const int64_t bytes = fourBits() ? (count + 1) / 2 : count;
        const uint8_t* data = cursor.Take(bytes);
        if (data == nullptr || !cursor.Skip(bytes % 2)) return false;  // padded to 16 bits
        for (int32_t i = 0; i < count; ++i) {
            if (fourBits()) {
                Put(i % 2 == 0 ? data[i / 2] >> 4 : data[i / 2] & 0x0F);
            } else {
                Put(data[i]);
            }
        }
        return true;
    }

    void FillUnreached() {
        for (int64_t row = 0; row < layout_.height; ++row) {
            uint8_t* out = rows_.Row(row);
            for (int64_t x = 0; x < layout_.width; ++x)
                std::memcpy(out + x * 3, palette_[0], 3);
        }
    }

    const BmpLayout& layout_;
    const uint8_t (*palette_)[3];
    const RowMapping& rows_;
    const int64_t rowLimit_;  // pixels in a padded row
    int64_t x_ = 0;
    int64_t y_ = 0;
};

}  // namespace

// The decoder entry's operations ------------------------------------------------------------------

int32_t CheckBmp(ImageCodecState* state) {
    if (!LoadSource(state)) return 0;
    const uint8_t* bytes = nullptr;
    int64_t length = 0;
    SourceBytes(state, &bytes, &length);
    BmpLayout layout;
    if (!ParseBmp(bytes, length, &layout)) {
        FinishBmp(state);
        return 0;
    }
    state->width = static_cast<int32_t>(layout.width);
    state->height = static_cast<int32_t>(layout.height);
    state->depth = kDecodedDepth;
    state->fileDepth = layout.bitCount;
    return 1;
}

int64_t DecodeBmp(ImageCodecState* state, uint8_t* pixels, int32_t pitch, int32_t flags) {
    const uint8_t* bytes = nullptr;
    int64_t length = 0;
    SourceBytes(state, &bytes, &length);
    BmpLayout layout;
    if (bytes == nullptr || !ParseBmp(bytes, length, &layout)) return 0;
    if (pixels == nullptr || pitch < layout.width * 3) return 0;
    Palette palette = {};
    if (layout.bitCount <= 8) ReadPalette(bytes, layout, palette);
    const RowMapping rows{pixels, pitch, layout.height,
                          (flags & kRowsAsStored) != 0 || layout.topDown};
    ByteCursor cursor(bytes, length);
    if (layout.compression == kRle8 || layout.compression == kRle4) {
        RunLengthDecoder decoder(layout, palette, rows);
        return decoder.Decode(cursor) ? 1 : 0;
    }
    return DecodeUncompressed(cursor, layout, palette, rows) ? 1 : 0;
}

void FinishBmp(ImageCodecState* state) {
    FreeBlock(SourceArea(state)->block);
    *SourceArea(state) = {};
}

}  // namespace vorlune
