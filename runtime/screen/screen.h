#pragma once
// The windowed screen: one OpenGL view placed in a program's window, whose window's key status
// is the keyboard's focus, and the registry of sprites that live on it.

#include <cstdint>

#include "platform/gl_view.h"
#include "platform/handles.h"
#include "platform/view.h"
#include "runtime/core/registry.h"
#include "runtime/events/windows.h"

namespace vorlune {

constexpr int32_t kDefaultRefreshRate = 60;
constexpr uint32_t kRectangleTextureTarget = 0x84F5;
constexpr uint8_t kSpriteOwnsPixels = 0x4;

// One screen per process; all zero while none was ever opened.
struct ScreenState {
    NativeGLContext screenContext;  // null: no screen is open
    NativeView screenView;
    NativeWindow screenWindow;
    int32_t screenInWindow;             // from the start of an open until the close
    int32_t screenHasFocus;             // while the screen's window is key
    int32_t screenWidth, screenHeight;  // as opened; resizes leave them
    int32_t screenDepth;
    int32_t screenRefreshRate;
    uint32_t screenTextureTarget;
    int32_t autoStretch;
    int32_t stretchMargins[4];  // left x, top y, right margin, bottom margin
    ObjectRegistry* spriteRegistry;
    // The 2D projection of the open, kept here: core OpenGL has no matrix stack.
    double projectionLeft, projectionRight, projectionBottom, projectionTop;
};

// A sprite as far as the screen frees it. The texture name is the low half of the in-use word,
// whose high half stays zero.
struct SpriteRecord {
    uint32_t texture;
    uint32_t inUseHighHalf;
    uint8_t flags;  // kSpriteOwnsPixels: pixels is the sprite's own block
    void* pixels;
    void* spriteData;  // for sprite operations outside this runtime
};

// The screen's view: it follows its window's resizes and key status.
class ZkOpenGLView : public ViewDelegate, public WindowObserver {
  public:
    void viewDidMoveToWindow(NativeWindow window);
    void viewWillBeDestroyed(NativeView view) override;
    void windowResized(NativeWindow window) override;
    void windowDidBecomeKey(NativeWindow window) override;
    void windowDidResignKey(NativeWindow window) override;
};

const ScreenState& CurrentScreen();

// Screen system ----------------------------------------------------------------------------------
ObjectRegistry* InitScreenSystem();  // the sprite registry, made once; null when out of memory
void EndScreenSystem();              // frees every sprite
void FreeSprite(int64_t number);     // AnyNumber frees every sprite

// Screens: 1 when opened, 0 when OpenGL could not be set up ------------------------------------
int32_t OpenScreenInWindow(NativeWindow window, int32_t x, int32_t y, int32_t width,
                           int32_t height);
int32_t OpenScreenInWindowStretched(NativeWindow window, int32_t x, int32_t y, int32_t width,
                                    int32_t height, int32_t autoStretch, int32_t rightMargin,
                                    int32_t bottomMargin);
void CloseScreen();                              // nothing without an open screen
void ResizeScreenToWindow(NativeWindow window);  // only with auto-stretch; null: no content

}  // namespace vorlune
