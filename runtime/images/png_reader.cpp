// The PNG reader. The check reads the header; each decode reads the file again from its start,
// so that it can be called more than once, and keeps nothing in the decoder area. libpng checks
// every chunk's CRC (a damaged ancillary chunk refuses the file as a damaged critical one does) and
// treats its "benign" errors as errors: a file that is not sound is refused rather than half shown.
#include <cstdio>
#include <cstring>

#include "runtime/images/png.h"
#include "runtime/images/png_library.h"

namespace vorlune {

namespace {

constexpr uint8_t kPngSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};
constexpr int64_t kInflateSlackBytes = 4096;  // block headers and the stream's first bytes

// Where libpng's reads come from. Plain data, since an error jumps over the frames that use it.
struct PngSource {
    const uint8_t* memory;
    FILE* file;
    int64_t length;
    int64_t position;
};

struct PngHeader {
    png_uint_32 width;
    png_uint_32 height;
    int bitDepth;
    int colourType;
    int interlace;
    int fileBits;  // bits per pixel stored in the file
    bool alpha;    // an alpha channel or a tRNS chunk
};

struct PngReading {
    PngSource source;
    png_infop info;
    PngHeader header;
    png_uint_32 width;  // decoding: what the check found, and the destination
    png_uint_32 height;
    int32_t bytesPerPixel;
    uint8_t* pixels;
    int64_t pitch;
};

void ReadFromSource(png_structp png, png_bytep out, size_t count) {
    auto* source = static_cast<PngSource*>(png_get_io_ptr(png));
    if (count > static_cast<uint64_t>(source->length - source->position)) png_error(png, "cut");
    if (source->memory != nullptr) {
        std::memcpy(out, source->memory + source->position, count);
    } else if (std::fread(out, 1, count, source->file) != count) {
        png_error(png, "cut");
    }
    source->position += static_cast<int64_t>(count);
}

// From the start of the memory or of the file, which earlier checks may have read from.
bool OpenSource(const ImageCodecState* state, PngSource* source) {
    *source = {};
    if (state->fromMemory) {
        source->memory = state->sourceMemory;
        source->length = state->sourceLength;
        return source->memory != nullptr;
    }
    FILE* file = state->sourceFile;
    if (file == nullptr || std::fseek(file, 0, SEEK_END) != 0) return false;
    const long length = std::ftell(file);
    if (length < 0 || std::fseek(file, 0, SEEK_SET) != 0) return false;
    source->file = file;
    source->length = length;
    return true;
}

bool HasSignature(PngSource* source) {
    uint8_t signature[sizeof kPngSignature];
    if (source->length < static_cast<int64_t>(sizeof signature)) return false;
    if (source->memory != nullptr) {
        std::memcpy(signature, source->memory, sizeof signature);
    } else if (std::fread(signature, 1, sizeof signature, source->file) != sizeof signature) {
        return false;
    }
    source->position = sizeof signature;
    return std::memcmp(signature, kPngSignature, sizeof signature) == 0;
}

// Every pass reads the same way: limits, strict checks, and only tRNS of the ancillary chunks.
void ReadHeaderStep(png_structp png, void* context) {
    auto* reading = static_cast<PngReading*>(context);
    png_set_read_fn(png, &reading->source, ReadFromSource);
    png_set_sig_bytes(png, sizeof kPngSignature);
    png_set_user_limits(png, kMaxPngSide, kMaxPngSide);
    png_set_chunk_malloc_max(png, kMaxPngChunkBytes);
    png_set_crc_action(png, PNG_CRC_DEFAULT, PNG_CRC_ERROR_QUIT);
    png_set_benign_errors(png, 0);
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
    png_read_info(png, reading->info);

    PngHeader& header = reading->header;
    png_get_IHDR(png, reading->info, &header.width, &header.height, &header.bitDepth,
                 &header.colourType, &header.interlace, nullptr, nullptr);
    header.fileBits = header.bitDepth * png_get_channels(png, reading->info);
    header.alpha = (header.colourType & PNG_COLOR_MASK_ALPHA) != 0 ||
                   png_get_valid(png, reading->info, PNG_INFO_tRNS) != 0;
}

int32_t DecodedBytesPerPixel(const PngHeader& header) {
    return header.alpha ? 4 : 3;
}

// Palette images are read as one index a byte and looked up here, since libpng's own lookup lets
// an index past the palette through. Each row is spread from its end, so that no index is
// overwritten before it is read.
void LookUpIndices(png_structp png, const PngReading& reading) {
    png_colorp palette = nullptr;
    int entries = 0;
    png_get_PLTE(png, reading.info, &palette, &entries);
    png_bytep alpha = nullptr;
    int alphas = 0;
    if (png_get_valid(png, reading.info, PNG_INFO_tRNS) != 0)
        png_get_tRNS(png, reading.info, &alpha, &alphas, nullptr);
    const int32_t bytes = reading.bytesPerPixel;
    for (png_uint_32 y = 0; y < reading.height; ++y) {
        uint8_t* row = reading.pixels + y * reading.pitch;
        for (int64_t x = int64_t{reading.width} - 1; x >= 0; --x) {
            const int index = row[x];
            if (index >= entries) png_error(png, "index past the palette");
            uint8_t* out = row + x * bytes;
            out[0] = palette[index].red;
            out[1] = palette[index].green;
            out[2] = palette[index].blue;
            if (bytes == 4) out[3] = index < alphas ? alpha[index] : 255;
        }
    }
}

// Red, green, blue (and alpha) of 8 bits, written straight into the destination's rows; an
// interlaced image fills each row over its passes. The file must still be the one checked.
void DecodeStep(png_structp png, void* context) {
    ReadHeaderStep(png, context);
    auto* reading = static_cast<PngReading*>(context);
    const PngHeader& header = reading->header;
    if (header.width != reading->width || header.height != reading->height ||
        DecodedBytesPerPixel(header) != reading->bytesPerPixel) {
        png_error(png, "changed");
    }
    const bool indexed = header.colourType == PNG_COLOR_TYPE_PALETTE;
    if (indexed) {
        png_set_packing(png);
    } else {
        png_set_expand(png);
        png_set_scale_16(png);
        png_set_gray_to_rgb(png);
    }
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, reading->info);
    const size_t rowBytes = size_t{header.width} * (indexed ? 1 : reading->bytesPerPixel);
    if (png_get_rowbytes(png, reading->info) != rowBytes) png_error(png, "layout");
    for (int pass = 0; pass < passes; ++pass) {
        for (png_uint_32 y = 0; y < header.height; ++y)
            png_read_row(png, reading->pixels + y * reading->pitch, nullptr);
    }
    if (indexed) LookUpIndices(png, *reading);
    png_read_end(png, reading->info);
}

// One pass over the source with its own libpng structures.
bool ReadPng(const ImageCodecState* state, PngStep step, PngReading* reading) {
    if (!OpenSource(state, &reading->source) || !HasSignature(&reading->source)) return false;
    png_structp png = CreatePngReader(&reading->info);
    if (png == nullptr) return false;
    const bool read = RunPngStep(png, step, reading);
    DestroyPngReader(png, reading->info);
    return read;
}

// A lower bound of the bytes the rows inflate to: the samples, and a filter byte per row when
// the image is not interlaced (interlacing adds rows, but not every pass has pixels).
int64_t InflatedBytesAtLeast(const PngHeader& header) {
    const int64_t bits = int64_t{header.width} * header.fileBits;
    if (header.interlace == PNG_INTERLACE_NONE) return header.height * ((bits + 7) / 8 + 1);
    return (bits * header.height + 7) / 8;
}

bool WithinLimits(const PngHeader& header, int64_t length) {
    return int64_t{header.width} * header.height <= kMaxPngPixels &&
           InflatedBytesAtLeast(header) <= length * kMaxInflatedBytesPerByte + kInflateSlackBytes;
}

}  // namespace

// Reader ------------------------------------------------------------------------------------------

int32_t CheckPng(ImageCodecState* state) {
    PngReading reading{};
    if (!ReadPng(state, ReadHeaderStep, &reading)) return 0;
    const PngHeader& header = reading.header;
    if (!WithinLimits(header, reading.source.length)) return 0;
    state->width = static_cast<int32_t>(header.width);
    state->height = static_cast<int32_t>(header.height);
    state->depth = DecodedBytesPerPixel(header) * 8;
    state->fileDepth = header.fileBits;
    return 1;
}

int64_t DecodePng(ImageCodecState* state, uint8_t* pixels, int32_t pitch, int32_t) {
    PngReading reading{};
    reading.width = static_cast<png_uint_32>(state->width);
    reading.height = static_cast<png_uint_32>(state->height);
    reading.bytesPerPixel = state->depth / 8;
    reading.pixels = pixels;
    reading.pitch = pitch;
    if (pixels == nullptr || pitch < int64_t{state->width} * reading.bytesPerPixel) return 0;
    return ReadPng(state, DecodeStep, &reading) ? 1 : 0;
}

void FinishPng(ImageCodecState*) {}

}  // namespace vorlune
