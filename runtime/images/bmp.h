#pragma once
// The BMP codec: a reader for the common variants and a writer at depths 1, 4, 8, 24 and 32.

#include <cstdint>

#include "runtime/images/codecs.h"

namespace vorlune {

// Limits of the reader: each side fits the image record's 16-bit fields and the whole image
// stays within 2^28 pixels (1 GiB as four-byte pixels). Uncompressed files must hold all their
// pixels; a run-length file may claim at most 4096 pixels per byte of run-length data (but always
// 2^20), so that a few bytes cannot ask for a huge image.
constexpr int64_t kMaxBmpSide = 32767;
constexpr int64_t kMaxBmpPixels = int64_t{1} << 28;
constexpr int64_t kMaxRunLengthPixelsPerByte = 4096;
constexpr int64_t kRunLengthPixelsAlwaysAllowed = int64_t{1} << 20;

// Registration ------------------------------------------------------------------------------------
void RegisterBmpCodec();  // the decoder and the encoder, both under kBmpTag
const ImageDecoderEntry* BmpDecoderEntry();
const ImageEncoderEntry* BmpEncoderEntry();

// Reader: the decoder entry's operations ----------------------------------------------------------
int32_t CheckBmp(ImageCodecState* state);  // accepts only a file whose headers are sound
int64_t DecodeBmp(ImageCodecState* state, uint8_t* pixels, int32_t pitch,
                  int32_t flags);  // 3 bytes per pixel; 0 for pitch < width x 3 or bad pixel data
void FinishBmp(ImageCodecState* state);

// Writer ------------------------------------------------------------------------------------------
int64_t EncodeBmp(const char* path, const uint8_t* pixels, int32_t width, int32_t height,
                  int32_t pitch, int32_t flags, int32_t options, int32_t depth,
                  int32_t sourceBits);  // as ImageEncodeFunction; sourceBits 24 or 32
int64_t EncodeBmpFrom24(const char* path, const uint8_t* pixels, int32_t width, int32_t height,
                        int32_t pitch, int32_t flags, int32_t options, int32_t depth);
int64_t EncodeBmpFrom32(const char* path, const uint8_t* pixels, int32_t width, int32_t height,
                        int32_t pitch, int32_t flags, int32_t options, int32_t depth);

// Layout of written files -------------------------------------------------------------------------
int64_t BmpRowBytes(int64_t width, int32_t depth);  // padded to 4 bytes; 0 for other depths
int64_t BmpHeaderBytes(int32_t depth);              // 54 plus the palette; 0 for other depths

}  // namespace vorlune
