// The input requester. The layout is worked out as the label's fitted size dictates, in the
// panel's own terms (origin at the bottom left, y upwards), and handed to the platform with y
// turned downwards.
#include "runtime/requesters/input_requester.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/window.h"
#include "runtime/core/strings.h"

namespace vorlune {

namespace {

constexpr PlatformRect kLabelStart{10, 80, 350, 30};
constexpr double kMinimumWidth = 370;
constexpr double kMinimumHeight = 120;
constexpr double kMargin = 10;
constexpr double kSpaceBelowLabel = 90;  // field, button and the margins between them
constexpr double kFieldY = 50;
constexpr double kFieldHeight = 20;
constexpr double kButtonWidth = 100;
constexpr double kButtonHeight = 25;

struct Layout {
    PlatformRect content, label, field, button;  // y upwards
};

Layout LayOut(const char16_t* message) {
    double width = 0;
    double height = 0;
    double panelWidth = kMinimumWidth;
    double panelHeight = kMinimumHeight;
    if (FitLabel(message, &width, &height)) {
        panelWidth = std::trunc(std::max(width + 2 * kMargin, kMinimumWidth));
        panelHeight = std::trunc(std::max(height + kSpaceBelowLabel, kMinimumHeight));
    }
    const double inner = panelWidth - 2 * kMargin;
    // An integer division, truncated toward zero.
    const auto buttonX = static_cast<double>(
        (static_cast<int64_t>(panelWidth) - static_cast<int64_t>(kButtonWidth)) / 2);
    return {{0, 0, panelWidth, panelHeight},
            {kMargin, kLabelStart.y, inner, panelHeight - kSpaceBelowLabel},
            {kMargin, kFieldY, inner, kFieldHeight},
            {buttonX, kMargin, kButtonWidth, kButtonHeight}};
}

PlatformRect Downwards(PlatformRect frame, double contentHeight) {
    return {frame.x, contentHeight - frame.y - frame.height, frame.width, frame.height};
}

char16_t* WriteAnswer(const char16_t* text, int32_t offset) {
    const int64_t length = StringLength(text);
    char16_t* answer = ReserveTempString(static_cast<int32_t>(length), offset);
    if (length > 0) std::memcpy(answer, text, static_cast<size_t>(length) * sizeof(char16_t));
    answer[length] = 0;
    return answer;
}

char16_t* WriteEmptyAnswer(int32_t offset) {
    SetTempPosition(offset);
    return TempStringAt(offset);
}

}  // namespace

void ZkInputRequesterEvents::OKEvent() {
    StopModal(1);
}

bool ZkInputRequesterEvents::windowShouldClose() {
    StopModal(0);
    return false;
}

char16_t* AskForText(const char16_t* title, const char16_t* message, const char16_t* defaultText,
                     int32_t resultOffset) {
    return AskForText(title, message, defaultText, 0, resultOffset);
}

char16_t* AskForText(const char16_t* title, const char16_t* message, const char16_t* defaultText,
                     int32_t flags, int32_t resultOffset) {
    const NativeWindow keyWindow = KeyWindow();
    const Layout layout = LayOut(message != nullptr ? message : u"");
    const double height = layout.content.height;

    InputPanelContent content{};
    content.title = title != nullptr ? title : u"";
    content.message = message != nullptr ? message : u"";
    content.text = defaultText != nullptr ? defaultText : u"";
    content.password = (flags & kInputPassword) != 0;
    content.content = layout.content;
    content.label = Downwards(layout.label, height);
    content.field = Downwards(layout.field, height);
    content.button = Downwards(layout.button, height);
    content.parent = keyWindow;

    ZkInputRequesterEvents events;
    const InputPanel panel = CreateInputPanel(content, &events);
    if (panel == nullptr) return WriteEmptyAnswer(resultOffset);
    const int64_t response = RunModalPanel(panel);
    // The default text may lie in the buffer at the result offset: the panel holds its own copy.
    char16_t* answer = response != 0 ? WriteAnswer(InputPanelText(panel), resultOffset)
                                     : WriteEmptyAnswer(resultOffset);
    CloseInputPanel(panel);
    if (keyWindow != nullptr) MakeWindowKey(keyWindow);
    return answer;
}

}  // namespace vorlune
