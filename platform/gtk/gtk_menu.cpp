// GTK menu bars: a GtkMenuBar above the window's content, built anew from each description. The
// shortcuts are only shown: the runtime answers them, so an item never fires twice.
#include <cmath>

#include "platform/gtk/gtk_backend.h"
#include "platform/menu.h"

namespace vorlune {

using gtk::StateOf;
using gtk::WidgetOf;
using gtk::WindowState;

namespace {

constexpr const char* kMenuWindowKey = "vorlune-menu-window";

void OnItemActivate(GtkMenuItem* item, gpointer cookie) {
    auto* window = static_cast<GtkWidget*>(g_object_get_data(G_OBJECT(item), kMenuWindowKey));
    WindowState* state = StateOf(window);
    if (state == nullptr || state->closing || state->menuDelegate == nullptr) return;
    state->menuDelegate->menuItemChosen(gtk::WindowHandle(window), cookie);
}

void ShowShortcut(GtkWidget* item, const PlatformMenuItem& entry) {
    const guint keyval = gtk::KeyvalOfCharacter(entry.shortcut);
    GtkWidget* label = gtk_bin_get_child(GTK_BIN(item));
    if (keyval == 0 || !GTK_IS_ACCEL_LABEL(label)) return;
    gtk_accel_label_set_accel(GTK_ACCEL_LABEL(label), keyval,
                              gtk::ModifiersOf(entry.shortcutModifiers));
}

void FillMenuShell(GtkMenuShell* shell, const PlatformMenu& menu, GtkWidget* window);

GtkWidget* NewMenuItem(const PlatformMenuItem& entry, GtkWidget* window) {
    if (entry.separator) return gtk_separator_menu_item_new();
    gchar* title = entry.title != nullptr
                       ? g_utf16_to_utf8(reinterpret_cast<const gunichar2*>(entry.title), -1,
                                         nullptr, nullptr, nullptr)
                       : nullptr;
    GtkWidget* item = gtk_menu_item_new_with_label(title != nullptr ? title : "");
    g_free(title);
    gtk_widget_set_sensitive(item, entry.enabled);
    if (entry.shortcut != 0) ShowShortcut(item, entry);
    if (entry.submenu != nullptr) {
        GtkWidget* menu = gtk_menu_new();
        FillMenuShell(GTK_MENU_SHELL(menu), *entry.submenu, window);
        gtk_menu_item_set_submenu(GTK_MENU_ITEM(item), menu);
        return item;
    }
    g_object_set_data(G_OBJECT(item), kMenuWindowKey, window);
    g_signal_connect(item, "activate", G_CALLBACK(OnItemActivate), const_cast<void*>(entry.cookie));
    return item;
}

void FillMenuShell(GtkMenuShell* shell, const PlatformMenu& menu, GtkWidget* window) {
    for (int32_t i = 0; i < menu.itemCount; ++i)
        gtk_menu_shell_append(shell, NewMenuItem(menu.items[i], window));
}

// A fixed window takes its height from its content and bar; a resizable one is asked to grow
// or shrink by the bar, unless it fills the screen: then its content gives the bar its room.
void KeepContentSize(WindowState& state, double barHeightBefore) {
    const double change = gtk::MenuBarHeight(state) - barHeightBefore;
    if (change == 0) return;
    if (state.mapped) state.contentOrigin.y += change;  // until the window manager confirms it
    if (state.zoomed) {
        state.contentHeight -= change;
        if (state.mapped && state.delegate != nullptr) {
            state.delegate->windowDidResize(gtk::WindowHandle(state.window));
        }
        return;
    }
    if ((state.style & kWindowStyleResizable) == 0) return;
    gtk_window_resize(
        GTK_WINDOW(state.window), static_cast<int>(std::lround(state.contentWidth)),
        static_cast<int>(std::lround(state.contentHeight + gtk::MenuBarHeight(state))));
}

}  // namespace

namespace gtk {

double MenuBarHeight(const WindowState& state) {
    if (state.menuBar == nullptr) return 0;
    int minimum = 0, natural = 0;
    gtk_widget_get_preferred_height(state.menuBar, &minimum, &natural);
    return natural;
}

}  // namespace gtk

void SetWindowMenuBar(NativeWindow window, const PlatformMenu* bar, MenuBarDelegate* delegate) {
    WindowState* state = StateOf(WidgetOf(window));
    if (state == nullptr || state->closing) return;
    const double before = gtk::MenuBarHeight(*state);
    if (state->menuBar != nullptr) gtk_widget_destroy(state->menuBar);
    state->menuBar = nullptr;
    state->menuDelegate = bar != nullptr ? delegate : nullptr;
    if (bar != nullptr) {
        GtkWidget* menuBar = gtk_menu_bar_new();
        FillMenuShell(GTK_MENU_SHELL(menuBar), *bar, state->window);
        gtk_box_pack_start(GTK_BOX(state->box), menuBar, FALSE, FALSE, 0);
        gtk_box_reorder_child(GTK_BOX(state->box), menuBar, 0);
        gtk_widget_show_all(menuBar);
        state->menuBar = menuBar;
    }
    KeepContentSize(*state, before);
}

}  // namespace vorlune
