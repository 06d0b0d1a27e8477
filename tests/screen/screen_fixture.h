#pragma once
// A window with the keyboard, the mouse and the screen system started, on the headless platform.

#include <cstdint>

#include "platform/headless/control.h"
#include "runtime/screen/keyboard.h"
#include "runtime/screen/mouse.h"
#include "runtime/screen/screen.h"
#include "tests/events/events_fixture.h"

namespace vorlune {

class ScreenTest : public EventsTest {
  protected:
    void SetUp() override {
        EventsTest::SetUp();
        ASSERT_NE(InitScreenSystem(), nullptr);
        CloseScreen();
        InitKeyboardInput();
        CreateWindow(0, 100, 50, 640, 480, u"screen", kWindowBorderless);
        window = WindowID(0);
        ASSERT_EQ(OpenScreenInWindow(window, 0, 0, 0, 0), 1);
        WasKeyReleased(AnyKey);  // forgets releases noted by earlier tests
        Drain();
    }
    void TearDown() override {
        CloseScreen();
        EventsTest::TearDown();
    }

    // Hands every pending platform event to the runtime.
    static void Pump() {
        while (PollWindowEvent() != 0) {
        }
    }

    void Key(int32_t type, const char16_t* characters, uint32_t flags = 0) {
        InjectKeyEvent(window, type, characters, flags);
        Pump();
    }

    NativeWindow window = nullptr;
};

}  // namespace vorlune
