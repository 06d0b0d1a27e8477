#include "runtime/screen/screen.h"

#include <cmath>
#include <new>

#include "platform/window.h"
#include "runtime/core/memory.h"
#include "runtime/events/event_queue.h"
#include "runtime/screen/keyboard.h"

namespace vorlune {

namespace {

constexpr int32_t kSpriteRegistryGrowBy = 64;
constexpr int32_t kScreenDepth = 32;
constexpr int32_t kSynchronised = 1;

ScreenState screen{};

int32_t SwapIntervalFor(int32_t synchronisation) {
    return synchronisation == 0 ? 0 : 1;
}

int32_t RefreshRateOf(NativeWindow window) {
    const double rate = DisplayRefreshRate(window);
    if (!(rate > 0 && rate < 100000)) return kDefaultRefreshRate;
    return static_cast<int32_t>(std::lround(rate));
}

// A size left after the margins; never below zero.
int32_t SpanWithin(double extent, int32_t start, int32_t margin) {
    const double span = extent - (static_cast<double>(start) + margin);
    return span > 0 ? static_cast<int32_t>(std::fmin(span, 2147483647.0)) : 0;
}

// The view is placed and watched; 0 when it cannot be, or no context can be made for it.
NativeGLContext PlaceView(NativeWindow window, NativeView view, ZkOpenGLView* delegate) {
    SetViewDelegate(view, delegate);
    const NativeView content = WindowContentView(window);
    if (content == nullptr) {
        DestroyView(view);
        return nullptr;
    }
    AddSubview(content, view);
    delegate->viewDidMoveToWindow(window);
    const NativeGLContext context = GLViewContext(view);
    if (context == nullptr) RemoveFromSuperview(view);
    return context;
}

void SetUp2D(int32_t width, int32_t height) {
    EnableGLDepthTest(screen.screenContext);
    SetGLViewport(screen.screenContext, width, height);
    screen.projectionLeft = 0;
    screen.projectionRight = width;
    screen.projectionBottom = 0;
    screen.projectionTop = height;
    screen.screenTextureTarget = kRectangleTextureTarget;
    ClearGLBuffers(screen.screenContext);
}

int32_t OpenScreen(NativeWindow window, int32_t x, int32_t y, int32_t width, int32_t height,
                   int32_t autoStretch, int32_t rightMargin, int32_t bottomMargin,
                   int32_t synchronisation) {
    CloseScreen();
    screen.screenWindow = window;
    screen.screenInWindow = 1;
    screen.screenRefreshRate = RefreshRateOf(window);
    screen.autoStretch = autoStretch;
    const NativeView view = CreateGLView({static_cast<double>(x), static_cast<double>(y),
                                          static_cast<double>(width), static_cast<double>(height)});
    auto* delegate = view != nullptr ? new (std::nothrow) ZkOpenGLView : nullptr;
    if (delegate == nullptr) {
        if (view != nullptr) DestroyView(view);
        return 0;
    }
    const NativeGLContext context = PlaceView(window, view, delegate);
    if (context == nullptr) return 0;
    SetGLSwapInterval(context, SwapIntervalFor(synchronisation));
    MakeGLContextCurrent(context);
    screen.screenContext = context;
    screen.screenView = view;
    SetWindowAcceptsMouseMovedEvents(window, true);
    if (screen.autoStretch != 0) {
        screen.stretchMargins[0] = x;
        screen.stretchMargins[1] = y;
        screen.stretchMargins[2] = rightMargin;
        screen.stretchMargins[3] = bottomMargin;
        ResizeScreenToWindow(window);
    }
    while (PollWindowEvent() != 0) {
    }
    // Events handled just now may have closed the window, and the screen with it.
    if (screen.screenContext != context) return 0;
    screen.screenWidth = width;
    screen.screenHeight = height;
    SetUp2D(width, height);
    // The viewport follows the stretched view, as every later resize makes it do.
    if (screen.autoStretch != 0) ResizeScreenToWindow(window);
    screen.screenHasFocus = 1;
    screen.screenDepth = kScreenDepth;
    return 1;
}

// The screen's view is going without CloseScreen (its window closed): the screen is closed
// with it, so that nothing refers to a view or context that no longer exists.
void LoseScreen() {
    screen.screenContext = nullptr;
    screen.screenView = nullptr;
    if (screen.spriteRegistry != nullptr) FreeAllObjects(screen.spriteRegistry);
    screen.screenInWindow = 0;
    screen.screenHasFocus = 0;
}

}  // namespace

// ZkOpenGLView -----------------------------------------------------------------------------------

void ZkOpenGLView::viewDidMoveToWindow(NativeWindow window) {
    AddWindowObserver(window, this);
}

void ZkOpenGLView::viewWillBeDestroyed(NativeView view) {
    RemoveWindowObserver(this);
    SetViewDelegate(view, nullptr);
    if (view == screen.screenView) LoseScreen();
    delete this;
}

void ZkOpenGLView::windowResized(NativeWindow window) {
    ResizeScreenToWindow(window);
}

void ZkOpenGLView::windowDidBecomeKey(NativeWindow) {
    screen.screenHasFocus = 1;
}

// Key releases now go to another window: keys held at this moment would never read as let go.
void ZkOpenGLView::windowDidResignKey(NativeWindow) {
    screen.screenHasFocus = 0;
    ReleaseHeldKeys();
}

// Screen system ----------------------------------------------------------------------------------

const ScreenState& CurrentScreen() {
    return screen;
}

ObjectRegistry* InitScreenSystem() {
    CreateObjectRegistryOnce(&screen.spriteRegistry, sizeof(SpriteRecord), kSpriteRegistryGrowBy,
                             FreeSprite);
    return screen.spriteRegistry;
}

void EndScreenSystem() {
    if (screen.spriteRegistry != nullptr) FreeAllObjects(screen.spriteRegistry);
}

void FreeSprite(int64_t number) {
    if (screen.spriteRegistry == nullptr) return;
    if (number == AnyNumber) {
        FreeAllObjects(screen.spriteRegistry);
        return;
    }
    auto* sprite = static_cast<SpriteRecord*>(GetObject(screen.spriteRegistry, number));
    if (sprite == nullptr) return;
    DeleteGLTexture(screen.screenContext, sprite->texture);
    if ((sprite->flags & kSpriteOwnsPixels) != 0) FreeBlock(sprite->pixels);
    FreeObject(screen.spriteRegistry, number);
}

// Screens ----------------------------------------------------------------------------------------

int32_t OpenScreenInWindow(NativeWindow window, int32_t x, int32_t y, int32_t width,
                           int32_t height) {
    return OpenScreen(window, x, y, width, height, 0, 0, 0, kSynchronised);
}

int32_t OpenScreenInWindowStretched(NativeWindow window, int32_t x, int32_t y, int32_t width,
                                    int32_t height, int32_t autoStretch, int32_t rightMargin,
                                    int32_t bottomMargin) {
    return OpenScreen(window, x, y, width, height, autoStretch, rightMargin, bottomMargin,
                      kSynchronised);
}

void CloseScreen() {
    if (screen.screenContext == nullptr) return;
    if (screen.spriteRegistry != nullptr) FreeAllObjects(screen.spriteRegistry);
    if (screen.screenInWindow != 0) {
        const NativeView view = screen.screenView;
        screen.screenView = nullptr;
        RemoveFromSuperview(view);
        screen.screenInWindow = 0;
    }
    screen.screenHasFocus = 0;
    screen.screenContext = nullptr;
}

void ResizeScreenToWindow(NativeWindow window) {
    if (screen.autoStretch == 0) return;
    const PlatformRect content = window != nullptr ? WindowContentRect(window) : PlatformRect{};
    const int32_t x = screen.stretchMargins[0];
    const int32_t y = screen.stretchMargins[1];
    const int32_t width = SpanWithin(content.width, x, screen.stretchMargins[2]);
    const int32_t height = SpanWithin(content.height, y, screen.stretchMargins[3]);
    SetViewFrame(screen.screenView, {static_cast<double>(x), static_cast<double>(y),
                                     static_cast<double>(width), static_cast<double>(height)});
    SetGLViewport(screen.screenContext, width, height);
    ClearGLBuffers(screen.screenContext);
}

}  // namespace vorlune
