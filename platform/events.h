#pragma once
// Platform events and the wait for them, the wake-up event and the global modifier state.

#include <cstdint>

#include "platform/handles.h"

namespace vorlune {

// Event types ----------------------------------------------------------------------------------
constexpr int32_t kLeftMouseDown = 1;
constexpr int32_t kLeftMouseUp = 2;
constexpr int32_t kRightMouseDown = 3;
constexpr int32_t kRightMouseUp = 4;
constexpr int32_t kMouseMoved = 5;
constexpr int32_t kLeftMouseDragged = 6;
constexpr int32_t kRightMouseDragged = 7;
constexpr int32_t kKeyDown = 10;
constexpr int32_t kKeyUp = 11;
constexpr int32_t kFlagsChanged = 12;  // a modifier key alone went down or up
constexpr int32_t kApplicationDefined = 15;
constexpr int32_t kScrollWheel = 22;
constexpr int32_t kOtherMouseDown = 25;
constexpr int32_t kOtherMouseUp = 26;
constexpr int32_t kOtherMouseDragged = 27;

// Modifier flags -------------------------------------------------------------------------------
constexpr uint32_t kShiftKeyFlag = 1u << 17;
constexpr uint32_t kControlKeyFlag = 1u << 18;
constexpr uint32_t kAlternateKeyFlag = 1u << 19;  // Alt, the Option key
constexpr uint32_t kCommandKeyFlag = 1u << 20;    // Super
constexpr uint32_t kDeviceIndependentFlagsMask = 0xFFFF0000u;
// The modifier of menu key equivalents and edit actions; Control on Linux.
constexpr uint32_t kAcceleratorKeyFlag = kControlKeyFlag;

// Characters of keys that produce none of their own.
constexpr char16_t kUpArrowCharacter = 0xF700;
constexpr char16_t kDownArrowCharacter = 0xF701;
constexpr char16_t kLeftArrowCharacter = 0xF702;
constexpr char16_t kRightArrowCharacter = 0xF703;
constexpr char16_t kF1Character = 0xF704;  // F1 to F12 follow in order
constexpr char16_t kInsertCharacter = 0xF727;
constexpr char16_t kDeleteCharacter = 0xF728;  // forward delete
constexpr char16_t kHomeCharacter = 0xF729;
constexpr char16_t kEndCharacter = 0xF72B;
constexpr char16_t kPageUpCharacter = 0xF72C;
constexpr char16_t kPageDownCharacter = 0xF72D;

// One event as the wait hands it out ----------------------------------------------------------
struct PlatformEvent {
    int32_t type;
    uint32_t modifierFlags;  // device-independent bits as above
    NativeWindow window;     // null for events of no window (the wake-up)
    char16_t characters[3];  // ignoring modifiers other than Shift; zero-terminated
    int32_t characterCount;  // 0 for keys without a character
    double x, y;             // in the window's content view, y downwards
    int32_t clickCount;      // of mouse-down and mouse-up events
    int32_t button;          // 0 left, 1 right, 2 and up further buttons
    double deltaX, deltaY;   // wheel lines, or pointer motion in points
    void* backendEvent;      // the backend's own copy, for passing the event on
};

// The wait ---------------------------------------------------------------------------------------
// Waits for the next input event or wake-up, dispatching every other toolkit event at once.
// timeoutMilliseconds < 0 waits without limit, 0 only looks. False when none arrived in time.
bool NextPlatformEvent(int32_t timeoutMilliseconds, PlatformEvent* event);
void ReleasePlatformEvent(PlatformEvent* event);  // after NextPlatformEvent answered true
bool HasPendingPlatformEvent();                   // without waiting or removing anything
void PostWakeUpEvent();  // an application-defined event at the front of the pending events
void SendPlatformEvent(const PlatformEvent& event);  // the toolkit's own handling of the event

// Modifier state ---------------------------------------------------------------------------------
uint32_t GlobalModifierFlags();  // the keys held now, whatever event was last seen

}  // namespace vorlune
