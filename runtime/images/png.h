#pragma once
// The PNG codec on libpng: a reader for every colour type, bit depth and interlacing, and a
// writer of RGB, RGBA and palette files.

#include <cstdint>

#include "runtime/images/codecs.h"

namespace vorlune {

// Limits of the reader. Each side fits the image record's 16-bit fields and the whole image stays
// within 2^28 pixels, as for BMP. Deflate expands a byte into at most 1032, so a file whose rows
// (a filter byte and the samples each) would need more than 1032 bytes per byte of the file
// cannot hold its image and is refused before anything is inflated. Of the ancillary chunks only
// tRNS is read; the others are skipped (their checksums still checked), so a compressed text or
// profile is never inflated, and no chunk's data may exceed kMaxPngChunkBytes.
constexpr int64_t kMaxPngSide = 32767;
constexpr int64_t kMaxPngPixels = int64_t{1} << 28;
constexpr int64_t kMaxInflatedBytesPerByte = 1032;
constexpr int64_t kMaxPngChunkBytes = int64_t{8} << 20;

// Registration ------------------------------------------------------------------------------------
void RegisterPngCodec();  // the decoder and the encoder, both under kPngTag
const ImageDecoderEntry* PngDecoderEntry();
const ImageEncoderEntry* PngEncoderEntry();

// Reader: the decoder entry's operations. Depth 32 (red, green, blue, alpha) for files with an
// alpha channel or a tRNS chunk, else 24; 16-bit samples are rounded to 8 bits, no gamma applied.
int32_t CheckPng(ImageCodecState* state);  // accepts a sound signature and header
int64_t DecodePng(ImageCodecState* state, uint8_t* pixels, int32_t pitch,
                  int32_t flags);  // depth / 8 bytes per pixel; 0 for a short pitch or bad data
void FinishPng(ImageCodecState* state);

// Writer: depth 24 (RGB, pixels with alpha laid over white), 32 (RGBA), or a palette of 2, 16 or
// 256 entries at 1, 4 or 8 bits, from ReducePalette, with alpha (tRNS) when the source has any.
int64_t EncodePng(const char* path, const uint8_t* pixels, int32_t width, int32_t height,
                  int32_t pitch, int32_t flags, int32_t options, int32_t depth,
                  int32_t sourceBits);  // as ImageEncodeFunction; sourceBits 24 or 32
int64_t EncodePngFrom24(const char* path, const uint8_t* pixels, int32_t width, int32_t height,
                        int32_t pitch, int32_t flags, int32_t options, int32_t depth);
int64_t EncodePngFrom32(const char* path, const uint8_t* pixels, int32_t width, int32_t height,
                        int32_t pitch, int32_t flags, int32_t options, int32_t depth);

}  // namespace vorlune
