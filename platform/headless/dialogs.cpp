// The in-memory platform's dialogs: they take the key status from the windows while they are up
// and are answered by the actions the tests queued.
#include <algorithm>
#include <deque>
#include <memory>

#include "platform/dialogs.h"
#include "platform/headless/control.h"
#include "platform/headless/dialog_control.h"
#include "platform/headless/headless_state.h"

namespace vorlune {

struct InputPanelObject {
    ShownInputPanel shown;
    InputPanelDelegate* delegate;
    std::u16string text;
};

namespace {

struct Action {
    enum class Kind { kButton, kKey, kText, kQuit } kind;
    int32_t button;
    DialogKey key;
    std::u16string text;
};

struct ModalRun {
    int64_t code;
    bool ended;
};

struct DialogState {
    std::deque<Action> messageBoxActions;
    std::deque<Action> inputPanelActions;
    int32_t messageBoxesShown = 0;
    int32_t inputPanelsShown = 0;
    std::unique_ptr<ShownMessageBox> lastMessageBox;
    std::unique_ptr<ShownInputPanel> lastInputPanel;  // a copy that outlives the panel
    std::vector<ModalRun*> modalRuns;                 // innermost last
};

DialogState& Dialogs() {
    static DialogState state;
    return state;
}

const char16_t* OrEmpty(const char16_t* text) {
    return text != nullptr ? text : u"";
}

Action NextAction(std::deque<Action>& actions) {
    if (actions.empty()) return {Action::Kind::kKey, 0, DialogKey::kReturn, {}};
    Action action = actions.front();
    actions.pop_front();
    return action;
}

// The dialog becomes key: the window that was key hears that it no longer is.
void TakeKeyStatus() {
    headless::State& state = headless::GetState();
    headless::Window* key = state.keyWindow;
    if (key == nullptr) return;
    state.keyWindow = nullptr;
    if (key->delegate != nullptr) key->delegate->windowDidResignKey(headless::HandleOf(key));
}

// The tag the action presses; false when the box stays up.
bool Press(const ShownMessageBox& box, const Action& action, int64_t* tag) {
    const auto count = static_cast<int32_t>(box.buttons.size());
    int32_t index = -1;
    if (action.kind == Action::Kind::kQuit) {
        SendQuitRequest();
        const bool cancel = box.cancelButton >= 0 && box.cancelButton < count;
        *tag = cancel ? box.buttons[static_cast<size_t>(box.cancelButton)].tag : 0;
        return true;
    }
    if (action.kind == Action::Kind::kButton) {
        index = action.button;
    } else if (action.key == DialogKey::kReturn || count == 0) {
        index = 0;
    } else {
        index = box.cancelButton;
    }
    if (count == 0) {
        *tag = 0;
        return index == 0;
    }
    if (index < 0 || index >= count) return false;
    *tag = box.buttons[static_cast<size_t>(index)].tag;
    return true;
}

// The width of the widest line and the number of lines.
void MeasureLines(const char16_t* text, double* widest, int64_t* lines) {
    double current = 0;
    *widest = 0;
    *lines = 1;
    for (const char16_t* unit = text; *unit != 0; ++unit) {
        if (*unit == u'\n') {
            ++*lines;
            current = 0;
            continue;
        }
        current += *unit == u' ' ? kHeadlessLabelSpaceWidth : kHeadlessLabelUnitWidth;
        *widest = std::max(*widest, current);
    }
}

}  // namespace

void PressMessageBoxButton(int32_t index) {
    Dialogs().messageBoxActions.push_back({Action::Kind::kButton, index, DialogKey::kReturn, {}});
}

void PressMessageBoxKey(DialogKey key) {
    Dialogs().messageBoxActions.push_back({Action::Kind::kKey, 0, key, {}});
}

void TypeInInputPanel(const char16_t* text) {
    Dialogs().inputPanelActions.push_back(
        {Action::Kind::kText, 0, DialogKey::kReturn, OrEmpty(text)});
}

void PressInputPanelKey(DialogKey key) {
    Dialogs().inputPanelActions.push_back({Action::Kind::kKey, 0, key, {}});
}

void RequestQuitInMessageBox() {
    Dialogs().messageBoxActions.push_back({Action::Kind::kQuit, 0, DialogKey::kReturn, {}});
}

void RequestQuitInInputPanel() {
    Dialogs().inputPanelActions.push_back({Action::Kind::kQuit, 0, DialogKey::kReturn, {}});
}

void ResetHeadlessDialogs() {
    DialogState& state = Dialogs();
    state.messageBoxActions.clear();
    state.inputPanelActions.clear();
    state.messageBoxesShown = 0;
    state.inputPanelsShown = 0;
    state.lastMessageBox.reset();
    state.lastInputPanel.reset();
}

int32_t MessageBoxesShown() {
    return Dialogs().messageBoxesShown;
}

int32_t InputPanelsShown() {
    return Dialogs().inputPanelsShown;
}

const ShownMessageBox* LastMessageBox() {
    return Dialogs().lastMessageBox.get();
}

const ShownInputPanel* LastInputPanel() {
    return Dialogs().lastInputPanel.get();
}

// Message box ------------------------------------------------------------------------------------

bool RunMessageBox(const MessageBoxContent& content, int64_t* pressedTag) {
    if (!headless::GetState().displayAvailable) return false;
    auto box = std::make_unique<ShownMessageBox>();
    box->headline = OrEmpty(content.headline);
    box->text = OrEmpty(content.text);
    box->icon = content.icon;
    for (int32_t i = 0; i < content.buttonCount; ++i)
        box->buttons.push_back({OrEmpty(content.buttons[i].title), content.buttons[i].tag});
    box->cancelButton = content.cancelButton;
    box->parent = content.parent;

    DialogState& state = Dialogs();
    ++state.messageBoxesShown;
    TakeKeyStatus();
    int64_t tag = 0;
    while (!Press(*box, NextAction(state.messageBoxActions), &tag)) {
    }
    state.lastMessageBox = std::move(box);
    *pressedTag = tag;
    return true;
}

// Input panel ----------------------------------------------------------------------------------

bool FitLabel(const char16_t* text, double* width, double* height) {
    int64_t lines = 0;
    MeasureLines(OrEmpty(text), width, &lines);
    *height = kHeadlessLabelLineHeight * static_cast<double>(lines);
    return true;
}

InputPanel CreateInputPanel(const InputPanelContent& content, InputPanelDelegate* delegate) {
    if (!headless::GetState().displayAvailable) return nullptr;
    auto* panel = new InputPanelObject{};
    ShownInputPanel& shown = panel->shown;
    shown.title = OrEmpty(content.title);
    shown.message = OrEmpty(content.message);
    shown.text = OrEmpty(content.text);
    shown.password = content.password;
    shown.content = content.content;
    shown.label = content.label;
    shown.field = content.field;
    shown.button = content.button;
    shown.parent = content.parent;
    panel->delegate = delegate;
    panel->text = shown.text;
    return panel;
}

int64_t RunModalPanel(InputPanel panel) {
    DialogState& state = Dialogs();
    ++state.inputPanelsShown;
    state.lastInputPanel = std::make_unique<ShownInputPanel>(panel->shown);
    TakeKeyStatus();
    ModalRun run{0, false};
    state.modalRuns.push_back(&run);
    while (!run.ended) {
        const Action action = NextAction(state.inputPanelActions);
        if (action.kind == Action::Kind::kQuit) {
            SendQuitRequest();
            StopModal(0);
            continue;
        }
        if (action.kind == Action::Kind::kText) panel->text = action.text;
        if (action.kind == Action::Kind::kText || action.key == DialogKey::kReturn) {
            panel->delegate->OKEvent();
        } else if (panel->delegate->windowShouldClose() && !run.ended) {
            StopModal(0);
        }
    }
    state.modalRuns.pop_back();
    return run.code;
}

void StopModal(int64_t code) {
    DialogState& state = Dialogs();
    if (state.modalRuns.empty()) return;
    state.modalRuns.back()->code = code;
    state.modalRuns.back()->ended = true;
}

const char16_t* InputPanelText(InputPanel panel) {
    return panel != nullptr ? panel->text.c_str() : u"";
}

void CloseInputPanel(InputPanel panel) {
    if (panel == nullptr) return;
    DialogState& state = Dialogs();
    if (state.lastInputPanel != nullptr) state.lastInputPanel->closed = true;
    delete panel;
}

}  // namespace vorlune
