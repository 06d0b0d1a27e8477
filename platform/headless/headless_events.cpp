// The in-memory platform's application and event queue. Waits never block: toolkit activity
// scheduled for the wait runs, then the oldest pending event is taken or the deadline counts
// as passed, so tests are deterministic and cannot hang.
#include "platform/application.h"
#include "platform/events.h"
#include "platform/headless/headless_state.h"
#include "platform/view.h"
#include "platform/window.h"

namespace vorlune {

namespace headless {

State& GetState() {
    static State state;
    return state;
}

Window* WindowOf(NativeWindow window) {
    return reinterpret_cast<Window*>(window);
}
View* ViewOf(NativeView view) {
    return reinterpret_cast<View*>(view);
}
View* ViewOf(NativeView handle, ViewKind kind) {
    View* view = ViewOf(handle);
    return view != nullptr && view->kind == kind ? view : nullptr;
}
NativeWindow HandleOf(Window* window) {
    return reinterpret_cast<NativeWindow>(window);
}
NativeView HandleOf(View* view) {
    return reinterpret_cast<NativeView>(view);
}

}  // namespace headless

using headless::GetState;

namespace {

// Views hear the mouse from the deepest one under the pointer upwards, until one handles it.
bool OfferToView(ViewDelegate* delegate, NativeView view, const PlatformEvent& event) {
    switch (event.type) {
        case kLeftMouseDown:
            return delegate->mouseDown(view, event);
        case kLeftMouseUp:
            return delegate->mouseUp(view, event);
        case kRightMouseDown:
            return delegate->rightMouseDown(view, event);
        case kRightMouseUp:
            return delegate->rightMouseUp(view, event);
        case kOtherMouseDown:
            return delegate->otherMouseDown(view, event);
        case kOtherMouseUp:
            return delegate->otherMouseUp(view, event);
        case kMouseMoved:
            return delegate->mouseMoved(view, event);
        case kLeftMouseDragged:
        case kRightMouseDragged:
        case kOtherMouseDragged:
            return delegate->mouseDragged(view, event);
        case kScrollWheel:
            return delegate->scrollWheel(view, event);
        default:
            return true;
    }
}

bool IsPress(int32_t type) {
    return type == kLeftMouseDown || type == kRightMouseDown || type == kOtherMouseDown;
}

bool IsRelease(int32_t type) {
    return type == kLeftMouseUp || type == kRightMouseUp || type == kOtherMouseUp;
}

bool IsDrag(int32_t type) {
    return type == kLeftMouseDragged || type == kRightMouseDragged || type == kOtherMouseDragged;
}

// As a toolkit grabs the pointer for a press, its drags and its release go to the view that
// was pressed, wherever the pointer is by then.
headless::View* MouseTarget(headless::Window* window, const PlatformEvent& event) {
    headless::State& state = GetState();
    headless::View* pressed = state.pressedView;
    if (IsRelease(event.type)) state.pressedView = nullptr;
    if ((IsRelease(event.type) || IsDrag(event.type)) && pressed != nullptr &&
        headless::HandleOf(window) == ViewWindow(headless::HandleOf(pressed))) {
        return pressed;
    }
    const PlatformRect& frame = window->contentView->frame;
    headless::View* hit =
        headless::HitTest(window->contentView, event.x + frame.x, event.y + frame.y);
    if (IsPress(event.type)) state.pressedView = hit;
    return hit;
}

void DispatchMouseEvent(const PlatformEvent& event) {
    headless::Window* window = headless::WindowOf(event.window);
    if (window == nullptr || window->contentView == nullptr) return;
    for (headless::View* view = MouseTarget(window, event); view != nullptr;
         view = view->superview) {
        if (view->delegate != nullptr &&
            OfferToView(view->delegate, headless::HandleOf(view), event)) {
            return;
        }
    }
}

// The display cycle of the toolkit: views marked as needing display draw during the wait.
void DisplayMarkedViews() {
    const std::vector<headless::Window*> windows = GetState().windows;
    for (headless::Window* window : windows) {
        if (window->visible && window->contentView != nullptr) {
            headless::DisplayViewTree(window->contentView, false);
        }
    }
}

}  // namespace

// Application -----------------------------------------------------------------------------------

bool StartPlatformApplication() {
    headless::State& state = GetState();
    if (!state.displayAvailable) {
        state.failure = "cannot open display";
        return false;
    }
    state.failure = nullptr;
    state.running = true;
    return true;
}

const char* PlatformApplicationFailure() {
    return GetState().failure;
}
void FinishLaunchingApplication() {}
bool IsPlatformApplicationRunning() {
    return GetState().running;
}

void SetApplicationDelegate(ApplicationDelegate* delegate) {
    GetState().applicationDelegate = delegate;
}

ApplicationDelegate* GetApplicationDelegate() {
    return GetState().applicationDelegate;
}

bool SendEditAction(EditAction action) {
    headless::State& state = GetState();
    state.editActions.push_back(action);
    return (state.handledEditActions >> static_cast<int32_t>(action) & 1) != 0;
}

void HideApplication() {
    headless::State& state = GetState();
    state.hidden = true;
    const std::vector<headless::Window*> windows = state.windows;
    for (headless::Window* window : windows) {
        if (window->visible) MinimiseWindow(headless::HandleOf(window));
    }
}

// Events ------------------------------------------------------------------------------------------

bool NextPlatformEvent(int32_t, PlatformEvent* event) {
    headless::State& state = GetState();
    ++state.waits;
    const std::vector<headless::WaitAction> actions = std::move(state.waitActions);
    state.waitActions.clear();
    for (const headless::WaitAction& action : actions)
        action.action(action.data);
    DisplayMarkedViews();
    if (state.pending.empty()) return false;
    *event = state.pending.front();
    state.pending.pop_front();
    return true;
}

void ReleasePlatformEvent(PlatformEvent* event) {
    event->backendEvent = nullptr;
}

bool HasPendingPlatformEvent() {
    return !GetState().pending.empty();
}

void PostWakeUpEvent() {
    headless::State& state = GetState();
    PlatformEvent event{};
    event.type = kApplicationDefined;
    state.pending.push_front(event);
    ++state.wakeUpsPosted;
}

void SendPlatformEvent(const PlatformEvent& event) {
    GetState().sentEvents.push_back(event);
    if (event.type != kKeyDown && event.type != kKeyUp && event.type != kFlagsChanged &&
        event.type != kApplicationDefined) {
        DispatchMouseEvent(event);
    }
}

uint32_t GlobalModifierFlags() {
    return GetState().modifierFlags;
}

}  // namespace vorlune
