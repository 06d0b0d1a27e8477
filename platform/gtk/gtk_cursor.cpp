// The pointer under GTK: a blank cursor over the program's windows, warps through the pointer
// device, and the movement summed from the motion events GDK reads.
#include <algorithm>
#include <cmath>

#include "platform/cursor.h"
#include "platform/gtk/gtk_backend.h"

namespace vorlune {

namespace {

struct Pointer {
    bool hidden;
    bool known;  // lastX, lastY hold a position
    double lastX, lastY;
    double pendingX, pendingY;
} pointer{};

void SetCursorOnOurWindows(GdkCursor* cursor) {
    GList* toplevels = gtk_window_list_toplevels();
    for (GList* item = toplevels; item != nullptr; item = item->next) {
        GtkWidget* window = GTK_WIDGET(item->data);
        GdkWindow* gdkWindow = gtk_widget_get_window(window);
        if (gtk::StateOf(window) != nullptr && gdkWindow != nullptr) {
            gdk_window_set_cursor(gdkWindow, cursor);
        }
    }
    g_list_free(toplevels);
}

int32_t TakeWhole(double* pending) {
    const double whole = std::clamp(std::trunc(*pending), -2147483647.0, 2147483647.0);
    *pending -= whole;
    return static_cast<int32_t>(whole);
}

}  // namespace

namespace gtk {

void NotePointerMotion(double rootX, double rootY) {
    if (pointer.known) {
        pointer.pendingX += rootX - pointer.lastX;
        pointer.pendingY += rootY - pointer.lastY;
    }
    pointer.known = true;
    pointer.lastX = rootX;
    pointer.lastY = rootY;
}

}  // namespace gtk

void HideCursor() {
    if (!gtk::IsRunning()) return;
    GdkCursor* blank = gdk_cursor_new_for_display(gtk::Display(), GDK_BLANK_CURSOR);
    SetCursorOnOurWindows(blank);
    g_object_unref(blank);
    pointer.hidden = true;
}

void ShowCursor() {
    if (!gtk::IsRunning()) return;
    SetCursorOnOurWindows(nullptr);
    pointer.hidden = false;
}

bool IsCursorHidden() {
    return pointer.hidden;
}

void WarpCursor(double x, double y) {
    if (!gtk::IsRunning()) return;
    GdkDisplay* display = gtk::Display();
    GdkDevice* device = gdk_seat_get_pointer(gdk_display_get_default_seat(display));
    if (device == nullptr) return;
    const int warpX = static_cast<int>(std::lround(std::clamp(x, -1e6, 1e6)));
    const int warpY = static_cast<int>(std::lround(std::clamp(y, -1e6, 1e6)));
    gdk_device_warp(device, gdk_display_get_default_screen(display), warpX, warpY);
    pointer.known = true;
    pointer.lastX = warpX;
    pointer.lastY = warpY;
}

void TakeMouseDelta(int32_t* deltaX, int32_t* deltaY) {
    *deltaX = TakeWhole(&pointer.pendingX);
    *deltaY = TakeWhole(&pointer.pendingY);
}

}  // namespace vorlune
