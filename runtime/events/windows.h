#pragma once
// Numbered windows: creation with flags, placement, closing with a successor for the key
// window, and the delegate and content view that turn notifications into queued events.

#include <cstdint>

#include "platform/events.h"
#include "platform/handles.h"
#include "platform/view.h"
#include "platform/window.h"
#include "runtime/core/registry.h"

namespace vorlune {

// Window flags -----------------------------------------------------------------------------------
constexpr uint32_t kWindowInvisible = 0x1;
constexpr uint32_t kWindowResizable = 0x2;
constexpr uint32_t kWindowCloseBox = 0x4;
constexpr uint32_t kWindowTitled = 0x8;  // added for every window with a border
constexpr uint32_t kWindowMaximiseControl = 0x10;
constexpr uint32_t kWindowMinimiseControl = 0x20;
constexpr uint32_t kWindowCentred = 0x40;
constexpr uint32_t kWindowBorderless = 0x80;
constexpr uint32_t kWindowCentredOnParent = 0x100;
constexpr uint32_t kWindowMaximised = 0x200;
constexpr uint32_t kWindowMinimised = 0x400;
constexpr uint32_t kWindowKeepGadgetList = 0x1000;
constexpr uint32_t kWindowNoActivate = 0x2000;
constexpr int32_t kWindowCentreRequest = -65535;  // as x or y: centre on the screen

// A window's keyboard shortcut: answers whether a key press is its own, and the menu item.
class KeyboardShortcut {
  public:
    virtual ~KeyboardShortcut() = default;
    virtual bool isEventMatch(const PlatformEvent& event, int64_t* itemID) = 0;
};

struct ShortcutEntry {
    ShortcutEntry* next;
    KeyboardShortcut* shortcut;  // owned
};

struct WindowTimer {
    WindowTimer* next;
    void (*invalidate)(void* data);
    void* data;
};

class ZkWindowEvents;

// The first field is the in-use word.
struct WindowRecord {
    NativeWindow nativeWindow;
    NativeWindow parentWindow;
    ZkWindowEvents* events;
    WindowTimer* timers;       // invalidated and released when the window closes
    ShortcutEntry* shortcuts;  // asked on key-down, in list order
    int64_t keyLock;           // non-zero: the window refuses to become key or main
    NativeWindow previousKeyWindow;
    double minContentWidth, minContentHeight;
    double maxContentWidth, maxContentHeight;
};

// The window's delegate: notifications become events whose object and window are its number.
class ZkWindowEvents : public WindowDelegate {
  public:
    NativeWindow WindowInstance = nullptr;
    int64_t WindowID = 0;   // the record's address for AnyNumber windows
    int32_t ZoomEvent = 0;  // 0, or 13 or 14 to post at the next resize

    void connect(NativeWindow window, int64_t number);
    int64_t windowID() override { return WindowID; }
    bool canBecomeKeyWindow() override;
    bool canBecomeMainWindow() override;
    bool windowShouldClose(NativeWindow window) override;
    void windowWillClose(NativeWindow window) override;
    void windowDidResize(NativeWindow window) override;
    void windowDidMove(NativeWindow window) override;
    void windowDidBecomeKey(NativeWindow window) override;
    void windowDidResignKey(NativeWindow window) override;
    void windowDidUpdate(NativeWindow window) override;
    void windowDidMiniaturize(NativeWindow window) override;
    void windowDidDeminiaturize(NativeWindow window) override;
    bool windowShouldZoom(NativeWindow window, PlatformRect toFrame) override;
};

// The content view of every window: repaints, clicks and drops on the background become
// events. It takes drops; the drop protocol it hands them to is the gadgets layer's.
class ZkFlippedWindowView : public ViewDelegate {
  public:
    int64_t WindowID = 0;

    void drawRect(NativeView view, PlatformRect dirty) override;
    bool mouseUp(NativeView view, const PlatformEvent& event) override;
    bool rightMouseUp(NativeView view, const PlatformEvent& event) override;
    uint32_t draggingEntered(NativeView view, const DragInfo& info) override;
    uint32_t draggingUpdated(NativeView view, const DragInfo& info) override;
    bool prepareForDragOperation(NativeView view, const DragInfo& info) override;
    bool performDragOperation(NativeView view, const DragInfo& info) override;  // event 10
    void viewWillBeDestroyed(NativeView view) override;
};

// The drop protocol content views hand drags to. performDragOperation is given gadget -1 and
// the window's number.
struct WindowDropProtocol {
    uint32_t (*draggingEntered)(NativeView view, const DragInfo& info);
    uint32_t (*draggingUpdated)(NativeView view, const DragInfo& info);
    bool (*prepareForDragOperation)(NativeView view, const DragInfo& info);
    bool (*performDragOperation)(NativeView view, const DragInfo& info, int64_t gadgetId,
                                 int64_t windowId);
};

// Others that follow a window's notifications, after its delegate has handled them.
class WindowObserver {
  public:
    virtual ~WindowObserver() = default;
    virtual void windowResized(NativeWindow) {}
    virtual void windowDidBecomeKey(NativeWindow) {}
    virtual void windowDidResignKey(NativeWindow) {}
};

// Start hook -------------------------------------------------------------------------------------
void InitWindowSystem();  // the registry and the gadget-list state, once

// Windows ----------------------------------------------------------------------------------------
// 0 on failure (no display among others); otherwise the native window for a fixed number, or
// the new window's number for AnyNumber.
int64_t CreateWindow(int64_t number, int32_t x, int32_t y, int32_t width, int32_t height,
                     const char16_t* title, uint32_t flags = kWindowCloseBox);
int64_t CreateWindowEx(int64_t number, int32_t x, int32_t y, int32_t width, int32_t height,
                       const char16_t* title, uint32_t flags, NativeWindow parent);
NativeWindow WindowID(int64_t number);  // null without such a window
WindowRecord* GetWindowRecord(int64_t number);
ObjectRegistry* WindowRegistry();
void CloseWindow(int64_t number);  // AnyNumber closes every window
void CentreWindow(NativeWindow window, uint32_t flags, NativeWindow parent);

// Keyboard shortcuts -----------------------------------------------------------------------------
int32_t AddWindowShortcut(int64_t number, KeyboardShortcut* shortcut);  // takes it; 0 when
                                                                        // there is no window
bool MatchWindowShortcut(int64_t number, const PlatformEvent& event, int64_t* itemID);

// Observers and hooks ----------------------------------------------------------------------------
int32_t AddWindowObserver(NativeWindow window, WindowObserver* observer);  // 0 when out of memory
void RemoveWindowObserver(WindowObserver* observer);                       // every entry of it
using WindowResizeHook = void (*)(NativeWindow window);
using WindowEventHook = void (*)(int32_t type, int64_t object, int64_t window, int64_t subtype);
void SetWindowResizeHooks(WindowResizeHook first, WindowEventHook second);
using WindowGadgetsDestroyer = void (*)(int64_t window);  // frees the gadgets of a closing window
void SetWindowGadgetsDestroyer(WindowGadgetsDestroyer destroyer);
void SetWindowDropProtocol(const WindowDropProtocol* protocol);  // not owned; null: no drops

}  // namespace vorlune
