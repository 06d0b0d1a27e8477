#include "runtime/screen/keyboard.h"

#include <cstring>

#include "runtime/events/event_queue.h"
#include "runtime/screen/screen.h"

namespace vorlune {

namespace {

uint8_t keyHeld[kKeyCount];
uint8_t keyReleaseLatch[kKeyCount];

// Function-key characters U+F700 to U+F72D; 0 where no code is set.
constexpr int32_t kFunctionKeyBase = 0xF700;
constexpr uint8_t kFunctionKeyCodes[] = {
    kKeyCodeUp,
    kKeyCodeDown,
    kKeyCodeLeft,
    kKeyCodeRight,
    0x80,
    0x81,
    0x82,
    0x83,
    0x84,
    0x85,
    0x86,
    0x87,
    0x88,
    0x89,
    0x8A,
    0x8B,  // F1-F12
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,  // F13-F28
    0,
    0,
    0,
    0,
    0,
    0,
    0,  // F29-F35
    kKeyCodeInsert,
    kKeyCodeForwardDelete,
    kKeyCodeHome,
    0,
    kKeyCodeEnd,
    kKeyCodePageUp,
    kKeyCodePageDown,
};
static_assert(sizeof(kFunctionKeyCodes) == 0xF72D - 0xF700 + 1);

struct ModifierCodes {
    uint32_t flag;
    int32_t first, second;
};
constexpr ModifierCodes kModifierCodes[] = {
    {kCommandKeyFlag, kKeyCodeCommand, kKeyCodeCommand},
    {kControlKeyFlag, kKeyCodeControl, kKeyCodeControl + 1},
    {kAlternateKeyFlag, kKeyCodeOption, kKeyCodeOption + 1},
    {kShiftKeyFlag, kKeyCodeShift, kKeyCodeShift + 1},
};

bool IsKeyCode(int32_t code) {
    return code >= 0 && code < kKeyCount;
}

// The latch step for one code: a held key is noted, a noted key no longer held is reported.
bool TakeRelease(int32_t code) {
    if (keyHeld[code] != 0) {
        keyReleaseLatch[code] = 1;
        return false;
    }
    if (keyReleaseLatch[code] == 0) return false;
    keyReleaseLatch[code] = 0;
    return true;
}

}  // namespace

int32_t KeyCodeForCharacter(char16_t character) {
    if (character <= 0x7F) {
        return character >= u'A' && character <= u'Z' ? character + 0x20 : character;
    }
    const int32_t index = character - kFunctionKeyBase;
    if (index < 0 || index >= static_cast<int32_t>(sizeof(kFunctionKeyCodes))) return -1;
    return kFunctionKeyCodes[index] != 0 ? kFunctionKeyCodes[index] : -1;
}

int32_t InitKeyboardInput() {
    std::memset(keyHeld, 0, sizeof keyHeld);
    SetKeyboardHook(KeyboardEventHook);
    return 1;
}

int32_t PollKeyboard() {
    SetKeyboardPolled(1);
    const uint32_t flags = GlobalModifierFlags();
    for (const ModifierCodes& modifier : kModifierCodes) {
        const uint8_t held = (flags & modifier.flag) != 0 ? 1 : 0;
        keyHeld[modifier.first] = held;
        keyHeld[modifier.second] = held;
    }
    // With a windowed screen open, the program's own wait for window events pumps them.
    if (CurrentScreen().screenInWindow == 0) {
        while (PollWindowEvent() != 0) {
        }
    }
    return 1;
}

int32_t IsKeyDown(int32_t code) {
    if (CurrentScreen().screenHasFocus == 0) return 0;
    if (code == AnyKey) {
        for (uint8_t held : keyHeld) {
            if (held != 0) return 1;
        }
        return 0;
    }
    return IsKeyCode(code) ? keyHeld[code] : 0;
}

int32_t WasKeyReleased(int32_t code) {
    if (CurrentScreen().screenHasFocus == 0) return 0;
    if (code == AnyKey) {
        bool released = false;
        for (int32_t each = 0; each < kKeyCount; ++each)
            released = TakeRelease(each) || released;
        return released ? 1 : 0;
    }
    return IsKeyCode(code) && TakeRelease(code) ? 1 : 0;
}

int32_t KeyboardEventHook(const PlatformEvent& event) {
    if (event.type != kKeyDown && event.type != kKeyUp) return 0;
    if (event.characterCount == 1) {
        const int32_t code = KeyCodeForCharacter(event.characters[0]);
        if (code >= 0) keyHeld[code] = event.type == kKeyDown ? 1 : 0;
    }
    // Presses with the accelerator modifier are left to the application's menus while a
    // windowed screen is open.
    const bool accelerator = (event.modifierFlags & kAcceleratorKeyFlag) != 0;
    return CurrentScreen().screenInWindow == 0 || !accelerator ? 1 : 0;
}

void ReleaseHeldKeys() {
    std::memset(keyHeld, 0, sizeof keyHeld);
}

}  // namespace vorlune
