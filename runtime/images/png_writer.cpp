// The PNG writer: rows top first, not interlaced, with libpng's default filters and compression;
// no ancillary chunk but tRNS. Files are saved whole or not at all (AtomicSave); memory output
// grows one block.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "runtime/core/memory.h"
#include "runtime/images/atomic_save.h"
#include "runtime/images/palette.h"
#include "runtime/images/pixel_rows.h"
#include "runtime/images/png.h"
#include "runtime/images/png_library.h"

namespace vorlune {

namespace {

constexpr int64_t kFirstBlockBytes = 4096;

bool ValidDepth(int32_t depth) {
    return depth == 1 || depth == 4 || depth == 8 || depth == 24 || depth == 32;
}

// Where libpng's output goes: the file being saved, or a memory block grown as needed. Plain
// data, since an error jumps over the frames that use it.
struct PngSink {
    AtomicSave* file;
    uint8_t* block;
    int64_t capacity;
    int64_t length;
};

bool GrowBlock(PngSink* sink, int64_t needed) {
    if (needed <= sink->capacity) return true;
    const int64_t capacity = std::max(needed, std::max(sink->capacity * 2, kFirstBlockBytes));
    void* grown = sink->block == nullptr
                      ? AllocBlockUncleared(static_cast<uint64_t>(capacity))
                      : ResizeBlockUncleared(sink->block, static_cast<uint64_t>(capacity));
    if (grown == nullptr) return false;
    sink->block = static_cast<uint8_t*>(grown);
    sink->capacity = capacity;
    return true;
}

void WriteToSink(png_structp png, png_bytep bytes, size_t count) {
    auto* sink = static_cast<PngSink*>(png_get_io_ptr(png));
    const auto size = static_cast<int64_t>(count);
    if (sink->file != nullptr) {
        if (!sink->file->WriteAt(sink->length, bytes, size)) png_error(png, "write");
    } else {
        if (!GrowBlock(sink, sink->length + size)) png_error(png, "memory");
        std::memcpy(sink->block + sink->length, bytes, count);
    }
    sink->length += size;
}

void FlushSink(png_structp) {}

// The block cut to the file's length, so that BlockLength tells it; 0 when that fails.
int64_t TakeBlock(PngSink* sink) {
    void* exact = ResizeBlockUncleared(sink->block, static_cast<uint64_t>(sink->length));
    if (exact == nullptr) {
        FreeBlock(sink->block);
        return 0;
    }
    sink->block = nullptr;
    return static_cast<int64_t>(reinterpret_cast<intptr_t>(exact));
}

struct PngJob {
    PngSink sink;
    png_infop info;
    const uint8_t* pixels;
    int32_t width;
    int32_t height;
    int64_t pitch;
    int32_t sourceBits;
    int32_t depth;
    PaletteReduction* reduction;  // at 1, 4 and 8 bits
    bool transparentPalette;
    uint8_t* row;  // width x 4 bytes
};

bool HasTransparency(const uint8_t* pixels, int32_t width, int32_t height, int64_t pitch) {
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* row = pixels + y * pitch;
        for (int32_t x = 0; x < width; ++x) {
            if (row[x * 4 + 3] != 255) return true;
        }
    }
    return false;
}

// Source row y as the file stores it: indices, or red, green, blue (and alpha).
const uint8_t* StoredRow(PngJob* job, int32_t y) {
    const uint8_t* in = job->pixels + y * job->pitch;
    if (job->depth <= 8) {
        PaletteRow(job->reduction, y, job->row);
        return job->row;
    }
    if (job->depth == job->sourceBits) return in;
    uint8_t* out = job->row;
    for (int32_t x = 0; x < job->width; ++x) {
        if (job->depth == 32) {
            std::memcpy(out + x * 4, in + x * 3, 3);
            out[x * 4 + 3] = 255;
        } else {
            const uint8_t* p = in + x * 4;
            for (int c = 0; c < 3; ++c)
                out[x * 3 + c] = OverWhite(p[c], p[3]);
        }
    }
    return out;
}

void SetPalette(png_structp png, const PngJob& job) {
    const PaletteReduction& reduction = *job.reduction;
    png_color colours[kMaxPaletteEntries]{};
    png_byte alpha[kMaxPaletteEntries]{};
    int32_t lastTransparent = -1;
    for (int32_t i = 0; i < reduction.entries; ++i) {
        colours[i] = {reduction.colours[i][0], reduction.colours[i][1], reduction.colours[i][2]};
        alpha[i] = reduction.colours[i][3];
        if (alpha[i] != 255) lastTransparent = i;
    }
    png_set_PLTE(png, job.info, colours, reduction.entries);
    if (job.transparentPalette && lastTransparent >= 0)
        png_set_tRNS(png, job.info, alpha, lastTransparent + 1, nullptr);
}

void WriteStep(png_structp png, void* context) {
    auto* job = static_cast<PngJob*>(context);
    png_set_write_fn(png, &job->sink, WriteToSink, FlushSink);
    const bool indexed = job->depth <= 8;
    const int colourType = indexed            ? PNG_COLOR_TYPE_PALETTE
                           : job->depth == 24 ? PNG_COLOR_TYPE_RGB
                                              : PNG_COLOR_TYPE_RGB_ALPHA;
    png_set_IHDR(png, job->info, static_cast<png_uint_32>(job->width),
                 static_cast<png_uint_32>(job->height), indexed ? job->depth : 8, colourType,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (indexed) SetPalette(png, *job);
    png_write_info(png, job->info);
    if (indexed) png_set_packing(png);
    for (int32_t y = 0; y < job->height; ++y)
        png_write_row(png, StoredRow(job, y));
    png_write_end(png, nullptr);
}

bool WritePng(PngJob* job) {
    png_structp png = CreatePngWriter(&job->info);
    const bool written = png != nullptr && RunPngStep(png, WriteStep, job);
    DestroyPngWriter(png, job->info);
    return written;
}

}  // namespace

// Writer ------------------------------------------------------------------------------------------

// Rows are stored top first whatever the flags: the top row is also the first stored one.
int64_t EncodePng(const char* path, const uint8_t* pixels, int32_t width, int32_t height,
                  int32_t pitch, int32_t, int32_t options, int32_t depth, int32_t sourceBits) {
    if (!ValidDepth(depth) || pixels == nullptr || width < 1 || height < 1 ||
        (sourceBits != 24 && sourceBits != 32) || pitch < int64_t{width} * (sourceBits / 8)) {
        return 0;
    }
    AtomicSave file;
    if (path != nullptr && !file.Open(path)) return 0;
    PngJob job{};
    job.sink.file = path != nullptr ? &file : nullptr;
    job.pixels = pixels;
    job.width = width;
    job.height = height;
    job.pitch = pitch;
    job.sourceBits = sourceBits;
    job.depth = depth;
    PaletteReduction reduction;
    if (depth <= 8) {
        if (!ReducePalette(&reduction, pixels, width, height, sourceBits, pitch, depth, options))
            return 0;
        job.reduction = &reduction;
        job.transparentPalette =
            depth > 1 && sourceBits == 32 && HasTransparency(pixels, width, height, pitch);
    }
    job.row = static_cast<uint8_t*>(AllocRaw(uint64_t(width) * 4));
    const bool written = job.row != nullptr && WritePng(&job);
    FreeMemory(job.row);
    if (depth <= 8) EndPaletteReduction(&reduction);
    if (!written) {
        FreeBlock(job.sink.block);
        return 0;
    }
    if (path != nullptr) return file.Commit() ? 1 : 0;
    return TakeBlock(&job.sink);
}

int64_t EncodePngFrom24(const char* path, const uint8_t* pixels, int32_t width, int32_t height,
                        int32_t pitch, int32_t flags, int32_t options, int32_t depth) {
    return EncodePng(path, pixels, width, height, pitch, flags, options, depth, 24);
}

int64_t EncodePngFrom32(const char* path, const uint8_t* pixels, int32_t width, int32_t height,
                        int32_t pitch, int32_t flags, int32_t options, int32_t depth) {
    return EncodePng(path, pixels, width, height, pitch, flags, options, depth, 32);
}

// Registration ------------------------------------------------------------------------------------

namespace {
constexpr ImageDecoderEntry kPngDecoder{CheckPng, DecodePng, FinishPng, kPngTag};
constexpr ImageEncoderEntry kPngEncoder{kPngTag, EncodePngFrom24, EncodePngFrom32};
}  // namespace

void RegisterPngCodec() {
    RegisterImageDecoder(&kPngDecoder);
    RegisterImageEncoder(&kPngEncoder);
}

const ImageDecoderEntry* PngDecoderEntry() {
    return &kPngDecoder;
}

const ImageEncoderEntry* PngEncoderEntry() {
    return &kPngEncoder;
}

}  // namespace vorlune
