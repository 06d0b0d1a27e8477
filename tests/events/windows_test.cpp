#include "runtime/events/windows.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/headless/control.h"
#include "runtime/events/gadget_list.h"
#include "tests/events/events_fixture.h"

namespace vorlune {
namespace {

using WindowsTest = EventsTest;

HeadlessWindowInfo Inspect(NativeWindow window) {
    HeadlessWindowInfo info{};
    EXPECT_TRUE(InspectHeadlessWindow(window, &info));
    return info;
}

TEST_F(WindowsTest, FlagsGiveStylePlacementAndState) {
    constexpr uint32_t kTitledClosable = kWindowStyleTitled | kWindowStyleClosable;
    struct Case {
        uint32_t flags;
        int32_t x, y;
        uint32_t style;
        PlatformRect frame;
        bool visible, key, minimised, zoomed, listCurrent;
    };
    // A 1280 x 1024 screen, a 200 x 100 content area, a 22-point title bar.
    const std::vector<Case> cases = {
        {0xC0,
         10,
         20,
         kWindowStyleBorderless,
         {540, 462, 200, 100},
         true,
         true,
         false,
         false,
         true},
        {0, kWindowCentreRequest, 20, kWindowStyleTitled, {540, 451, 200, 122}, 1, 1, 0, 0, 1},
        {0x4, 10, 20, kTitledClosable, {10, 20, 200, 122}, true, true, false, false, true},
        {0x2,
         10,
         20,
         kWindowStyleTitled | kWindowStyleResizable,
         {10, 20, 200, 122},
         1,
         1,
         0,
         0,
         1},
        {0x10, 10, 20, kTitledClosable | kWindowStyleResizable, {10, 20, 200, 122}, 1, 1, 0, 0, 1},
        {0x20,
         10,
         20,
         kTitledClosable | kWindowStyleMiniaturizable,
         {10, 20, 200, 122},
         1,
         1,
         0,
         0,
         1},
        {0x80 | 0x2 | 0x4 | 0x10 | 0x20, 10, 20, 0, {10, 20, 200, 100}, true, true, 0, 0, 1},
        {0x1, 10, 20, kWindowStyleTitled, {10, 20, 200, 122}, false, false, false, false, true},
        {0x2000, 10, 20, kWindowStyleTitled, {10, 20, 200, 122}, true, false, false, false, true},
        {0x1000, 10, 20, kWindowStyleTitled, {10, 20, 200, 122}, true, true, false, false, false},
        {0x200,
         10,
         20,
         kWindowStyleTitled | kWindowStyleResizable,
         {0, 0, 1280, 1024},
         1,
         1,
         0,
         1,
         1},
        {0x400,
         10,
         20,
         kWindowStyleTitled | kWindowStyleMiniaturizable,
         {10, 20, 200, 122},
         1,
         0,
         1,
         0,
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "flags 0x" << std::hex << c.flags);
        CreateWindow(9, 0, 0, 50, 50, u"other", kWindowBorderless | kWindowNoActivate);
        const int64_t result = CreateWindow(1, c.x, c.y, 200, 100, u"Title", c.flags);
        const NativeWindow window = WindowID(1);
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(result, static_cast<int64_t>(reinterpret_cast<intptr_t>(window)));
        const HeadlessWindowInfo info = Inspect(window);
        EXPECT_EQ(info.style, c.style);
        EXPECT_EQ(info.frame.x, c.frame.x);
        EXPECT_EQ(info.frame.y, c.frame.y);
        EXPECT_EQ(info.frame.width, c.frame.width);
        EXPECT_EQ(info.frame.height, c.frame.height);
        EXPECT_EQ(std::u16string(info.title), u"Title");
        EXPECT_EQ(info.visible, c.visible);
        EXPECT_EQ(info.key, c.key);
        EXPECT_EQ(info.minimised, c.minimised);
        EXPECT_EQ(info.zoomed, c.zoomed);
        EXPECT_EQ(ZkGadgetList::currentWindow() == window, c.listCurrent);
        EXPECT_EQ(ZkGadgetList::currentView() == info.contentView, c.listCurrent);
        std::vector<int32_t> types = DrainTypes();
        std::erase(types, kEventActivateWindow);
        EXPECT_EQ(types, std::vector<int32_t>{}) << "creation posts nothing but activation";
        CloseWindow(AnyNumber);
        RemoveEvents(-1, -1, -1, -1);
    }
}

TEST_F(WindowsTest, PositionsCountFromTheMainScreensCorner) {
    struct Case {
        double screenX, screenY;
        uint32_t flags;
        double frameX, frameY;
    };
    // A 1280 x 1024 main screen, a 200 x 100 borderless content area placed at (10, 20).
    const std::vector<Case> cases = {
        {0, 0, 0x80, 10, 20},
        {40, 30, 0x80, 50, 50},
        {-1280, -100, 0x80, -1270, -80},
        {-1280, -100, 0xC0, -1280 + 540, -100 + 462},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "screen at " << c.screenX << ", " << c.screenY << ", flags " << c.flags);
        SetHeadlessScreenOrigin(c.screenX, c.screenY);
        const NativeWindow window =
            WindowID(CreateWindow(AnyNumber, 10, 20, 200, 100, nullptr, c.flags));
        ASSERT_NE(window, nullptr);
        const HeadlessWindowInfo info = Inspect(window);
        EXPECT_EQ(info.frame.x, c.frameX);
        EXPECT_EQ(info.frame.y, c.frameY);
        CloseWindow(AnyNumber);
        RemoveEvents(-1, -1, -1, -1);
    }
    SetHeadlessScreenOrigin(0, 0);
}

TEST_F(WindowsTest, MaximisedRaisesAnEmptySizeToOnePoint) {
    CreateWindow(1, 10, 20, 0, 0, nullptr, kWindowMaximised);
    UserZoomWindow(WindowID(1));
    const HeadlessWindowInfo info = Inspect(WindowID(1));
    EXPECT_EQ(info.content.width, 1);
    EXPECT_EQ(info.content.height, 1);
    EXPECT_EQ(std::u16string(info.title), u"");

    CreateWindow(2, 10, 20, 0, 0, nullptr, kWindowMaximised | kWindowBorderless);
    UserZoomWindow(WindowID(2));
    EXPECT_EQ(Inspect(WindowID(2)).content.width, 0) << "not for borderless windows";
}

TEST_F(WindowsTest, CentringOnTheParentOrTheKeyWindow) {
    CreateWindow(1, 100, 100, 400, 300, u"parent", kWindowBorderless);
    CreateWindowEx(2, 0, 0, 200, 100, u"child", kWindowBorderless | kWindowCentredOnParent,
                   WindowID(1));
    EXPECT_EQ(Inspect(WindowID(2)).frame.x, 200);
    EXPECT_EQ(Inspect(WindowID(2)).frame.y, 200);
    EXPECT_EQ(Inspect(WindowID(2)).parent, WindowID(1));
    EXPECT_EQ(HeadlessChildWindowAt(WindowID(1), 0), WindowID(2));

    CreateWindowEx(3, 5, 5, 100, 100, u"hidden child",
                   kWindowBorderless | kWindowInvisible | kWindowCentredOnParent, WindowID(1));
    EXPECT_EQ(Inspect(WindowID(1)).childCount, 1) << "an invisible window is not added";
    EXPECT_EQ(GetWindowRecord(3)->parentWindow, WindowID(1));
    EXPECT_EQ(Inspect(WindowID(3)).frame.x, 250);

    ClickWindow(WindowID(1));
    CreateWindow(4, 0, 0, 100, 50, u"on key", kWindowBorderless | kWindowCentredOnParent);
    EXPECT_EQ(Inspect(WindowID(4)).frame.x, 250);
    EXPECT_EQ(Inspect(WindowID(4)).frame.y, 225);

    CloseWindow(AnyNumber);
    CreateWindow(5, 7, 8, 100, 50, u"alone", kWindowBorderless | kWindowCentredOnParent);
    EXPECT_EQ(Inspect(WindowID(5)).frame.x, 7) << "neither parent nor key window";
}

TEST_F(WindowsTest, TheCloseBoxOnlyPostsItsEvent) {
    CreateWindow(3, 0, 0, 100, 100, u"w");
    RemoveEvents(-1, -1, -1, -1);
    EXPECT_FALSE(PressCloseBox(WindowID(3)));
    EXPECT_NE(WindowID(3), nullptr);
    EXPECT_EQ(Drain(), (std::vector<QueuedEvent>{{kEventCloseWindow, 3, 3, 0}}));
}

TEST_F(WindowsTest, NotificationsBecomeEvents) {
    struct Case {
        const char* name;
        void (*act)(NativeWindow window, NativeWindow other);
        std::vector<int32_t> types;
    };
    const std::vector<Case> cases = {
        {"move", [](NativeWindow w, NativeWindow) { UserMoveWindow(w, 50, 60); }, {5}},
        {"resize", [](NativeWindow w, NativeWindow) { UserResizeWindow(w, 300, 200); }, {6}},
        {"activate",
         [](NativeWindow w, NativeWindow o) {
             ClickWindow(o);
             ClickWindow(w);
         },
         {8, 7}},
        {"minimise", [](NativeWindow w, NativeWindow) { UserMinimiseWindow(w); }, {8, 12}},
        {"restore",
         [](NativeWindow w, NativeWindow) {
             UserMinimiseWindow(w);
             UserRestoreWindow(w);
         },
         {8, 12, 14}},
        {"restore zoomed",
         [](NativeWindow w, NativeWindow) {
             UserZoomWindow(w);
             UserMinimiseWindow(w);
             UserRestoreWindow(w);
         },
         {13, 6, 5, 8, 12, 13}},
        {"zoom and back",
         [](NativeWindow w, NativeWindow) {
             UserZoomWindow(w);
             UserZoomWindow(w);
         },
         {13, 5, 14, 6, 5}},
        {"repaint", [](NativeWindow w, NativeWindow) { DisplayHeadlessWindow(w); }, {4}},
    };
    for (const Case& c : cases) {
        CreateWindow(1, 10, 10, 100, 100, u"w", kWindowResizable | kWindowCloseBox);
        CreateWindow(2, 300, 0, 100, 100, u"other", kWindowCloseBox);
        ClickWindow(WindowID(1));
        RemoveEvents(-1, -1, -1, -1);
        c.act(WindowID(1), WindowID(2));
        std::vector<int32_t> types;
        while (FetchEvent() != 0) {
            if (EventWindow() == 1) types.push_back(EventType());
        }
        EXPECT_EQ(types, c.types) << c.name;
        CloseWindow(AnyNumber);
    }
}

TEST_F(WindowsTest, ClicksOnTheBackgroundBecomeEventsByTheirCount) {
    CreateWindow(1, 10, 10, 100, 100, u"w", kWindowCloseBox);
    RemoveEvents(-1, -1, -1, -1);
    DiscardPendingPlatformEvents();
    for (int32_t count : {1, 2, 3}) {
        InjectMouseEvent(WindowID(1), kLeftMouseUp, 10, 10, count, 0);
        InjectMouseEvent(WindowID(1), kRightMouseUp, 10, 10, count, 0);
    }
    std::vector<int64_t> results;
    while (int64_t result = PollWindowEvent())
        results.push_back(result);
    EXPECT_EQ(results, (std::vector<int64_t>{17, 16, 18, -1, -1, -1}));
}

TEST_F(WindowsTest, AtMostOneResizePerWindowWaits) {
    CreateWindow(1, 0, 0, 100, 100, u"a", kWindowResizable);
    CreateWindow(2, 0, 0, 100, 100, u"b", kWindowResizable);
    RemoveEvents(-1, -1, -1, -1);
    UserResizeWindow(WindowID(1), 110, 100);
    UserMoveWindow(WindowID(1), 5, 5);
    UserResizeWindow(WindowID(1), 120, 100);
    UserResizeWindow(WindowID(2), 120, 100);
    UserResizeWindow(WindowID(1), 130, 100);
    EXPECT_EQ(Drain(), (std::vector<QueuedEvent>{{5, 1, 1, 0}, {6, 2, 2, 0}, {6, 1, 1, 0}}));
}

TEST_F(WindowsTest, ARepaintDuringTheWaitDoesNotEndIt) {
    CreateWindow(1, 0, 0, 100, 100, u"a", kWindowResizable);
    RemoveEvents(-1, -1, -1, -1);
    DiscardPendingPlatformEvents();
    SetViewNeedsDisplay(WindowContentView(WindowID(1)));
    EXPECT_EQ(PollWindowEvent(), 0) << "the repaint is queued without a wake-up";
    EXPECT_EQ(PeekEventType(), kEventRepaint);
    InjectKeyEvent(WindowID(1), kKeyDown, u"a", 0);
    EXPECT_EQ(WaitForEvent(), kEventRepaint);
}

TEST_F(WindowsTest, ClosingTheKeyWindowHandsKeyStatusToItsSuccessor) {
    struct Case {
        const char* name;
        void (*build)();  // ends with window 9 key, about to close
        NativeWindow (*successor)();
    };
    const std::vector<Case> cases = {
        {"previous key window",
         [] {
             CreateWindow(5, 0, 0, 50, 50, u"a", 0);
             CreateWindow(9, 0, 0, 50, 50, u"b", 0);
         },
         [] { return WindowID(5); }},
        {"first visible when the previous one is hidden",
         [] {
             CreateWindow(5, 0, 0, 50, 50, u"a", 0);
             CreateWindow(1, 0, 0, 50, 50, u"c", kWindowNoActivate);
             CreateWindow(9, 0, 0, 50, 50, u"b", 0);
             UserMinimiseWindow(WindowID(5));
         },
         [] { return WindowID(1); }},
        {"first visible when the previous one is gone",
         [] {
             CreateWindow(5, 0, 0, 50, 50, u"a", 0);
             CreateWindow(9, 0, 0, 50, 50, u"b", 0);
             CreateWindow(1, 0, 0, 50, 50, u"c", kWindowNoActivate);
             CloseWindow(5);
         },
         [] { return WindowID(1); }},
        {"never the closing window itself",
         [] {
             CreateWindow(5, 0, 0, 50, 50, u"a", 0);
             CreateWindow(9, 0, 0, 50, 50, u"b", 0);
             UserMinimiseWindow(WindowID(5));
             CreateWindow(11, 0, 0, 50, 50, u"d", kWindowInvisible);
         },
         [] { return NativeWindow{}; }},
        {"nothing without a previous key window",
         [] {
             CreateWindow(9, 0, 0, 50, 50, u"b", 0);
             CreateWindow(1, 0, 0, 50, 50, u"c", kWindowNoActivate);
         },
         [] { return NativeWindow{}; }},
    };
    for (const Case& c : cases) {
        c.build();
        ASSERT_TRUE(IsWindowKey(WindowID(9))) << c.name;
        const NativeWindow expected = c.successor();
        CloseWindow(9);
        EXPECT_EQ(KeyWindow(), expected) << c.name;
        CloseWindow(AnyNumber);
    }

    CreateWindow(5, 0, 0, 50, 50, u"a", 0);
    CreateWindow(9, 0, 0, 50, 50, u"b", 0);
    CreateWindow(1, 0, 0, 50, 50, u"c", 0);
    CloseWindow(9);
    EXPECT_EQ(KeyWindow(), WindowID(1)) << "closing a window that is not key changes nothing";
    CloseWindow(AnyNumber);
    EXPECT_EQ(HeadlessWindowCount(), 0) << "successor walks leave closing all to finish";
}

TEST_F(WindowsTest, ClosingForgetsTheWindowsEventsAndRecord) {
    CreateWindow(1, 0, 0, 50, 50, u"a", 0);
    CreateWindow(2, 0, 0, 50, 50, u"b", 0);
    PostEvent(kEventGadget, 7, 1, 0);
    PostEvent(kEventGadget, 7, 2, 0);
    CloseWindow(1);
    CloseWindow(12345);  // no such window
    EXPECT_EQ(WindowID(1), nullptr);
    EXPECT_EQ(HeadlessWindowCount(), 1);
    std::vector<QueuedEvent> left = Drain();
    EXPECT_EQ(left.back(), (QueuedEvent{kEventGadget, 7, 2, 0}));
    for (const QueuedEvent& event : left)
        EXPECT_NE(event.window, 1);

    const int64_t number = CreateWindow(AnyNumber, 0, 0, 50, 50, u"any", 0);
    EXPECT_EQ(WindowNumberOf(WindowID(number)), number);
    EXPECT_EQ(GetWindowRecord(number)->nativeWindow, WindowID(number));
    CloseWindow(AnyNumber);
    EXPECT_EQ(HeadlessWindowCount(), 0);
    EXPECT_EQ(WindowID(number), nullptr);
    EXPECT_EQ(WindowNumberOf(nullptr), -1);
}

TEST_F(WindowsTest, ReusingANumberClosesTheOldWindowFirst) {
    CreateWindow(4, 0, 0, 50, 50, u"old", 0);
    CreateWindow(4, 0, 0, 60, 60, u"new", 0);
    EXPECT_EQ(HeadlessWindowCount(), 1);
    EXPECT_NE(WindowID(4), nullptr);
    EXPECT_EQ(std::u16string(Inspect(WindowID(4)).title), u"new");
    EXPECT_EQ(WindowNumberOf(WindowID(4)), 4);
}

TEST_F(WindowsTest, ChildrenOutliveTheirParent) {
    CreateWindow(1, 0, 0, 200, 200, u"parent", 0);
    CreateWindowEx(2, 0, 0, 50, 50, u"child", 0, WindowID(1));
    CloseWindow(1);
    EXPECT_EQ(GetWindowRecord(2)->parentWindow, nullptr);
    CloseWindow(2);  // must not reach the closed parent
    EXPECT_EQ(HeadlessWindowCount(), 0);
}

TEST_F(WindowsTest, ALockedWindowRefusesKeyStatus) {
    CreateWindow(1, 0, 0, 50, 50, u"a", 0);
    CreateWindow(2, 0, 0, 50, 50, u"b", 0);
    GetWindowRecord(1)->keyLock = 1;
    ClickWindow(WindowID(1));
    EXPECT_TRUE(IsWindowKey(WindowID(2)));
    GetWindowRecord(1)->keyLock = 0;
    ClickWindow(WindowID(1));
    EXPECT_TRUE(IsWindowKey(WindowID(1)));
}

class LetterShortcut : public KeyboardShortcut {
  public:
    LetterShortcut(char16_t letter, int64_t item) : letter_(letter), item_(item) {}
    bool isEventMatch(const PlatformEvent& event, int64_t* itemID) override {
        if (event.characters[0] != letter_) return false;
        *itemID = item_;
        return true;
    }

  private:
    char16_t letter_;
    int64_t item_;
};

TEST_F(WindowsTest, AWindowsShortcutTurnsAKeyPressIntoItsMenuEvent) {
    CreateWindow(1, 0, 0, 50, 50, u"a", 0);
    ASSERT_EQ(AddWindowShortcut(1, new LetterShortcut(u'k', 70)), 1);
    ASSERT_EQ(AddWindowShortcut(1, new LetterShortcut(u'k', 71)), 1);
    EXPECT_EQ(AddWindowShortcut(99, nullptr), 0);
    RemoveEvents(-1, -1, -1, -1);
    DiscardPendingPlatformEvents();
    ClearSentEvents();
    InjectKeyEvent(WindowID(1), kKeyDown, u"k", 0);
    EXPECT_EQ(WaitForEvent(), kEventMenu);
    EXPECT_EQ(EventMenuID(), 70) << "the first matching shortcut wins";
    EXPECT_EQ(EventWindow(), 1);
    InjectKeyEvent(WindowID(1), kKeyUp, u"k", 0);
    InjectKeyEvent(WindowID(1), kKeyDown, u"j", 0);
    PollWindowEvent();
    PollWindowEvent();
    EXPECT_EQ(SentEventCount(), 2) << "key-up and other keys are passed on";
}

class CountingObserver : public WindowObserver {
  public:
    void windowResized(NativeWindow) override { ++resized; }
    void windowDidBecomeKey(NativeWindow) override { ++becameKey; }
    void windowDidResignKey(NativeWindow) override { ++resignedKey; }
    int resized = 0, becameKey = 0, resignedKey = 0;
};

TEST_F(WindowsTest, ObserversFollowTheirWindowOnly) {
    CreateWindow(1, 0, 0, 50, 50, u"a", kWindowResizable);
    CreateWindow(2, 0, 0, 50, 50, u"b", kWindowResizable);
    CountingObserver observer;
    ASSERT_EQ(AddWindowObserver(WindowID(1), &observer), 1);
    UserResizeWindow(WindowID(1), 80, 80);
    UserResizeWindow(WindowID(2), 80, 80);
    ClickWindow(WindowID(1));
    ClickWindow(WindowID(2));
    EXPECT_EQ(observer.resized, 1);
    EXPECT_EQ(observer.becameKey, 1);
    EXPECT_EQ(observer.resignedKey, 1);
    RemoveWindowObserver(&observer);
    ClickWindow(WindowID(1));
    EXPECT_EQ(observer.becameKey, 1);
}

}  // namespace
}  // namespace vorlune
