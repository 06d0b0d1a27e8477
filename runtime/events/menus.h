#pragma once
// Menus kept by the runtime: the application menu and menu bars, their items with titles, key
// equivalents and actions, the menu bar shown for the key window, and the numbered menus.

#include <cstdint>

#include "platform/events.h"
#include "platform/handles.h"
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
void FreeMenu(int64_t number);  // AnyNumber frees every menu
void FreeAllMenus();

}  // namespace vorlune
