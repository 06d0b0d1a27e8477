#include "runtime/screen/mouse.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "platform/cursor.h"
#include "platform/view.h"
#include "platform/window.h"
#include "runtime/events/event_queue.h"
#include "runtime/screen/screen.h"

namespace vorlune {

namespace {

struct MouseState {
    int32_t mouseX, mouseY;
    int32_t mouseMotionX, mouseMotionY;
    int32_t mouseButtons[4];  // 1 left, 2 right, 3 other; 0 unused
    int32_t wheelMotion;
    uint8_t cursorShown;
    uint8_t firstMotionSkipped;
    int32_t mouseFree;
} mouse{};

int32_t WheelPoints(double lines) {
    const double points = std::round(lines * kWheelPointsPerLine);
    return static_cast<int32_t>(std::clamp(points, -2147483647.0, 2147483647.0));
}

int32_t ClampToScreen(int64_t value, int32_t size) {
    if (value >= size) value = static_cast<int64_t>(size) - 1;
    return value < 0 ? 0 : static_cast<int32_t>(value);
}

void Capture() {
    HideCursor();
    mouse.cursorShown = 0;
    mouse.firstMotionSkipped = 0;
    mouse.mouseMotionX = 0;
    mouse.mouseMotionY = 0;
}

void PinCursorToScreenWindow() {
    const NativeWindow window = CurrentScreen().screenWindow;
    const PlatformRect frame = window != nullptr ? WindowFrame(window) : PlatformRect{};
    WarpCursor(frame.x + frame.width * 0.5, frame.y + frame.height * 0.5);
}

}  // namespace

int32_t InitMouseInput() {
    SetMouseHook(MouseEventHook);
    mouse.mouseX = 0;
    mouse.mouseY = 0;
    mouse.cursorShown = 1;
    return 1;
}

int32_t PollMouse() {
    if (mouse.mouseFree != 0) {
        if (mouse.cursorShown == 0) {
            ShowCursor();
            mouse.cursorShown = 1;
        }
        return 0;
    }
    if (mouse.cursorShown != 0) Capture();
    TakeMouseDelta(&mouse.mouseMotionX, &mouse.mouseMotionY);
    const bool moved = mouse.mouseMotionX != 0 || mouse.mouseMotionY != 0;
    if (moved && mouse.firstMotionSkipped == 0) {
        // The first movement after a capture is the jump to the pinned position.
        mouse.mouseMotionX = 0;
        mouse.mouseMotionY = 0;
        mouse.firstMotionSkipped = 1;
    } else {
        mouse.mouseMotionX = std::clamp(mouse.mouseMotionX, -kMaxMouseMotion, kMaxMouseMotion);
        mouse.mouseMotionY = std::clamp(mouse.mouseMotionY, -kMaxMouseMotion, kMaxMouseMotion);
    }
    const ScreenState& screen = CurrentScreen();
    mouse.mouseX =
        ClampToScreen(static_cast<int64_t>(mouse.mouseX) + mouse.mouseMotionX, screen.screenWidth);
    mouse.mouseY =
        ClampToScreen(static_cast<int64_t>(mouse.mouseY) + mouse.mouseMotionY, screen.screenHeight);
    PinCursorToScreenWindow();
    return 1;
}

int32_t MouseMotionX() {
    return mouse.mouseMotionX;
}
int32_t MouseMotionY() {
    return mouse.mouseMotionY;
}
int32_t MousePositionX() {
    return mouse.mouseX;
}
int32_t MousePositionY() {
    return mouse.mouseY;
}

void SetMousePosition(int32_t x, int32_t y) {
    mouse.mouseX = x;
    mouse.mouseY = y;
}

int32_t TakeWheelMotion() {
    const int32_t motion = mouse.wheelMotion;
    mouse.wheelMotion = 0;
    return motion;
}

int32_t IsMouseButtonDown(int32_t button) {
    return button >= 1 && button <= 3 ? mouse.mouseButtons[button] : 0;
}

void SetMouseFree(int32_t free) {
    const ScreenState& screen = CurrentScreen();
    if (screen.screenInWindow == 0) return;
    if (free != 1) {
        mouse.mouseFree = 0;
        return;
    }
    const PlatformRect content = WindowContentRect(screen.screenWindow);
    const PlatformRect view = ViewFrame(screen.screenView);
    WarpCursor(content.x + view.x + mouse.mouseX, content.y + view.y + mouse.mouseY);
    if (mouse.cursorShown == 0) {
        ShowCursor();
        mouse.cursorShown = 1;
    }
    std::fill(std::begin(mouse.mouseButtons), std::end(mouse.mouseButtons), 0);
    mouse.mouseFree = 1;
}

int32_t MouseEventHook(const PlatformEvent& event) {
    if (mouse.cursorShown != 0) return 0;
    switch (event.type) {
        case kLeftMouseDown:
        case kLeftMouseUp:
            mouse.mouseButtons[1] = event.type == kLeftMouseDown ? 1 : 0;
            return 1;
        case kRightMouseDown:
        case kRightMouseUp:
            mouse.mouseButtons[2] = event.type == kRightMouseDown ? 1 : 0;
            return 1;
        case kOtherMouseDown:
        case kOtherMouseUp:
            mouse.mouseButtons[3] = event.type == kOtherMouseDown ? 1 : 0;
            return 1;
        case kScrollWheel:
            mouse.wheelMotion = WheelPoints(event.deltaY);
            return 1;
        default:
            return 0;
    }
}

}  // namespace vorlune
