#pragma once
// Image codecs: decoder and encoder registries, decoding, numbered images from and to files.

#include <cstdint>
#include <cstdio>

namespace vorlune {

// Format tags hold the format's letters from the low byte up.
constexpr uint32_t kBmpTag = 0x504D42;  // "BMP"
constexpr uint32_t kPngTag = 0x474E50;  // "PNG"

// Flags and options -------------------------------------------------------------------------------
constexpr int32_t kRowsAsStored = 2;       // decode: the first stored row is row 0; encode: source
                                           // row i is stored row i (otherwise top row first)
constexpr int32_t kPaletteDither = 0x100;  // encode options: Floyd-Steinberg at depths 4 and 8

struct ImageCodecState;

struct ImageDecoderEntry {
    int32_t (*check)(ImageCodecState* state);  // non-zero: accepts, and has set the geometry
    int64_t (*decode)(ImageCodecState* state, uint8_t* pixels, int32_t pitch,
                      int32_t flags);  // depth / 8 bytes per pixel; 1 when decoded, 0 when refused
    void (*finish)(ImageCodecState* state);
    uint32_t tag;
};

// Pixels are width x 3 (red, green, blue) or width x 4 (red, green, blue, alpha) bytes per row.
// path null: encode into memory and answer the AllocBlock'd file (FreeBlock it; BlockLength is its
// size); otherwise answer 1 once the file is written. 0 on failure, nothing left behind.
using ImageEncodeFunction = int64_t (*)(const char* path, const uint8_t* pixels, int32_t width,
                                        int32_t height, int32_t pitch, int32_t flags,
                                        int32_t options, int32_t depth);

struct ImageEncoderEntry {
    uint32_t tag;
    ImageEncodeFunction encodeFrom24;
    ImageEncodeFunction encodeFrom32;
};

constexpr int32_t kDecoderAreaBytes = 64;

struct ImageCodecState {
    const ImageDecoderEntry* acceptedDecoder;
    FILE* sourceFile;  // owned while a file is being decoded
    const uint8_t* sourceMemory;
    int32_t sourceLength;
    int32_t fromMemory;
    int32_t width;  // set by the accepting decoder
    int32_t height;
    int32_t depth;  // of the decoded pixels: 24 (red, green, blue) or 32 (and alpha)
    alignas(8) uint8_t decoderArea[kDecoderAreaBytes];  // the decoder's own; zeroed before checks
    int32_t fileDepth;                                  // bits per pixel in the file
    int32_t frameCount;                                 // 1 after identifying
    int32_t currentFrame;                               // 0 after identifying
};

// Start-up and registries -------------------------------------------------------------------------
void InitImageCodecs();  // empty registries and a zeroed state block; again: starts over
int32_t RegisterImageDecoder(const ImageDecoderEntry* entry);  // the new count; unchanged when
                                                               // full, null or before start-up
int32_t RegisterImageEncoder(const ImageEncoderEntry* entry);  // likewise
int32_t ImageDecoderCount();
int32_t ImageEncoderCount();
const ImageEncoderEntry* FindImageEncoder(uint32_t tag);  // null when none has the tag
ImageCodecState* ImageCodecStateBlock();                  // null before start-up

// Decoding (one image at a time) ------------------------------------------------------------------
uint32_t IdentifyImage(const void* address, int64_t length);         // the accepting tag, or 0
uint32_t IdentifyImageFile(const char* path);                        // the accepting tag, or 0
int64_t DecodeImage(uint8_t* pixels, int32_t pitch, int32_t flags);  // 0 without an accepted image
void EndImageDecoding();  // the decoder's finish, closes the file; then nothing is accepted

// What the accepting decoder found (0 before) -----------------------------------------------------
int64_t DecodedImageWidth();
int64_t DecodedImageHeight();
int64_t DecodedImageDepth();
int64_t DecodedImageFileDepth();
int64_t DecodedImageFrameCount();
int64_t DecodedImageCurrentFrame();

// Numbered images, as CreateImage answers: 0 on failure, and then an existing image is kept -------
int64_t LoadImage(int64_t number, const char* path);  // the file's alpha, else opaque; created
                                                      // depth = file depth
int64_t LoadImageFromMemory(int64_t number, const void* address, int64_t length);
int32_t SaveImage(int64_t number, const char* path, uint32_t tag, int32_t depth,
                  int32_t options);  // 1 when written; 0 without the image, encoder or file

}  // namespace vorlune
