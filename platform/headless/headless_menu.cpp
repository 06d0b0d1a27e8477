// Menu bars of the in-memory platform: a copy of each window's bar, and the user choosing items.
#include <string_view>

#include "platform/headless/control.h"
#include "platform/headless/headless_state.h"
#include "platform/menu.h"

namespace vorlune {

using headless::WindowOf;

namespace headless {

StoredMenu::StoredMenu(const PlatformMenu& menu)
    : title_(menu.title != nullptr ? menu.title : u""), description_{} {
    const auto count = static_cast<size_t>(menu.itemCount > 0 ? menu.itemCount : 0);
    titles_.reserve(count);
    items_.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        PlatformMenuItem item = menu.items[i];
        item.title = titles_.emplace_back(item.title != nullptr ? item.title : u"").c_str();
        if (item.submenu != nullptr) {
            item.submenu = submenus_.emplace_back(new StoredMenu(*item.submenu))->Description();
        }
        items_.push_back(item);
    }
    description_ = {title_.c_str(), items_.data(), static_cast<int32_t>(items_.size())};
}

double MenuBarHeight(const Window& window) {
    return window.menuBar != nullptr ? kMenuBarHeight : 0;
}

}  // namespace headless

void SetWindowMenuBar(NativeWindow handle, const PlatformMenu* bar, MenuBarDelegate* delegate) {
    headless::Window* window = WindowOf(handle);
    if (window == nullptr) return;
    window->menuBar.reset(bar != nullptr ? new headless::StoredMenu(*bar) : nullptr);
    window->menuDelegate = bar != nullptr ? delegate : nullptr;
}

bool ChooseHeadlessMenuItem(NativeWindow handle, std::initializer_list<const char16_t*> titles) {
    headless::Window* window = WindowOf(handle);
    if (window == nullptr || window->menuBar == nullptr || titles.size() == 0) return false;
    const PlatformMenu* menu = window->menuBar->Description();
    const PlatformMenuItem* chosen = nullptr;
    for (const char16_t* title : titles) {
        if (menu == nullptr) return false;  // the item before opens no menu
        chosen = nullptr;
        for (int32_t i = 0; i < menu->itemCount && chosen == nullptr; ++i) {
            const PlatformMenuItem& item = menu->items[i];
            if (!item.separator && title != nullptr && std::u16string_view(item.title) == title) {
                chosen = &item;
            }
        }
        if (chosen == nullptr || !chosen->enabled) return false;
        menu = chosen->submenu;
    }
    if (chosen->submenu != nullptr || window->menuDelegate == nullptr) return false;
    window->menuDelegate->menuItemChosen(handle, chosen->cookie);
    return true;
}

}  // namespace vorlune
