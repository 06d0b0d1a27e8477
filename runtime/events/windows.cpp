#include "runtime/events/windows.h"

#include <cstring>
#include <new>

#include "platform/drag_drop.h"
#include "platform/screen.h"
#include "runtime/core/memory.h"
#include "runtime/events/event_queue.h"
#include "runtime/events/gadget_list.h"
#include "runtime/events/menus.h"
#include "runtime/events/registry_walk.h"

namespace vorlune {

namespace {

constexpr int32_t kWindowRegistryGrowBy = 8;

struct ObserverEntry {
    NativeWindow window;
    WindowObserver* observer;
};

ObjectRegistry* windowRegistry = nullptr;
ObserverEntry* observers = nullptr;
int32_t observerCount = 0;
int32_t observerCapacity = 0;
WindowResizeHook resizeHook = nullptr;
WindowEventHook resizeEventHook = nullptr;
WindowGadgetsDestroyer gadgetsDestroyer = nullptr;
const WindowDropProtocol* dropProtocol = nullptr;

int64_t NumberOfRecord(const WindowRecord* record) {
    return static_cast<int64_t>(reinterpret_cast<intptr_t>(record));
}

void PostWindowEvent(int32_t type, int64_t number) {
    PostEvent(type, number, number, 0);
}

// Observers may remove themselves while hearing a notification: walk a copy.
template <typename Notify>
void NotifyObservers(NativeWindow window, Notify notify) {
    if (observerCount == 0) return;
    const int32_t count = observerCount;
    auto* snapshot = static_cast<ObserverEntry*>(
        AllocBlockUncleared(static_cast<uint64_t>(count) * sizeof(ObserverEntry)));
    if (snapshot == nullptr) return;
    std::memcpy(snapshot, observers, static_cast<size_t>(count) * sizeof(ObserverEntry));
    for (int32_t i = 0; i < count; ++i) {
        if (snapshot[i].window != window) continue;
        bool stillObserving = false;
        for (int32_t j = 0; j < observerCount; ++j) {
            stillObserving = stillObserving || (observers[j].window == window &&
                                                observers[j].observer == snapshot[i].observer);
        }
        if (stillObserving) notify(snapshot[i].observer);
    }
    FreeBlock(snapshot);
}

void RemoveObserversOf(NativeWindow window) {
    int32_t kept = 0;
    for (int32_t i = 0; i < observerCount; ++i) {
        if (observers[i].window != window) observers[kept++] = observers[i];
    }
    observerCount = kept;
}

// Working flags and the platform style: a border brings a title bar and its controls.
uint32_t StyleFor(uint32_t* flags, int32_t* width, int32_t* height) {
    if ((*flags & kWindowBorderless) != 0) return kWindowStyleBorderless;
    *flags |= kWindowTitled;
    if ((*flags & (kWindowMaximiseControl | kWindowMinimiseControl)) != 0) {
        *flags |= kWindowCloseBox;
    }
    uint32_t style = kWindowStyleTitled;
    if ((*flags & kWindowCloseBox) != 0) style |= kWindowStyleClosable;
    if ((*flags & (kWindowResizable | kWindowMaximiseControl | kWindowMaximised)) != 0) {
        style |= kWindowStyleResizable;
    }
    if ((*flags & (kWindowMinimiseControl | kWindowMinimised)) != 0) {
        style |= kWindowStyleMiniaturizable;
    }
    if ((*flags & kWindowMaximised) != 0) {
        if (*width < 1) *width = 1;
        if (*height < 1) *height = 1;
    }
    return style;
}

void ReleaseTimersAndShortcuts(WindowRecord* record) {
    while (WindowTimer* timer = record->timers) {
        record->timers = timer->next;
        if (timer->invalidate != nullptr) timer->invalidate(timer->data);
        FreeBlock(timer);
    }
    while (ShortcutEntry* entry = record->shortcuts) {
        record->shortcuts = entry->next;
        delete entry->shortcut;
        FreeBlock(entry);
    }
}

// The window that becomes key when the key window closes: its previous key window when that is
// still visible, otherwise the first visible window before it in registry order. The closing
// window itself is never chosen.
NativeWindow FindSuccessor(const WindowRecord* closing) {
    NativeWindow firstVisible = nullptr;
    NativeWindow successor = nullptr;
    bool met = false;
    WalkRegistry(windowRegistry, [&](void* found, int64_t) {
        const auto* record = static_cast<const WindowRecord*>(found);
        const NativeWindow window = record->nativeWindow;
        if (window == closing->previousKeyWindow) {
            met = true;
            successor = IsWindowVisible(window) ? window : firstVisible;
            return false;
        }
        if (firstVisible == nullptr && record != closing && IsWindowVisible(window)) {
            firstVisible = window;
        }
        return true;
    });
    return met ? successor : firstVisible;
}

// Children outlive their parent; none may keep its handle once it is closed.
void ForgetParent(NativeWindow parent) {
    WalkRegistry(windowRegistry, [&](void* record, int64_t) {
        auto* window = static_cast<WindowRecord*>(record);
        if (window->parentWindow == parent) window->parentWindow = nullptr;
        return true;
    });
}

}  // namespace

// ZkWindowEvents ----------------------------------------------------------------------------------

void ZkWindowEvents::connect(NativeWindow window, int64_t number) {
    WindowInstance = window;
    WindowID = number;
    ZoomEvent = 0;
    SetWindowDelegate(window, this);
}

bool ZkWindowEvents::canBecomeKeyWindow() {
    const WindowRecord* record = GetWindowRecord(WindowID);
    return record == nullptr || record->keyLock == 0;
}

bool ZkWindowEvents::canBecomeMainWindow() {
    return canBecomeKeyWindow();
}

bool ZkWindowEvents::windowShouldClose(NativeWindow) {
    PostWindowEvent(kEventCloseWindow, WindowID);
    return false;
}

void ZkWindowEvents::windowWillClose(NativeWindow window) {
    WindowRecord* record = GetWindowRecord(WindowID);
    if (record != nullptr) ReleaseTimersAndShortcuts(record);
    ZkGadgetList::removeWindow(window);
    SetWindowDelegate(window, nullptr);
    RemoveObserversOf(window);
    RemoveWindowEvents(WindowID);
    if (record != nullptr) FreeObject(windowRegistry, WindowID);
    delete this;
}

void ZkWindowEvents::windowDidResize(NativeWindow window) {
    if (ZoomEvent != 0) PostWindowEvent(ZoomEvent, WindowID);
    // At most one resize of a window waits in the queue.
    RemoveEvents(kEventSizeWindow, WindowID, WindowID, 0);
    PostWindowEvent(kEventSizeWindow, WindowID);
    if (resizeHook != nullptr) resizeHook(window);
    if (resizeEventHook != nullptr) resizeEventHook(kEventSizeWindow, WindowID, -1, 0);
    SetViewNeedsDisplay(WindowContentView(window));
    ZoomEvent = 0;
    NotifyObservers(window, [&](WindowObserver* observer) { observer->windowResized(window); });
}

void ZkWindowEvents::windowDidMove(NativeWindow) {
    PostWindowEvent(kEventMoveWindow, WindowID);
}

void ZkWindowEvents::windowDidBecomeKey(NativeWindow window) {
    ActivateWindowMenu(window);
    PostWindowEvent(kEventActivateWindow, WindowID);
    NotifyObservers(window,
                    [&](WindowObserver* observer) { observer->windowDidBecomeKey(window); });
}

void ZkWindowEvents::windowDidResignKey(NativeWindow window) {
    PostWindowEvent(kEventDeactivateWindow, WindowID);
    NotifyObservers(window,
                    [&](WindowObserver* observer) { observer->windowDidResignKey(window); });
}

// Windows here have no toolbar whose items would need validating.
void ZkWindowEvents::windowDidUpdate(NativeWindow) {}

void ZkWindowEvents::windowDidMiniaturize(NativeWindow) {
    PostWindowEvent(kEventMinimizeWindow, WindowID);
}

void ZkWindowEvents::windowDidDeminiaturize(NativeWindow window) {
    const bool zoomed =
        (WindowStyle(window) & kWindowStyleResizable) != 0 && IsWindowZoomed(window);
    PostWindowEvent(zoomed ? kEventMaximizeWindow : kEventRestoreWindow, WindowID);
}

bool ZkWindowEvents::windowShouldZoom(NativeWindow window, PlatformRect toFrame) {
    const PlatformRect frame = window != nullptr ? WindowFrame(window) : PlatformRect{};
    const bool larger = toFrame.width > frame.width || toFrame.height > frame.height;
    ZoomEvent = larger ? kEventMaximizeWindow : kEventRestoreWindow;
    return true;
}

// ZkFlippedWindowView ---------------------------------------------------------------------------

void ZkFlippedWindowView::drawRect(NativeView, PlatformRect) {
    PostWindowEvent(kEventRepaint, WindowID);
}

bool ZkFlippedWindowView::mouseUp(NativeView, const PlatformEvent& event) {
    if (event.clickCount == 1) PostWindowEvent(kEventLeftClick, WindowID);
    if (event.clickCount == 2) PostWindowEvent(kEventLeftDoubleClick, WindowID);
    return true;
}

bool ZkFlippedWindowView::rightMouseUp(NativeView, const PlatformEvent& event) {
    if (event.clickCount == 1) PostWindowEvent(kEventRightClick, WindowID);
    return true;
}

uint32_t ZkFlippedWindowView::draggingEntered(NativeView view, const DragInfo& info) {
    return dropProtocol != nullptr ? dropProtocol->draggingEntered(view, info) : kDragOperationNone;
}

uint32_t ZkFlippedWindowView::draggingUpdated(NativeView view, const DragInfo& info) {
    return dropProtocol != nullptr ? dropProtocol->draggingUpdated(view, info) : kDragOperationNone;
}

bool ZkFlippedWindowView::prepareForDragOperation(NativeView view, const DragInfo& info) {
    return dropProtocol != nullptr && dropProtocol->prepareForDragOperation(view, info);
}

bool ZkFlippedWindowView::performDragOperation(NativeView view, const DragInfo& info) {
    return dropProtocol != nullptr && dropProtocol->performDragOperation(view, info, -1, WindowID);
}

void ZkFlippedWindowView::viewWillBeDestroyed(NativeView view) {
    SetViewDelegate(view, nullptr);
    delete this;
}

// Windows -----------------------------------------------------------------------------------------

void InitWindowSystem() {
    CreateObjectRegistryOnce(&windowRegistry, sizeof(WindowRecord), kWindowRegistryGrowBy,
                             CloseWindow);
    InitGadgetLists();
}

ObjectRegistry* WindowRegistry() {
    return windowRegistry;
}

int64_t CreateWindow(int64_t number, int32_t x, int32_t y, int32_t width, int32_t height,
                     const char16_t* title, uint32_t flags) {
    return CreateWindowEx(number, x, y, width, height, title, flags, nullptr);
}

int64_t CreateWindowEx(int64_t number, int32_t x, int32_t y, int32_t width, int32_t height,
                       const char16_t* title, uint32_t flags, NativeWindow parent) {
    if (windowRegistry == nullptr) return 0;
    if (x == kWindowCentreRequest || y == kWindowCentreRequest) flags |= kWindowCentred;
    const uint32_t style = StyleFor(&flags, &width, &height);
    // The platform places frames among all screens; x and y count from the main screen's corner.
    const PlatformRect screen = MainScreenFrame();
    const NativeWindow window =
        CreateNativeWindow(screen.x + x, screen.y + y, width, height, style);
    if (window == nullptr) return 0;

    auto* record = static_cast<WindowRecord*>(AllocateObject(windowRegistry, number));
    auto* events = record != nullptr ? new (std::nothrow) ZkWindowEvents : nullptr;
    if (events == nullptr) {
        if (record != nullptr) {
            FreeObject(windowRegistry, number == AnyNumber ? NumberOfRecord(record) : number);
        }
        CloseNativeWindow(window);
        return 0;
    }
    const int64_t windowNumber = number == AnyNumber ? NumberOfRecord(record) : number;
    events->connect(window, windowNumber);
    *record = WindowRecord{};
    record->nativeWindow = window;
    record->events = events;
    record->previousKeyWindow = KeyWindow();
    WindowContentMinSize(window, &record->minContentWidth, &record->minContentHeight);
    WindowContentMaxSize(window, &record->maxContentWidth, &record->maxContentHeight);

    SetWindowTitle(window, title);
    if (parent != nullptr) {
        if ((flags & kWindowInvisible) == 0) AddChildWindow(parent, window);
        record->parentWindow = parent;
    }
    CentreWindow(window, flags, parent);
    if ((flags & kWindowInvisible) == 0) {
        if ((flags & kWindowNoActivate) != 0) {
            OrderWindowFront(window);
        } else {
            MakeWindowKeyAndOrderFront(window);
        }
    }
    SuspendEvents();
    if ((flags & kWindowMinimised) != 0) {
        MinimiseWindow(window);
    } else if ((flags & kWindowMaximised) != 0) {
        ZoomWindow(window);
    }
    ResumeEvents();

    const PlatformRect content = WindowContentRect(window);
    const NativeView view = CreateContainerView({0, 0, content.width, content.height});
    auto* viewEvents = view != nullptr ? new (std::nothrow) ZkFlippedWindowView : nullptr;
    if (viewEvents != nullptr) {
        viewEvents->WindowID = windowNumber;
        SetViewDelegate(view, viewEvents);
        SetViewAcceptsDrops(view, true);
    }
    if (view != nullptr) SetWindowContentView(window, view);
    if ((flags & kWindowKeepGadgetList) == 0) ZkGadgetList::setWindow(window);
    return number == AnyNumber ? windowNumber
                               : static_cast<int64_t>(reinterpret_cast<intptr_t>(window));
}

NativeWindow WindowID(int64_t number) {
    const WindowRecord* record = GetWindowRecord(number);
    return record != nullptr ? record->nativeWindow : nullptr;
}

WindowRecord* GetWindowRecord(int64_t number) {
    if (windowRegistry == nullptr) return nullptr;
    return static_cast<WindowRecord*>(GetObject(windowRegistry, number));
}

void CloseWindow(int64_t number) {
    if (windowRegistry == nullptr) return;
    if (number == AnyNumber) {
        FreeAllObjects(windowRegistry);
        return;
    }
    WindowRecord* record = GetWindowRecord(number);
    if (record == nullptr) return;
    const NativeWindow window = record->nativeWindow;
    RemoveWindowEventBindings(number);
    if (gadgetsDestroyer != nullptr) gadgetsDestroyer(number);
    NativeWindow successor = nullptr;
    if (record->previousKeyWindow != nullptr && IsWindowKey(window)) {
        successor = FindSuccessor(record);
    }
    // Every menu of the window goes, so that none keeps a window that no longer exists.
    while (FreeWindowMenu(window)) {
    }
    if (record->parentWindow != nullptr) RemoveChildWindow(record->parentWindow, window);
    ForgetParent(window);
    CloseNativeWindow(window);  // its delegate frees the record
    RemoveWindowEvents(number);
    if (successor != nullptr) MakeWindowKey(successor);
}

void CentreWindow(NativeWindow window, uint32_t flags, NativeWindow parent) {
    if (window == nullptr) return;
    PlatformRect around{};
    if ((flags & kWindowCentred) != 0) {
        around = MainScreenFrame();
    } else if ((flags & kWindowCentredOnParent) != 0) {
        const NativeWindow reference = parent != nullptr ? parent : KeyWindow();
        if (reference == nullptr) return;
        around = WindowFrame(reference);
    } else {
        return;
    }
    const PlatformRect frame = WindowFrame(window);
    SetWindowFrameOrigin(window, around.x + (around.width - frame.width) / 2,
                         around.y + (around.height - frame.height) / 2);
}

// Keyboard shortcuts -----------------------------------------------------------------------------

int32_t AddWindowShortcut(int64_t number, KeyboardShortcut* shortcut) {
    WindowRecord* record = GetWindowRecord(number);
    if (record == nullptr || shortcut == nullptr) return 0;
    auto* entry = static_cast<ShortcutEntry*>(AllocBlock(sizeof(ShortcutEntry)));
    if (entry == nullptr) return 0;
    entry->shortcut = shortcut;
    ShortcutEntry** link = &record->shortcuts;
    while (*link != nullptr)
        link = &(*link)->next;
    *link = entry;
    return 1;
}

bool MatchWindowShortcut(int64_t number, const PlatformEvent& event, int64_t* itemID) {
    const WindowRecord* record = GetWindowRecord(number);
    if (record == nullptr) return false;
    for (const ShortcutEntry* entry = record->shortcuts; entry != nullptr; entry = entry->next) {
        if (entry->shortcut->isEventMatch(event, itemID)) return true;
    }
    return false;
}

// Observers and hooks ----------------------------------------------------------------------------

int32_t AddWindowObserver(NativeWindow window, WindowObserver* observer) {
    if (window == nullptr || observer == nullptr) return 0;
    if (observerCount == observerCapacity) {
        const int32_t capacity = observerCapacity > 0 ? observerCapacity * 2 : 4;
        const uint64_t bytes = static_cast<uint64_t>(capacity) * sizeof(ObserverEntry);
        void* grown = observers != nullptr ? ResizeBlock(observers, bytes) : AllocBlock(bytes);
        if (grown == nullptr) return 0;
        observers = static_cast<ObserverEntry*>(grown);
        observerCapacity = capacity;
    }
    observers[observerCount++] = {window, observer};
    return 1;
}

void RemoveWindowObserver(WindowObserver* observer) {
    int32_t kept = 0;
    for (int32_t i = 0; i < observerCount; ++i) {
        if (observers[i].observer != observer) observers[kept++] = observers[i];
    }
    observerCount = kept;
}

void SetWindowResizeHooks(WindowResizeHook first, WindowEventHook second) {
    resizeHook = first;
    resizeEventHook = second;
}

void SetWindowGadgetsDestroyer(WindowGadgetsDestroyer destroyer) {
    gadgetsDestroyer = destroyer;
}

void SetWindowDropProtocol(const WindowDropProtocol* protocol) {
    dropProtocol = protocol;
}

}  // namespace vorlune
