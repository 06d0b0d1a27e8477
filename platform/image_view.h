#pragma once
// Image views: views that show a native image at its natural size, top-left aligned and never
// scaled, optionally inside a groove frame. They are controls (platform/control.h).

#include <cstdint>

#include "platform/handles.h"
#include "platform/pixel_store.h"

namespace vorlune {

enum class ImageFrameStyle : int32_t { kNone = 0, kGroove = 3 };

constexpr double kGrooveFrameWidth = 2;  // on each side; the image starts inside it

// Image views ------------------------------------------------------------------------------------
NativeView CreateImageView(PlatformRect frame);  // null on failure; floating until placed
bool IsImageView(NativeView view);
void SetImageViewImage(NativeView view, NativeImage image);  // holds a reference and redraws
                                                             // at every recache; null clears
NativeImage ImageViewImage(NativeView view);                 // null when it shows none
void SetImageViewFrameStyle(NativeView view, ImageFrameStyle style);
ImageFrameStyle ImageViewFrameStyle(NativeView view);

}  // namespace vorlune
