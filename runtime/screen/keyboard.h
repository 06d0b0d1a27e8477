#pragma once
// The polled keyboard: which keys are held and which were let go, from the key events that
// pass through the runtime's event wait, with the modifiers sampled at each poll. The tables
// answer only while a screen's window is key (runtime/screen/screen.h).

#include <cstdint>

#include "platform/events.h"

namespace vorlune {

// Key codes: characters 0x00-0x7F (letters in lower case) and these ------------------------------
constexpr int32_t AnyKey = -1;
constexpr int32_t kKeyCount = 256;
constexpr int32_t kKeyCodeLeft = 0x1C;
constexpr int32_t kKeyCodeRight = 0x1D;
constexpr int32_t kKeyCodeUp = 0x1E;
constexpr int32_t kKeyCodeDown = 0x1F;
constexpr int32_t kKeyCodeF1 = 0x80;  // to F12, 0x8B
constexpr int32_t kKeyCodeCommand = 0x8C;
constexpr int32_t kKeyCodeControl = 0x8D;  // and 0x8E
constexpr int32_t kKeyCodeOption = 0x8F;   // and 0x90
constexpr int32_t kKeyCodeShift = 0x91;    // and 0x92
constexpr int32_t kKeyCodeHome = 0x98;
constexpr int32_t kKeyCodePageUp = 0x99;
constexpr int32_t kKeyCodeEnd = 0x9A;
constexpr int32_t kKeyCodePageDown = 0x9B;
constexpr int32_t kKeyCodeInsert = 0x9C;
constexpr int32_t kKeyCodeForwardDelete = 0x9D;

// The code of a key's character: -1 for characters no key code stands for.
int32_t KeyCodeForCharacter(char16_t character);

// Operations -------------------------------------------------------------------------------------
int32_t InitKeyboardInput();           // 1; clears the held keys and installs the hook
int32_t PollKeyboard();                // 1; samples the modifiers, pumps events without a screen
int32_t IsKeyDown(int32_t code);       // 0 for codes outside 0-255 other than AnyKey
int32_t WasKeyReleased(int32_t code);  // once per release seen held; 0 outside 0-255
int32_t KeyboardEventHook(const PlatformEvent& event);  // 1 claims the event
void ReleaseHeldKeys();  // every key reads as let go, as when the keyboard goes elsewhere

}  // namespace vorlune
