#pragma once
// The captured mouse: while captured the cursor is hidden and pinned to the middle of the
// screen's window, each poll measures the movement since the last, and a position of its own
// is kept inside the screen. Buttons and the wheel come from the events of the event wait.

#include <cstdint>

#include "platform/events.h"

namespace vorlune {

constexpr int32_t kMaxMouseMotion = 100;    // per poll and axis
constexpr double kWheelPointsPerLine = 10;  // a wheel line as a scrolled distance in points

// Operations -------------------------------------------------------------------------------------
int32_t InitMouseInput();  // 1; installs the hook; capture starts with the first poll
int32_t PollMouse();       // 1 when captured and read, 0 while the mouse is free
int32_t MouseMotionX();
int32_t MouseMotionY();
int32_t MousePositionX();
int32_t MousePositionY();
void SetMousePosition(int32_t x, int32_t y);         // kept as given; the next poll clamps
int32_t TakeWheelMotion();                           // the last wheel delta once, then 0
int32_t IsMouseButtonDown(int32_t button);           // 1 left, 2 right, 3 other; 0 for any other
void SetMouseFree(int32_t free);                     // 1 gives the cursor back; else the next poll
                                                     // captures again; only with a windowed screen
int32_t MouseEventHook(const PlatformEvent& event);  // 1 claims the event

}  // namespace vorlune
