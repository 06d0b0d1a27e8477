#include "window_menu.h"

namespace viewer {

using namespace vorlune;

namespace {

bool AddEntry(Menu* menu, MenuRecord* record, const MenuEntry& entry) {
    if (entry.title == nullptr) return AddMenuSeparator(menu) != 0;
    // Quit goes through the application's own action, which the platform's quit request shares.
    const MenuAction action =
        entry.command == kMenuItemQuit ? MenuAction::kTerminate : MenuAction::kEventHandler;
    MenuItem* item = AddMenuItem(menu, entry.title, action, entry.shortcut);
    if (item == nullptr) return false;
    item->target = MenuDelegate();
    item->tag = entry.command;
    if (entry.shortcut != nullptr) item->keyEquivalentModifierMask = entry.modifiers;
    // The represented object names the menu, and so the window its events carry.
    item->representedObject = static_cast<ZkMenuObject*>(AllocBlock(sizeof(ZkMenuObject)));
    if (item->representedObject == nullptr) return false;
    item->representedObject->initWithMenu(record);
    return true;
}

bool AddMenu(Menu* bar, MenuRecord* record, const MenuTitle& title) {
    MenuItem* holder = AddMenuItem(bar, title.title, MenuAction::kNone, nullptr);
    if (holder == nullptr) return false;
    holder->submenu = CreateMenu(title.title);
    if (holder->submenu == nullptr) return false;
    for (const MenuEntry& entry : title.entries) {
        if (!AddEntry(holder->submenu, record, entry)) return false;
    }
    return true;
}

}  // namespace

bool AttachMenuBar(int64_t menu, int64_t window, std::initializer_list<MenuTitle> menus) {
    auto* record = static_cast<MenuRecord*>(AllocateObject(MenuRegistry(), menu));
    if (record == nullptr) return false;
    Menu* bar = BuildMenuBar();
    if (bar == nullptr) return false;
    record->objects[0] = bar;  // the record's in-use word; FreeMenu frees the bar once
    record->menuBar = bar;
    record->window = WindowID(window);
    for (const MenuTitle& title : menus) {
        if (!AddMenu(bar, record, title)) {
            FreeMenu(menu);
            return false;
        }
    }
    InstallMenuBar(bar, window);  // the window may be key already, so it would not be shown
    return true;
}

}  // namespace viewer
