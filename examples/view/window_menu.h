#pragma once
// A window's menu bar, assembled from the runtime's menu model. The runtime keeps the menus,
// shows a window's bar while the window is key and answers the items' key equivalents; an item
// posts a menu event (type 1) whose item number is its command. The GTK platform draws no menu
// bar, so there the shortcuts are how the items are reached.

#include <vorlune/vorlune.h>

#include <cstdint>
#include <initializer_list>

namespace viewer {

struct MenuEntry {
    const char16_t* title;     // null: a separator
    int64_t command;           // the item of its menu events; kMenuItemQuit for Quit
    const char16_t* shortcut;  // one character, or null for none
    uint32_t modifiers;        // held with the shortcut's key
};

struct MenuTitle {
    const char16_t* title;
    std::initializer_list<MenuEntry> entries;
};

// Menu number `menu` becomes the menu bar of window `window`, shown at once; false when memory
// ran out, and then nothing is left of it.
bool AttachMenuBar(int64_t menu, int64_t window, std::initializer_list<MenuTitle> menus);

}  // namespace viewer
