// A window's own menu bar: made through the public operations, shown by the platform, chosen
// there and by its shortcuts.
#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/headless/control.h"
#include "runtime/core/registry.h"
#include "runtime/events/menus.h"
#include "runtime/events/windows.h"
#include "tests/events/events_fixture.h"

namespace vorlune {
namespace {

using WindowMenuTest = EventsTest;

constexpr int64_t kWindow = 3;
constexpr int64_t kMenu = 7;

std::vector<std::u16string> Titles(const PlatformMenu* menu) {
    std::vector<std::u16string> titles;
    for (int32_t i = 0; menu != nullptr && i < menu->itemCount; ++i)
        titles.emplace_back(menu->items[i].separator ? u"-" : menu->items[i].title);
    return titles;
}

const PlatformMenu* ShownBar() {
    HeadlessWindowInfo info{};
    InspectHeadlessWindow(WindowID(kWindow), &info);
    return info.menuBar;
}

TEST_F(WindowMenuTest, ChosenItemsPostTheirTagsWithTheWindowUntilTheMenuIsFreed) {
    EXPECT_EQ(CreateWindowMenu(kMenu, kWindow), nullptr) << "no such window";
    ASSERT_NE(CreateWindow(kWindow, 0, 0, 200, 100, u"menus"), 0);
    ASSERT_NE(CreateWindowMenu(kMenu - 1, kWindow), nullptr);
    Menu* bar = CreateWindowMenu(kMenu, kWindow);
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(GetObject(MenuRegistry(), kMenu - 1), nullptr) << "the earlier bar is replaced";
    Menu* file = AddSubmenu(bar, u"File");
    AddMenuCommand(file, u"Open", 11, u"o", kControlKeyFlag);
    AddMenuSeparator(file);
    AddMenuCommand(file, u"Quit", kMenuItemQuit, u"q", kControlKeyFlag);
    Menu* view = AddSubmenu(bar, u"View");
    AddMenuCommand(AddSubmenu(view, u"Zoom"), u"In", 21, u"Z", kControlKeyFlag);
    AddMenuItem(view, u"Dimmed", MenuAction::kEventHandler, nullptr);  // no target answers it
    EXPECT_EQ(ShownBar(), nullptr) << "handed over at the next wait";
    PollWindowEvent();

    const PlatformMenu* shown = ShownBar();
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(Titles(shown), (std::vector<std::u16string>{u"File", u"View"}));
    EXPECT_EQ(Titles(shown->items[0].submenu),
              (std::vector<std::u16string>{u"Open", u"-", u"Quit"}));
    const PlatformMenuItem& zoomIn = shown->items[1].submenu->items[0].submenu->items[0];
    EXPECT_EQ(zoomIn.shortcut, u'Z');
    EXPECT_EQ(zoomIn.shortcutModifiers, kControlKeyFlag | kShiftKeyFlag);
    EXPECT_FALSE(shown->items[1].submenu->items[1].enabled);
    HeadlessWindowInfo info{};
    InspectHeadlessWindow(WindowID(kWindow), &info);
    EXPECT_EQ(info.content.height, 100) << "the window grows by the bar";

    struct Case {
        const char* name;
        std::function<bool()> act;  // whether the platform took the choice
        std::vector<QueuedEvent> events;
    };
    const NativeWindow window = WindowID(kWindow);
    const std::vector<Case> cases = {
        {"an item",
         [&] {
             return ChooseHeadlessMenuItem(window, {u"File", u"Open"});
         },
         {{kEventMenu, 11, kWindow, 0}}},
        {"a nested item",
         [&] {
             return ChooseHeadlessMenuItem(window, {u"View", u"Zoom", u"In"});
         },
         {{kEventMenu, 21, kWindow, 0}}},
        {"Quit",
         [&] {
             return ChooseHeadlessMenuItem(window, {u"File", u"Quit"});
         },
         {{kEventMenu, kMenuItemQuit, kWindow, 0}}},
        {"a shortcut, once",
         [&] {
             InjectKeyEvent(window, kKeyDown, u"Z", kControlKeyFlag | kShiftKeyFlag);
             return true;
         },
         {{kEventMenu, 21, kWindow, 0}}},
        {"a menu's title", [&] { return !ChooseHeadlessMenuItem(window, {u"View"}); }, {}},
        {"a dimmed item",
         [&] {
             return !ChooseHeadlessMenuItem(window, {u"View", u"Dimmed"});
         },
         {}},
        {"no such item",
         [&] {
             return !ChooseHeadlessMenuItem(window, {u"File", u"Close"});
         },
         {}},
        {"a cookie of no item", [&] { return !PerformWindowMenuItem(window, &info); }, {}},
        {"after the menu is freed",
         [&] {
             FreeMenu(kMenu);
             return ShownBar() == nullptr && !ChooseHeadlessMenuItem(window, {u"File", u"Open"});
         },
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RemoveEvents(-1, -1, -1, -1);
        DiscardPendingPlatformEvents();
        ASSERT_TRUE(c.act());
        std::vector<QueuedEvent> events;
        for (int64_t type; (type = PollWindowEvent()) != 0;) {
            if (type > 0) events.push_back({EventType(), EventMenuID(), EventWindow(), 0});
        }
        EXPECT_EQ(events, c.events);
    }
    EXPECT_EQ(ShownBar(), nullptr) << "nothing is left to show";
}

}  // namespace
}  // namespace vorlune
