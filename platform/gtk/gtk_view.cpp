// GTK views: GtkFixed containers with windows of their own, so that they clip and hear the
// mouse; y runs downwards as in the runtime. A view belongs to its superview and goes with it.
#include <cmath>
#include <initializer_list>

#include "platform/gtk/gtk_backend.h"
#include "platform/view.h"

namespace vorlune {

using gtk::ViewHandle;
using gtk::ViewState;
using gtk::ViewStateOf;
using gtk::WidgetOf;

namespace {

constexpr const char* kViewStateKey = "vorlune-view";

int Rounded(double value) {
    return static_cast<int>(std::lround(value));
}

gboolean OnDraw(GtkWidget* widget, cairo_t* cairo, gpointer) {
    ViewState* state = ViewStateOf(widget);
    if (state == nullptr || state->delegate == nullptr) return FALSE;
    double left = 0, top = 0, right = 0, bottom = 0;
    cairo_clip_extents(cairo, &left, &top, &right, &bottom);
    state->delegate->drawRect(ViewHandle(widget), {left, top, right - left, bottom - top});
    return FALSE;
}

// The delegate's answer decides whether the event goes on to the superview.
gboolean OnMouse(GtkWidget* widget, GdkEvent* event, gpointer) {
    ViewState* state = ViewStateOf(widget);
    PlatformEvent platformEvent;
    if (state == nullptr || state->delegate == nullptr ||
        !gtk::PlatformEventFor(event, &platformEvent)) {
        return FALSE;
    }
    ViewDelegate& delegate = *state->delegate;
    const NativeView view = ViewHandle(widget);
    switch (platformEvent.type) {
        case kLeftMouseDown:
            return delegate.mouseDown(view, platformEvent);
        case kLeftMouseUp:
            return delegate.mouseUp(view, platformEvent);
        case kRightMouseDown:
            return delegate.rightMouseDown(view, platformEvent);
        case kRightMouseUp:
            return delegate.rightMouseUp(view, platformEvent);
        case kOtherMouseDown:
            return delegate.otherMouseDown(view, platformEvent);
        case kOtherMouseUp:
            return delegate.otherMouseUp(view, platformEvent);
        case kMouseMoved:
            return delegate.mouseMoved(view, platformEvent);
        case kLeftMouseDragged:
        case kRightMouseDragged:
        case kOtherMouseDragged:
            return delegate.mouseDragged(view, platformEvent);
        case kScrollWheel:
            return delegate.scrollWheel(view, platformEvent);
        default:
            return FALSE;
    }
}

void OnDestroy(GtkWidget* widget, gpointer) {
    ViewState* state = ViewStateOf(widget);
    if (state == nullptr) return;
    ViewDelegate* delegate = state->delegate;
    state->delegate = nullptr;
    if (delegate != nullptr) delegate->viewWillBeDestroyed(ViewHandle(widget));
    gtk::ReleaseViewResources(widget, state);
    // The reference taken at creation; GTK holds its own while it disposes the widget.
    g_object_unref(widget);
}

GtkWidget* ParentContainer(GtkWidget* view) {
    GtkWidget* parent = gtk_widget_get_parent(view);
    return parent != nullptr && GTK_IS_FIXED(parent) ? parent : nullptr;
}

}  // namespace

namespace gtk {

ViewState* ViewStateOf(GtkWidget* view) {
    if (view == nullptr) return nullptr;
    return static_cast<ViewState*>(g_object_get_data(G_OBJECT(view), kViewStateKey));
}

ViewState* AttachView(GtkWidget* widget, PlatformRect frame, ViewKind kind) {
    g_object_ref_sink(widget);
    gtk_widget_add_events(widget, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK |
                                      GDK_SCROLL_MASK | GDK_POINTER_MOTION_MASK);
    auto* state = new ViewState{};
    state->frame = frame;
    state->kind = kind;
    g_object_set_data_full(G_OBJECT(widget), kViewStateKey, state,
                           [](gpointer data) { delete static_cast<ViewState*>(data); });
    gtk_widget_set_size_request(widget, Rounded(frame.width), Rounded(frame.height));
    g_signal_connect_after(widget, "draw", G_CALLBACK(OnDraw), nullptr);
    for (const char* signal :
         {"button-press-event", "button-release-event", "scroll-event", "motion-notify-event"}) {
        g_signal_connect(widget, signal, G_CALLBACK(OnMouse), nullptr);
    }
    g_signal_connect(widget, "destroy", G_CALLBACK(OnDestroy), nullptr);
    return state;
}

GtkWidget* NewContainer(PlatformRect frame) {
    GtkWidget* fixed = gtk_fixed_new();
    gtk_widget_set_has_window(fixed, TRUE);
    AttachView(fixed, frame, ViewKind::kContainer);
    return fixed;
}

void PointInContent(GtkWidget* view, double* x, double* y) {
    GtkWidget* content = nullptr;
    for (GtkWidget* widget = view; widget != nullptr; widget = gtk_widget_get_parent(widget)) {
        if (ViewStateOf(widget) != nullptr) content = widget;
    }
    int contentX = 0, contentY = 0;
    if (content != nullptr && content != view &&
        gtk_widget_translate_coordinates(view, content, static_cast<int>(std::floor(*x)),
                                         static_cast<int>(std::floor(*y)), &contentX, &contentY)) {
        *x += contentX - std::floor(*x);
        *y += contentY - std::floor(*y);
    }
}

}  // namespace gtk

NativeView CreateContainerView(PlatformRect frame) {
    if (!gtk::IsRunning()) return nullptr;
    return ViewHandle(gtk::NewContainer(frame));
}

void DestroyView(NativeView view) {
    if (view != nullptr) gtk_widget_destroy(WidgetOf(view));
}

void SetViewDelegate(NativeView view, ViewDelegate* delegate) {
    if (ViewState* state = ViewStateOf(WidgetOf(view))) state->delegate = delegate;
}

ViewDelegate* GetViewDelegate(NativeView view) {
    ViewState* state = ViewStateOf(WidgetOf(view));
    return state != nullptr ? state->delegate : nullptr;
}

void AddSubview(NativeView parentHandle, NativeView childHandle) {
    GtkWidget* parent = WidgetOf(parentHandle);
    GtkWidget* child = WidgetOf(childHandle);
    if (parent == nullptr || child == nullptr || parent == child || !GTK_IS_FIXED(parent)) return;
    const PlatformRect frame = ViewFrame(childHandle);
    g_object_ref(child);
    if (GtkWidget* old = gtk_widget_get_parent(child)) {
        gtk_container_remove(GTK_CONTAINER(old), child);
    }
    gtk_fixed_put(GTK_FIXED(parent), child, Rounded(frame.x), Rounded(frame.y));
    g_object_unref(child);
    gtk_widget_show(child);
}

void RemoveFromSuperview(NativeView view) {
    DestroyView(view);
}

NativeView ViewSuperview(NativeView view) {
    return view != nullptr ? ViewHandle(ParentContainer(WidgetOf(view))) : nullptr;
}

NativeWindow ViewWindow(NativeView view) {
    if (view == nullptr) return nullptr;
    GtkWidget* toplevel = gtk_widget_get_toplevel(WidgetOf(view));
    return gtk_widget_is_toplevel(toplevel) && GTK_IS_WINDOW(toplevel) ? gtk::WindowHandle(toplevel)
                                                                       : nullptr;
}

PlatformRect ViewFrame(NativeView view) {
    GtkWidget* widget = WidgetOf(view);
    if (widget == nullptr) return {};
    ViewState* state = ViewStateOf(widget);
    if (ParentContainer(widget) == nullptr && gtk_widget_get_realized(widget)) {
        // A content view has the size of its window.
        GtkAllocation allocation;
        gtk_widget_get_allocation(widget, &allocation);
        return {0, 0, static_cast<double>(allocation.width),
                static_cast<double>(allocation.height)};
    }
    if (state != nullptr) return state->frame;
    int width = 0, height = 0;
    gtk_widget_get_size_request(widget, &width, &height);
    return {0, 0, static_cast<double>(width), static_cast<double>(height)};
}

void SetViewFrame(NativeView view, PlatformRect frame) {
    GtkWidget* widget = WidgetOf(view);
    if (widget == nullptr) return;
    if (ViewState* state = ViewStateOf(widget)) state->frame = frame;
    if (GtkWidget* parent = ParentContainer(widget)) {
        gtk_fixed_move(GTK_FIXED(parent), widget, Rounded(frame.x), Rounded(frame.y));
    }
    gtk_widget_set_size_request(widget, Rounded(frame.width), Rounded(frame.height));
}

void SetViewHidden(NativeView view, bool hidden) {
    if (view != nullptr) gtk_widget_set_visible(WidgetOf(view), !hidden);
}

bool IsViewHidden(NativeView view) {
    return view != nullptr && !gtk_widget_get_visible(WidgetOf(view));
}

void SetViewNeedsDisplay(NativeView view) {
    if (view != nullptr) gtk_widget_queue_draw(WidgetOf(view));
}

void SetViewToolTip(NativeView view, const char16_t* text) {
    if (view == nullptr) return;
    gchar* utf8 = text != nullptr && text[0] != 0
                      ? g_utf16_to_utf8(reinterpret_cast<const gunichar2*>(text), -1, nullptr,
                                        nullptr, nullptr)
                      : nullptr;
    gtk_widget_set_tooltip_text(WidgetOf(view), utf8);
    g_free(utf8);
}

bool MakeFirstResponder(NativeWindow window, NativeView view) {
    if (window == nullptr || !GTK_IS_WINDOW(WidgetOf(window))) return false;
    if (view != nullptr && ViewWindow(view) != window) return false;
    gtk_window_set_focus(GTK_WINDOW(WidgetOf(window)), WidgetOf(view));
    return gtk_window_get_focus(GTK_WINDOW(WidgetOf(window))) == WidgetOf(view);
}

NativeView FirstResponder(NativeWindow window) {
    if (window == nullptr || !GTK_IS_WINDOW(WidgetOf(window))) return nullptr;
    return ViewHandle(gtk_window_get_focus(GTK_WINDOW(WidgetOf(window))));
}

}  // namespace vorlune
