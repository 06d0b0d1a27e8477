// OpenGL views and the pointer of the in-memory platform: contexts are records of the state
// set on them, the cursor is a position and the mouse a movement waiting to be taken.
#include <algorithm>
#include <cmath>

#include "platform/cursor.h"
#include "platform/gl_view.h"
#include "platform/headless/headless_state.h"
#include "platform/view.h"

namespace vorlune {

using headless::GetState;
using headless::HandleOf;
using headless::View;
using headless::ViewKind;
using headless::ViewOf;

namespace {

View* GLViewOf(NativeView handle) {
    return ViewOf(handle, ViewKind::kGL);
}

// The context is the view itself, once realised.
View* ContextView(NativeGLContext context) {
    return reinterpret_cast<View*>(context);
}

int32_t TakeWhole(double* pending) {
    const double whole = std::clamp(std::trunc(*pending), -2147483647.0, 2147483647.0);
    *pending -= whole;
    return static_cast<int32_t>(whole);
}

}  // namespace

// OpenGL views ---------------------------------------------------------------------------------

NativeView CreateGLView(PlatformRect frame) {
    auto* view = new View{};
    view->frame = frame;
    view->kind = ViewKind::kGL;
    return HandleOf(view);
}

bool IsGLView(NativeView view) {
    return GLViewOf(view) != nullptr;
}

NativeGLContext GLViewContext(NativeView handle) {
    View* view = GLViewOf(handle);
    if (view == nullptr || ViewWindow(handle) == nullptr || !GetState().glAvailable) return nullptr;
    view->gl.realised = true;
    return reinterpret_cast<NativeGLContext>(view);
}

void SetGLSwapInterval(NativeGLContext context, int32_t interval) {
    if (context != nullptr) ContextView(context)->gl.swapInterval = interval;
}

void MakeGLContextCurrent(NativeGLContext context) {
    GetState().currentGLView = ContextView(context);
}

void EnableGLDepthTest(NativeGLContext context) {
    if (context != nullptr) ContextView(context)->gl.depthTest = true;
}

void SetGLViewport(NativeGLContext context, int32_t width, int32_t height) {
    if (context == nullptr) return;
    ContextView(context)->gl.viewportWidth = width;
    ContextView(context)->gl.viewportHeight = height;
}

void ClearGLBuffers(NativeGLContext context) {
    if (context != nullptr) ++ContextView(context)->gl.clears;
}

void DeleteGLTexture(NativeGLContext context, uint32_t texture) {
    if (context != nullptr) GetState().deletedTextures.push_back(texture);
}

double DisplayRefreshRate(NativeWindow window) {
    return window != nullptr ? GetState().refreshRate : 0;
}

// The pointer ----------------------------------------------------------------------------------

void HideCursor() {
    GetState().cursorHidden = true;
}

void ShowCursor() {
    GetState().cursorHidden = false;
}

bool IsCursorHidden() {
    return GetState().cursorHidden;
}

void WarpCursor(double x, double y) {
    headless::State& state = GetState();
    state.cursorX = x;
    state.cursorY = y;
    ++state.cursorWarps;
}

void TakeMouseDelta(int32_t* deltaX, int32_t* deltaY) {
    headless::State& state = GetState();
    *deltaX = TakeWhole(&state.mouseDeltaX);
    *deltaY = TakeWhole(&state.mouseDeltaY);
}

}  // namespace vorlune
