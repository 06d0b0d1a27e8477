#pragma once
// The input requester: a modal panel that asks for one line of text, answered through the
// temporary string buffer.

#include <cstdint>

#include "platform/dialogs.h"

namespace vorlune {

constexpr int32_t kInputPassword = 1;  // the field hides what is typed

// The panel's delegate and the OK button's target: each ends the modal run with its code.
class ZkInputRequesterEvents : public InputPanelDelegate {
  public:
    void OKEvent() override;            // code 1
    bool windowShouldClose() override;  // code 0; answers false, the requester closes the panel
};

// Null strings read as empty. The answer is written at resultOffset of the temporary string
// buffer, tempPos left on its terminator; the close box (or Escape) answers the empty string,
// as does a panel that cannot be shown. Returns the answer's address in the buffer.
char16_t* AskForText(const char16_t* title, const char16_t* message, const char16_t* defaultText,
                     int32_t resultOffset);
char16_t* AskForText(const char16_t* title, const char16_t* message, const char16_t* defaultText,
                     int32_t flags, int32_t resultOffset);

}  // namespace vorlune
