// Views of the in-memory platform: a tree of frames with delegates, drawn on request.
#include <algorithm>

#include "platform/headless/headless_state.h"
#include "platform/view.h"

namespace vorlune {

using headless::HandleOf;
using headless::ViewOf;

namespace headless {

void DestroyViewTree(View* view) {
    for (View* child : view->subviews) {
        child->superview = nullptr;
        DestroyViewTree(child);
    }
    if (view->delegate != nullptr) view->delegate->viewWillBeDestroyed(HandleOf(view));
    ReleaseViewResources(view);
    if (view->superview != nullptr) std::erase(view->superview->subviews, view);
    if (GetState().pressedView == view) GetState().pressedView = nullptr;
    for (Window* window : GetState().windows) {
        if (window->contentView == view) window->contentView = nullptr;
        if (window->firstResponder == view) window->firstResponder = nullptr;
    }
    delete view;
}

void DisplayViewTree(View* view, bool force) {
    if (view->hidden) return;
    if (force || view->needsDisplay) {
        view->needsDisplay = false;
        ++view->drawCount;
        const PlatformRect bounds{0, 0, view->frame.width, view->frame.height};
        if (view->delegate != nullptr) view->delegate->drawRect(HandleOf(view), bounds);
    }
    // A copy: a delegate may change the subviews while it draws.
    const std::vector<View*> subviews = view->subviews;
    for (View* child : subviews)
        DisplayViewTree(child, force);
}

View* HitTest(View* view, double x, double y) {
    if (view->hidden) return nullptr;
    const PlatformRect& frame = view->frame;
    if (x < frame.x || y < frame.y || x >= frame.x + frame.width || y >= frame.y + frame.height) {
        return nullptr;
    }
    for (auto child = view->subviews.rbegin(); child != view->subviews.rend(); ++child) {
        if (View* hit = HitTest(*child, x - frame.x, y - frame.y)) return hit;
    }
    return view;
}

}  // namespace headless

NativeView CreateContainerView(PlatformRect frame) {
    auto* view = new headless::View{};
    view->frame = frame;
    return HandleOf(view);
}

void DestroyView(NativeView view) {
    if (view != nullptr) headless::DestroyViewTree(ViewOf(view));
}

void SetViewDelegate(NativeView view, ViewDelegate* delegate) {
    if (view != nullptr) ViewOf(view)->delegate = delegate;
}

ViewDelegate* GetViewDelegate(NativeView view) {
    return view != nullptr ? ViewOf(view)->delegate : nullptr;
}

void AddSubview(NativeView parentHandle, NativeView childHandle) {
    headless::View* parent = ViewOf(parentHandle);
    headless::View* child = ViewOf(childHandle);
    if (parent == nullptr || child == nullptr || parent == child) return;
    if (child->superview != nullptr) std::erase(child->superview->subviews, child);
    child->superview = parent;
    parent->subviews.push_back(child);
}

void RemoveFromSuperview(NativeView view) {
    DestroyView(view);
}

NativeView ViewSuperview(NativeView view) {
    return view != nullptr ? HandleOf(ViewOf(view)->superview) : nullptr;
}

NativeWindow ViewWindow(NativeView handle) {
    const headless::View* view = ViewOf(handle);
    while (view != nullptr && view->superview != nullptr)
        view = view->superview;
    return view != nullptr ? HandleOf(view->window) : nullptr;
}

PlatformRect ViewFrame(NativeView view) {
    return view != nullptr ? ViewOf(view)->frame : PlatformRect{};
}

void SetViewFrame(NativeView view, PlatformRect frame) {
    if (view != nullptr) ViewOf(view)->frame = frame;
}

void SetViewHidden(NativeView view, bool hidden) {
    if (view != nullptr) ViewOf(view)->hidden = hidden;
}

bool IsViewHidden(NativeView view) {
    return view != nullptr && ViewOf(view)->hidden;
}

void SetViewNeedsDisplay(NativeView view) {
    if (view != nullptr) ViewOf(view)->needsDisplay = true;
}

void SetViewToolTip(NativeView view, const char16_t* text) {
    if (view != nullptr) ViewOf(view)->toolTip = text != nullptr ? text : u"";
}

bool MakeFirstResponder(NativeWindow window, NativeView view) {
    if (window == nullptr || (view != nullptr && ViewWindow(view) != window)) return false;
    headless::WindowOf(window)->firstResponder = ViewOf(view);
    return true;
}

NativeView FirstResponder(NativeWindow window) {
    return window != nullptr ? HandleOf(headless::WindowOf(window)->firstResponder) : nullptr;
}

void SetViewAcceptsDrops(NativeView view, bool accepts) {
    if (view != nullptr) ViewOf(view)->acceptsDrops = accepts;
}

bool ViewAcceptsDrops(NativeView view) {
    return view != nullptr && ViewOf(view)->acceptsDrops;
}

}  // namespace vorlune
