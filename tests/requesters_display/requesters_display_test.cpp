// The requesters on the GTK platform under a real X server and window manager: the probe opens
// one dialog over its window, xdotool and wmctrl answer it as a user would, and the probe says
// what the dialog showed and what the requester returned. Screenshots of the dialogs are kept
// under the build folder.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/x_tools.h"

namespace vorlune {
namespace {

using namespace std::chrono_literals;
using test::Shell;

void Screenshot(const std::string& name) {
    test::SaveScreenshot(VORLUNE_ARTEFACT_DIR, name);
}

// The dialog probe, asked for what it reports word by word.
class Probe : public test::ChildProcess {
  public:
    explicit Probe(const std::vector<std::string>& arguments)
        : ChildProcess(VORLUNE_DIALOG_PROBE, arguments) {}

    // The rest of the next line that starts with the word; "(none)" when none came in time.
    std::string Value(const std::string& word, std::chrono::milliseconds timeout = 5000ms) {
        const std::string prefix = word + " ";
        const auto line = WaitForLine(
            [&](const std::string& each) { return each.rfind(prefix, 0) == 0 || each == word; },
            timeout);
        if (!line) return "(none)";
        return *line == word ? std::string() : line->substr(prefix.size());
    }
};

// Keys go to the dialog once it has the keyboard; afterwards the window must have it back, and
// the key that answered the dialog must not reach the program's keyboard as a release.
void ExpectKeyboardBack(Probe& probe, const std::string& window, const std::string& what) {
    EXPECT_EQ(probe.Value("key"), "1") << what;
    EXPECT_EQ(test::ShellLine("xdotool getactivewindow"), window) << what;
    Shell("xdotool key z");
    EXPECT_EQ(probe.Value("polled"), "122") << what;
}

TEST(RequestersDisplayTest, TheHelpBoxShowsItsTextsAndReturnClosesIt) {
    Probe probe({"message", "4"});
    const std::string window = probe.Value("ready");
    ASSERT_NE(probe.Value("shown"), "(none)");
    EXPECT_EQ(probe.Value("icon"), "dialog-information");
    EXPECT_EQ(probe.Value("headline"), "HELP|(press Return to open/close this)");
    EXPECT_EQ(probe.Value("text"),
              "|Use ARROW KEYS to VORLUNE!|with CTRL+SHIFT: SuperFaster||ESC or Q to QUIT!|");
    EXPECT_EQ(probe.Value("buttons"), "_OK");
    Screenshot("help_box");
    Shell("xdotool key Return");
    EXPECT_EQ(probe.Value("result"), "0");
    ExpectKeyboardBack(probe, window, "help box");
}

TEST(RequestersDisplayTest, ReturnAndEscapeAnswerEachButtonSet) {
    struct Case {
        const char* flags;
        const char* keys;  // each pressed after the box has the keyboard
        const char* icon;
        const char* buttons;
        const char* result;
    };
    const std::vector<Case> cases = {
        {"4", "Escape", "dialog-information", "_OK", "0"},
        {"8", "Return", "dialog-error", "_OK", "0"},
        {"2", "Escape", "-", "Cancel No Yes", "2"},
        {"3", "Return", "-", "Cancel No Yes", "6"},
        {"17", "Escape Return", "dialog-warning", "No Yes", "6"},  // Escape leaves it up
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("flags ") + c.flags + ", keys " + c.keys);
        Probe probe({"message", c.flags});
        const std::string window = probe.Value("ready");
        ASSERT_NE(probe.Value("shown"), "(none)");
        EXPECT_EQ(probe.Value("icon"), c.icon);
        EXPECT_EQ(probe.Value("buttons"), c.buttons);
        if (std::string(c.flags) == "2") Screenshot("yes_no_cancel_box");
        Shell(std::string("xdotool key --delay 200 ") + c.keys);
        EXPECT_EQ(probe.Value("result"), c.result);
        ExpectKeyboardBack(probe, window, "message box");
    }
}

TEST(RequestersDisplayTest, TheInputPanelIsLaidOutAsSpecifiedAndTakesTypedText) {
    Probe probe({"input", "0"});
    const std::string window = probe.Value("ready");
    ASSERT_NE(probe.Value("shown"), "(none)");
    EXPECT_EQ(probe.Value("size"), "370 120");
    EXPECT_EQ(probe.Value("frame"), "label 10 10 350 30");
    EXPECT_EQ(probe.Value("frame"), "field 10 50 350 20");
    EXPECT_EQ(probe.Value("hidden"), "0");
    EXPECT_EQ(probe.Value("selected"), "0 37") << "the whole default text";
    EXPECT_EQ(probe.Value("frame"), "button 135 85 100 25");
    EXPECT_EQ(probe.Value("default"), "OK");
    Screenshot("values_box");
    Shell("xdotool type --delay 20 'P = 2.5'");
    Shell("xdotool key Return");
    EXPECT_EQ(probe.Value("answer"), "P = 2.5") << "typing replaced the selected text";
    ExpectKeyboardBack(probe, window, "input panel");
}

TEST(RequestersDisplayTest, TheInputPanelAnswersReturnEscapeAndItsCloseBox) {
    struct Case {
        const char* flags;
        const char* typed;
        const char* action;  // a shell command
        const char* answer;
    };
    const std::vector<Case> cases = {
        {"0", "", "xdotool key Return", "el = 1.0940010548   df = 0.2937101722"},
        {"0", "", "xdotool key Escape", ""},
        {"0", "typed", "wmctrl -c VALUES", ""},
        {"1", "secret", "xdotool key Return", "secret"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.action) + " after typing '" + c.typed + "'");
        const bool password = std::string(c.flags) == "1";
        Probe probe({"input", c.flags});
        const std::string window = probe.Value("ready");
        ASSERT_NE(probe.Value("shown"), "(none)");
        EXPECT_EQ(probe.Value("hidden"), password ? "1" : "0");
        if (c.typed[0] != 0) Shell(std::string("xdotool type --delay 20 ") + c.typed);
        if (password) Screenshot("password_panel");
        Shell(c.action);
        EXPECT_EQ(probe.Value("answer"), c.answer);
        ExpectKeyboardBack(probe, window, "input panel");
    }
}

TEST(RequestersDisplayTest, HelpBoxesOpenedBeforeAndInsideTheWaitGetTheirKeys) {
    {
        SCOPED_TRACE("right after the window opened, before it is key");
        Probe probe({"startup"});
        ASSERT_NE(probe.Value("shown"), "(none)");
        Shell("xdotool key Return");
        EXPECT_EQ(probe.Value("result"), "0");
        ExpectKeyboardBack(probe, probe.Value("ready"), "startup");
    }
    {
        SCOPED_TRACE("from a callback run inside the wait, which must leave its keys to GTK");
        Probe probe({"bound"});
        const std::string window = probe.Value("ready");
        Shell("xdotool windowmove " + window + " 20 20");
        ASSERT_NE(probe.Value("shown"), "(none)");
        Shell("xdotool key Return");
        EXPECT_EQ(probe.Value("result"), "0");
        ExpectKeyboardBack(probe, window, "bound");
    }
}

}  // namespace
}  // namespace vorlune
