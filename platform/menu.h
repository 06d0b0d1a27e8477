#pragma once
// A window's menu bar as the platform shows it: a description the runtime hands over whenever the
// bar changes, and the delegate that hears the user choose one of its items.

#include <cstdint>

#include "platform/handles.h"

namespace vorlune {

struct PlatformMenu;

struct PlatformMenuItem {
    const char16_t* title;        // null reads as empty
    bool separator;               // a line; nothing else of the item counts
    bool enabled;                 // shown dimmed and never chosen when false
    char16_t shortcut;            // the key shown beside the title, 0 for none
    uint32_t shortcutModifiers;   // with it, in the modifier flags' bits (platform/events.h)
    const PlatformMenu* submenu;  // null for an item that is chosen
    const void* cookie;           // handed back when the item is chosen
};

struct PlatformMenu {
    const char16_t* title;
    const PlatformMenuItem* items;
    int32_t itemCount;
};

// Hears the items of a window's bar being chosen, by the mouse or the toolkit's menu keys.
class MenuBarDelegate {
  public:
    virtual ~MenuBarDelegate() = default;
    virtual void menuItemChosen(NativeWindow window, const void* cookie) = 0;
};

// Shows the bar above the window's content view, which keeps its size: the window grows by the
// bar. The platform copies what it keeps of the description. Null removes the bar; so does
// closing the window. The delegate is not owned.
void SetWindowMenuBar(NativeWindow window, const PlatformMenu* bar, MenuBarDelegate* delegate);

}  // namespace vorlune
