#include "runtime/events/application.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/headless/control.h"
#include "runtime/core/memory.h"
#include "runtime/core/registry.h"
#include "runtime/core/strings.h"
#include "runtime/events/menus.h"
#include "runtime/events/windows.h"
#include "tests/events/events_fixture.h"

namespace vorlune {
namespace {

using ApplicationTest = EventsTest;

std::u16string Name() {
    char16_t* name = UTF8ToNewString(ApplicationName());
    std::u16string text(name);
    FreeMemory(name);
    return text;
}

TEST_F(ApplicationTest, ApplicationMenuHoldsItsItemsInOrder) {
    struct Expected {
        std::u16string title;
        MenuAction action;
        char16_t key;
        uint32_t mask;
        bool targeted;
    };
    const std::vector<Expected> expected = {
        {u"About " + Name(), MenuAction::kAbout, 0, 0, false},
        {u"", MenuAction::kNone, 0, 0, false},
        {u"Preferences\u2026", MenuAction::kPreferences, u',', kControlKeyFlag, false},
        {u"", MenuAction::kNone, 0, 0, false},
        {u"Services", MenuAction::kNone, 0, 0, false},
        {u"", MenuAction::kNone, 0, 0, false},
        {u"Hide " + Name(), MenuAction::kHide, u'h', kControlKeyFlag, false},
        {u"Hide Others", MenuAction::kHideOthers, u'h', kControlKeyFlag | kAlternateKeyFlag, false},
        {u"Show All", MenuAction::kUnhideAll, 0, 0, false},
        {u"", MenuAction::kNone, 0, 0, false},
        {u"Quit " + Name(), MenuAction::kTerminate, u'q', kControlKeyFlag, true},
    };
    EXPECT_EQ(Name(), u"test_events");
    const Menu* menu = ApplicationMenu();
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(std::u16string(menu->title), u"");
    ASSERT_EQ(menu->itemCount, static_cast<int32_t>(expected.size()));
    for (size_t i = 0; i < expected.size(); ++i) {
        const MenuItem& item = *menu->items[i];
        EXPECT_EQ(std::u16string(item.title), expected[i].title) << i;
        EXPECT_EQ(item.action, expected[i].action) << i;
        EXPECT_EQ(item.keyEquivalent, expected[i].key) << i;
        EXPECT_EQ(item.keyEquivalentModifierMask, expected[i].mask) << i;
        EXPECT_EQ(item.target != nullptr, expected[i].targeted) << i;
    }
    EXPECT_EQ(std::u16string(menu->items[4]->submenu->title), u"Services");
    EXPECT_EQ(std::u16string(ApplicationMenuItem()->title), u"Apple");
    EXPECT_EQ(ApplicationMenuItem()->submenu, menu);
    EXPECT_FALSE(IsMenuItemEnabled(*menu->items[0])) << "About has no target";
    EXPECT_FALSE(IsMenuItemEnabled(*menu->items[2])) << "Preferences has no target";
}

TEST_F(ApplicationTest, TheApplicationMenuIsBuiltOnce) {
    EXPECT_EQ(MainMenu(), DefaultMenuBar());
    EXPECT_EQ(MainMenu()->items[0], ApplicationMenuItem());
    const Menu* applicationMenu = ApplicationMenu();
    Menu* bar = BuildMenuBar();
    ASSERT_NE(bar, nullptr);
    EXPECT_NE(bar, DefaultMenuBar());
    EXPECT_EQ(bar->itemCount, 0);
    EXPECT_EQ(ApplicationMenu(), applicationMenu);
    FreeMenuTree(bar);
}

TEST_F(ApplicationTest, QuitRequestsBecomeTheQuitEventAndAreRefused) {
    const int64_t window = CreateWindow(AnyNumber, 0, 0, 100, 100, u"w", kWindowCloseBox);
    RemoveEvents(-1, -1, -1, -1);
    DiscardPendingPlatformEvents();
    EXPECT_EQ(SendQuitRequest(), TerminateReply::kTerminateCancel);
    EXPECT_EQ(WakeUpEventsPosted(), 1) << "menu events always wake the wait";
    EXPECT_EQ(WaitForEvent(), kEventMenu);
    EXPECT_EQ(EventMenuID(), kMenuItemQuit);
    EXPECT_EQ(EventWindow(), -1);

    // Control+Q chosen in a runtime window goes through the Quit item to the same event.
    DiscardPendingPlatformEvents();
    InjectKeyEvent(WindowID(window), kKeyDown, u"q", kControlKeyFlag);
    ClearSentEvents();
    EXPECT_EQ(WaitForEvent(), kEventMenu);
    EXPECT_EQ(EventMenuID(), kMenuItemQuit);
    EXPECT_EQ(EventWindow(), MenuDelegate()->WindowID);
    EXPECT_EQ(SentEventCount(), 0) << "the menu took the key press";
    EXPECT_NE(WindowID(window), nullptr) << "nothing quits or closes";

    for (const char16_t* key : {u"Q", u"q"}) {
        const uint32_t flags = key[0] == u'Q' ? kControlKeyFlag | kShiftKeyFlag : 0;
        InjectKeyEvent(WindowID(window), kKeyDown, key, flags);
        EXPECT_EQ(WaitForEvent(), -1) << "no quit without exactly the accelerator key";
    }
}

TEST_F(ApplicationTest, EditShortcutsGoToTheFocusFirst) {
    struct Case {
        const char16_t* key;
        uint32_t flags;
        bool handled;
        int32_t action;  // -1: none sent
        bool passedOn;
    };
    const std::vector<Case> cases = {
        {u"x", kControlKeyFlag, true, 0, false},
        {u"c", kControlKeyFlag, true, 1, false},
        {u"v", kControlKeyFlag, true, 2, false},
        {u"a", kControlKeyFlag, true, 3, false},
        {u"x", kControlKeyFlag, false, 0, true},
        {u"z", kControlKeyFlag, true, 4, true},
        {u"Z", kControlKeyFlag | kShiftKeyFlag, true, 5, false},
        {u"Z", kControlKeyFlag | kShiftKeyFlag, false, 5, true},
        {u"x", kControlKeyFlag | kAlternateKeyFlag, true, -1, true},
        {u"x", 0, true, -1, true},
        {u"z", kControlKeyFlag | kShiftKeyFlag, true, -1, true},
    };
    for (const Case& c : cases) {
        const int32_t before = EditActionCount();
        SetHandledEditActions(c.handled ? 0x3F : 0);
        ClearSentEvents();
        InjectKeyEvent(nullptr, kKeyDown, c.key, c.flags);
        EXPECT_EQ(WaitForEvent(), -1);
        if (c.action < 0) {
            EXPECT_EQ(EditActionCount(), before) << static_cast<char>(c.key[0]);
        } else {
            ASSERT_EQ(EditActionCount(), before + 1) << static_cast<char>(c.key[0]);
            EXPECT_EQ(static_cast<int32_t>(EditActionAt(before)), c.action);
        }
        EXPECT_EQ(SentEventCount(), c.passedOn ? 1 : 0) << static_cast<char>(c.key[0]);
    }
}

TEST_F(ApplicationTest, MenuDelegateEventsCarryItsWindow) {
    ZkMenuDelegate& delegate = *MenuDelegate();
    EXPECT_EQ(delegate.WindowID, -1);
    delegate.preferences();
    delegate.about();
    delegate.terminate();
    InstallMenuBar(DefaultMenuBar(), 7);
    delegate.terminate();
    EXPECT_EQ(Drain(), (std::vector<QueuedEvent>{
                           {1, -2, -1, 0}, {1, -3, -1, 0}, {1, -4, -1, 0}, {1, -4, 7, 0}}));
}

// A numbered menu for a window, as the (absent) menu operations would make it: its bar holds
// one item whose action posts the tag.
MenuRecord* MakeWindowMenu(int64_t number, NativeWindow window, int64_t tag) {
    auto* record = static_cast<MenuRecord*>(AllocateObject(MenuRegistry(), number));
    record->objects[0] = CreateMenu(u"File");
    record->window = window;
    record->menuBar = BuildMenuBar();
    MenuItem* item = AddMenuItem(record->menuBar, u"Open", MenuAction::kEventHandler, u"o");
    item->tag = tag;
    item->target = MenuDelegate();
    item->representedObject = static_cast<ZkMenuObject*>(AllocBlock(sizeof(ZkMenuObject)));
    item->representedObject->initWithMenu(record);
    return record;
}

TEST_F(ApplicationTest, AKeyWindowShowsItsMenuUntilTheMenuIsFreed) {
    CreateWindow(1, 0, 0, 100, 100, u"one", kWindowCloseBox);
    CreateWindow(2, 200, 0, 100, 100, u"two", kWindowCloseBox);
    MenuRecord* menu = MakeWindowMenu(5, WindowID(1), 42);
    Menu* bar = menu->menuBar;

    ClickWindow(WindowID(1));
    EXPECT_EQ(MainMenu(), bar);
    EXPECT_EQ(bar->items[0], ApplicationMenuItem());
    EXPECT_EQ(MenuItemIndex(DefaultMenuBar(), ApplicationMenuItem()), -1);
    EXPECT_EQ(MenuDelegate()->WindowID, 1);

    ClickWindow(WindowID(2));
    EXPECT_EQ(MainMenu(), bar) << "stays shown after its window resigns key";
    RemoveEvents(-1, -1, -1, -1);
    DiscardPendingPlatformEvents();
    InjectKeyEvent(WindowID(2), kKeyDown, u"q", kControlKeyFlag);
    EXPECT_EQ(WaitForEvent(), kEventMenu);
    EXPECT_EQ(EventMenuID(), kMenuItemQuit);
    EXPECT_EQ(EventWindow(), 1);
    DiscardPendingPlatformEvents();  // the wake-up of that menu event
    InjectKeyEvent(WindowID(2), kKeyDown, u"o", kControlKeyFlag);
    EXPECT_EQ(WaitForEvent(), kEventMenu);
    EXPECT_EQ(EventMenuID(), 42);
    EXPECT_EQ(EventWindow(), 1) << "the item's menu names its window";

    menu->window = nullptr;
    MenuDelegate()->eventHandler(*menu->menuBar->items[1]);
    EXPECT_EQ(FetchEvent(), kEventMenu);
    EXPECT_EQ(EventWindow(), 0) << "a menu without window posts window 0";

    FreeMenu(5);
    EXPECT_EQ(MainMenu(), DefaultMenuBar());
    EXPECT_EQ(DefaultMenuBar()->items[0], ApplicationMenuItem());
    EXPECT_EQ(MenuDelegate()->WindowID, -1);
    EXPECT_EQ(GetObject(MenuRegistry(), 5), nullptr);
}

TEST_F(ApplicationTest, ClosingAWindowFreesEveryMenuOfIt) {
    CreateWindow(1, 0, 0, 100, 100, u"one", kWindowCloseBox);
    MakeWindowMenu(3, WindowID(1), 1);
    MakeWindowMenu(4, WindowID(1), 2);
    ClickWindow(WindowID(1));
    CloseWindow(1);
    EXPECT_EQ(GetObject(MenuRegistry(), 3), nullptr);
    EXPECT_EQ(GetObject(MenuRegistry(), 4), nullptr);
    EXPECT_EQ(MainMenu(), DefaultMenuBar());
}

TEST_F(ApplicationTest, HideTakesEveryWindowOutOfTheWay) {
    CreateWindow(1, 0, 0, 100, 100, u"one", kWindowCloseBox);
    RemoveEvents(-1, -1, -1, -1);
    DiscardPendingPlatformEvents();
    InjectKeyEvent(WindowID(1), kKeyDown, u"h", kControlKeyFlag);
    EXPECT_EQ(WaitForEvent(), kEventDeactivateWindow);
    EXPECT_EQ(FetchEvent(), kEventMinimizeWindow);
    EXPECT_TRUE(IsHeadlessApplicationHidden());
}

TEST_F(ApplicationTest, OpenFilesJoinsPathsWithTabs) {
    static std::string seen;
    SetOpenFilesHook([](const char* text) { seen = text; });
    const char* paths[] = {"/a b", "c", "/d/e"};
    GetApplicationDelegate()->applicationOpenFiles(paths, 3);
    SetOpenFilesHook(nullptr);
    EXPECT_EQ(seen, "/a b\tc\t/d/e");
}

TEST_F(ApplicationTest, WithoutADisplayWindowsFailAndTheFailureIsReported) {
    SetHeadlessDisplayAvailable(false);
    EXPECT_FALSE(StartPlatformApplication());
    EXPECT_EQ(CreateWindow(0, 0, 0, 512, 512, u"w", 0xC0), 0);
    EXPECT_EQ(WindowID(0), nullptr);
    testing::internal::CaptureStderr();
    EXPECT_EQ(ReportApplicationFailure(), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "test_events: cannot open display\n");

    SetHeadlessDisplayAvailable(true);
    ASSERT_TRUE(StartPlatformApplication());
    EXPECT_EQ(ReportApplicationFailure(), 0);
}

}  // namespace
}  // namespace vorlune
