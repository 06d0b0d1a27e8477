// The in-memory platform's application and event queue. Waits never block: toolkit activity
// scheduled for the wait runs, then the oldest pending event is taken or the deadline counts
// as passed, so tests are deterministic and cannot hang.
#include <chrono>

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

PendingEvents& Pending() {
    static PendingEvents pending;
    return pending;
}

void PendingEvents::PushBack(const PlatformEvent& event) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        events_.push_back(event);
    }
    arrived_.notify_all();
}

void PendingEvents::PushWakeUp() {
    PlatformEvent event{};
    event.type = kApplicationDefined;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        events_.push_front(event);
        ++wakeUps_;
    }
    arrived_.notify_all();
}

bool PendingEvents::Empty() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return events_.empty();
}

bool PendingEvents::PopFront(int32_t timeoutMilliseconds, PlatformEvent* event) {
    std::unique_lock<std::mutex> lock(mutex_);
    const auto arrived = [this] { return !events_.empty() || !blocking_; };
    if (blocking_ && timeoutMilliseconds != 0 && !arrived()) {
        ++blockedWaits_;
        if (timeoutMilliseconds < 0) {
            arrived_.wait(lock, arrived);
        } else {
            arrived_.wait_for(lock, std::chrono::milliseconds(timeoutMilliseconds), arrived);
        }
        --blockedWaits_;
    }
    if (events_.empty()) return false;
    *event = events_.front();
    events_.pop_front();
    return true;
}

int32_t PendingEvents::Count() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int32_t>(events_.size());
}

const PlatformEvent* PendingEvents::At(int32_t index) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (index < 0 || index >= static_cast<int32_t>(events_.size())) return nullptr;
    return &events_[static_cast<size_t>(index)];
}

int32_t PendingEvents::WakeUps() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return wakeUps_;
}

int32_t PendingEvents::BlockedWaits() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return blockedWaits_;
}

void PendingEvents::SetBlockingWaits(bool blocking) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        blocking_ = blocking;
    }
    arrived_.notify_all();
}

void PendingEvents::Clear() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        events_.clear();
        wakeUps_ = 0;
        blocking_ = false;
    }
    arrived_.notify_all();
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

bool NextPlatformEvent(int32_t timeoutMilliseconds, PlatformEvent* event) {
    headless::State& state = GetState();
    ++state.waits;
    const std::vector<headless::WaitAction> actions = std::move(state.waitActions);
    state.waitActions.clear();
    for (const headless::WaitAction& action : actions)
        action.action(action.data);
    DisplayMarkedViews();
    return headless::Pending().PopFront(timeoutMilliseconds, event);
}

void ReleasePlatformEvent(PlatformEvent* event) {
    event->backendEvent = nullptr;
}

bool HasPendingPlatformEvent() {
    return !headless::Pending().Empty();
}

void PostWakeUpEvent() {
    headless::Pending().PushWakeUp();
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
