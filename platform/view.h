#pragma once
// Views inside windows: flipped container views (y runs downwards), their frames, and the
// delegate that draws and hears the mouse.

#include <cstdint>

#include "platform/drag_drop.h"
#include "platform/events.h"
#include "platform/handles.h"

namespace vorlune {

// A view's answers to drawing and the mouse. The mouse methods answer true when they handled
// the event; false passes it to the superview, as an unhandled event goes up the view chain.
// Drags reach only views that accept drops (platform/drag_drop.h).
class ViewDelegate {
  public:
    virtual ~ViewDelegate() = default;
    virtual void drawRect(NativeView, PlatformRect /*dirty*/) {}
    virtual bool mouseDown(NativeView, const PlatformEvent&) { return false; }
    virtual bool mouseUp(NativeView, const PlatformEvent&) { return false; }
    virtual bool rightMouseDown(NativeView, const PlatformEvent&) { return false; }
    virtual bool rightMouseUp(NativeView, const PlatformEvent&) { return false; }
    virtual bool otherMouseDown(NativeView, const PlatformEvent&) { return false; }
    virtual bool otherMouseUp(NativeView, const PlatformEvent&) { return false; }
    virtual bool mouseMoved(NativeView, const PlatformEvent&) { return false; }
    virtual bool mouseDragged(NativeView, const PlatformEvent&) { return false; }
    virtual bool scrollWheel(NativeView, const PlatformEvent&) { return false; }
    virtual uint32_t draggingEntered(NativeView, const DragInfo&) { return kDragOperationNone; }
    virtual uint32_t draggingUpdated(NativeView, const DragInfo&) { return kDragOperationNone; }
    virtual bool prepareForDragOperation(NativeView, const DragInfo&) { return false; }
    virtual bool performDragOperation(NativeView, const DragInfo&) { return false; }
    virtual void concludeDragOperation(NativeView, const DragInfo&) {}
    virtual void viewWillBeDestroyed(NativeView) {}  // may delete the delegate
};

// Container views --------------------------------------------------------------------------------
NativeView CreateContainerView(PlatformRect frame);  // null on failure; floating until placed
void DestroyView(NativeView view);                   // out of its superview, subviews with it
void SetViewDelegate(NativeView view, ViewDelegate* delegate);  // not owned
ViewDelegate* GetViewDelegate(NativeView view);

// Hierarchy --------------------------------------------------------------------------------------
void AddSubview(NativeView parent, NativeView child);  // on top of its siblings
void RemoveFromSuperview(NativeView view);             // and destroyed, as its superview held it
NativeView ViewSuperview(NativeView view);             // null for a content view or floating one
NativeWindow ViewWindow(NativeView view);              // null while not in a window

// Geometry and display ---------------------------------------------------------------------------
PlatformRect ViewFrame(NativeView view);  // in the superview
void SetViewFrame(NativeView view, PlatformRect frame);
void SetViewHidden(NativeView view, bool hidden);
bool IsViewHidden(NativeView view);
void SetViewNeedsDisplay(NativeView view);
void SetViewToolTip(NativeView view, const char16_t* text);  // null or empty removes it

// Keyboard focus ---------------------------------------------------------------------------------
bool MakeFirstResponder(NativeWindow window, NativeView view);
NativeView FirstResponder(NativeWindow window);

}  // namespace vorlune
