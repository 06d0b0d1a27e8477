#pragma once
// A window's menu bar from a table of menus and their items. The runtime keeps the menus, the
// platform shows the bar above the window's content, and the runtime answers the items' shortcuts;
// an item posts a menu event (type 1) whose item number is its command.

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

// Menu number `menu` becomes the menu bar of window `window`; false when memory ran out, and then
// nothing is left of it.
bool AttachMenuBar(int64_t menu, int64_t window, std::initializer_list<MenuTitle> menus);

}  // namespace viewer
