#pragma once
// Modal dialogs: the message box with its icon and buttons, and the hand-built text input panel
// with the modal run that its delegate ends.

#include <cstdint>

#include "platform/handles.h"

namespace vorlune {

// Message box ------------------------------------------------------------------------------------
enum class DialogIcon : int32_t { kNone, kNote, kStop, kCaution };

struct DialogButton {
    const char16_t* title;
    int64_t tag;  // what the run answers when the button is pressed
};

// Strings are UTF-16, null reads as empty. The first button is the default one (Return).
// Without buttons the platform shows its own single button, which Return, Escape and the close
// box all press and which answers 0.
struct MessageBoxContent {
    const char16_t* headline;  // carriage returns break the line
    const char16_t* text;
    DialogIcon icon;
    const DialogButton* buttons;  // in the order they are added
    int32_t buttonCount;
    int32_t cancelButton;  // the index Escape and the close box press; -1: they do nothing
    NativeWindow parent;   // the box stays above it; null: none
};

// Blocks until a button is pressed and stores its tag; false when no box could be shown.
bool RunMessageBox(const MessageBoxContent& content, int64_t* pressedTag);

// Input panel ----------------------------------------------------------------------------------
// What the panel's controls ask of the requester. The panel never closes by itself.
class InputPanelDelegate {
  public:
    virtual ~InputPanelDelegate() = default;
    virtual void OKEvent() = 0;  // the OK button, also pressed by Return in the field
    // The close box, or Escape. True closes the panel, which ends the modal run with 0.
    virtual bool windowShouldClose() = 0;
};

// Frames are in the panel's content, y downwards.
struct InputPanelContent {
    const char16_t* title;
    const char16_t* message;  // the label's text; line feeds break the line
    const char16_t* text;     // the field's first text, selected as a whole
    bool password;            // the field hides what is typed
    PlatformRect content;     // x and y are ignored: the panel is centred on the screen
    PlatformRect label;
    PlatformRect field;
    PlatformRect button;  // "OK", the default button
    NativeWindow parent;  // the panel stays above it; null: none
};

struct InputPanelObject;
using InputPanel = InputPanelObject*;

// A label's size once fitted to its text on one line per line feed; false when none can be made.
bool FitLabel(const char16_t* text, double* width, double* height);

InputPanel CreateInputPanel(const InputPanelContent& content,
                            InputPanelDelegate* delegate);  // hidden; null when none can be made
int64_t RunModalPanel(InputPanel panel);  // shows it and blocks; the code the run was ended with
void StopModal(int64_t code);             // ends the innermost run; nothing when none runs
const char16_t* InputPanelText(InputPanel panel);  // the field's, valid until the panel closes
void CloseInputPanel(InputPanel panel);            // and frees it; null does nothing

}  // namespace vorlune
