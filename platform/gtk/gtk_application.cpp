// The GTK application: the toolkit started on X11, quit requests from signals, edit actions
// sent to the focus widget, and the main screen.
#include <glib-unix.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <initializer_list>
#include <string>

#include "platform/application.h"
#include "platform/gtk/gtk_backend.h"
#include "platform/screen.h"

namespace vorlune {

namespace gtk {

void InstallEventHandler();

namespace {

std::atomic<bool> running{false};  // read by wake-ups from worker threads
std::string failure;
ApplicationDelegate* applicationDelegate = nullptr;

// A refused request is the delegate's to act on (the runtime queues the Quit menu event), which
// a modal dialog would hold back until the user answered it: so the dialogs end.
gboolean OnQuitSignal(gpointer) {
    if (applicationDelegate == nullptr) return G_SOURCE_CONTINUE;
    if (applicationDelegate->applicationShouldTerminate() == TerminateReply::kTerminateNow) {
        std::exit(0);
    }
    EndModalDialogs();
    return G_SOURCE_CONTINUE;
}

GtkWidget* ActiveToplevel() {
    GList* toplevels = gtk_window_list_toplevels();
    GtkWidget* active = nullptr;
    for (GList* item = toplevels; item != nullptr && active == nullptr; item = item->next) {
        if (gtk_window_is_active(GTK_WINDOW(item->data))) active = GTK_WIDGET(item->data);
    }
    g_list_free(toplevels);
    return active;
}

GdkMonitor* MainMonitor() {
    if (!gtk::running) return nullptr;
    GdkDisplay* display = gtk::Display();
    GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
    return monitor != nullptr ? monitor : gdk_display_get_monitor(display, 0);
}

PlatformRect RectOf(const GdkRectangle& area) {
    return {static_cast<double>(area.x), static_cast<double>(area.y),
            static_cast<double>(area.width), static_cast<double>(area.height)};
}

}  // namespace

bool IsRunning() {
    return running;
}
GdkDisplay* Display() {
    return gdk_display_get_default();
}

}  // namespace gtk

bool StartPlatformApplication() {
    if (gtk::running) return true;
    // X11 first, also under Wayland (through XWayland), so that placement works.
    gdk_set_allowed_backends("x11");
    if (!gtk_init_check(nullptr, nullptr)) {
        const char* name = gdk_get_display_arg_name();
        if (name == nullptr) name = g_getenv("DISPLAY");
        gtk::failure = "cannot open display";
        if (name != nullptr && name[0] != 0) gtk::failure += std::string(": ") + name;
        return false;
    }
    gtk::failure.clear();
    gtk::running = true;
    gtk::InstallEventHandler();
    return true;
}

const char* PlatformApplicationFailure() {
    return gtk::failure.empty() ? nullptr : gtk::failure.c_str();
}

void FinishLaunchingApplication() {
    if (!gtk::running) return;
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        g_unix_signal_add(signal, gtk::OnQuitSignal, nullptr);
    }
}

bool IsPlatformApplicationRunning() {
    return gtk::running;
}

void SetApplicationDelegate(ApplicationDelegate* delegate) {
    gtk::applicationDelegate = delegate;
}
ApplicationDelegate* GetApplicationDelegate() {
    return gtk::applicationDelegate;
}

bool SendEditAction(EditAction action) {
    if (!gtk::running) return false;
    GtkWidget* toplevel = gtk::ActiveToplevel();
    GtkWidget* focus = toplevel != nullptr ? gtk_window_get_focus(GTK_WINDOW(toplevel)) : nullptr;
    if (focus == nullptr || !GTK_IS_EDITABLE(focus)) return false;
    GtkEditable* editable = GTK_EDITABLE(focus);
    switch (action) {
        case EditAction::kCut:
            gtk_editable_cut_clipboard(editable);
            return true;
        case EditAction::kCopy:
            gtk_editable_copy_clipboard(editable);
            return true;
        case EditAction::kPaste:
            gtk_editable_paste_clipboard(editable);
            return true;
        case EditAction::kSelectAll:
            gtk_editable_select_region(editable, 0, -1);
            return true;
        default:
            return false;  // GTK 3 entries keep no undo history
    }
}

void HideApplication() {
    if (!gtk::running) return;
    GList* toplevels = gtk_window_list_toplevels();
    for (GList* item = toplevels; item != nullptr; item = item->next) {
        GtkWidget* window = GTK_WIDGET(item->data);
        if (gtk::StateOf(window) != nullptr && gtk_widget_get_visible(window)) {
            gtk_window_iconify(GTK_WINDOW(window));
        }
    }
    g_list_free(toplevels);
}

PlatformRect MainScreenFrame() {
    GdkMonitor* monitor = gtk::MainMonitor();
    if (monitor == nullptr) return {};
    GdkRectangle geometry;
    gdk_monitor_get_geometry(monitor, &geometry);
    return gtk::RectOf(geometry);
}

PlatformRect MainScreenWorkArea() {
    GdkMonitor* monitor = gtk::MainMonitor();
    if (monitor == nullptr) return {};
    GdkRectangle area;
    gdk_monitor_get_workarea(monitor, &area);
    return gtk::RectOf(area);
}

}  // namespace vorlune
