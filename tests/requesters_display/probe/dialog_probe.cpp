// A program on the GTK platform that opens one requester over its window for the display tests
// to answer with xdotool. It reports on standard output, one line each:
//   ready <window id>                   once its window is up
//   shown <dialog window id>            once the dialog has the keyboard, followed by what it
//                                       shows (see ReportMessageBox and ReportInputPanel)
//   result <code> | answer <text>       what the requester returned
//   key <0 or 1>                        whether the window is key again afterwards
//   polled <code>                       the first key the keyboard layer then sees released
// Modes: "message <flags>", "input <flags>", "startup" (the help box right after the window is
// created, as the program does it), "bound" (the help box from a callback bound to the window's
// move, which runs inside the runtime's wait).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/window.h"
#include "runtime/core/startup.h"
#include "runtime/core/strings.h"
#include "runtime/events/application.h"
#include "runtime/events/event_queue.h"
#include "runtime/events/windows.h"
#include "runtime/requesters/input_requester.h"
#include "runtime/requesters/message_requester.h"
#include "runtime/screen/keyboard.h"
#include "runtime/screen/screen.h"
#include "tests/support/probe_io.h"

namespace vorlune {
namespace {

std::string OneLine(const char* text) {
    std::string line = text != nullptr ? text : "";
    std::replace(line.begin(), line.end(), '\n', '|');
    std::replace(line.begin(), line.end(), '\r', '^');
    return line;
}

void ReportFrame(const char* name, GtkWidget* widget) {
    GtkWidget* toplevel = gtk_widget_get_toplevel(widget);
    int x = 0, y = 0;
    gtk_widget_translate_coordinates(widget, toplevel, 0, 0, &x, &y);
    std::printf("frame %s %d %d %d %d\n", name, x, y, gtk_widget_get_allocated_width(widget),
                gtk_widget_get_allocated_height(widget));
}

// "icon <icon name or ->", "headline <text>", "text <text>", "buttons <labels left to right>",
// "default <label>", with line feeds shown as | and carriage returns as ^.
void ReportMessageBox(GtkWidget* dialog) {
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    GtkWidget* image = gtk_message_dialog_get_image(GTK_MESSAGE_DIALOG(dialog));
    G_GNUC_END_IGNORE_DEPRECATIONS
    const gchar* icon = nullptr;
    if (image != nullptr && gtk_widget_get_visible(image)) {
        gtk_image_get_icon_name(GTK_IMAGE(image), &icon, nullptr);
    }
    gchar* headline = nullptr;
    gchar* text = nullptr;
    g_object_get(dialog, "text", &headline, "secondary-text", &text, nullptr);
    std::printf("icon %s\nheadline %s\ntext %s\n", icon != nullptr ? icon : "-",
                OneLine(headline).c_str(), OneLine(text).c_str());
    g_free(headline);
    g_free(text);
    std::vector<std::pair<int, std::string>> buttons;
    for (int response : {0, 1, 2, static_cast<int>(GTK_RESPONSE_OK)}) {
        GtkWidget* button = gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), response);
        if (button == nullptr) continue;
        int x = 0, y = 0;
        gtk_widget_translate_coordinates(button, dialog, 0, 0, &x, &y);
        buttons.emplace_back(x, OneLine(gtk_button_get_label(GTK_BUTTON(button))));
    }
    std::sort(buttons.begin(), buttons.end());
    std::printf("buttons");
    for (const auto& button : buttons)
        std::printf(" %s", button.second.c_str());
    GtkWidget* focus = gtk_window_get_default_widget(GTK_WINDOW(dialog));
    std::printf("\ndefault %s\n", focus != nullptr && GTK_IS_BUTTON(focus)
                                      ? OneLine(gtk_button_get_label(GTK_BUTTON(focus))).c_str()
                                      : "-");
}

// "size <width> <height>" of the content, "frame <label|field|button> x y w h", "hidden <0|1>",
// "selected <start> <end>", "default <label>".
void ReportInputPanel(GtkWidget* panel) {
    GtkWidget* fixed = gtk_bin_get_child(GTK_BIN(panel));
    std::printf("size %d %d\n", gtk_widget_get_allocated_width(fixed),
                gtk_widget_get_allocated_height(fixed));
    GList* children = gtk_container_get_children(GTK_CONTAINER(fixed));
    for (GList* item = children; item != nullptr; item = item->next) {
        GtkWidget* child = GTK_WIDGET(item->data);
        ReportFrame(GTK_IS_LABEL(child)   ? "label"
                    : GTK_IS_ENTRY(child) ? "field"
                                          : "button",
                    child);
        if (GTK_IS_ENTRY(child)) {
            int start = 0, end = 0;
            gtk_editable_get_selection_bounds(GTK_EDITABLE(child), &start, &end);
            std::printf("hidden %d\nselected %d %d\n",
                        gtk_entry_get_visibility(GTK_ENTRY(child)) ? 0 : 1, start, end);
        }
    }
    g_list_free(children);
    GtkWidget* button = gtk_window_get_default_widget(GTK_WINDOW(panel));
    std::printf("default %s\n", button != nullptr ? gtk_button_get_label(GTK_BUTTON(button)) : "-");
}

// Polls, inside the dialog's own loop, for the dialog to come up with the keyboard.
gboolean WatchForDialog(gpointer mainWindow) {
    GList* toplevels = gtk_window_list_toplevels();
    GtkWidget* dialog = nullptr;
    for (GList* item = toplevels; item != nullptr; item = item->next) {
        GtkWidget* widget = GTK_WIDGET(item->data);
        if (widget != mainWindow && gtk_widget_get_mapped(widget) &&
            gtk_window_is_active(GTK_WINDOW(widget))) {
            dialog = widget;
        }
    }
    g_list_free(toplevels);
    if (dialog == nullptr) return G_SOURCE_CONTINUE;
    std::printf("shown %lu\n", test::X11WindowOf(dialog));
    if (GTK_IS_MESSAGE_DIALOG(dialog)) {
        ReportMessageBox(dialog);
    } else {
        ReportInputPanel(dialog);
    }
    return G_SOURCE_REMOVE;
}

int64_t ShowHelp(int32_t flags) {
    return ShowMessageBox(
        u"HELP\r(press Return to open/close this)",
        u"\nUse ARROW KEYS to VORLUNE!\nwith CTRL+SHIFT: SuperFaster\n\nESC or Q to QUIT!\n",
        flags);
}

bool helpShownFromCallback = false;

void ShowHelpOnMove() {
    if (helpShownFromCallback) return;
    helpShownFromCallback = true;
    std::printf("result %lld\n", static_cast<long long>(ShowHelp(4)));
}

// The first key released after the dialog, as the program's loop would see it; -1 in time.
int32_t FirstReleasedKey() {
    for (int pass = 0; pass < 200; ++pass) {
        NextWindowEvent(25);
        PollKeyboard();
        for (int32_t code = 0; code < 256; ++code) {
            if (WasKeyReleased(code) != 0) return code;
        }
    }
    return -1;
}

void RunProbe() {
    const char* mode = ArgumentCount() > 1 ? ArgumentVector()[1] : "message";
    const int32_t flags = ArgumentCount() > 2 ? std::atoi(ArgumentVector()[2]) : 4;
    const bool startup = std::strcmp(mode, "startup") == 0;
    const bool bound = std::strcmp(mode, "bound") == 0;
    // The window as the program has it: a screen of 0 x 0 that hands its keys to the keyboard.
    if (CreateWindow(0, 0, 0, 512, 512, u"Probe", kWindowBorderless | kWindowCentred) == 0 ||
        InitKeyboardInput() == 0 || InitScreenSystem() == nullptr ||
        OpenScreenInWindow(WindowID(0), 0, 0, 0, 0) == 0) {
        return;
    }
    auto* window = reinterpret_cast<GtkWidget*>(WindowID(0));
    if (bound) BindEvent(kEventMoveWindow, ShowHelpOnMove, 0);
    if (!startup) {
        test::HandleWindowEventsAWhile();
        std::printf("ready %lu\n", test::X11WindowOf(window));
    }
    std::printf("before %d\n", KeyWindow() == WindowID(0) ? 1 : 0);
    g_timeout_add(50, WatchForDialog, window);
    if (bound) {
        while (!helpShownFromCallback)
            WaitForEvent();
    } else if (std::strcmp(mode, "input") == 0) {
        const auto start = static_cast<int32_t>(TempStrings().tempPos);
        AppendLiteral(u"el = 1.0940010548   df = 0.2937101722");
        TempStrings().tempPos += 2;
        char* answer = StringToUTF8Alloc(
            AskForText(u"VALUES", u"Current:", TempStringAt(start), flags, start));
        std::printf("answer %s\n", answer);
        std::free(answer);
        SetTempPosition(start);
    } else {
        std::printf("result %lld\n", static_cast<long long>(ShowHelp(flags)));
    }
    test::HandleWindowEventsAWhile();
    if (startup) std::printf("ready %lu\n", test::X11WindowOf(window));
    std::printf("key %d\n", KeyWindow() == WindowID(0) ? 1 : 0);
    std::printf("polled %d\n", FirstReleasedKey());
}

}  // namespace
}  // namespace vorlune

int main(int argc, char** argv) {
    return vorlune::test::RunProbeProgram(argc, argv, vorlune::RunProbe);
}
