#pragma once
// OpenGL views: a drawing surface with a context of its own, and the refresh rate of the
// display a window is on.

#include <cstdint>

#include "platform/handles.h"

namespace vorlune {

struct NativeGLContextHandle;
using NativeGLContext = NativeGLContextHandle*;

// Views ------------------------------------------------------------------------------------------
NativeView CreateGLView(PlatformRect frame);  // null on failure; floating until placed
bool IsGLView(NativeView view);
// The context is made once the view is in a window: null while it is not, or when OpenGL
// cannot be realised there (no usable driver). The view owns it.
NativeGLContext GLViewContext(NativeView view);

// Context state ----------------------------------------------------------------------------------
void SetGLSwapInterval(NativeGLContext context, int32_t interval);  // 0 free, 1 synchronised
void MakeGLContextCurrent(NativeGLContext context);
void EnableGLDepthTest(NativeGLContext context);  // depth function less-or-equal
void SetGLViewport(NativeGLContext context, int32_t width, int32_t height);  // from (0, 0)
void ClearGLBuffers(NativeGLContext context);                                // colour and depth
void DeleteGLTexture(NativeGLContext context, uint32_t texture);

// Displays ---------------------------------------------------------------------------------------
double DisplayRefreshRate(NativeWindow window);  // Hz of the window's display; 0 when unknown

}  // namespace vorlune
