#include "runtime/events/menus.h"

#include <cstring>

#include "platform/application.h"
#include "runtime/core/memory.h"
#include "runtime/core/strings.h"
#include "runtime/events/application.h"
#include "runtime/events/event_queue.h"
#include "runtime/events/registry_walk.h"

namespace vorlune {

namespace {

constexpr int32_t kMenuRegistryGrowBy = 8;
constexpr int32_t kMenuItemsGrowBy = 8;
constexpr uint32_t kKeyEquivalentModifiers =
    kShiftKeyFlag | kControlKeyFlag | kAlternateKeyFlag | kCommandKeyFlag;

ObjectRegistry* menuRegistry = nullptr;

struct ApplicationMenus {
    ZkMenuDelegate delegate;
    Menu* defaultMenuBar;
    Menu* mainMenu;
    MenuItem* applicationMenuItem;  // "Apple"
    Menu* applicationMenu;
    Menu* servicesMenu;
    MenuItem* aboutItem;
    MenuItem* preferencesItem;
    MenuItem* quitItem;
} menus;

// Sized-block copies of a prefix followed by a name.
char16_t* JoinTitle(const char16_t* prefix, const char16_t* name) {
    const int64_t prefixLength = StringLength(prefix);
    const int64_t nameLength = StringLength(name);
    auto* title = static_cast<char16_t*>(
        AllocBlock(static_cast<uint64_t>(prefixLength + nameLength + 1) * sizeof(char16_t)));
    if (title == nullptr) return nullptr;
    CopyChars(CopyChars(title, prefix, prefixLength), name, nameLength);
    return title;
}

void FreeMenuItem(MenuItem* item) {
    if (item == nullptr) return;
    FreeBlock(item->title);
    FreeMenuTree(item->submenu);
    FreeBlock(item->representedObject);
    FreeBlock(item);
}

// A key equivalent in upper case asks for Shift besides its mask.
uint32_t RequiredModifiers(const MenuItem& item) {
    const bool upper = item.keyEquivalent >= u'A' && item.keyEquivalent <= u'Z';
    return item.keyEquivalentModifierMask | (upper ? kShiftKeyFlag : 0);
}

bool MatchesKeyEquivalent(const MenuItem& item, const PlatformEvent& event) {
    return item.keyEquivalent != 0 && event.characterCount == 1 &&
           event.characters[0] == item.keyEquivalent &&
           (event.modifierFlags & kKeyEquivalentModifiers) == RequiredModifiers(item);
}

// The application's own answers at the end of the responder chain.
bool ApplicationHandles(MenuAction action) {
    return action == MenuAction::kHide || action == MenuAction::kHideOthers ||
           action == MenuAction::kUnhideAll || action == MenuAction::kTerminate;
}

MenuItem* AddFormattedItem(Menu* menu, const char16_t* prefix, const char16_t* name,
                           MenuAction action, const char16_t* keyEquivalent) {
    char16_t* title = JoinTitle(prefix, name);
    MenuItem* item = AddMenuItem(menu, title, action, keyEquivalent);
    FreeBlock(title);
    return item;
}

void BuildApplicationMenu() {
    char16_t* name = UTF8ToNewString(ApplicationName());
    const char16_t* shownName = name != nullptr ? name : u"";
    Menu* menu = CreateMenu(u"");
    menus.applicationMenu = menu;
    menus.aboutItem = AddFormattedItem(menu, u"About ", shownName, MenuAction::kAbout, u"");
    AddMenuSeparator(menu);
    menus.preferencesItem = AddMenuItem(menu, u"Preferences\u2026", MenuAction::kPreferences, u",");
    AddMenuSeparator(menu);
    MenuItem* services = AddMenuItem(menu, u"Services", MenuAction::kNone, u"");
    menus.servicesMenu = CreateMenu(u"Services");
    if (services != nullptr) services->submenu = menus.servicesMenu;
    AddMenuSeparator(menu);
    AddFormattedItem(menu, u"Hide ", shownName, MenuAction::kHide, u"h");
    MenuItem* hideOthers = AddMenuItem(menu, u"Hide Others", MenuAction::kHideOthers, u"h");
    if (hideOthers != nullptr) {
        hideOthers->keyEquivalentModifierMask = kAcceleratorKeyFlag | kAlternateKeyFlag;
    }
    AddMenuItem(menu, u"Show All", MenuAction::kUnhideAll, u"");
    AddMenuSeparator(menu);
    menus.quitItem = AddFormattedItem(menu, u"Quit ", shownName, MenuAction::kTerminate, u"q");
    if (menus.quitItem != nullptr) menus.quitItem->target = &menus.delegate;
    FreeMemory(name);

    // The item that holds the application menu lives outside every menu bar until installed.
    auto* item = static_cast<MenuItem*>(AllocBlock(sizeof(MenuItem)));
    if (item != nullptr) {
        item->title = JoinTitle(u"Apple", u"");
        item->submenu = menu;
    }
    menus.applicationMenuItem = item;
}

}  // namespace

// ZkMenuDelegate ------------------------------------------------------------------------------

void ZkMenuDelegate::preferences() {
    PostEvent(kEventMenu, kMenuItemPreferences, WindowID, 0);
}
void ZkMenuDelegate::about() {
    PostEvent(kEventMenu, kMenuItemAbout, WindowID, 0);
}
void ZkMenuDelegate::terminate() {
    PostEvent(kEventMenu, kMenuItemQuit, WindowID, 0);
}

void ZkMenuDelegate::eventHandler(const MenuItem& item) {
    int64_t window = 0;
    const ZkMenuObject* object = item.representedObject;
    if (object != nullptr && object->Menu != nullptr && object->Menu->window != nullptr) {
        window = WindowNumberOf(object->Menu->window);
    }
    PostEvent(kEventMenu, item.tag, window, 0);
}

// The menu model -----------------------------------------------------------------------------

Menu* CreateMenu(const char16_t* title) {
    auto* menu = static_cast<Menu*>(AllocBlock(sizeof(Menu)));
    if (menu == nullptr) return nullptr;
    menu->title = JoinTitle(title, u"");
    if (menu->title == nullptr) {
        FreeBlock(menu);
        return nullptr;
    }
    return menu;
}

void FreeMenuTree(Menu* menu) {
    if (menu == nullptr) return;
    for (int32_t i = 0; i < menu->itemCount; ++i)
        FreeMenuItem(menu->items[i]);
    FreeBlock(menu->items);
    FreeBlock(menu->title);
    FreeBlock(menu);
}

MenuItem* AddMenuItem(Menu* menu, const char16_t* title, MenuAction action,
                      const char16_t* keyEquivalent) {
    if (menu == nullptr) return nullptr;
    auto* item = static_cast<MenuItem*>(AllocBlock(sizeof(MenuItem)));
    if (item == nullptr) return nullptr;
    item->title = JoinTitle(title, u"");
    item->action = action;
    item->keyEquivalent = keyEquivalent != nullptr ? keyEquivalent[0] : 0;
    item->keyEquivalentModifierMask = item->keyEquivalent != 0 ? kAcceleratorKeyFlag : 0;
    if (item->title == nullptr || InsertMenuItem(menu, item, menu->itemCount) == 0) {
        FreeMenuItem(item);
        return nullptr;
    }
    return item;
}

int32_t AddMenuSeparator(Menu* menu) {
    MenuItem* item = AddMenuItem(menu, u"", MenuAction::kNone, u"");
    if (item == nullptr) return 0;
    item->isSeparator = true;
    return 1;
}

int32_t InsertMenuItem(Menu* menu, MenuItem* item, int32_t index) {
    if (menu == nullptr || item == nullptr) return 0;
    if (menu->itemCount == menu->itemCapacity) {
        const int32_t capacity = menu->itemCapacity + kMenuItemsGrowBy;
        void* items =
            menu->items == nullptr
                ? AllocBlock(static_cast<uint64_t>(capacity) * sizeof(MenuItem*))
                : ResizeBlock(menu->items, static_cast<uint64_t>(capacity) * sizeof(MenuItem*));
        if (items == nullptr) return 0;
        menu->items = static_cast<MenuItem**>(items);
        menu->itemCapacity = capacity;
    }
    if (index < 0 || index > menu->itemCount) index = menu->itemCount;
    std::memmove(menu->items + index + 1, menu->items + index,
                 static_cast<size_t>(menu->itemCount - index) * sizeof(MenuItem*));
    menu->items[index] = item;
    ++menu->itemCount;
    return 1;
}

void RemoveMenuItem(Menu* menu, MenuItem* item) {
    const int32_t index = MenuItemIndex(menu, item);
    if (index < 0) return;
    std::memmove(menu->items + index, menu->items + index + 1,
                 static_cast<size_t>(menu->itemCount - index - 1) * sizeof(MenuItem*));
    --menu->itemCount;
}

int32_t MenuItemIndex(const Menu* menu, const MenuItem* item) {
    if (menu == nullptr || item == nullptr) return -1;
    for (int32_t i = 0; i < menu->itemCount; ++i) {
        if (menu->items[i] == item) return i;
    }
    return -1;
}

bool IsMenuItemEnabled(const MenuItem& item) {
    if (item.isSeparator || item.action == MenuAction::kNone) return false;
    return item.target != nullptr || ApplicationHandles(item.action);
}

bool PerformMenuItem(const MenuItem& item) {
    if (!IsMenuItemEnabled(item)) return false;
    if (item.target != nullptr) {
        ZkMenuDelegate& target = *item.target;
        switch (item.action) {
            case MenuAction::kAbout:
                target.about();
                return true;
            case MenuAction::kPreferences:
                target.preferences();
                return true;
            case MenuAction::kTerminate:
                target.terminate();
                return true;
            case MenuAction::kEventHandler:
                target.eventHandler(item);
                return true;
            default:
                break;  // the responder chain goes on to the application
        }
    }
    switch (item.action) {
        case MenuAction::kHide:
            HideApplication();
            return true;
        // Linux offers no hiding of other applications; the shortcut is still taken.
        case MenuAction::kHideOthers:
        case MenuAction::kUnhideAll:
            return true;
        case MenuAction::kTerminate: {
            ApplicationDelegate* delegate = GetApplicationDelegate();
            if (delegate != nullptr) delegate->applicationShouldTerminate();
            return true;
        }
        default:
            return false;
    }
}

bool PerformKeyEquivalent(const Menu* menu, const PlatformEvent& event) {
    if (menu == nullptr) return false;
    for (int32_t i = 0; i < menu->itemCount; ++i) {
        const MenuItem& item = *menu->items[i];
        if (MatchesKeyEquivalent(item, event) && PerformMenuItem(item)) return true;
        if (PerformKeyEquivalent(item.submenu, event)) return true;
    }
    return false;
}

// The application menu and the menu bar ------------------------------------------------------

Menu* BuildMenuBar() {
    Menu* menuBar = CreateMenu(u"");
    if (menus.applicationMenu == nullptr) BuildApplicationMenu();
    return menuBar;
}

void InstallMenuBar(Menu* menuBar, int64_t window) {
    if (menuBar == nullptr) return;
    MenuItem* item = menus.applicationMenuItem;
    if (menus.mainMenu != nullptr) RemoveMenuItem(menus.mainMenu, item);
    RemoveMenuItem(menuBar, item);
    InsertMenuItem(menuBar, item, 0);
    menus.mainMenu = menuBar;
    menus.delegate.setWindowID(window);
}

Menu* MainMenu() {
    return menus.mainMenu;
}
Menu* DefaultMenuBar() {
    return menus.defaultMenuBar;
}
Menu* ApplicationMenu() {
    return menus.applicationMenu;
}
MenuItem* ApplicationMenuItem() {
    return menus.applicationMenuItem;
}
ZkMenuDelegate* MenuDelegate() {
    return &menus.delegate;
}

void ActivateWindowMenu(NativeWindow window) {
    if (menuRegistry == nullptr || window == nullptr) return;
    Menu* menuBar = nullptr;
    WalkRegistry(menuRegistry, [&](void* found, int64_t) {
        const auto* record = static_cast<const MenuRecord*>(found);
        if (record->window != window || record->notInMenuBar != 0) return true;
        menuBar = record->menuBar;
        return false;
    });
    if (menuBar != nullptr) InstallMenuBar(menuBar, WindowNumberOf(window));
}

bool FreeWindowMenu(NativeWindow window) {
    if (menuRegistry == nullptr || window == nullptr) return false;
    int64_t number = 0;
    bool found = false;
    WalkRegistry(menuRegistry, [&](void* record, int64_t recordNumber) {
        if (static_cast<const MenuRecord*>(record)->window != window) return true;
        number = recordNumber;
        found = true;
        return false;
    });
    if (found) FreeMenu(number);
    return found;
}

// Numbered menus -----------------------------------------------------------------------------

void InitMenuSystem() {
    CreateObjectRegistryOnce(&menuRegistry, sizeof(MenuRecord), kMenuRegistryGrowBy, FreeMenu);
}

ObjectRegistry* MenuRegistry() {
    return menuRegistry;
}

void FreeMenu(int64_t number) {
    if (menuRegistry == nullptr) return;
    if (number == AnyNumber) {
        FreeAllObjects(menuRegistry);
        return;
    }
    auto* record = static_cast<MenuRecord*>(GetObject(menuRegistry, number));
    if (record == nullptr) return;
    if (record->menuBar != nullptr && record->menuBar == menus.mainMenu) {
        InstallMenuBar(menus.defaultMenuBar, -1);
    }
    // Each distinct menu once, though a record may name one in several places.
    Menu* owned[4] = {record->objects[0], record->objects[1], record->objects[2], record->menuBar};
    for (int32_t i = 0; i < 4; ++i) {
        bool seen = false;
        for (int32_t j = 0; j < i; ++j)
            seen = seen || owned[j] == owned[i];
        if (!seen) FreeMenuTree(owned[i]);
    }
    FreeObject(menuRegistry, number);
}

void FreeAllMenus() {
    FreeMenu(AnyNumber);
}

void SetDefaultMenuBar(Menu* menuBar) {
    menus.defaultMenuBar = menuBar;
}

}  // namespace vorlune
