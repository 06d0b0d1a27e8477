#pragma once
// Opaque handles of the host's windows and views, and the rectangle they are measured in.

namespace vorlune {

// Each backend gives these its own meaning; the runtime only compares and passes them on.
struct NativeWindowHandle;
struct NativeViewHandle;
using NativeWindow = NativeWindowHandle*;
using NativeView = NativeViewHandle*;

// Points, y growing downwards: screen rectangles from the top-left of the main screen, view
// frames from the top-left of their superview.
struct PlatformRect {
    double x;
    double y;
    double width;
    double height;
};

}  // namespace vorlune
