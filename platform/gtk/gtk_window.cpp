// GTK windows: styles from the flags, placement by the frame's corner, and the toolkit's
// signals handed to the window delegate. Geometry notifications start once a window has been
// mapped and only report changes, as the window manager confirms what was asked.
#include <algorithm>
#include <cmath>

#include "platform/gtk/gtk_backend.h"
#include "platform/screen.h"
#include "platform/window.h"

namespace vorlune {

using gtk::StateOf;
using gtk::WidgetOf;
using gtk::WindowHandle;
using gtk::WindowState;

namespace {

constexpr const char* kWindowStateKey = "vorlune-window";

// Decorations of the last decorated window the window manager placed: the best guess for the
// frame of a window not yet on screen.
struct Decorations {
    double left, top, right, bottom;
} decorations{};

bool IsDecorated(const WindowState& state) {
    return state.style != kWindowStyleBorderless;
}

Decorations DecorationsOf(const WindowState& state) {
    return IsDecorated(state) ? decorations : Decorations{};
}

GdkWindow* GdkWindowOf(const WindowState& state) {
    return gtk_widget_get_mapped(state.window) ? gtk_widget_get_window(state.window) : nullptr;
}

// The screen union of every monitor: frames outside it are the window manager's parking.
bool IsOnScreen(const GdkRectangle& frame) {
    GdkDisplay* display = gtk::Display();
    for (int i = 0; i < gdk_display_get_n_monitors(display); ++i) {
        GdkRectangle area;
        gdk_monitor_get_geometry(gdk_display_get_monitor(display, i), &area);
        if (gdk_rectangle_intersect(&frame, &area, nullptr)) return true;
    }
    return false;
}

// The frame and content position as the window manager has them now; false while the window
// is parked out of sight (minimised, or on its way back).
bool ReadGeometry(WindowState& state) {
    GdkWindow* window = GdkWindowOf(state);
    if (window == nullptr || state.minimised) return false;
    GdkRectangle frame;
    gdk_window_get_frame_extents(window, &frame);
    if (!IsOnScreen(frame)) return false;
    int x = 0, y = 0;
    gdk_window_get_origin(window, &x, &y);
    state.frame = {static_cast<double>(frame.x), static_cast<double>(frame.y),
                   static_cast<double>(frame.width), static_cast<double>(frame.height)};
    state.contentOrigin = {static_cast<double>(x), y + gtk::MenuBarHeight(state), 0, 0};
    if (IsDecorated(state) && !state.zoomed) {
        const double width = gdk_window_get_width(window);
        const double height = gdk_window_get_height(window);
        decorations = {x - state.frame.x, y - state.frame.y,
                       state.frame.x + state.frame.width - x - width,
                       state.frame.y + state.frame.height - y - height};
    }
    return true;
}

void SizeContent(WindowState& state, GtkWidget* content) {
    // A fixed window takes its size from its content; a resizable one may shrink below it.
    if ((state.style & kWindowStyleResizable) != 0) {
        gtk_widget_set_size_request(content, -1, -1);
    } else {
        gtk_widget_set_size_request(content, static_cast<int>(std::lround(state.contentWidth)),
                                    static_cast<int>(std::lround(state.contentHeight)));
    }
}

bool SuppressedAsInitial(WindowState& state, GdkWindowState bit, GdkWindowState newState) {
    if ((state.initialState & bit) == 0 || (newState & bit) == 0) return false;
    state.initialState = static_cast<GdkWindowState>(state.initialState & ~bit);
    return true;
}

PlatformRect ScreenWorkArea(const WindowState& state) {
    GdkDisplay* display = gtk::Display();
    GdkWindow* window = gtk_widget_get_window(state.window);
    GdkMonitor* monitor = window != nullptr ? gdk_display_get_monitor_at_window(display, window)
                                            : gdk_display_get_primary_monitor(display);
    if (monitor == nullptr) return MainScreenFrame();
    GdkRectangle area;
    gdk_monitor_get_workarea(monitor, &area);
    return {static_cast<double>(area.x), static_cast<double>(area.y),
            static_cast<double>(area.width), static_cast<double>(area.height)};
}

// Signals ----------------------------------------------------------------------------------------

gboolean OnDelete(GtkWidget* widget, GdkEvent*, gpointer) {
    WindowState* state = StateOf(widget);
    if (state != nullptr && !state->closing &&
        (state->delegate == nullptr || state->delegate->windowShouldClose(WindowHandle(widget)))) {
        CloseNativeWindow(WindowHandle(widget));
    }
    return TRUE;  // the window never goes by GTK's default
}

void OnDestroy(GtkWidget* widget, gpointer) {
    WindowState* state = StateOf(widget);
    if (state == nullptr || state->closing) return;
    state->closing = true;
    if (state->delegate != nullptr) state->delegate->windowWillClose(WindowHandle(widget));
}

gboolean OnMap(GtkWidget* widget, GdkEvent*, gpointer) {
    WindowState* state = StateOf(widget);
    if (state == nullptr || state->mapped) return FALSE;
    state->mapped = ReadGeometry(*state);
    return FALSE;
}

// Only changes are reported, and only of a window in sight: the window manager parks windows
// while it minimises and restores them.
gboolean OnConfigure(GtkWidget* widget, GdkEventConfigure* event, gpointer) {
    WindowState* state = StateOf(widget);
    if (state == nullptr || state->closing) return FALSE;
    const double height = event->height - gtk::MenuBarHeight(*state);
    const bool resized = event->width != state->contentWidth || height != state->contentHeight;
    const PlatformRect before = state->frame;
    if (!state->mapped) {
        state->contentWidth = event->width;
        state->contentHeight = height;
        return FALSE;
    }
    if (!ReadGeometry(*state)) return FALSE;
    state->contentWidth = event->width;
    state->contentHeight = height;
    const bool moved = before.x != state->frame.x || before.y != state->frame.y;
    if (state->initialState != 0 || state->delegate == nullptr) return FALSE;
    if (resized) state->delegate->windowDidResize(WindowHandle(widget));
    if (moved && state->delegate != nullptr) state->delegate->windowDidMove(WindowHandle(widget));
    return FALSE;
}

// The window manager zoomed by itself (its button, a double click on the title) and the new
// size may already be here: the delegate hears it as a zoom whose frames say which way it went.
void AskAboutZoom(WindowState& state, NativeWindow handle) {
    const PlatformRect area = ScreenWorkArea(state);
    const PlatformRect nothing{area.x, area.y, 0, 0};
    if (state.zoomed && (state.frame.width < area.width || state.frame.height < area.height)) {
        state.userFrame = state.frame;
    }
    state.frameOverride = state.zoomed ? &nothing : &area;
    state.delegate->windowShouldZoom(handle, state.zoomed ? area : state.userFrame);
    state.frameOverride = nullptr;
}

gboolean OnWindowState(GtkWidget* widget, GdkEventWindowState* event, gpointer) {
    WindowState* state = StateOf(widget);
    if (state == nullptr || state->closing) return FALSE;
    const GdkWindowState changed = event->changed_mask;
    const GdkWindowState now = event->new_window_state;
    const NativeWindow handle = WindowHandle(widget);
    const bool zoomChanged = (changed & GDK_WINDOW_STATE_MAXIMIZED) != 0;
    const bool minimiseChanged = (changed & GDK_WINDOW_STATE_ICONIFIED) != 0;
    if (zoomChanged) state->zoomed = (now & GDK_WINDOW_STATE_MAXIMIZED) != 0;
    if (minimiseChanged) state->minimised = (now & GDK_WINDOW_STATE_ICONIFIED) != 0;

    if (zoomChanged && !SuppressedAsInitial(*state, GDK_WINDOW_STATE_MAXIMIZED, now) &&
        state->delegate != nullptr) {
        if (!state->zoomAskedByUs) AskAboutZoom(*state, handle);
        // Resized now, whichever of the state and the new size arrives first; a later size
        // replaces this resize in the queue.
        state->delegate->windowDidResize(handle);
    }
    if (zoomChanged) state->zoomAskedByUs = false;
    if (minimiseChanged && !SuppressedAsInitial(*state, GDK_WINDOW_STATE_ICONIFIED, now) &&
        state->delegate != nullptr) {
        if (state->minimised) {
            state->delegate->windowDidMiniaturize(handle);
        } else {
            state->delegate->windowDidDeminiaturize(handle);
        }
    }
    return FALSE;
}

void OnActiveChanged(GObject* object, GParamSpec*, gpointer) {
    GtkWidget* widget = GTK_WIDGET(object);
    WindowState* state = StateOf(widget);
    if (state == nullptr || state->closing || state->delegate == nullptr) return;
    if (gtk_window_is_active(GTK_WINDOW(widget))) {
        state->delegate->windowDidBecomeKey(WindowHandle(widget));
    } else {
        state->delegate->windowDidResignKey(WindowHandle(widget));
    }
}

}  // namespace

namespace gtk {

WindowState* StateOf(GtkWidget* window) {
    if (window == nullptr) return nullptr;
    return static_cast<WindowState*>(g_object_get_data(G_OBJECT(window), kWindowStateKey));
}

}  // namespace gtk

NativeWindow CreateNativeWindow(double x, double y, double width, double height, uint32_t style) {
    if (!gtk::IsRunning()) return nullptr;
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    auto* state = new WindowState{};
    state->window = window;
    state->style = style;
    state->x = x;
    state->y = y;
    state->contentWidth = std::max(width, 0.0);
    state->contentHeight = std::max(height, 0.0);
    g_object_set_data_full(G_OBJECT(window), kWindowStateKey, state,
                           [](gpointer data) { delete static_cast<WindowState*>(data); });

    GtkWindow* gtkWindow = GTK_WINDOW(window);
    gtk_window_set_decorated(gtkWindow, style != kWindowStyleBorderless);
    gtk_window_set_deletable(gtkWindow, (style & kWindowStyleClosable) != 0);
    gtk_window_set_resizable(gtkWindow, (style & kWindowStyleResizable) != 0);
    gtk_window_set_gravity(gtkWindow, GDK_GRAVITY_NORTH_WEST);
    gtk_window_set_default_size(gtkWindow, std::max(1, static_cast<int>(std::lround(width))),
                                std::max(1, static_cast<int>(std::lround(height))));
    gtk_window_move(gtkWindow, static_cast<int>(std::lround(x)), static_cast<int>(std::lround(y)));

    g_signal_connect(window, "delete-event", G_CALLBACK(OnDelete), nullptr);
    g_signal_connect(window, "destroy", G_CALLBACK(OnDestroy), nullptr);
    g_signal_connect(window, "map-event", G_CALLBACK(OnMap), nullptr);
    g_signal_connect(window, "configure-event", G_CALLBACK(OnConfigure), nullptr);
    g_signal_connect(window, "window-state-event", G_CALLBACK(OnWindowState), nullptr);
    g_signal_connect(window, "notify::is-active", G_CALLBACK(OnActiveChanged), nullptr);

    // The box lays out exactly as the content alone until a menu bar joins it.
    state->box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    gtk_container_add(GTK_CONTAINER(window), state->box);
    gtk_widget_show(state->box);
    GtkWidget* content = gtk::NewContainer({0, 0, state->contentWidth, state->contentHeight});
    state->content = content;
    SizeContent(*state, content);
    gtk_box_pack_start(GTK_BOX(state->box), content, TRUE, TRUE, 0);
    gtk_widget_show(content);
    return WindowHandle(window);
}

void CloseNativeWindow(NativeWindow handle) {
    WindowState* state = StateOf(WidgetOf(handle));
    if (state == nullptr || state->closing) return;
    state->closing = true;
    if (state->delegate != nullptr) state->delegate->windowWillClose(handle);
    gtk_widget_destroy(WidgetOf(handle));
}

void SetWindowDelegate(NativeWindow window, WindowDelegate* delegate) {
    if (WindowState* state = StateOf(WidgetOf(window))) state->delegate = delegate;
}

WindowDelegate* GetWindowDelegate(NativeWindow window) {
    WindowState* state = StateOf(WidgetOf(window));
    return state != nullptr ? state->delegate : nullptr;
}

uint32_t WindowStyle(NativeWindow window) {
    WindowState* state = StateOf(WidgetOf(window));
    return state != nullptr ? state->style : 0;
}

void SetWindowTitle(NativeWindow window, const char16_t* title) {
    if (StateOf(WidgetOf(window)) == nullptr) return;
    gchar* text = title != nullptr ? g_utf16_to_utf8(reinterpret_cast<const gunichar2*>(title), -1,
                                                     nullptr, nullptr, nullptr)
                                   : nullptr;
    gtk_window_set_title(GTK_WINDOW(WidgetOf(window)), text != nullptr ? text : "");
    g_free(text);
}

void SetWindowAcceptsMouseMovedEvents(NativeWindow window, bool accepts) {
    if (WindowState* state = StateOf(WidgetOf(window))) state->acceptsMouseMoved = accepts;
}

NativeView WindowContentView(NativeWindow window) {
    WindowState* state = StateOf(WidgetOf(window));
    return state != nullptr ? gtk::ViewHandle(state->content) : nullptr;
}

void SetWindowContentView(NativeWindow window, NativeView view) {
    WindowState* state = StateOf(WidgetOf(window));
    GtkWidget* content = WidgetOf(view);
    if (state == nullptr || content == state->content) return;
    if (state->content != nullptr) gtk_widget_destroy(state->content);
    state->content = content;
    if (content == nullptr) return;
    g_object_ref(content);
    if (GtkWidget* parent = gtk_widget_get_parent(content)) {
        gtk_container_remove(GTK_CONTAINER(parent), content);
    }
    gtk_box_pack_start(GTK_BOX(state->box), content, TRUE, TRUE, 0);  // below the bar
    g_object_unref(content);
    if (gtk::ViewState* view = gtk::ViewStateOf(content)) {
        view->frame = {0, 0, state->contentWidth, state->contentHeight};
    }
    SizeContent(*state, content);
    gtk_widget_show(content);
}

PlatformRect FrameRectForContentRect(PlatformRect content, uint32_t style) {
    if (style == kWindowStyleBorderless) return content;
    return {content.x - decorations.left, content.y - decorations.top,
            content.width + decorations.left + decorations.right,
            content.height + decorations.top + decorations.bottom};
}

PlatformRect WindowFrame(NativeWindow window) {
    WindowState* state = StateOf(WidgetOf(window));
    if (state == nullptr) return {};
    if (state->frameOverride != nullptr) return *state->frameOverride;
    if (state->mapped) return state->frame;
    const Decorations d = DecorationsOf(*state);
    return {state->x, state->y, state->contentWidth + d.left + d.right,
            state->contentHeight + gtk::MenuBarHeight(*state) + d.top + d.bottom};
}

PlatformRect WindowContentRect(NativeWindow window) {
    WindowState* state = StateOf(WidgetOf(window));
    if (state == nullptr) return {};
    if (state->mapped) {
        return {state->contentOrigin.x, state->contentOrigin.y, state->contentWidth,
                state->contentHeight};
    }
    const Decorations d = DecorationsOf(*state);
    return {state->x + d.left, state->y + d.top + gtk::MenuBarHeight(*state), state->contentWidth,
            state->contentHeight};
}

void SetWindowFrameOrigin(NativeWindow window, double x, double y) {
    WindowState* state = StateOf(WidgetOf(window));
    if (state == nullptr) return;
    state->x = x;
    state->y = y;
    gtk_window_move(GTK_WINDOW(state->window), static_cast<int>(std::lround(x)),
                    static_cast<int>(std::lround(y)));
}

void WindowContentMinSize(NativeWindow, double* width, double* height) {
    *width = 0;
    *height = 0;
}

void WindowContentMaxSize(NativeWindow, double* width, double* height) {
    *width = 3.4028234663852886e38;  // the largest float: no limit
    *height = 3.4028234663852886e38;
}

void OrderWindowFront(NativeWindow window) {
    WindowState* state = StateOf(WidgetOf(window));
    if (state == nullptr) return;
    if (gtk_widget_get_visible(state->window)) {
        if (GdkWindow* gdkWindow = GdkWindowOf(*state)) gdk_window_raise(gdkWindow);
        return;
    }
    gtk_window_set_focus_on_map(GTK_WINDOW(state->window), FALSE);
    gtk_widget_show(state->window);
}

void MakeWindowKeyAndOrderFront(NativeWindow window) {
    WindowState* state = StateOf(WidgetOf(window));
    if (state == nullptr) return;
    if (state->delegate != nullptr && !state->delegate->canBecomeKeyWindow()) {
        OrderWindowFront(window);
        return;
    }
    gtk_window_set_focus_on_map(GTK_WINDOW(state->window), TRUE);
    gtk_window_present(GTK_WINDOW(state->window));
}

void MakeWindowKey(NativeWindow window) {
    WindowState* state = StateOf(WidgetOf(window));
    if (state == nullptr || !gtk_widget_get_visible(state->window)) return;
    if (state->delegate != nullptr && !state->delegate->canBecomeKeyWindow()) return;
    gtk_window_present(GTK_WINDOW(state->window));
}

NativeWindow KeyWindow() {
    if (!gtk::IsRunning()) return nullptr;
    GList* toplevels = gtk_window_list_toplevels();
    NativeWindow key = nullptr;
    for (GList* item = toplevels; item != nullptr && key == nullptr; item = item->next) {
        GtkWidget* widget = GTK_WIDGET(item->data);
        if (StateOf(widget) != nullptr && gtk_window_is_active(GTK_WINDOW(widget))) {
            key = WindowHandle(widget);
        }
    }
    g_list_free(toplevels);
    return key;
}

bool IsWindowKey(NativeWindow window) {
    return StateOf(WidgetOf(window)) != nullptr &&
           gtk_window_is_active(GTK_WINDOW(WidgetOf(window)));
}

bool IsWindowVisible(NativeWindow window) {
    WindowState* state = StateOf(WidgetOf(window));
    return state != nullptr && gtk_widget_get_visible(state->window) && !state->minimised;
}

void MinimiseWindow(NativeWindow window) {
    WindowState* state = StateOf(WidgetOf(window));
    if (state == nullptr || state->minimised) return;
    if (!state->mapped) {
        state->initialState =
            static_cast<GdkWindowState>(state->initialState | GDK_WINDOW_STATE_ICONIFIED);
    }
    state->minimised = true;
    gtk_window_iconify(GTK_WINDOW(state->window));
}

void ZoomWindow(NativeWindow window) {
    WindowState* state = StateOf(WidgetOf(window));
    if (state == nullptr) return;
    const PlatformRect target = state->zoomed ? state->userFrame : ScreenWorkArea(*state);
    if (state->delegate != nullptr && !state->delegate->windowShouldZoom(window, target)) return;
    state->zoomAskedByUs = true;
    if (state->zoomed) {
        state->zoomed = false;
        gtk_window_unmaximize(GTK_WINDOW(state->window));
        return;
    }
    state->userFrame = WindowFrame(window);
    state->zoomed = true;
    if (!state->mapped) {
        state->initialState =
            static_cast<GdkWindowState>(state->initialState | GDK_WINDOW_STATE_MAXIMIZED);
    }
    gtk_window_maximize(GTK_WINDOW(state->window));
}

bool IsWindowMinimised(NativeWindow window) {
    WindowState* state = StateOf(WidgetOf(window));
    return state != nullptr && state->minimised;
}

bool IsWindowZoomed(NativeWindow window) {
    WindowState* state = StateOf(WidgetOf(window));
    return state != nullptr && state->zoomed;
}

void AddChildWindow(NativeWindow parent, NativeWindow child) {
    if (StateOf(WidgetOf(parent)) == nullptr || StateOf(WidgetOf(child)) == nullptr) return;
    gtk_window_set_transient_for(GTK_WINDOW(WidgetOf(child)), GTK_WINDOW(WidgetOf(parent)));
}

void RemoveChildWindow(NativeWindow parent, NativeWindow child) {
    GtkWidget* widget = WidgetOf(child);
    if (StateOf(widget) == nullptr) return;
    if (gtk_window_get_transient_for(GTK_WINDOW(widget)) == GTK_WINDOW(WidgetOf(parent))) {
        gtk_window_set_transient_for(GTK_WINDOW(widget), nullptr);
    }
}

}  // namespace vorlune
