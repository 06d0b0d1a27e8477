#include "runtime/screen/keyboard.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/headless/control.h"
#include "tests/screen/screen_fixture.h"

namespace vorlune {
namespace {

using KeyboardTest = ScreenTest;

const char16_t kLeftArrow[] = {kLeftArrowCharacter, 0};

int32_t SentKeyPresses() {
    int32_t count = 0;
    for (int32_t i = 0; i < SentEventCount(); ++i)
        count += SentEventAt(i)->type == kKeyDown ? 1 : 0;
    return count;
}

TEST_F(KeyboardTest, CharactersMapToTheirCodes) {
    struct Case {
        char16_t character;
        int32_t code;
    };
    const std::vector<Case> cases = {
        {u'a', 0x61},   {u'A', 0x61},   {u'Z', 0x7A},   {u'0', 0x30},   {0x0D, 0x0D},
        {0x1B, 0x1B},   {0x7F, 0x7F},   {u'[', 0x5B},   {0xF700, 0x1E}, {0xF701, 0x1F},
        {0xF702, 0x1C}, {0xF703, 0x1D}, {0xF704, 0x80}, {0xF70F, 0x8B}, {0xF710, -1},
        {0xF726, -1},   {0xF727, 0x9C}, {0xF728, 0x9D}, {0xF729, 0x98}, {0xF72A, -1},
        {0xF72B, 0x9A}, {0xF72C, 0x99}, {0xF72D, 0x9B}, {0xF72E, -1},   {0xE9, -1},
        {0x0430, -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(KeyCodeForCharacter(c.character), c.code)
            << std::hex << static_cast<int>(c.character);
}

TEST_F(KeyboardTest, KeyEventsSetAndClearTheHeldState) {
    struct Case {
        std::u16string characters;
        uint32_t flags;
        int32_t code;  // -1: nothing may read as held
    };
    const std::vector<Case> cases = {
        {u"a", 0, 0x61},
        {u"A", kShiftKeyFlag, 0x61},
        {kLeftArrow, 0, 0x1C},
        {u"\uF704", 0, 0x80},
        {u"\uF72D", 0, 0x9B},
        {u"\u00E9", 0, -1},
        {std::u16string{0xD83D, 0xDE00}, 0, -1},
        {u"", 0, -1},
    };
    for (const Case& c : cases) {
        Key(kKeyDown, c.characters.c_str(), c.flags);
        EXPECT_EQ(IsKeyDown(AnyKey), c.code >= 0 ? 1 : 0) << "code " << c.code;
        if (c.code >= 0) {
            EXPECT_EQ(IsKeyDown(c.code), 1);
        }
        EXPECT_EQ(IsKeyDown(0x41), 0) << "upper-case codes are never set";
        Key(kKeyUp, c.characters.c_str(), c.flags);
        EXPECT_EQ(IsKeyDown(AnyKey), 0) << "code " << c.code;
    }
    PlatformEvent click{};
    click.type = kLeftMouseDown;
    EXPECT_EQ(KeyboardEventHook(click), 0) << "mouse events stay";
}

TEST_F(KeyboardTest, ModifiersAreSampledAtEachPoll) {
    struct Case {
        uint32_t flags;
        std::vector<int32_t> held;
    };
    const std::vector<Case> cases = {
        {kShiftKeyFlag, {0x91, 0x92}},
        {kControlKeyFlag, {0x8D, 0x8E}},
        {kAlternateKeyFlag, {0x8F, 0x90}},
        {kCommandKeyFlag, {0x8C}},
        {kShiftKeyFlag | kCommandKeyFlag, {0x8C, 0x91, 0x92}},
        {0, {}},
    };
    for (const Case& c : cases) {
        const int32_t before = IsKeyDown(AnyKey);
        SetHeadlessModifierFlags(c.flags);
        EXPECT_EQ(IsKeyDown(AnyKey), before) << "the previous sample until the poll";
        PollKeyboard();
        for (int32_t code = 0x8C; code <= 0x92; ++code) {
            const bool expected = std::find(c.held.begin(), c.held.end(), code) != c.held.end();
            EXPECT_EQ(IsKeyDown(code), expected ? 1 : 0) << std::hex << c.flags << " " << code;
        }
        EXPECT_EQ(IsKeyDown(AnyKey), c.held.empty() ? 0 : 1);
    }
}

TEST_F(KeyboardTest, AReleaseIsReportedOnceAndOnlyAfterTheKeyWasSeenHeld) {
    EXPECT_EQ(WasKeyReleased('r'), 0);
    Key(kKeyDown, u"r");
    Key(kKeyUp, u"r");
    EXPECT_EQ(WasKeyReleased('r'), 0) << "pressed and let go between two calls";
    Key(kKeyDown, u"r");
    EXPECT_EQ(WasKeyReleased('r'), 0);
    EXPECT_EQ(WasKeyReleased('r'), 0);
    Key(kKeyUp, u"r");
    EXPECT_EQ(WasKeyReleased('r'), 1);
    EXPECT_EQ(WasKeyReleased('r'), 0);

    Key(kKeyDown, u"i");
    Key(kKeyDown, u"o");
    EXPECT_EQ(WasKeyReleased(AnyKey), 0) << "notes every held key";
    Key(kKeyUp, u"i");
    EXPECT_EQ(WasKeyReleased(AnyKey), 1);
    EXPECT_EQ(WasKeyReleased('i'), 0) << "the AnyKey pass took it";
    Key(kKeyUp, u"o");
    EXPECT_EQ(WasKeyReleased('o'), 1);
    EXPECT_EQ(WasKeyReleased(AnyKey), 0);
    EXPECT_EQ(IsKeyDown(256) + IsKeyDown(-2) + WasKeyReleased(1000), 0) << "outside the table";
}

TEST_F(KeyboardTest, WithoutFocusNothingReadsAndTheLatchIsKept) {
    Key(kKeyDown, u"z");
    EXPECT_EQ(WasKeyReleased('z'), 0);
    Key(kKeyUp, u"z");
    CreateWindow(1, 0, 0, 50, 50, u"other", kWindowBorderless);
    Key(kKeyDown, u"c");
    EXPECT_EQ(IsKeyDown('c') + IsKeyDown(AnyKey), 0);
    EXPECT_EQ(WasKeyReleased('z') + WasKeyReleased(AnyKey), 0);
    Key(kKeyUp, u"c");
    ClickWindow(window);
    EXPECT_EQ(WasKeyReleased('z'), 1);
    CloseScreen();
    Key(kKeyDown, u"c");
    EXPECT_EQ(IsKeyDown('c'), 0) << "no screen";
    Key(kKeyUp, u"c");
}

// The key is let go while another program's window has the keyboard: no release arrives.
TEST_F(KeyboardTest, KeysHeldWhenTheWindowResignsKeyReadAsLetGo) {
    Key(kKeyDown, kLeftArrow);
    ASSERT_EQ(IsKeyDown(kKeyCodeLeft), 1);
    EXPECT_EQ(WasKeyReleased(kKeyCodeLeft), 0);
    MakeWindowKey(nullptr);
    CreateWindow(1, 0, 0, 50, 50, u"other", kWindowBorderless);
    ClickWindow(window);
    EXPECT_EQ(IsKeyDown(kKeyCodeLeft), 0);
    EXPECT_EQ(IsKeyDown(AnyKey), 0);
    EXPECT_EQ(WasKeyReleased(kKeyCodeLeft), 1) << "its release, once";
    EXPECT_EQ(WasKeyReleased(kKeyCodeLeft), 0);
}

TEST_F(KeyboardTest, PolledKeyEventsAreClaimedButAcceleratorPresses) {
    struct Case {
        const char* name;
        bool screen;
        bool pollFirst;
        uint32_t flags;
        bool reachesApplication;
        int64_t menuItem;  // 0: no menu event
    };
    const std::vector<Case> cases = {
        {"not polled yet", true, false, 0, true, 0},
        {"polled", true, true, 0, false, 0},
        {"accelerator", true, true, kAcceleratorKeyFlag, false, kMenuItemQuit},
        {"shift alone", true, true, kShiftKeyFlag, false, 0},
        {"accelerator without a screen", false, true, kAcceleratorKeyFlag, false, 0},
        {"without a screen, not polled", false, false, 0, true, 0},
    };
    for (const Case& c : cases) {
        if (!c.screen) CloseScreen();
        if (c.screen && CurrentScreen().screenContext == nullptr) {
            ASSERT_EQ(OpenScreenInWindow(window, 0, 0, 0, 0), 1);
        }
        SetKeyboardPolled(0);
        ClearSentEvents();
        InjectKeyEvent(window, kKeyDown, u"q", c.flags);
        // Without a screen the poll itself hands the pending events to the runtime.
        if (c.pollFirst) PollKeyboard();
        std::vector<QueuedEvent> events;
        for (int64_t result; (result = PollWindowEvent()) != 0;) {
            if (result > 0) events.push_back({static_cast<int32_t>(result), EventMenuID(), 0, 0});
        }
        const bool menu = c.menuItem != 0;
        EXPECT_EQ(SentKeyPresses() > 0, c.reachesApplication) << c.name;
        EXPECT_EQ(!events.empty() && events[0].type == kEventMenu, menu) << c.name;
        if (menu && !events.empty()) {
            EXPECT_EQ(events[0].object, c.menuItem) << c.name;
        }
        EXPECT_EQ(KeyboardPolled(), 0) << "the empty wait ends the claim";
        InjectKeyEvent(window, kKeyUp, u"q", 0);
        Pump();
    }
}

// Every held key goes, the modifiers until the next poll; noted releases stay, and key events
// are watched from then on.
TEST_F(KeyboardTest, InitialisingAgainClearsTheHeldKeys) {
    Key(kKeyDown, u"x");
    SetHeadlessModifierFlags(kShiftKeyFlag);
    PollKeyboard();
    EXPECT_EQ(WasKeyReleased('x'), 0);
    ASSERT_EQ(IsKeyDown(kKeyCodeShift), 1);
    SetKeyboardHook(nullptr);
    EXPECT_EQ(InitKeyboardInput(), 1);
    EXPECT_EQ(IsKeyDown(AnyKey), 0);
    EXPECT_EQ(WasKeyReleased('x'), 1) << "the latch is kept";
    Key(kKeyDown, u"y");
    EXPECT_EQ(IsKeyDown('y'), 1);
}

}  // namespace
}  // namespace vorlune
