#pragma once
// Top-level windows: creation with a style, frame and content geometry, key status, order,
// minimising and zooming, child windows, and the delegate that hears their notifications.

#include <cstdint>

#include "platform/handles.h"

namespace vorlune {

// Style bits -----------------------------------------------------------------------------------
constexpr uint32_t kWindowStyleBorderless = 0;
constexpr uint32_t kWindowStyleTitled = 1;
constexpr uint32_t kWindowStyleClosable = 2;
constexpr uint32_t kWindowStyleMiniaturizable = 4;
constexpr uint32_t kWindowStyleResizable = 8;

// The window's answers and notifications. Every method has a harmless default, so a delegate
// overrides only what it cares about.
class WindowDelegate {
  public:
    virtual ~WindowDelegate() = default;
    virtual int64_t windowID() { return -1; }  // -1: the delegate does not answer
    virtual bool canBecomeKeyWindow() { return true; }
    virtual bool canBecomeMainWindow() { return true; }
    virtual bool windowShouldClose(NativeWindow) { return true; }  // the close box was pressed
    virtual void windowWillClose(NativeWindow) {}                  // may delete the delegate
    virtual void windowDidResize(NativeWindow) {}
    virtual void windowDidMove(NativeWindow) {}
    virtual void windowDidBecomeKey(NativeWindow) {}
    virtual void windowDidResignKey(NativeWindow) {}
    virtual void windowDidUpdate(NativeWindow) {}
    virtual void windowDidMiniaturize(NativeWindow) {}
    virtual void windowDidDeminiaturize(NativeWindow) {}
    virtual bool windowShouldZoom(NativeWindow, PlatformRect /*toFrame*/) { return true; }
};

// Creation and closing ---------------------------------------------------------------------------
// The frame's top-left corner at (x, y) on the screen, a content area of width x height. The
// window starts hidden, with an empty container as its content view. Null without a display.
NativeWindow CreateNativeWindow(double x, double y, double width, double height, uint32_t style);
void CloseNativeWindow(NativeWindow window);  // windowWillClose, then the window is gone
void SetWindowDelegate(NativeWindow window, WindowDelegate* delegate);  // not owned
WindowDelegate* GetWindowDelegate(NativeWindow window);                 // null when none

// Appearance -----------------------------------------------------------------------------------
uint32_t WindowStyle(NativeWindow window);
void SetWindowTitle(NativeWindow window, const char16_t* title);  // null: empty
void SetWindowAcceptsMouseMovedEvents(NativeWindow window, bool accepts);
NativeView WindowContentView(NativeWindow window);
void SetWindowContentView(NativeWindow window, NativeView view);  // the old one is destroyed

// Geometry: screen points, y downwards -------------------------------------------------------
PlatformRect FrameRectForContentRect(PlatformRect content, uint32_t style);
PlatformRect WindowFrame(NativeWindow window);  // decorations included
PlatformRect WindowContentRect(NativeWindow window);
void SetWindowFrameOrigin(NativeWindow window, double x, double y);
void WindowContentMinSize(NativeWindow window, double* width, double* height);
void WindowContentMaxSize(NativeWindow window, double* width, double* height);

// Order and key status ---------------------------------------------------------------------------
void OrderWindowFront(NativeWindow window);  // shown, key status unchanged
void MakeWindowKeyAndOrderFront(NativeWindow window);
void MakeWindowKey(NativeWindow window);  // refused when the delegate says it cannot
NativeWindow KeyWindow();                 // null when none of ours is key
bool IsWindowKey(NativeWindow window);
bool IsWindowVisible(NativeWindow window);

// Minimising and zooming ---------------------------------------------------------------------
void MinimiseWindow(NativeWindow window);
void ZoomWindow(NativeWindow window);  // asks windowShouldZoom; toggles between user and
                                       // screen-filling frames
bool IsWindowMinimised(NativeWindow window);
bool IsWindowZoomed(NativeWindow window);

// Child windows ----------------------------------------------------------------------------------
void AddChildWindow(NativeWindow parent, NativeWindow child);  // kept above the parent
void RemoveChildWindow(NativeWindow parent, NativeWindow child);

}  // namespace vorlune
