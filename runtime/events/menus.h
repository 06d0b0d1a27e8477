#pragma once
// Menus kept by the runtime: the application menu and menu bars, their items with titles, key
// equivalents and actions, the menu bar shown for the key window, the numbered menus, and the
// windows' own menu bars that the platform shows.

#include <cstdint>

#include "platform/events.h"
#include "platform/handles.h"
#include "platform/menu.h"
#include "runtime/core/registry.h"

namespace vorlune {

class ZkMenuDelegate;
struct Menu;
struct MenuRecord;

enum class MenuAction : int32_t {
    kNone,
    kAbout,
    kPreferences,
    kHide,
    kHideOthers,
    kUnhideAll,
    kTerminate,
    kEventHandler,  // a window menu's item: posts its tag
};

// The represented object of a window menu's items.
struct ZkMenuObject {
    MenuRecord* Menu;
    void initWithMenu(MenuRecord* menu) { Menu = menu; }
};

struct MenuItem {
    char16_t* title;  // owned
    MenuAction action;
    char16_t keyEquivalent;  // 0: none
    uint32_t keyEquivalentModifierMask;
    ZkMenuDelegate* target;  // null: the responder chain, which ends at the application
    int64_t tag;
    Menu* submenu;                    // owned
    ZkMenuObject* representedObject;  // owned
    bool isSeparator;
};

struct Menu {
    char16_t* title;  // owned
    MenuItem** items;
    int32_t itemCount;
    int32_t itemCapacity;
};

// One numbered menu. The first object is the in-use word.
struct MenuRecord {
    Menu* objects[3];  // released with the record
    int32_t notInMenuBar;
    NativeWindow window;  // the window the menu belongs to
    Menu* menuBar;        // shown as the menu bar while window is key
};

// The target of the Quit item and of window menus' items; posts menu events.
class ZkMenuDelegate {
  public:
    int64_t WindowID = -1;  // carried by the application menu's events

    void setWindowID(int64_t window) { WindowID = window; }
    void preferences();
    void about();
    void terminate();
    void eventHandler(const MenuItem& item);
};

// The menu model -----------------------------------------------------------------------------
Menu* CreateMenu(const char16_t* title);  // null when out of memory
void FreeMenuTree(Menu* menu);            // items, submenus and represented objects with it
MenuItem* AddMenuItem(Menu* menu, const char16_t* title, MenuAction action,
                      const char16_t* keyEquivalent);  // null when out of memory; mask: the
                                                       // accelerator key alone
int32_t AddMenuSeparator(Menu* menu);                  // 0 when out of memory
int32_t InsertMenuItem(Menu* menu, MenuItem* item, int32_t index);  // 0 when out of memory
void RemoveMenuItem(Menu* menu, MenuItem* item);                    // not freed
int32_t MenuItemIndex(const Menu* menu, const MenuItem* item);      // -1 when absent
bool IsMenuItemEnabled(const MenuItem& item);  // some target answers its action
bool PerformMenuItem(const MenuItem& item);    // false when nobody answered
bool PerformKeyEquivalent(const Menu* menu, const PlatformEvent& event);  // submenus included

// The application menu and the menu bar ------------------------------------------------------
Menu* BuildMenuBar();  // a new empty menu bar; the first call also builds the application menu
void InstallMenuBar(Menu* menuBar, int64_t window);
Menu* MainMenu();
Menu* DefaultMenuBar();
void SetDefaultMenuBar(Menu* menuBar);  // the bar shown when no window menu is
Menu* ApplicationMenu();
MenuItem* ApplicationMenuItem();  // the "Apple" item holding the application menu
ZkMenuDelegate* MenuDelegate();
void ActivateWindowMenu(NativeWindow window);
bool FreeWindowMenu(NativeWindow window);  // false when the window had no menu

// Numbered menus -----------------------------------------------------------------------------
void InitMenuSystem();  // the registry, once
ObjectRegistry* MenuRegistry();
void FreeMenu(int64_t number);  // AnyNumber frees every menu; a window loses the bar it showed
void FreeAllMenus();

// Window menu bars ---------------------------------------------------------------------------
// Menu `number` becomes the window's menu bar in place of the one it had, shown at once when the
// window is key: the empty bar to fill with AddSubmenu. Null without such a window or memory; an
// AnyNumber menu goes with its window.
Menu* CreateWindowMenu(int64_t number, int64_t window);
Menu* AddSubmenu(Menu* menu, const char16_t* title);  // held by a new item; null without memory
// An item that posts menu event (1, tag, the window of the bar it is in or 0 outside one, 0);
// kMenuItemQuit makes the Quit item. A shortcut (one character, null for none) is taken with
// exactly `modifiers`. Null without memory.
MenuItem* AddMenuCommand(Menu* menu, const char16_t* title, int64_t tag, const char16_t* shortcut,
                         uint32_t modifiers);
// The window bars go to the platform at the event wait after a menu changed through these
// operations; after changing an item's fields directly, refresh them.
void UpdateWindowMenuBars();   // when something changed since they were handed over; the wait's
void RefreshWindowMenuBars();  // now, whatever changed
// The platform's report of an item of the window's bar being chosen: performed as a click on it
// would be; false when the window's bar holds no such item or nobody answered it.
bool PerformWindowMenuItem(NativeWindow window, const void* cookie);

}  // namespace vorlune
