// Windows of the in-memory platform: notifications are delivered at once, and programmatic
// geometry changes notify only windows on screen, as a toolkit does.
#include <algorithm>

#include "platform/headless/headless_state.h"
#include "platform/screen.h"
#include "platform/window.h"

namespace vorlune {

using headless::GetState;
using headless::HandleOf;
using headless::WindowOf;

namespace {

double TitleBarHeight(uint32_t style) {
    return (style & kWindowStyleTitled) != 0 ? headless::kTitleBarHeight : 0;
}

void BringToFront(headless::Window* window) {
    window->visible = true;
    window->orderStamp = GetState().nextOrderStamp++;
}

// Moves and resizes the frame, telling the delegate about what changed while on screen.
void ChangeFrame(headless::Window* window, PlatformRect frame) {
    const PlatformRect old = headless::FrameOf(*window);
    window->x = frame.x;
    window->y = frame.y;
    window->width = frame.width;
    window->height =
        frame.height - TitleBarHeight(window->style) - headless::MenuBarHeight(*window);
    if (!window->visible || window->delegate == nullptr) return;
    const NativeWindow handle = HandleOf(window);
    if (old.width != frame.width || old.height != frame.height) {
        window->delegate->windowDidResize(handle);
    }
    if (window->delegate != nullptr && (old.x != frame.x || old.y != frame.y)) {
        window->delegate->windowDidMove(handle);
    }
}

}  // namespace

namespace headless {

PlatformRect FrameOf(const Window& window) {
    return {window.x, window.y, window.width,
            window.height + TitleBarHeight(window.style) + MenuBarHeight(window)};
}

}  // namespace headless

NativeWindow CreateNativeWindow(double x, double y, double width, double height, uint32_t style) {
    headless::State& state = GetState();
    if (!state.running || !state.displayAvailable) return nullptr;
    auto* window = new headless::Window{};
    window->x = x;
    window->y = y;
    window->width = std::max(width, 0.0);
    window->height = std::max(height, 0.0);
    window->style = style;
    window->contentView = new headless::View{};
    window->contentView->frame = {0, 0, window->width, window->height};
    window->contentView->window = window;
    state.windows.push_back(window);
    return HandleOf(window);
}

void CloseNativeWindow(NativeWindow handle) {
    headless::Window* window = WindowOf(handle);
    if (window == nullptr) return;
    headless::State& state = GetState();
    if (window->delegate != nullptr) window->delegate->windowWillClose(handle);
    if (state.keyWindow == window) {
        state.keyWindow = nullptr;
        if (window->delegate != nullptr) window->delegate->windowDidResignKey(handle);
    }
    if (window->parent != nullptr) RemoveChildWindow(HandleOf(window->parent), handle);
    for (headless::Window* child : window->children)
        child->parent = nullptr;
    if (window->contentView != nullptr) headless::DestroyViewTree(window->contentView);
    std::erase(state.windows, window);
    delete window;
}

void SetWindowDelegate(NativeWindow window, WindowDelegate* delegate) {
    if (window != nullptr) WindowOf(window)->delegate = delegate;
}

WindowDelegate* GetWindowDelegate(NativeWindow window) {
    return window != nullptr ? WindowOf(window)->delegate : nullptr;
}

uint32_t WindowStyle(NativeWindow window) {
    return window != nullptr ? WindowOf(window)->style : 0;
}

void SetWindowTitle(NativeWindow window, const char16_t* title) {
    if (window != nullptr) WindowOf(window)->title = title != nullptr ? title : u"";
}

void SetWindowAcceptsMouseMovedEvents(NativeWindow window, bool accepts) {
    if (window != nullptr) WindowOf(window)->acceptsMouseMoved = accepts;
}

NativeView WindowContentView(NativeWindow window) {
    return window != nullptr ? HandleOf(WindowOf(window)->contentView) : nullptr;
}

void SetWindowContentView(NativeWindow handle, NativeView viewHandle) {
    headless::Window* window = WindowOf(handle);
    if (window == nullptr) return;
    headless::View* view = headless::ViewOf(viewHandle);
    if (view == window->contentView) return;
    if (window->contentView != nullptr) headless::DestroyViewTree(window->contentView);
    window->contentView = view;
    window->firstResponder = nullptr;
    if (view == nullptr) return;
    if (view->superview != nullptr) std::erase(view->superview->subviews, view);
    view->superview = nullptr;
    view->window = window;
    view->frame = {0, 0, window->width, window->height};
}

PlatformRect FrameRectForContentRect(PlatformRect content, uint32_t style) {
    const double titleBar = TitleBarHeight(style);
    return {content.x, content.y - titleBar, content.width, content.height + titleBar};
}

PlatformRect WindowFrame(NativeWindow window) {
    return window != nullptr ? headless::FrameOf(*WindowOf(window)) : PlatformRect{};
}

PlatformRect WindowContentRect(NativeWindow handle) {
    if (handle == nullptr) return {};
    const headless::Window* window = WindowOf(handle);
    return {window->x, window->y + TitleBarHeight(window->style) + headless::MenuBarHeight(*window),
            window->width, window->height};
}

void SetWindowFrameOrigin(NativeWindow handle, double x, double y) {
    headless::Window* window = WindowOf(handle);
    if (window == nullptr) return;
    const PlatformRect frame = headless::FrameOf(*window);
    ChangeFrame(window, {x, y, frame.width, frame.height});
}

void WindowContentMinSize(NativeWindow, double* width, double* height) {
    *width = 0;
    *height = 0;
}

void WindowContentMaxSize(NativeWindow, double* width, double* height) {
    *width = 3.4028234663852886e38;  // the largest float: no limit
    *height = 3.4028234663852886e38;
}

void OrderWindowFront(NativeWindow window) {
    if (window != nullptr) BringToFront(WindowOf(window));
}

void MakeWindowKeyAndOrderFront(NativeWindow window) {
    if (window == nullptr) return;
    BringToFront(WindowOf(window));
    MakeWindowKey(window);
}

void MakeWindowKey(NativeWindow handle) {
    headless::Window* window = WindowOf(handle);
    headless::State& state = GetState();
    if (window == nullptr || state.keyWindow == window) return;
    if (window->delegate != nullptr && !window->delegate->canBecomeKeyWindow()) return;
    headless::Window* old = state.keyWindow;
    state.keyWindow = window;
    if (old != nullptr && old->delegate != nullptr) {
        old->delegate->windowDidResignKey(HandleOf(old));
    }
    if (window->delegate != nullptr) window->delegate->windowDidBecomeKey(handle);
}

NativeWindow KeyWindow() {
    return HandleOf(GetState().keyWindow);
}

bool IsWindowKey(NativeWindow window) {
    return window != nullptr && GetState().keyWindow == WindowOf(window);
}

bool IsWindowVisible(NativeWindow window) {
    return window != nullptr && WindowOf(window)->visible && !WindowOf(window)->minimised;
}

void MinimiseWindow(NativeWindow handle) {
    headless::Window* window = WindowOf(handle);
    if (window == nullptr || window->minimised) return;
    window->minimised = true;
    headless::State& state = GetState();
    if (state.keyWindow == window) {
        state.keyWindow = nullptr;
        if (window->delegate != nullptr) window->delegate->windowDidResignKey(handle);
    }
    if (window->delegate != nullptr) window->delegate->windowDidMiniaturize(handle);
}

void ZoomWindow(NativeWindow handle) {
    headless::Window* window = WindowOf(handle);
    if (window == nullptr) return;
    const PlatformRect target = window->zoomed ? window->userFrame : MainScreenFrame();
    if (window->delegate != nullptr && !window->delegate->windowShouldZoom(handle, target)) return;
    if (!window->zoomed) window->userFrame = headless::FrameOf(*window);
    window->zoomed = !window->zoomed;
    ChangeFrame(window, target);
}

bool IsWindowMinimised(NativeWindow window) {
    return window != nullptr && WindowOf(window)->minimised;
}

bool IsWindowZoomed(NativeWindow window) {
    return window != nullptr && WindowOf(window)->zoomed;
}

void AddChildWindow(NativeWindow parentHandle, NativeWindow childHandle) {
    headless::Window* parent = WindowOf(parentHandle);
    headless::Window* child = WindowOf(childHandle);
    if (parent == nullptr || child == nullptr || child->parent == parent) return;
    if (child->parent != nullptr) std::erase(child->parent->children, child);
    child->parent = parent;
    parent->children.push_back(child);
}

void RemoveChildWindow(NativeWindow parentHandle, NativeWindow childHandle) {
    headless::Window* parent = WindowOf(parentHandle);
    headless::Window* child = WindowOf(childHandle);
    if (parent == nullptr || child == nullptr || child->parent != parent) return;
    std::erase(parent->children, child);
    child->parent = nullptr;
}

PlatformRect MainScreenFrame() {
    const headless::State& state = GetState();
    if (state.screenWidth <= 0 || state.screenHeight <= 0) return {};
    return {state.screenX, state.screenY, state.screenWidth, state.screenHeight};
}

// The in-memory screen has no panels or docks.
PlatformRect MainScreenWorkArea() {
    return MainScreenFrame();
}

}  // namespace vorlune
