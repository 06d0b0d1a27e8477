#pragma once
// Drawing images into the output through the clipping blitter, and grabbing an area as an image.

#include <cstdint>

#include "platform/pixel_store.h"
#include "runtime/drawing/context.h"

namespace vorlune {

// On the current context (clip-relative coordinates; nothing happens without a context) -----------
void DrawImage(NativeImage image, int32_t x, int32_t y);
void DrawImageSized(NativeImage image, int32_t x, int32_t y, int32_t w,
                    int32_t h);  // nothing for a size outside 1..32767 or short of memory
void DrawImageAlpha(NativeImage image, int32_t x, int32_t y, int32_t opacity);  // 0..255
int64_t GrabImage(int64_t number, int32_t x, int32_t y, int32_t w,
                  int32_t h);  // as the grabImage slot; 0 without a context

// Slot operations ---------------------------------------------------------------------------------
void DrawImageOf(DrawingContext* context, NativeImage image, int32_t x, int32_t y);
void DrawImageSizedOf(DrawingContext* context, NativeImage image, int32_t x, int32_t y, int32_t w,
                      int32_t h);
void DrawImageAlphaOf(DrawingContext* context, NativeImage image, int32_t x, int32_t y,
                      int32_t opacity);
int64_t GrabImageOf(DrawingContext* context, int64_t number, int32_t x, int32_t y, int32_t w,
                    int32_t h);  // the native image, the number for AnyNumber, 0 on failure

// The blitter: w x h source pixels (red, green, blue, alpha) at (x, y) by the drawing mode --------
void BlitPixels(DrawingContext* context, const uint8_t* source, int64_t sourcePitch, int32_t x,
                int32_t y, int32_t w, int32_t h, int32_t opacity, int32_t alphaFlag);

}  // namespace vorlune
