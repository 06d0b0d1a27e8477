#pragma once
// The pointer: hiding the cursor over the program's windows, moving it, and how far the
// mouse moved.

#include <cstdint>

namespace vorlune {

void HideCursor();
void ShowCursor();
bool IsCursorHidden();
void WarpCursor(double x, double y);  // screen points from the main screen's top-left corner;
                                      // the jump itself counts as no mouse movement
void TakeMouseDelta(int32_t* deltaX, int32_t* deltaY);  // movement since the last call, in
                                                        // whole points; the rest is kept

}  // namespace vorlune
