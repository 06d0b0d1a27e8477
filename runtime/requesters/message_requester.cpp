// The message requester. Return presses the first button; Escape and the close box press
// "Cancel" when there is one and nothing otherwise, as neither "Yes" nor "No" may be assumed.
#include "runtime/requesters/message_requester.h"

#include "platform/dialogs.h"
#include "platform/window.h"

namespace vorlune {

namespace {

DialogIcon IconOf(int32_t flags) {
    if ((flags & kMessageCautionIcon) != 0) return DialogIcon::kCaution;
    if ((flags & kMessageNoteIcon) != 0) return DialogIcon::kNote;
    if ((flags & kMessageStopIcon) != 0) return DialogIcon::kStop;
    return DialogIcon::kNone;
}

}  // namespace

int64_t ShowMessageBox(const char16_t* title, const char16_t* text, int32_t flags) {
    static const DialogButton kButtons[] = {
        {u"Yes", kMessageYes}, {u"No", kMessageNo}, {u"Cancel", kMessageCancel}};
    const bool withCancel = (flags & kMessageYesNoCancel) != 0;
    const bool withButtons = withCancel || (flags & kMessageYesNo) != 0;

    const NativeWindow keyWindow = KeyWindow();
    MessageBoxContent content{};
    content.headline = title != nullptr ? title : u"";
    content.text = text != nullptr ? text : u"";
    content.icon = IconOf(flags);
    content.buttons = kButtons;
    content.buttonCount = withCancel ? 3 : withButtons ? 2 : 0;
    content.cancelButton = withCancel ? 2 : -1;
    content.parent = keyWindow;

    int64_t pressed = 0;
    if (!RunMessageBox(content, &pressed)) return 0;
    if (keyWindow != nullptr) MakeWindowKey(keyWindow);
    return withButtons ? pressed : kMessageDefaultButton;
}

}  // namespace vorlune
