#include "window_menu.h"

namespace viewer {

using namespace vorlune;

namespace {

bool AddEntry(Menu* menu, const MenuEntry& entry) {
    if (entry.title == nullptr) return AddMenuSeparator(menu) != 0;
    return AddMenuCommand(menu, entry.title, entry.command, entry.shortcut, entry.modifiers) !=
           nullptr;
}

bool AddMenus(Menu* bar, std::initializer_list<MenuTitle> menus) {
    for (const MenuTitle& title : menus) {
        Menu* menu = AddSubmenu(bar, title.title);
        if (menu == nullptr) return false;
        for (const MenuEntry& entry : title.entries) {
            if (!AddEntry(menu, entry)) return false;
        }
    }
    return true;
}

}  // namespace

bool AttachMenuBar(int64_t menu, int64_t window, std::initializer_list<MenuTitle> menus) {
    Menu* bar = CreateWindowMenu(menu, window);
    if (bar == nullptr) return false;
    if (AddMenus(bar, menus)) return true;
    FreeMenu(menu);
    return false;
}

}  // namespace viewer
