#pragma once
// The message requester: a modal box with a headline, a text, an icon and a set of buttons.

#include <cstdint>

namespace vorlune {

// Flags, combinable ------------------------------------------------------------------------------
constexpr int32_t kMessageYesNo = 1;
constexpr int32_t kMessageYesNoCancel = 2;  // wins over kMessageYesNo
constexpr int32_t kMessageNoteIcon = 4;
constexpr int32_t kMessageStopIcon = 8;
constexpr int32_t kMessageCautionIcon = 16;  // wins over the note icon, which wins over stop

// Results ----------------------------------------------------------------------------------------
constexpr int64_t kMessageDefaultButton = 0;
constexpr int64_t kMessageCancel = 2;
constexpr int64_t kMessageYes = 6;
constexpr int64_t kMessageNo = 7;

// Blocks until a button is pressed, then gives the keyboard back to the window that had it.
// Null strings read as empty; 0 when no box can be shown.
int64_t ShowMessageBox(const char16_t* title, const char16_t* text, int32_t flags = 0);

}  // namespace vorlune
