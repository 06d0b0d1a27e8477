#pragma once
// Native images: reference-counted pixel stores that images hand out and image views show.

#include <cstdint>

namespace vorlune {

// Pixels are width x 4 bytes per row without gaps: red, green, blue, alpha (not premultiplied),
// top row first. A view that shows an image holds a reference, so the pixels outlive the image.
// The pixel memory of the last images freed is kept for new images of the same size: fresh
// memory costs a page fault per page on first touch.
struct NativeImageObject;
using NativeImage = NativeImageObject*;

using RecacheCallback = void (*)(void* observer, NativeImage image);

// Lifetime ------------------------------------------------------------------------------------
NativeImage CreateNativeImage(int32_t width, int32_t height);  // one reference, pixels zeroed;
                                                               // null for a size below 1 or
                                                               // when memory is short
NativeImage CreateFilledNativeImage(int32_t width, int32_t height,
                                    uint32_t pixel);  // as above, every pixel red bits 0-7,
                                                      // green 8-15, blue 16-23, alpha 24-31
void RetainNativeImage(NativeImage image);            // null does nothing
void ReleaseNativeImage(NativeImage image);        // frees at the last reference; null does nothing
int32_t NativeImageReferences(NativeImage image);  // 0 for null

// Geometry and pixels ---------------------------------------------------------------------------
int32_t NativeImageWidth(NativeImage image);        // 0 for null
int32_t NativeImageHeight(NativeImage image);       // 0 for null
int32_t NativeImageBytesPerRow(NativeImage image);  // width x 4; 0 for null
uint8_t* NativeImagePixels(NativeImage image);      // null for null

// Views that show the image ---------------------------------------------------------------------
bool AddRecacheObserver(NativeImage image, RecacheCallback callback,
                        void* observer);  // false when out of memory; a pair is kept once
void RemoveRecacheObserver(NativeImage image, RecacheCallback callback, void* observer);
void RecacheNativeImage(NativeImage image);  // calls each observer once; observers may add or
                                             // remove observers from inside the call

}  // namespace vorlune
