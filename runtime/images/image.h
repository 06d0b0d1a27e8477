#pragma once
// Numbered images: pixel memory behind a native image, and the drawing output into it.

#include <cstdint>

#include "platform/pixel_store.h"
#include "runtime/core/registry.h"
#include "runtime/drawing/context.h"

namespace vorlune {

// One frame of a multi-frame image, a node of ImageRecord::frames.
struct ImageFrame {
    NativeImage image;  // owned reference
};

// Pixels are 4 bytes, red, green, blue, alpha (not premultiplied), rows top to bottom.
struct ImageRecord {
    NativeImage image;  // owned reference; non-null while the image exists (in-use word)
    uint8_t* bitmap;    // the native image's pixels
    int16_t pixelWidth;
    int16_t pixelHeight;
    int16_t storageDepth;  // always 32
    int16_t createdDepth;  // as the caller gave it: 24 for CreateImage
    int32_t frameCount;    // 1
    ListNode* frames;      // ImageFrame nodes; null for a single frame
    int32_t currentFrame;
};

// Fill modes at creation ------------------------------------------------------------------------
constexpr int32_t kImageFillNone = 0;     // pixels as allocated (zero): the caller copies them in
constexpr int32_t kImageFillColour = 1;   // every pixel the colour's red, green, blue, alpha 255
constexpr int32_t kImageFillClear = 2;    // transparent black
constexpr int32_t kMaxImageSide = 32767;  // the record's 16-bit sizes
constexpr int32_t kTransparentBackground = -1;

// Start-up and shutdown ---------------------------------------------------------------------------
void InitImageSystem();           // the registry, growth step 16; once
void EndImageSystem();            // frees every image
ObjectRegistry* ImageRegistry();  // null before InitImageSystem

// Images: 0 on failure; the native image as a number, or the number for AnyNumber -------------
int64_t CreateImage(int64_t number, int32_t width, int32_t height);  // opaque black
int64_t CreateImageWithDepth(int64_t number, int32_t width, int32_t height, int32_t depth);
int64_t CreateImageWithBackground(int64_t number, int32_t width, int32_t height, int32_t depth,
                                  int32_t background);  // -1: transparent black
ImageRecord* NewImageRecord(int64_t number, int32_t width, int32_t height, int32_t fillMode,
                            ColourValue colour);  // null on failure (the number is left free)
void FreeImage(int64_t number);                   // AnyNumber frees every image
ImageRecord* FindImage(int64_t number);           // null when there is no such image

// Accessors (0 or null when there is no such image) ----------------------------------------------
NativeImage ImageHandle(int64_t number);
int32_t ImageWidth(int64_t number);
int32_t ImageHeight(int64_t number);
int32_t ImageDepth(int64_t number, int32_t flag);  // flag -2: the created depth; else 32
constexpr int32_t kCreatedDepthFlag = -2;
// All four bytes, alpha included, also while drawing. Transparent black reads 0 as well: a pixel
// with 0 <= x < ImageWidth and 0 <= y < ImageHeight of an existing image is always read.
ColourValue ImagePixel(int64_t number, int32_t x, int32_t y);  // 0 without the image or outside

// Drawing output ----------------------------------------------------------------------------------
DrawingContext* ImageDrawTarget(int64_t number);  // current; null without the image or memory
void ReleaseImageOutput(DrawingContext* context, int32_t completed);  // recaches when completed

}  // namespace vorlune
