#include "runtime/events/menus.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <vector>

#include "platform/application.h"
#include "platform/window.h"
#include "runtime/core/memory.h"
#include "runtime/core/strings.h"
#include "runtime/events/application.h"
#include "runtime/events/event_queue.h"
#include "runtime/events/registry_walk.h"
#include "runtime/events/windows.h"

namespace vorlune {

namespace {

constexpr int32_t kMenuRegistryGrowBy = 8;
constexpr int32_t kMenuItemsGrowBy = 8;
constexpr uint32_t kKeyEquivalentModifiers =
    kShiftKeyFlag | kControlKeyFlag | kAlternateKeyFlag | kCommandKeyFlag;
// Menus nested deeper (or a menu inside itself) are neither shown nor searched further.
constexpr int32_t kMaxMenuDepth = 16;

ObjectRegistry* menuRegistry = nullptr;
bool windowMenusChanged = false;  // since the window bars were last handed to the platform

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

bool InsertItem(Menu* menu, MenuItem* item, int32_t index) {
    if (menu == nullptr || item == nullptr) return false;
    if (menu->itemCount == menu->itemCapacity) {
        const int32_t capacity = menu->itemCapacity + kMenuItemsGrowBy;
        void* items =
            menu->items == nullptr
                ? AllocBlock(static_cast<uint64_t>(capacity) * sizeof(MenuItem*))
                : ResizeBlock(menu->items, static_cast<uint64_t>(capacity) * sizeof(MenuItem*));
        if (items == nullptr) return false;
        menu->items = static_cast<MenuItem**>(items);
        menu->itemCapacity = capacity;
    }
    if (index < 0 || index > menu->itemCount) index = menu->itemCount;
    std::memmove(menu->items + index + 1, menu->items + index,
                 static_cast<size_t>(menu->itemCount - index) * sizeof(MenuItem*));
    menu->items[index] = item;
    ++menu->itemCount;
    return true;
}

void RemoveItem(Menu* menu, MenuItem* item) {
    const int32_t index = MenuItemIndex(menu, item);
    if (index < 0) return;
    std::memmove(menu->items + index, menu->items + index + 1,
                 static_cast<size_t>(menu->itemCount - index - 1) * sizeof(MenuItem*));
    --menu->itemCount;
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

// Window bars ---------------------------------------------------------------------------------

bool ShownAsMenuBar(const MenuRecord& record) {
    return record.window != nullptr && record.notInMenuBar == 0 && record.menuBar != nullptr;
}

// The menu whose bar the window shows: its first that may be a menu bar, as on becoming key.
MenuRecord* WindowMenuRecord(NativeWindow window, int64_t* number = nullptr) {
    MenuRecord* shown = nullptr;
    WalkRegistry(menuRegistry, [&](void* found, int64_t foundNumber) {
        auto* record = static_cast<MenuRecord*>(found);
        if (record->window != window || !ShownAsMenuBar(*record)) return true;
        shown = record;
        if (number != nullptr) *number = foundNumber;
        return false;
    });
    return shown;
}

bool MenuContains(const Menu* tree, const Menu* menu, int32_t depth) {
    if (tree == nullptr || depth > kMaxMenuDepth) return false;
    if (tree == menu) return true;
    for (int32_t i = 0; i < tree->itemCount; ++i) {
        if (MenuContains(tree->items[i]->submenu, menu, depth + 1)) return true;
    }
    return false;
}

// The numbered menu whose bar or other menus hold the menu; null for none.
MenuRecord* RecordHolding(const Menu* menu) {
    MenuRecord* holder = nullptr;
    WalkRegistry(menuRegistry, [&](void* found, int64_t) {
        auto* record = static_cast<MenuRecord*>(found);
        const Menu* trees[] = {record->menuBar, record->objects[0], record->objects[1],
                               record->objects[2]};
        for (const Menu* tree : trees) {
            if (MenuContains(tree, menu, 0)) holder = record;
        }
        return holder == nullptr;
    });
    return holder;
}

// Compares addresses only: the cookie comes back from the platform and is never read through.
const MenuItem* FindShownItem(const Menu* menu, const void* cookie, int32_t depth) {
    if (menu == nullptr || depth > kMaxMenuDepth) return nullptr;
    for (int32_t i = 0; i < menu->itemCount; ++i) {
        const MenuItem* item = menu->items[i];
        if (item == menus.applicationMenuItem) continue;
        if (item == cookie) return item;
        if (const MenuItem* found = FindShownItem(item->submenu, cookie, depth + 1)) return found;
    }
    return nullptr;
}

// The platform's description of a bar, kept as long as the builder. Linux has no application
// menu: its item is left out, and Quit belongs in a menu of the window's own.
class PlatformMenuBuilder {
  public:
    const PlatformMenu* Describe(const Menu& menu, int32_t depth) {
        std::vector<PlatformMenuItem>& items = items_.emplace_back();
        items.reserve(static_cast<size_t>(menu.itemCount));
        for (int32_t i = 0; i < menu.itemCount; ++i) {
            const MenuItem& item = *menu.items[i];
            if (&item == menus.applicationMenuItem) continue;
            PlatformMenuItem entry{};
            entry.title = item.title;
            entry.separator = item.isSeparator;
            entry.enabled = IsMenuItemEnabled(item);
            entry.cookie = &item;
            if (item.keyEquivalent != 0) {
                entry.shortcut = item.keyEquivalent;
                entry.shortcutModifiers = RequiredModifiers(item);
            }
            if (item.submenu != nullptr && depth < kMaxMenuDepth) {
                entry.submenu = Describe(*item.submenu, depth + 1);
                entry.enabled = true;
            }
            items.push_back(entry);
        }
        return &menus_.emplace_back(
            PlatformMenu{menu.title, items.data(), static_cast<int32_t>(items.size())});
    }

  private:
    std::deque<std::vector<PlatformMenuItem>> items_;  // a deque keeps earlier lists in place
    std::deque<PlatformMenu> menus_;
};

class ZkMenuBarDelegate : public MenuBarDelegate {
  public:
    void menuItemChosen(NativeWindow window, const void* cookie) override {
        PerformWindowMenuItem(window, cookie);
    }
} menuBarDelegate;

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
    windowMenusChanged = true;
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
    if (!InsertItem(menu, item, index)) return 0;
    windowMenusChanged = true;
    return 1;
}

void RemoveMenuItem(Menu* menu, MenuItem* item) {
    if (MenuItemIndex(menu, item) < 0) return;
    RemoveItem(menu, item);
    windowMenusChanged = true;
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
    // The application item is no part of what the platform shows of a window's bar.
    MenuItem* item = menus.applicationMenuItem;
    if (menus.mainMenu != nullptr) RemoveItem(menus.mainMenu, item);
    RemoveItem(menuBar, item);
    InsertItem(menuBar, item, 0);
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
    // At once: the platform's items point at this menu's, which are about to go. Another menu
    // of the window may take the bar's place at the next update.
    if (WindowMenuRecord(record->window) == record) {
        SetWindowMenuBar(record->window, nullptr, nullptr);
        windowMenusChanged = true;
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

// Window menu bars ---------------------------------------------------------------------------

Menu* CreateWindowMenu(int64_t number, int64_t window) {
    const NativeWindow native = WindowID(window);
    if (native == nullptr || menuRegistry == nullptr) return nullptr;
    // Menus of the window that are never a menu bar (its pop-up menus, say) stay.
    for (int64_t old = 0; WindowMenuRecord(native, &old) != nullptr;)
        FreeMenu(old);
    Menu* bar = BuildMenuBar();
    if (bar == nullptr) return nullptr;
    auto* record = static_cast<MenuRecord*>(AllocateObject(menuRegistry, number));
    if (record == nullptr) {
        FreeMenuTree(bar);
        return nullptr;
    }
    record->objects[0] = bar;  // the in-use word; FreeMenu frees the bar once
    record->menuBar = bar;
    record->window = native;
    windowMenusChanged = true;
    // A key window installed its bar on becoming key, which is past.
    if (IsWindowKey(native)) InstallMenuBar(bar, window);
    return bar;
}

Menu* AddSubmenu(Menu* menu, const char16_t* title) {
    Menu* submenu = CreateMenu(title);
    if (submenu == nullptr) return nullptr;
    MenuItem* item = AddMenuItem(menu, title, MenuAction::kNone, nullptr);
    if (item == nullptr) {
        FreeMenuTree(submenu);
        return nullptr;
    }
    item->submenu = submenu;
    return submenu;
}

MenuItem* AddMenuCommand(Menu* menu, const char16_t* title, int64_t tag, const char16_t* shortcut,
                         uint32_t modifiers) {
    if (menu == nullptr) return nullptr;
    auto* object = static_cast<ZkMenuObject*>(AllocBlock(sizeof(ZkMenuObject)));
    if (object == nullptr) return nullptr;
    // Quit goes through the application's own action, which the platform's quit request shares.
    const MenuAction action =
        tag == kMenuItemQuit ? MenuAction::kTerminate : MenuAction::kEventHandler;
    MenuItem* item = AddMenuItem(menu, title, action, shortcut);
    if (item == nullptr) {
        FreeBlock(object);
        return nullptr;
    }
    item->target = &menus.delegate;
    item->tag = tag;
    if (item->keyEquivalent != 0)
        item->keyEquivalentModifierMask = modifiers & kKeyEquivalentModifiers;
    // The represented object names the numbered menu, and so the window its events carry.
    object->initWithMenu(RecordHolding(menu));
    item->representedObject = object;
    return item;
}

void UpdateWindowMenuBars() {
    if (windowMenusChanged) RefreshWindowMenuBars();
}

void RefreshWindowMenuBars() {
    windowMenusChanged = false;
    std::vector<NativeWindow> shown;
    WalkRegistry(menuRegistry, [&](void* found, int64_t) {
        const auto* record = static_cast<const MenuRecord*>(found);
        if (!ShownAsMenuBar(*record) ||
            std::find(shown.begin(), shown.end(), record->window) != shown.end()) {
            return true;
        }
        shown.push_back(record->window);
        PlatformMenuBuilder builder;
        SetWindowMenuBar(record->window, builder.Describe(*record->menuBar, 0), &menuBarDelegate);
        return true;
    });
}

bool PerformWindowMenuItem(NativeWindow window, const void* cookie) {
    const MenuRecord* record = window != nullptr ? WindowMenuRecord(window) : nullptr;
    if (record == nullptr || cookie == nullptr) return false;
    const MenuItem* item = FindShownItem(record->menuBar, cookie, 0);
    return item != nullptr && PerformMenuItem(*item);
}

}  // namespace vorlune
