// The control interface of the in-memory platform.
#include "platform/headless/control.h"

#include <algorithm>

#include "platform/headless/headless_state.h"
#include "platform/view.h"
#include "platform/window.h"

namespace vorlune {

using headless::GetState;
using headless::HandleOf;
using headless::ViewOf;
using headless::WindowOf;

namespace {

void AppendEvent(PlatformEvent event) {
    headless::Pending().PushBack(event);
}

PlatformEvent EventFor(NativeWindow window, int32_t type, uint32_t flags) {
    PlatformEvent event{};
    event.type = type;
    event.window = window;
    event.modifierFlags = flags & kDeviceIndependentFlagsMask;
    return event;
}

// The user acting on the window goes through the same frame change as the toolkit would.
void UserChangeFrame(headless::Window* window, PlatformRect frame) {
    const PlatformRect old = headless::FrameOf(*window);
    const double titleBar = old.height - window->height;
    window->x = frame.x;
    window->y = frame.y;
    window->width = frame.width;
    window->height = frame.height - titleBar;
    if (window->delegate == nullptr) return;
    if (old.width != frame.width || old.height != frame.height) {
        window->delegate->windowDidResize(HandleOf(window));
    }
    if (window->delegate != nullptr && (old.x != frame.x || old.y != frame.y)) {
        window->delegate->windowDidMove(HandleOf(window));
    }
}

}  // namespace

void ResetHeadlessPlatform() {
    headless::State& state = GetState();
    while (!state.windows.empty())
        CloseNativeWindow(HandleOf(state.windows.back()));
    const bool running = state.running;
    ApplicationDelegate* delegate = state.applicationDelegate;
    state = headless::State{};
    headless::Pending().Clear();
    state.running = running;
    state.applicationDelegate = delegate;
}

void SetHeadlessDisplayAvailable(bool available) {
    GetState().displayAvailable = available;
}

void SetHeadlessScreenSize(double width, double height) {
    GetState().screenWidth = width;
    GetState().screenHeight = height;
}

void SetHeadlessScreenOrigin(double x, double y) {
    GetState().screenX = x;
    GetState().screenY = y;
}

void SetHeadlessModifierFlags(uint32_t flags) {
    GetState().modifierFlags = flags;
}

void InjectKeyEvent(NativeWindow window, int32_t type, const char16_t* characters, uint32_t flags) {
    PlatformEvent event = EventFor(window, type, flags);
    for (int32_t i = 0; characters != nullptr && characters[i] != 0 && i < 2; ++i) {
        event.characters[i] = characters[i];
        event.characterCount = i + 1;
    }
    AppendEvent(event);
}

void InjectMouseEvent(NativeWindow window, int32_t type, double x, double y, int32_t clickCount,
                      uint32_t flags) {
    PlatformEvent event = EventFor(window, type, flags);
    event.x = x;
    event.y = y;
    event.clickCount = clickCount;
    if (type == kRightMouseDown || type == kRightMouseUp || type == kRightMouseDragged) {
        event.button = 1;
    } else if (type == kOtherMouseDown || type == kOtherMouseUp || type == kOtherMouseDragged) {
        event.button = 2;
    }
    AppendEvent(event);
}

void InjectWheelEvent(NativeWindow window, double deltaX, double deltaY, uint32_t flags) {
    PlatformEvent event = EventFor(window, kScrollWheel, flags);
    event.deltaX = deltaX;
    event.deltaY = deltaY;
    AppendEvent(event);
}

void DiscardPendingPlatformEvents() {
    headless::Pending().Clear();
}

int32_t PendingPlatformEventCount() {
    return headless::Pending().Count();
}

const PlatformEvent* PendingPlatformEventAt(int32_t index) {
    return headless::Pending().At(index);
}

void SetHeadlessBlockingWaits(bool blocking) {
    headless::Pending().SetBlockingWaits(blocking);
}

int32_t BlockedPlatformWaitCount() {
    return headless::Pending().BlockedWaits();
}

void RunDuringNextWait(void (*action)(void* data), void* data) {
    GetState().waitActions.push_back({action, data});
}

bool PressCloseBox(NativeWindow handle) {
    headless::Window* window = WindowOf(handle);
    if (window == nullptr || (window->style & kWindowStyleClosable) == 0) return false;
    if (window->delegate != nullptr && !window->delegate->windowShouldClose(handle)) return false;
    CloseNativeWindow(handle);
    return true;
}

void ClickWindow(NativeWindow window) {
    MakeWindowKeyAndOrderFront(window);
}

void UserMoveWindow(NativeWindow handle, double x, double y) {
    headless::Window* window = WindowOf(handle);
    if (window == nullptr) return;
    const PlatformRect frame = headless::FrameOf(*window);
    UserChangeFrame(window, {x, y, frame.width, frame.height});
}

void UserResizeWindow(NativeWindow handle, double width, double height) {
    headless::Window* window = WindowOf(handle);
    if (window == nullptr) return;
    const PlatformRect frame = headless::FrameOf(*window);
    window->zoomed = false;
    UserChangeFrame(window, {frame.x, frame.y, width, height + frame.height - window->height});
}

void UserMinimiseWindow(NativeWindow window) {
    MinimiseWindow(window);
}

void UserRestoreWindow(NativeWindow handle) {
    headless::Window* window = WindowOf(handle);
    if (window == nullptr || !window->minimised) return;
    window->minimised = false;
    if (window->delegate != nullptr) window->delegate->windowDidDeminiaturize(handle);
}

void UserZoomWindow(NativeWindow window) {
    ZoomWindow(window);
}

void DisplayHeadlessWindow(NativeWindow handle) {
    headless::Window* window = WindowOf(handle);
    if (window != nullptr && window->contentView != nullptr) {
        headless::DisplayViewTree(window->contentView, true);
    }
}

TerminateReply SendQuitRequest() {
    ApplicationDelegate* delegate = GetState().applicationDelegate;
    return delegate != nullptr ? delegate->applicationShouldTerminate()
                               : TerminateReply::kTerminateCancel;
}

int32_t HeadlessWindowCount() {
    return static_cast<int32_t>(GetState().windows.size());
}

NativeWindow HeadlessWindowAt(int32_t index) {
    const auto& windows = GetState().windows;
    if (index < 0 || index >= static_cast<int32_t>(windows.size())) return nullptr;
    return HandleOf(windows[static_cast<size_t>(index)]);
}

bool InspectHeadlessWindow(NativeWindow handle, HeadlessWindowInfo* info) {
    const headless::Window* window = WindowOf(handle);
    if (window == nullptr) return false;
    *info = HeadlessWindowInfo{};
    info->frame = WindowFrame(handle);
    info->content = WindowContentRect(handle);
    info->title = window->title.c_str();
    info->style = window->style;
    info->visible = window->visible;
    info->key = GetState().keyWindow == window;
    info->minimised = window->minimised;
    info->zoomed = window->zoomed;
    info->acceptsMouseMoved = window->acceptsMouseMoved;
    info->parent = HandleOf(window->parent);
    info->childCount = static_cast<int32_t>(window->children.size());
    info->contentView = HandleOf(window->contentView);
    info->orderStamp = window->orderStamp;
    info->menuBar = window->menuBar != nullptr ? window->menuBar->Description() : nullptr;
    return true;
}

NativeWindow HeadlessChildWindowAt(NativeWindow handle, int32_t index) {
    const headless::Window* window = WindowOf(handle);
    if (window == nullptr || index < 0 || index >= static_cast<int32_t>(window->children.size())) {
        return nullptr;
    }
    return HandleOf(window->children[static_cast<size_t>(index)]);
}

int32_t SubviewCount(NativeView view) {
    return view != nullptr ? static_cast<int32_t>(ViewOf(view)->subviews.size()) : 0;
}

NativeView SubviewAt(NativeView handle, int32_t index) {
    const headless::View* view = ViewOf(handle);
    if (view == nullptr || index < 0 || index >= static_cast<int32_t>(view->subviews.size())) {
        return nullptr;
    }
    return HandleOf(view->subviews[static_cast<size_t>(index)]);
}

int32_t ViewDrawCount(NativeView view) {
    return view != nullptr ? ViewOf(view)->drawCount : 0;
}

const char16_t* ViewToolTip(NativeView view) {
    return view != nullptr ? ViewOf(view)->toolTip.c_str() : u"";
}

int32_t SentEventCount() {
    return static_cast<int32_t>(GetState().sentEvents.size());
}

const PlatformEvent* SentEventAt(int32_t index) {
    const auto& events = GetState().sentEvents;
    if (index < 0 || index >= static_cast<int32_t>(events.size())) return nullptr;
    return &events[static_cast<size_t>(index)];
}

void ClearSentEvents() {
    GetState().sentEvents.clear();
}
int32_t WakeUpEventsPosted() {
    return headless::Pending().WakeUps();
}
int32_t PlatformWaitCount() {
    return GetState().waits;
}
bool IsHeadlessApplicationHidden() {
    return GetState().hidden;
}

void SetHandledEditActions(uint32_t mask) {
    GetState().handledEditActions = mask;
}

int32_t EditActionCount() {
    return static_cast<int32_t>(GetState().editActions.size());
}

EditAction EditActionAt(int32_t index) {
    return GetState().editActions.at(static_cast<size_t>(index));
}

}  // namespace vorlune

namespace vorlune {

namespace {

headless::View* DropDestinationAt(headless::Window* window, double x, double y) {
    const PlatformRect& frame = window->contentView->frame;
    headless::View* view = headless::HitTest(window->contentView, x + frame.x, y + frame.y);
    while (view != nullptr && !(view->acceptsDrops && view->delegate != nullptr))
        view = view->superview;
    return view;
}

}  // namespace

bool ReadImageViewPixel(NativeView handle, int32_t x, int32_t y, uint8_t rgba[4]) {
    const headless::View* view = ViewOf(handle);
    if (view == nullptr || view->kind != headless::ViewKind::kImage || view->image == nullptr) {
        return false;
    }
    const int32_t inset =
        view->frameStyle == ImageFrameStyle::kGroove ? static_cast<int32_t>(kGrooveFrameWidth) : 0;
    const int32_t width = static_cast<int32_t>(view->frame.width);
    const int32_t height = static_cast<int32_t>(view->frame.height);
    const int32_t imageX = x - inset;
    const int32_t imageY = y - inset;
    if (x < inset || y < inset || x >= width - inset || y >= height - inset ||
        imageX >= NativeImageWidth(view->image) || imageY >= NativeImageHeight(view->image)) {
        return false;
    }
    const uint8_t* pixel = NativeImagePixels(view->image) +
                           static_cast<int64_t>(imageY) * NativeImageBytesPerRow(view->image) +
                           static_cast<int64_t>(imageX) * 4;
    std::copy(pixel, pixel + 4, rgba);
    return true;
}

void PerformControlAction(NativeView view) {
    if (ControlTarget* target = GetControlTarget(view)) target->controlAction(view);
}

void SetHeadlessGLAvailable(bool available) {
    GetState().glAvailable = available;
}

bool InspectHeadlessGLView(NativeView handle, HeadlessGLInfo* info) {
    const headless::View* view = ViewOf(handle);
    if (view == nullptr || view->kind != headless::ViewKind::kGL) return false;
    const headless::GLState& gl = view->gl;
    *info = {gl.realised,      GetState().currentGLView == view,
             gl.swapInterval,  gl.depthTest,
             gl.viewportWidth, gl.viewportHeight,
             gl.clears};
    return true;
}

void SetHeadlessRefreshRate(double hertz) {
    GetState().refreshRate = hertz;
}

int32_t DeletedGLTextureCount() {
    return static_cast<int32_t>(GetState().deletedTextures.size());
}

uint32_t DeletedGLTextureAt(int32_t index) {
    return GetState().deletedTextures.at(static_cast<size_t>(index));
}

void MoveHeadlessMouse(double deltaX, double deltaY) {
    GetState().mouseDeltaX += deltaX;
    GetState().mouseDeltaY += deltaY;
}

void HeadlessCursorPosition(double* x, double* y) {
    *x = GetState().cursorX;
    *y = GetState().cursorY;
}

int32_t CursorWarpCount() {
    return GetState().cursorWarps;
}

bool InjectDrop(NativeWindow handle, const DragInfo& info) {
    headless::Window* window = WindowOf(handle);
    if (window == nullptr || window->contentView == nullptr) return false;
    headless::View* view = DropDestinationAt(window, info.x, info.y);
    if (view == nullptr) return false;
    const NativeView destination = HandleOf(view);
    if (view->delegate->draggingEntered(destination, info) == kDragOperationNone) return false;
    if (view->delegate->draggingUpdated(destination, info) == kDragOperationNone) return false;
    if (!view->delegate->prepareForDragOperation(destination, info)) return false;
    if (!view->delegate->performDragOperation(destination, info)) return false;
    view->delegate->concludeDragOperation(destination, info);
    return true;
}

}  // namespace vorlune
