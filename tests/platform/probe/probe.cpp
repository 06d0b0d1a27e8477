// A small program on the GTK platform that the display tests drive from outside (xdotool,
// wmctrl, signals). It reports on standard output, one line each:
//   ready <window id of X11>            once its window is up and the first events are handled
//   key <type> <characters> <flags>     every key event the wait takes (hex, characters as units)
//   wait <result> <menu item> <window> <input>   every wait result; input 1 when the wait took
//                                                 an input event
//   drop <object> <window> <format> <action> <x> <y> <text>   every drop event on a window
//                                        (format in hex, the text's line feeds shown as |)
//   quit                                 after the Quit menu event
//   closed 1                             once it has closed its window, before it ends
// Modes: "borderless" (window 0, flags 0xC0), "titled" (every control), "replace" (as borderless,
// and while a key is held every pass replaces the window's content, as a repaint does), "drop"
// (as borderless, with a plain GTK window of drag sources, reported before ready as
//   sources <X11 window id>
// whose upper half drags the text "dropped text" and whose lower half the files /tmp/A and
// /tmp/B, each half 100 x 50 pixels).
#include <gtk/gtk.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/view.h"
#include "runtime/core/startup.h"
#include "runtime/events/application.h"
#include "runtime/events/event_queue.h"
#include "runtime/events/windows.h"
#include "runtime/gadgets/drag_drop.h"
#include "tests/support/probe_io.h"

namespace vorlune {
namespace {

bool tookInput = false;
int32_t keysHeld = 0;
NativeView shownView = nullptr;

bool IsInput(int32_t type) {
    return type != kApplicationDefined;
}

int32_t ReportEvent(const PlatformEvent& event, void*) {
    tookInput = tookInput || IsInput(event.type);
    if (event.type == kKeyDown || event.type == kKeyUp || event.type == kFlagsChanged) {
        std::printf("key %d ", event.type);
        for (int32_t i = 0; i < event.characterCount; ++i)
            std::printf("%04X", event.characters[i]);
        std::printf("%s %X\n", event.characterCount == 0 ? "-" : "", event.modifierFlags);
    }
    if (event.type == kKeyDown) keysHeld = 1;
    if (event.type == kKeyUp) keysHeld = 0;
    return 0;
}

void SendDraggedText(GtkWidget*, GdkDragContext*, GtkSelectionData* data, guint, guint, gpointer) {
    gtk_selection_data_set_text(data, "dropped text", -1);
}

void SendDraggedFiles(GtkWidget*, GdkDragContext*, GtkSelectionData* data, guint, guint, gpointer) {
    gchar* uris[] = {const_cast<gchar*>("file:///tmp/A"), const_cast<gchar*>("file:///tmp/B"),
                     nullptr};
    gtk_selection_data_set_uris(data, uris);
}

GtkWidget* DragSource(bool files) {
    GtkWidget* box = gtk_event_box_new();
    gtk_widget_set_size_request(box, 100, 50);
    gtk_drag_source_set(box, GDK_BUTTON1_MASK, nullptr, 0, GDK_ACTION_COPY);
    if (files) {
        gtk_drag_source_add_uri_targets(box);
        g_signal_connect(box, "drag-data-get", G_CALLBACK(SendDraggedFiles), nullptr);
    } else {
        gtk_drag_source_add_text_targets(box);
        g_signal_connect(box, "drag-data-get", G_CALLBACK(SendDraggedText), nullptr);
    }
    return box;
}

// A window of the toolkit's own, away from window 0 in the middle of the screen.
void OpenDragSources() {
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), "Probe drag sources");
    gtk_window_move(GTK_WINDOW(window), 0, 0);
    GtkWidget* column = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    gtk_box_pack_start(GTK_BOX(column), DragSource(false), FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(column), DragSource(true), FALSE, FALSE, 0);
    gtk_container_add(GTK_CONTAINER(window), column);
    gtk_widget_show_all(window);
    test::SettleWindow();
    std::printf("sources %lu\n", test::X11WindowOf(window));
}

void ReportDrop() {
    const auto* payload = static_cast<const DropPayload*>(EventPayload());
    if (payload == nullptr) return;
    std::string text;
    for (const char16_t* unit = payload->dropText; unit != nullptr && *unit != 0; ++unit)
        text += *unit == u'\n' ? '|' : static_cast<char>(*unit);
    std::printf("drop %lld %lld %X %u %d %d %s\n", static_cast<long long>(EventMenuID()),
                static_cast<long long>(EventWindow()), payload->dropFormat, payload->dropAction,
                payload->dropX, payload->dropY, text.c_str());
}

// What a repaint of the visualizer does to the window: a new view in place of the old one.
void ReplaceContent(NativeWindow window) {
    const NativeView content = WindowContentView(window);
    if (shownView != nullptr) RemoveFromSuperview(shownView);
    shownView = CreateContainerView({0, 0, 512, 512});
    AddSubview(content, shownView);
    SetViewNeedsDisplay(content);
}

void RunProbe() {
    const char* mode = ArgumentCount() > 1 ? ArgumentVector()[1] : "borderless";
    const bool titled = std::strcmp(mode, "titled") == 0;
    const bool replace = std::strcmp(mode, "replace") == 0;
    const bool drop = std::strcmp(mode, "drop") == 0;
    const char16_t* title = titled ? u"Probe titled" : u"Probe borderless";
    const uint32_t flags = titled
                               ? kWindowResizable | kWindowMaximiseControl | kWindowMinimiseControl
                               : kWindowBorderless | kWindowCentred;
    if (CreateWindow(0, 40, 30, 512, 512, title, flags) == 0) return;
    AddEventHook(ReportEvent, nullptr);
    if (drop) OpenDragSources();
    // Let the window come up and its first notifications pass before reporting readiness.
    test::SettleWindow();
    std::printf("ready %lu\n", test::X11WindowOf(WindowID(0)));
    for (;;) {
        tookInput = false;
        const int64_t result = WaitForEvent();
        std::printf("wait %lld %lld %lld %d\n", static_cast<long long>(result),
                    static_cast<long long>(EventMenuID()), static_cast<long long>(EventWindow()),
                    tookInput ? 1 : 0);
        if (result == kEventWindowDrop) ReportDrop();
        if (result == kEventMenu && EventMenuID() == kMenuItemQuit) break;
        if (replace && keysHeld != 0) ReplaceContent(WindowID(0));
    }
    std::printf("quit\n");
    CloseWindow(AnyNumber);
    while (PollWindowEvent() != 0) {
    }
    std::printf("closed %d\n", WindowID(0) == nullptr ? 1 : 0);
}

}  // namespace
}  // namespace vorlune

int main(int argc, char** argv) {
    return vorlune::test::RunProbeProgram(argc, argv, vorlune::RunProbe);
}
