#pragma once
// The in-memory platform's dialogs, for tests: queue what the user does in the next message box
// or input panel, and read what the last ones showed.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/dialogs.h"
#include "platform/handles.h"

namespace vorlune {

// Labels are fitted as a fixed function of their text: the widest line at 10 points per unit
// and 5 per space, 20 points per line, lines ending at line feeds.
constexpr double kHeadlessLabelUnitWidth = 10;
constexpr double kHeadlessLabelSpaceWidth = 5;
constexpr double kHeadlessLabelLineHeight = 20;

// What the user does ----------------------------------------------------------------------------
// Each dialog takes the queued actions of its kind, oldest first, until one ends it; with none
// left it is answered by Return. While a dialog is up none of the windows is key.
enum class DialogKey : int32_t { kReturn, kEscape, kCloseBox };

void PressMessageBoxButton(int32_t index);  // in the order added; 0: the platform's own
void PressMessageBoxKey(DialogKey key);
void TypeInInputPanel(const char16_t* text);  // replaces the selected text, then presses OK
void PressInputPanelKey(DialogKey key);
// The platform asks the application to quit while the box or panel is up: the application
// delegate hears it, and the dialog ends as if nothing had been pressed (cancel or 0).
void RequestQuitInMessageBox();
void RequestQuitInInputPanel();
void ResetHeadlessDialogs();  // forgets queued actions and what was shown

// What was shown -------------------------------------------------------------------------------
struct ShownButton {
    std::u16string title;
    int64_t tag;
};

struct ShownMessageBox {
    std::u16string headline;
    std::u16string text;
    DialogIcon icon;
    std::vector<ShownButton> buttons;  // empty: the platform's own single button
    int32_t cancelButton;
    NativeWindow parent;
};

struct ShownInputPanel {
    std::u16string title;
    std::u16string message;
    std::u16string text;  // as first shown
    bool password;
    PlatformRect content, label, field, button;  // y downwards
    NativeWindow parent;
    bool closed;  // CloseInputPanel was called
};

int32_t MessageBoxesShown();  // since the last reset
int32_t InputPanelsShown();
const ShownMessageBox* LastMessageBox();  // null when none was shown
const ShownInputPanel* LastInputPanel();

}  // namespace vorlune
