#include "runtime/screen/mouse.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/cursor.h"
#include "platform/headless/control.h"
#include "tests/screen/screen_fixture.h"

namespace vorlune {
namespace {

// A 640 x 480 screen filling the window at (100, 50).
class MouseTest : public ScreenTest {
  protected:
    void SetUp() override {
        ScreenTest::SetUp();
        ASSERT_EQ(OpenScreenInWindow(window, 0, 0, 640, 480), 1);
        SetMouseFree(0);
        InitMouseInput();
        TakeWheelMotion();
    }
};

TEST_F(MouseTest, TheFirstPollCapturesAndPinsTheCursor) {
    EXPECT_FALSE(IsCursorHidden());
    EXPECT_EQ(PollMouse(), 1);
    EXPECT_TRUE(IsCursorHidden());
    double x = 0, y = 0;
    HeadlessCursorPosition(&x, &y);
    EXPECT_EQ(x, 420);
    EXPECT_EQ(y, 290);
}

TEST_F(MouseTest, MotionIsClampedAndThePositionKeptInsideTheScreen) {
    struct Step {
        double dx, dy;
        int32_t startX, startY;  // -1: keep
        int32_t motionX, motionY;
        int32_t x, y;
    };
    const std::vector<Step> steps = {
        {0, 0, 320, 240, 0, 0, 320, 240},
        {5, 5, -1, -1, 0, 0, 320, 240},  // the first movement after the capture
        {250, -30, -1, -1, 100, -30, 420, 210},
        {0, 400, -1, -1, 0, 100, 420, 310},
        {100, 0, 630, 10, 100, 0, 639, 10},
        {-1000, -1000, -1, -1, -100, -100, 539, 0},
        {0, 0, 900, -7, 0, 0, 639, 0},
        {2.5, 0, -1, -1, 2, 0, 639, 0},
        {0.5, 0, -1, -1, 1, 0, 639, 0},
    };
    for (size_t i = 0; i < steps.size(); ++i) {
        const Step& s = steps[i];
        if (s.startX >= 0) SetMousePosition(s.startX, s.startY);
        MoveHeadlessMouse(s.dx, s.dy);
        ASSERT_EQ(PollMouse(), 1);
        EXPECT_EQ(MouseMotionX(), s.motionX) << "step " << i;
        EXPECT_EQ(MouseMotionY(), s.motionY) << "step " << i;
        EXPECT_EQ(MousePositionX(), s.x) << "step " << i;
        EXPECT_EQ(MousePositionY(), s.y) << "step " << i;
    }
}

TEST_F(MouseTest, CapturedButtonsAndTheWheelAreClaimed) {
    PollMouse();
    struct Case {
        int32_t type;
        int32_t button;
        int32_t held;
    };
    const std::vector<Case> cases = {
        {kLeftMouseDown, 1, 1}, {kLeftMouseUp, 1, 0},    {kRightMouseDown, 2, 1},
        {kRightMouseUp, 2, 0},  {kOtherMouseDown, 3, 1}, {kOtherMouseUp, 3, 0},
    };
    ClearSentEvents();
    for (const Case& c : cases) {
        InjectMouseEvent(window, c.type, 5, 5, 1, 0);
        Pump();
        EXPECT_EQ(IsMouseButtonDown(c.button), c.held) << c.type;
    }
    InjectWheelEvent(window, 0, -1.5, 0);
    Pump();
    EXPECT_EQ(SentEventCount(), 0);
    EXPECT_EQ(TakeWheelMotion(), -15);
    EXPECT_EQ(TakeWheelMotion(), 0);
    EXPECT_EQ(IsMouseButtonDown(0) + IsMouseButtonDown(4) + IsMouseButtonDown(-1), 0);
    InjectMouseEvent(window, kMouseMoved, 5, 5, 0, 0);
    Pump();
    EXPECT_EQ(SentEventCount(), 1) << "moves are not claimed";
}

TEST_F(MouseTest, AFreeMouseReachesTheWindowAndIsCapturedAgainLater) {
    PollMouse();
    SetMousePosition(30, 40);
    InjectMouseEvent(window, kLeftMouseDown, 5, 5, 1, 0);
    Pump();
    ASSERT_EQ(IsMouseButtonDown(1), 1);
    SetMouseFree(1);
    EXPECT_EQ(IsMouseButtonDown(1), 0) << "released with the mouse";
    EXPECT_FALSE(IsCursorHidden());
    double x = 0, y = 0;
    HeadlessCursorPosition(&x, &y);
    EXPECT_EQ(x, 130);
    EXPECT_EQ(y, 90);
    EXPECT_EQ(PollMouse(), 0);
    ClearSentEvents();
    InjectMouseEvent(window, kLeftMouseDown, 5, 5, 1, 0);
    Pump();
    EXPECT_EQ(SentEventCount(), 1);
    EXPECT_EQ(IsMouseButtonDown(1), 0);

    SetMouseFree(0);
    MoveHeadlessMouse(7, 7);
    EXPECT_EQ(PollMouse(), 1);
    EXPECT_TRUE(IsCursorHidden());
    EXPECT_EQ(MouseMotionX(), 0) << "the first movement after a capture is dropped";
    MoveHeadlessMouse(7, 7);
    PollMouse();
    EXPECT_EQ(MouseMotionX(), 7);
}

TEST_F(MouseTest, WithoutAScreenTheMouseCannotBeFreed) {
    CloseScreen();
    SetMouseFree(1);
    SetMousePosition(700, 5);
    EXPECT_EQ(PollMouse(), 1);
    EXPECT_EQ(MousePositionX(), 639) << "clamped to the size last recorded";
}

}  // namespace
}  // namespace vorlune
