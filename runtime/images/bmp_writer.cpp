// The BMP writer: a 40-byte info header, rows bottom-up, palettes of 2^depth entries for the
// indexed depths. Files are saved whole or not at all (AtomicSave).
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "runtime/core/memory.h"
#include "runtime/images/atomic_save.h"
#include "runtime/images/bmp.h"
#include "runtime/images/palette.h"
#include "runtime/images/pixel_rows.h"

namespace vorlune {

namespace {

constexpr int64_t kFileAndInfoHeaderBytes = 54;

bool ValidDepth(int32_t depth) {
    return depth == 1 || depth == 4 || depth == 8 || depth == 24 || depth == 32;
}

void PutU16(uint8_t* p, uint32_t value) {
    p[0] = static_cast<uint8_t>(value);
    p[1] = static_cast<uint8_t>(value >> 8);
}

void PutU32(uint8_t* p, uint32_t value) {
    PutU16(p, value);
    PutU16(p + 2, value >> 16);
}

void WriteHeaders(uint8_t* p, int32_t width, int32_t height, int32_t depth, int64_t rowBytes) {
    const int64_t headerBytes = BmpHeaderBytes(depth);
    const int64_t imageBytes = rowBytes * height;
    std::memset(p, 0, kFileAndInfoHeaderBytes);
    p[0] = 'B';
    p[1] = 'M';
    PutU32(p + 2, static_cast<uint32_t>(headerBytes + imageBytes));
    PutU32(p + 10, static_cast<uint32_t>(headerBytes));
    PutU32(p + 14, 40);
    PutU32(p + 18, static_cast<uint32_t>(width));
    PutU32(p + 22, static_cast<uint32_t>(height));
    PutU16(p + 26, 1);
    PutU16(p + 28, static_cast<uint32_t>(depth));
    PutU32(p + 34, static_cast<uint32_t>(imageBytes));
}

// Where the file goes: one memory block, or a file saved row by row.
class BmpOutput {
  public:
    ~BmpOutput() {
        FreeBlock(block_);
        FreeMemory(buffer_);
    }

    bool OpenMemory(int64_t size) {
        block_ = static_cast<uint8_t*>(AllocBlockUncleared(static_cast<uint64_t>(size)));
        return block_ != nullptr;
    }

    bool OpenFile(const char* path, int64_t rowBytes) {
        const int64_t bufferBytes = std::max(rowBytes, BmpHeaderBytes(8));
        buffer_ = static_cast<uint8_t*>(AllocRaw(static_cast<uint64_t>(bufferBytes)));
        return buffer_ != nullptr && file_.Open(path);
    }

    // Room for count bytes at offset, valid until the next Commit.
    uint8_t* Space(int64_t offset) { return block_ != nullptr ? block_ + offset : buffer_; }

    bool Commit(int64_t offset, int64_t count) {
        return block_ != nullptr || file_.WriteAt(offset, buffer_, count);
    }

    // 1 once the file is in place, or the memory block; 0 after cleaning up.
    int64_t Finish() {
        if (block_ == nullptr) return file_.Commit() ? 1 : 0;
        const auto result = static_cast<int64_t>(reinterpret_cast<intptr_t>(block_));
        block_ = nullptr;
        return result;
    }

  private:
    uint8_t* block_ = nullptr;
    uint8_t* buffer_ = nullptr;
    AtomicSave file_;
};

// Opaque runs go through the packed conversion; other pixels are laid over white one by one.
void DirectRow(const uint8_t* in, uint8_t* out, int32_t width, int32_t sourceBits, int32_t depth) {
    if (depth == 24 && sourceBits == 24) {
        SwapTriples(in, out, width);
        return;
    }
    if (depth == 24) {
        for (int64_t x = 0; x < width; ++x) {
            x += PackQuadsSwapped(in + x * 4, out + x * 3, width - x, true);
            if (x == width) break;
            const uint8_t* p = in + x * 4;
            uint8_t* q = out + x * 3;
            q[0] = OverWhite(p[2], p[3]);
            q[1] = OverWhite(p[1], p[3]);
            q[2] = OverWhite(p[0], p[3]);
        }
        return;
    }
    const int32_t sourceBytes = sourceBits / 8;
    for (int32_t x = 0; x < width; ++x, in += sourceBytes, out += 4) {
        const uint32_t alpha = sourceBytes == 4 ? in[3] : 255;
        out[0] = OverWhite(in[2], alpha);
        out[1] = OverWhite(in[1], alpha);
        out[2] = OverWhite(in[0], alpha);
        out[3] = 0;
    }
}

void PackIndices(const uint8_t* indices, uint8_t* out, int32_t width, int32_t depth) {
    if (depth == 8) {
        std::memcpy(out, indices, static_cast<size_t>(width));
        return;
    }
    const int32_t perByte = 8 / depth;
    for (int32_t x = 0; x < width; x += perByte) {
        uint32_t byte = 0;
        for (int32_t i = 0; i < perByte; ++i) {
            byte <<= depth;
            if (x + i < width) byte |= indices[x + i];
        }
        out[x / perByte] = static_cast<uint8_t>(byte);
    }
}

bool WriteDirectRows(BmpOutput& output, const uint8_t* pixels, int32_t width, int32_t height,
                     int64_t pitch, int32_t flags, int32_t sourceBits, int32_t depth,
                     int64_t rowBytes) {
    const int64_t dataBytes = int64_t{width} * (depth / 8);
    for (int32_t stored = 0; stored < height; ++stored) {
        const int32_t source = (flags & kRowsAsStored) != 0 ? stored : height - 1 - stored;
        const int64_t offset = kFileAndInfoHeaderBytes + int64_t{stored} * rowBytes;
        uint8_t* out = output.Space(offset);
        DirectRow(pixels + source * pitch, out, width, sourceBits, depth);
        std::memset(out + dataBytes, 0, static_cast<size_t>(rowBytes - dataBytes));
        if (!output.Commit(offset, rowBytes)) return false;
    }
    return true;
}

// Rows go top to bottom through the palette (so dithering carries its error down the picture)
// and each lands at its stored position.
bool WriteIndexedRows(BmpOutput& output, const uint8_t* pixels, int32_t width, int32_t height,
                      int64_t pitch, int32_t flags, int32_t options, int32_t sourceBits,
                      int32_t depth, int64_t rowBytes) {
    PaletteReduction reduction;
    if (!ReducePalette(&reduction, pixels, width, height, sourceBits, pitch, depth, options))
        return false;
    auto* indices = static_cast<uint8_t*>(AllocRaw(static_cast<uint64_t>(width)));
    bool written = indices != nullptr;
    const int64_t headerBytes = BmpHeaderBytes(depth);
    if (written) {
        uint8_t* palette = output.Space(kFileAndInfoHeaderBytes);
        for (int32_t i = 0; i < reduction.entries; ++i) {
            palette[i * 4] = reduction.colours[i][2];
            palette[i * 4 + 1] = reduction.colours[i][1];
            palette[i * 4 + 2] = reduction.colours[i][0];
            palette[i * 4 + 3] = 0;
        }
        written = output.Commit(kFileAndInfoHeaderBytes, headerBytes - kFileAndInfoHeaderBytes);
    }
    for (int32_t row = 0; written && row < height; ++row) {
        const int32_t stored = (flags & kRowsAsStored) != 0 ? row : height - 1 - row;
        const int64_t offset = headerBytes + int64_t{stored} * rowBytes;
        uint8_t* out = output.Space(offset);
        std::memset(out, 0, static_cast<size_t>(rowBytes));
        PaletteRow(&reduction, row, indices);
        PackIndices(indices, out, width, depth);
        written = output.Commit(offset, rowBytes);
    }
    FreeMemory(indices);
    EndPaletteReduction(&reduction);
    return written;
}

}  // namespace

// Layout of written files -------------------------------------------------------------------------

int64_t BmpRowBytes(int64_t width, int32_t depth) {
    if (!ValidDepth(depth) || width < 1) return 0;
    return (width * depth + 31) / 32 * 4;
}

int64_t BmpHeaderBytes(int32_t depth) {
    if (!ValidDepth(depth)) return 0;
    return depth > 8 ? kFileAndInfoHeaderBytes : kFileAndInfoHeaderBytes + (4 << depth);
}

// Writer ------------------------------------------------------------------------------------------

int64_t EncodeBmp(const char* path, const uint8_t* pixels, int32_t width, int32_t height,
                  int32_t pitch, int32_t flags, int32_t options, int32_t depth,
                  int32_t sourceBits) {
    if (!ValidDepth(depth) || pixels == nullptr || width < 1 || height < 1 ||
        (sourceBits != 24 && sourceBits != 32) || pitch < int64_t{width} * (sourceBits / 8)) {
        return 0;
    }
    const int64_t rowBytes = BmpRowBytes(width, depth);
    const int64_t fileBytes = BmpHeaderBytes(depth) + rowBytes * height;
    if (fileBytes > UINT32_MAX) return 0;  // the header's size fields are 32 bits
    BmpOutput output;
    const bool open =
        path != nullptr ? output.OpenFile(path, rowBytes) : output.OpenMemory(fileBytes);
    if (!open) return 0;
    WriteHeaders(output.Space(0), width, height, depth, rowBytes);
    if (!output.Commit(0, kFileAndInfoHeaderBytes)) return 0;
    const bool written = depth > 8 ? WriteDirectRows(output, pixels, width, height, pitch, flags,
                                                     sourceBits, depth, rowBytes)
                                   : WriteIndexedRows(output, pixels, width, height, pitch, flags,
                                                      options, sourceBits, depth, rowBytes);
    return written ? output.Finish() : 0;
}

int64_t EncodeBmpFrom24(const char* path, const uint8_t* pixels, int32_t width, int32_t height,
                        int32_t pitch, int32_t flags, int32_t options, int32_t depth) {
    return EncodeBmp(path, pixels, width, height, pitch, flags, options, depth, 24);
}

int64_t EncodeBmpFrom32(const char* path, const uint8_t* pixels, int32_t width, int32_t height,
                        int32_t pitch, int32_t flags, int32_t options, int32_t depth) {
    return EncodeBmp(path, pixels, width, height, pitch, flags, options, depth, 32);
}

// Registration ------------------------------------------------------------------------------------

namespace {
constexpr ImageDecoderEntry kBmpDecoder{CheckBmp, DecodeBmp, FinishBmp, kBmpTag};
constexpr ImageEncoderEntry kBmpEncoder{kBmpTag, EncodeBmpFrom24, EncodeBmpFrom32};
}  // namespace

void RegisterBmpCodec() {
    RegisterImageDecoder(&kBmpDecoder);
    RegisterImageEncoder(&kBmpEncoder);
}

const ImageDecoderEntry* BmpDecoderEntry() {
    return &kBmpDecoder;
}

const ImageEncoderEntry* BmpEncoderEntry() {
    return &kBmpEncoder;
}

}  // namespace vorlune
