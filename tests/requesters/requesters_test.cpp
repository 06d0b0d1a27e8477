// The message and input requesters on the headless platform, answered as a user would.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/application.h"
#include "platform/headless/control.h"
#include "platform/headless/dialog_control.h"
#include "platform/window.h"
#include "runtime/core/strings.h"
#include "runtime/requesters/input_requester.h"
#include "runtime/requesters/message_requester.h"

namespace vorlune {
namespace {

class KeyLog : public WindowDelegate {
  public:
    void windowDidBecomeKey(NativeWindow) override { log += "+"; }
    void windowDidResignKey(NativeWindow) override { log += "-"; }
    std::string log;
};

class RequestersTest : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(StartPlatformApplication());
        ResetHeadlessPlatform();
        ResetHeadlessDialogs();
        InitTempStrings();
        window_ = CreateNativeWindow(100, 100, 300, 200, kWindowStyleTitled);
        SetWindowDelegate(window_, &keys_);
        MakeWindowKeyAndOrderFront(window_);
        keys_.log.clear();
    }
    void TearDown() override {
        ResetHeadlessPlatform();
        ResetHeadlessDialogs();
        FreeTempStrings();
    }

    std::u16string AskAt(int32_t offset, int32_t flags = 0) {
        AskForText(u"VALUES", u"Current:", u"el = 1", flags, offset);
        return TempStringAt(offset);
    }

    NativeWindow window_ = nullptr;
    KeyLog keys_;
};

// Message box ------------------------------------------------------------------------------------

TEST_F(RequestersTest, EachButtonSetAnswersTheCodeOfThePressedButton) {
    struct Case {
        int32_t flags;
        std::vector<int32_t> presses;  // button indexes; -1 Return, -2 Escape, -3 close box
        int64_t result;
        std::vector<std::u16string> buttons;
    };
    const std::vector<std::u16string> yesNo = {u"Yes", u"No"};
    const std::vector<std::u16string> yesNoCancel = {u"Yes", u"No", u"Cancel"};
    const std::vector<Case> cases = {
        {0, {-1}, 0, {}},
        {0, {-2}, 0, {}},
        {4, {0}, 0, {}},
        {1, {1}, 7, yesNo},
        {1, {0}, 6, yesNo},
        {1, {-1}, 6, yesNo},
        {1, {-2, -3, 0}, 6, yesNo},  // neither answer is assumed: the box stays up
        {2, {2}, 2, yesNoCancel},
        {2, {-2}, 2, yesNoCancel},
        {3, {-3}, 2, yesNoCancel},
        {3, {-1}, 6, yesNoCancel},
        {2, {5, 1}, 7, yesNoCancel},  // no such button
    };
    for (const Case& c : cases) {
        ResetHeadlessDialogs();
        for (int32_t press : c.presses) {
            if (press >= 0) {
                PressMessageBoxButton(press);
            } else {
                PressMessageBoxKey(press == -1   ? DialogKey::kReturn
                                   : press == -2 ? DialogKey::kEscape
                                                 : DialogKey::kCloseBox);
            }
        }
        SCOPED_TRACE(testing::Message() << "flags " << c.flags << ", first press " << c.presses[0]);
        EXPECT_EQ(ShowMessageBox(u"t", u"x", c.flags), c.result);
        EXPECT_EQ(MessageBoxesShown(), 1);
        std::vector<std::u16string> titles;
        for (const ShownButton& button : LastMessageBox()->buttons)
            titles.push_back(button.title);
        EXPECT_EQ(titles, c.buttons);
    }
}

TEST_F(RequestersTest, IconBitsGiveOneIconByPrecedence) {
    const std::vector<std::pair<int32_t, DialogIcon>> cases = {
        {0, DialogIcon::kNone},     {1, DialogIcon::kNone},     {4, DialogIcon::kNote},
        {8, DialogIcon::kStop},     {16, DialogIcon::kCaution}, {12, DialogIcon::kNote},
        {20, DialogIcon::kCaution}, {24, DialogIcon::kCaution}, {30, DialogIcon::kCaution},
    };
    for (const auto& [flags, icon] : cases) {
        ShowMessageBox(u"t", u"x", flags);
        EXPECT_EQ(LastMessageBox()->icon, icon) << "flags " << flags;
    }
}

TEST_F(RequestersTest, TheMessageBoxShowsItsTextsAsGiven) {
    ShowMessageBox(u"HELP\r(press Return to open/close this)", u"\nUse ARROW KEYS\n", 4);
    EXPECT_EQ(LastMessageBox()->headline, u"HELP\r(press Return to open/close this)");
    EXPECT_EQ(LastMessageBox()->text, u"\nUse ARROW KEYS\n");
    EXPECT_EQ(LastMessageBox()->parent, window_);
    ShowMessageBox(nullptr, nullptr);
    EXPECT_EQ(LastMessageBox()->headline, u"");
    EXPECT_EQ(LastMessageBox()->text, u"");
}

// Both dialogs ----------------------------------------------------------------------------------

TEST_F(RequestersTest, TheKeyWindowGetsTheKeyboardBack) {
    for (bool input : {false, true}) {
        keys_.log.clear();
        if (input) {
            AskAt(0);
        } else {
            ShowMessageBox(u"t", u"x", 1);
        }
        EXPECT_EQ(KeyWindow(), window_) << (input ? "input panel" : "message box");
        EXPECT_EQ(keys_.log, "-+");
    }
    // Without a key window before, none is made key after.
    MinimiseWindow(window_);
    ShowMessageBox(u"t", u"x");
    AskAt(0);
    EXPECT_EQ(KeyWindow(), nullptr);
    EXPECT_EQ(LastInputPanel()->parent, nullptr);
}

TEST_F(RequestersTest, WithoutADisplayNothingIsShownAndTheKeyWindowStays) {
    SetHeadlessDisplayAvailable(false);
    AppendLiteral(u"keep");
    EXPECT_EQ(ShowMessageBox(u"t", u"x", 2), 0);
    EXPECT_EQ(AskForText(u"t", u"m", u"default", 8), std::u16string(u""));
    EXPECT_EQ(TempStrings().tempPos, 8);
    EXPECT_EQ(std::u16string(TempStringAt(0)), u"keep");
    EXPECT_EQ(MessageBoxesShown() + InputPanelsShown(), 0);
    EXPECT_EQ(KeyWindow(), window_);
    EXPECT_EQ(keys_.log, "");
}

// Input panel ----------------------------------------------------------------------------------

TEST_F(RequestersTest, ThePanelIsLaidOutFromTheFittedLabel) {
    struct Case {
        std::u16string message;
        PlatformRect content, label, field, button;  // y downwards
    };
    const std::u16string wide(50, u'w');                         // fitted 500 x 20
    const std::u16string odd = std::u16string(49, u'w') + u" ";  // 495 x 20
    const std::vector<Case> cases = {
        {u"Current:", {0, 0, 370, 120}, {10, 10, 350, 30}, {10, 50, 350, 20}, {135, 85, 100, 25}},
        {u"", {0, 0, 370, 120}, {10, 10, 350, 30}, {10, 50, 350, 20}, {135, 85, 100, 25}},
        {wide, {0, 0, 520, 120}, {10, 10, 500, 30}, {10, 50, 500, 20}, {210, 85, 100, 25}},
        {odd, {0, 0, 515, 120}, {10, 10, 495, 30}, {10, 50, 495, 20}, {207, 85, 100, 25}},
        {u"two\nlines", {0, 0, 370, 130}, {10, 10, 350, 40}, {10, 60, 350, 20}, {135, 95, 100, 25}},
        {u"a\nb\nc\nd",
         {0, 0, 370, 170},
         {10, 10, 350, 80},
         {10, 100, 350, 20},
         {135, 135, 100, 25}},
    };
    auto same = [](PlatformRect a, PlatformRect b) {
        return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
    };
    for (const Case& c : cases) {
        AskForText(u"t", c.message.c_str(), u"", 0);
        const ShownInputPanel& panel = *LastInputPanel();
        EXPECT_EQ(panel.message, c.message);
        EXPECT_TRUE(same(panel.content, c.content)) << "content of " << c.content.width;
        EXPECT_TRUE(same(panel.label, c.label)) << "label of " << c.content.width;
        EXPECT_TRUE(same(panel.field, c.field)) << "field of " << c.content.width;
        EXPECT_TRUE(same(panel.button, c.button)) << "button of " << c.content.width;
    }
}

TEST_F(RequestersTest, FlagBitOneMakesAPasswordField) {
    for (const auto& [flags, password] :
         std::vector<std::pair<int32_t, bool>>{{0, false}, {1, true}, {2, false}, {3, true}}) {
        AskAt(0, flags);
        EXPECT_EQ(LastInputPanel()->password, password) << "flags " << flags;
    }
    AskForText(u"t", u"m", u"d", 0);
    EXPECT_FALSE(LastInputPanel()->password) << "the short form has no flags";
}

TEST_F(RequestersTest, TheAnswerIsWrittenAtTheResultOffset) {
    struct Case {
        const char* name;
        void (*answer)();
        std::u16string result;
    };
    const std::vector<Case> cases = {
        {"typed", [] { TypeInInputPanel(u"typed text"); }, u"typed text"},
        {"Return", [] { PressInputPanelKey(DialogKey::kReturn); }, u"el = 1"},
        {"nothing queued", [] {}, u"el = 1"},
        {"emptied", [] { TypeInInputPanel(u""); }, u""},
        {"close box", [] { PressInputPanelKey(DialogKey::kCloseBox); }, u""},
        {"Escape", [] { PressInputPanelKey(DialogKey::kEscape); }, u""},
    };
    for (const Case& c : cases) {
        SetTempPosition(0);
        AppendLiteral(u"kept");
        c.answer();
        EXPECT_EQ(AskAt(10), c.result) << c.name;
        EXPECT_EQ(TempStrings().tempPos, 10 + 2 * static_cast<int64_t>(c.result.size())) << c.name;
        EXPECT_EQ(std::u16string(TempStringAt(0)), u"kept") << c.name;
        EXPECT_TRUE(LastInputPanel()->closed) << c.name;
    }
}

TEST_F(RequestersTest, TheValuesBoxProtocolReusesTheDefaultTextsPlace) {
    const auto start = static_cast<int32_t>(TempStrings().tempPos);
    AppendLiteral(u"el = ");
    FloatToString(1.094001f, -1, static_cast<int32_t>(TempStrings().tempPos));
    AppendLiteral(u"   df = ");
    FloatToString(0.29371017f, -1, static_cast<int32_t>(TempStrings().tempPos));
    TempStrings().tempPos += 2;
    const std::u16string longAnswer(5000, u'x');  // grows the buffer under the default text
    TypeInInputPanel(longAnswer.c_str());
    const char16_t* answer = AskForText(u"VALUES", u"Current:", TempStringAt(start), start);
    EXPECT_EQ(LastInputPanel()->text, u"el = 1.0940010548   df = 0.2937101722");
    EXPECT_EQ(LastInputPanel()->title, u"VALUES");
    EXPECT_EQ(std::u16string(answer), longAnswer);
    EXPECT_EQ(answer, TempStringAt(start));
    SetTempPosition(start);
}

}  // namespace
}  // namespace vorlune
