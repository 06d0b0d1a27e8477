#pragma once
// The control interface of the in-memory platform, for tests: inject input, act as the user on
// windows, ask to quit, and inspect windows and views. Its waits never block unless asked to: one
// with nothing pending ends at once, as if its deadline had passed.

#include <cstdint>
#include <initializer_list>

#include "platform/application.h"
#include "platform/drag_drop.h"
#include "platform/events.h"
#include "platform/handles.h"
#include "platform/menu.h"

namespace vorlune {

// The platform as a whole ----------------------------------------------------------------------
void ResetHeadlessPlatform();  // closes every window (delegates hear it), forgets events and
                               // settings; the application stays started
void SetHeadlessDisplayAvailable(bool available);         // without one, start and windows fail
void SetHeadlessScreenSize(double width, double height);  // 0 x 0: no main screen
void SetHeadlessScreenOrigin(double x, double y);  // the main screen's corner among all screens
void SetHeadlessModifierFlags(uint32_t flags);     // the global modifier state

// Input, appended to the pending events ----------------------------------------------------------
void InjectKeyEvent(NativeWindow window, int32_t type, const char16_t* characters,
                    uint32_t flags);  // kKeyDown, kKeyUp or kFlagsChanged
void InjectMouseEvent(NativeWindow window, int32_t type, double x, double y, int32_t clickCount,
                      uint32_t flags);  // x, y in the content view; the drags and release
                                        // of a press go to the view pressed
void InjectWheelEvent(NativeWindow window, double deltaX, double deltaY, uint32_t flags);
void DiscardPendingPlatformEvents();  // and counts no wake-ups so far; waits stop blocking
int32_t PendingPlatformEventCount();
const PlatformEvent* PendingPlatformEventAt(int32_t index);  // 0 is the next one; null past end
// For tests with worker threads: a wait with a timeout other than 0 and nothing pending blocks
// until an event arrives (a wake-up posted from any thread) or its deadline passes. Off after a
// reset.
void SetHeadlessBlockingWaits(bool blocking);
int32_t BlockedPlatformWaitCount();  // waits blocked at this moment

// Toolkit activity inside the next wait (a resize, a repaint...), run before it looks ------------
void RunDuringNextWait(void (*action)(void* data), void* data);

// The user acting on windows; notifications are delivered at once -------------------------------
bool PressCloseBox(NativeWindow window);  // true when the window closed
void ClickWindow(NativeWindow window);    // makes it key and brings it to the front
void UserMoveWindow(NativeWindow window, double x, double y);
void UserResizeWindow(NativeWindow window, double width, double height);  // content size
void UserMinimiseWindow(NativeWindow window);
void UserRestoreWindow(NativeWindow window);  // from the minimised state
void UserZoomWindow(NativeWindow window);
void DisplayHeadlessWindow(NativeWindow window);  // draws every view, marked or not
TerminateReply SendQuitRequest();  // what the application delegate answered; cancel without one

// Inspection -----------------------------------------------------------------------------------
struct HeadlessWindowInfo {
    PlatformRect frame;
    PlatformRect content;
    const char16_t* title;  // valid until the title changes
    uint32_t style;
    bool visible;  // ordered in, whether minimised or not
    bool key;
    bool minimised;
    bool zoomed;
    bool acceptsMouseMoved;
    NativeWindow parent;
    int32_t childCount;
    NativeView contentView;
    int64_t orderStamp;           // larger is nearer the front
    const PlatformMenu* menuBar;  // the platform's copy; null without a bar
};

int32_t HeadlessWindowCount();
NativeWindow HeadlessWindowAt(int32_t index);  // creation order; null past the end
bool InspectHeadlessWindow(NativeWindow window, HeadlessWindowInfo* info);  // false for null
NativeWindow HeadlessChildWindowAt(NativeWindow window, int32_t index);
int32_t SubviewCount(NativeView view);
NativeView SubviewAt(NativeView view, int32_t index);
int32_t ViewDrawCount(NativeView view);
const char16_t* ViewToolTip(NativeView view);

// The user choosing the item at the end of the titles in the window's menu bar, each title in the
// menu the one before it opens: false for no such item, a separator, a disabled item or one that
// opens a menu.
bool ChooseHeadlessMenuItem(NativeWindow window, std::initializer_list<const char16_t*> titles);

// What reached the toolkit -------------------------------------------------------------------
int32_t SentEventCount();  // events handed to SendPlatformEvent since the last clear
const PlatformEvent* SentEventAt(int32_t index);
void ClearSentEvents();
int32_t WakeUpEventsPosted();  // since the reset
int32_t PlatformWaitCount();   // calls of NextPlatformEvent since the reset
bool IsHeadlessApplicationHidden();

// Image views and controls -----------------------------------------------------------------------
// The pixel an image view shows at (x, y) of its bounds: false where it shows none (outside
// the image, or in its frame).
bool ReadImageViewPixel(NativeView view, int32_t x, int32_t y, uint8_t rgba[4]);
void PerformControlAction(NativeView view);  // as the user acting on the control

// OpenGL views and displays ----------------------------------------------------------------------
struct HeadlessGLInfo {
    bool realised;
    bool current;
    int32_t swapInterval;
    bool depthTest;
    int32_t viewportWidth, viewportHeight;
    int32_t clears;
};

void SetHeadlessGLAvailable(bool available);  // without it no OpenGL context can be realised
bool InspectHeadlessGLView(NativeView view, HeadlessGLInfo* info);  // false for other views
void SetHeadlessRefreshRate(double hertz);                          // 0: unknown
int32_t DeletedGLTextureCount();
uint32_t DeletedGLTextureAt(int32_t index);

// The pointer
// --------------------------------------------------------------------------------------
void MoveHeadlessMouse(double deltaX, double deltaY);  // movement the platform will report
void HeadlessCursorPosition(double* x, double* y);     // where the last warp put it
int32_t CursorWarpCount();

// Drops
// -------------------------------------------------------------------------------------------- A
// drag released over the window at (info.x, info.y): the deepest view there that accepts drops is
// asked as a destination is. True when it performed the drop.
bool InjectDrop(NativeWindow window, const DragInfo& info);

// The key window's focus and edit actions ------------------------------------------------------
void SetHandledEditActions(uint32_t mask);  // bit n set: EditAction n is handled
int32_t EditActionCount();
EditAction EditActionAt(int32_t index);

}  // namespace vorlune
