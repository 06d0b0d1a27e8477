// The screen, keyboard and image gadget on the GTK platform under a real X server: the screen
// probe reports what the runtime answers, xdotool types and ImageMagick takes screenshots.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "tests/screen_display/pattern.h"
#include "tests/support/child_process.h"
#include "tests/support/x_tools.h"

namespace vorlune {
namespace {

using namespace std::chrono_literals;
using test::Shell;

// The screen probe in one of its modes, with what its ready line said.
class ScreenProbe : public test::ChildProcess {
  public:
    explicit ScreenProbe(const char* mode) : ChildProcess(VORLUNE_SCREEN_PROBE, {mode}) {
        const std::string ready = WaitFor("ready ");
        if (!ready.empty()) {
            const size_t space = ready.find(' ', 6);
            window_ = ready.substr(6, space - 6);
            opened_ = ready.substr(space + 1) == "1";
        }
    }

    // The next line equal to the text or starting with it; empty when none came in time.
    std::string WaitFor(const std::string& prefix, std::chrono::milliseconds timeout = 3000ms) {
        return ChildProcess::WaitFor(prefix, timeout);
    }

    void Activate() { test::ActivateWindow(window_); }
    const std::string& window() const { return window_; }
    bool opened() const { return opened_; }

  private:
    std::string window_;
    bool opened_ = false;
};

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
    for (const std::string& each : lines) {
        if (each == line) return true;
    }
    return false;
}

// Pixels of the 512 x 512 window that differ from the pattern at (left, top); -1 without a shot.
int64_t PatternMismatches(const std::string& shot, int32_t left, int32_t top) {
    constexpr int32_t kWindowSide = 512;
    if (shot.size() != static_cast<size_t>(kWindowSide) * kWindowSide * 3) return -1;
    int64_t mismatches = 0;
    for (int32_t y = 0; y < kPatternHeight; ++y) {
        for (int32_t x = 0; x < kPatternWidth; ++x) {
            uint8_t expected[3];
            PatternPixel(x, y, expected);
            const size_t at = (static_cast<size_t>(top + y) * kWindowSide + left + x) * 3;
            for (int channel = 0; channel < 3; ++channel) {
                if (static_cast<uint8_t>(shot[at + channel]) != expected[channel]) {
                    ++mismatches;
                    break;
                }
            }
        }
    }
    return mismatches;
}

TEST(ScreenDisplayTest, ImageGadgetsShowTheImagesPixelsExactly) {
    ScreenProbe probe("image");
    ASSERT_FALSE(probe.window().empty());
    ASSERT_TRUE(probe.opened());
    std::string shot;
    // The first frames may still be on their way.
    for (int attempt = 0; attempt < 20; ++attempt) {
        shot = test::WindowPixels(probe.window());
        if (PatternMismatches(shot, kPlainGadgetX, kPlainGadgetY) == 0) break;
        std::this_thread::sleep_for(100ms);
    }
    EXPECT_EQ(PatternMismatches(shot, kPlainGadgetX, kPlainGadgetY), 0);
    EXPECT_EQ(PatternMismatches(shot, kFramedGadgetX + 2, kFramedGadgetY + 2), 0)
        << "inside the groove";
    EXPECT_NE(PatternMismatches(shot, kFramedGadgetX, kFramedGadgetY), 0) << "the groove itself";
}

// Clicks at (60, 60) of the window, inside the plain gadget 0; a release at (60, 300) is on the
// window's background, below every gadget.
TEST(ScreenDisplayTest, ClicksOnAnImageGadgetBecomeItsEvents) {
    struct Step {
        const char* actions;  // xdotool's arguments after the move
        std::vector<std::string> lines;
    };
    const std::vector<Step> steps = {
        {"click 1", {"event 3 0 0"}},
        {"click 3", {"event 3 0 1"}},
        {"click --repeat 2 --delay 60 1", {"event 3 0 0", "event 3 0 2"}},
        {"keydown ctrl click 1 keyup ctrl", {"event 3 0 1"}},
        {"mousedown 1 mousemove_relative 5 5 mousemove_relative 5 5 mouseup 1",
         {"event 3 0 2048", "event 3 0 0"}},
        {"mousedown 1 mousemove_relative 0 240 mouseup 1", {"event 3 0 2048"}},
    };
    ScreenProbe probe("image");
    ASSERT_FALSE(probe.window().empty());
    probe.Activate();
    for (const Step& step : steps) {
        probe.Collect(600ms);  // past the double-click time
        Shell("xdotool mousemove --window " + probe.window() + " 60 60 " + step.actions);
        std::vector<std::string> events;
        for (const std::string& line : probe.Collect(600ms)) {
            if (line.rfind("event 3 ", 0) == 0) events.push_back(line);
        }
        EXPECT_EQ(events, step.lines) << step.actions;
    }
}

// Each step's lines come in this order, not necessarily next to each other.
TEST(ScreenDisplayTest, KeyPressesAndReleasesAreReportedAsSpecified) {
    struct Step {
        const char* keys;  // xdotool's arguments
        std::vector<std::string> lines;
    };
    const std::vector<Step> steps = {
        {"keydown a", {"held 61"}},
        {"keyup a", {"held -", "released 61"}},
        {"keydown shift", {"held 91 92"}},
        {"keydown a", {"held 61 91 92"}},
        {"keyup a", {"held 91 92", "released 61"}},
        {"keyup shift", {"held -", "released 91", "released 92"}},
        {"keydown Up", {"held 1e"}},
        {"keydown Right", {"held 1d 1e"}},
        {"keyup Up", {"held 1d", "released 1e"}},
        {"keyup Right", {"held -", "released 1d"}},
        {"keydown alt", {"held 8f 90"}},
        {"key Down", {"held 1f 8f 90", "held 8f 90", "released 1f"}},
        {"keyup alt", {"held -", "released 8f", "released 90"}},
        {"keydown ctrl", {"held 8d 8e"}},
        {"key c", {"held 63 8d 8e", "held 8d 8e", "released 63"}},
        {"keyup ctrl", {"held -"}},
        {"key F1 F12 Home End Prior Next Insert Delete",
         {"released 80", "released 8b", "released 98", "released 9a", "released 99", "released 9b",
          "released 9c", "released 9d"}},
        {"key Return Escape Tab BackSpace space 7 slash",
         {"released d", "released 1b", "released 9", "released 7f", "released 20", "released 37",
          "released 2f"}},
    };
    ScreenProbe probe("keys");
    ASSERT_FALSE(probe.window().empty());
    ASSERT_TRUE(probe.opened()) << "a 0 x 0 screen opens under Xvfb";
    probe.Activate();
    probe.Collect(300ms);
    for (const Step& step : steps) {
        Shell(std::string("xdotool ") + step.keys);
        for (const std::string& line : step.lines)
            ASSERT_EQ(probe.WaitFor(line), line) << step.keys;
    }
    const std::vector<std::string> rest = probe.Collect(300ms);
    EXPECT_FALSE(Contains(rest, "held 41")) << "never the upper-case code";
}

TEST(ScreenDisplayTest, QAloneIsClaimedAndControlQReachesTheQuitItem) {
    ScreenProbe probe("keys");
    ASSERT_FALSE(probe.window().empty());
    probe.Activate();
    probe.Collect(300ms);
    Shell("xdotool key q");
    const std::vector<std::string> lines = probe.Collect(500ms);
    EXPECT_TRUE(Contains(lines, "held 71"));
    EXPECT_TRUE(Contains(lines, "released 71"));
    for (const std::string& line : lines)
        EXPECT_NE(line.rfind("event ", 0), 0u) << "Q alone reached the application: " << line;
    Shell("xdotool key ctrl+q");
    EXPECT_EQ(probe.WaitFor("event 1 "), "event 1 -4 0");
    EXPECT_EQ(probe.WaitFor("quit"), "quit");
}

TEST(ScreenDisplayTest, AKeyLetGoInAnotherProgramDoesNotStick) {
    ScreenProbe probe("keys");
    ScreenProbe other("image");
    ASSERT_FALSE(probe.window().empty());
    ASSERT_FALSE(other.window().empty());
    probe.Activate();
    probe.Collect(300ms);
    Shell("xdotool keydown Left");
    ASSERT_EQ(probe.WaitFor("held 1c"), "held 1c");
    other.Activate();
    ASSERT_EQ(probe.WaitFor("focus 0"), "focus 0");
    Shell("xdotool keyup Left");
    std::this_thread::sleep_for(200ms);
    probe.Activate();
    ASSERT_EQ(probe.WaitFor("focus 1"), "focus 1");
    const std::vector<std::string> lines = probe.Collect(500ms);
    EXPECT_FALSE(Contains(lines, "held 1c")) << "the arrow reads as held after focus returned";
    Shell("xdotool key Right");
    EXPECT_EQ(probe.WaitFor("released 1d"), "released 1d");
}

// Letters follow the layout by character; a non-Latin letter takes the Latin letter of the
// same key in another group.
TEST(ScreenDisplayTest, LettersFollowTheKeyboardLayout) {
    struct Case {
        const char* layout;
        const char* keysym;
        const char* held;
    };
    const std::vector<Case> cases = {
        {"fr", "q", "held 71"},
        {"fr", "a", "held 61"},
        {"fr", "z", "held 7a"},
        {"ru,us", "Cyrillic_ef", "held 61"},
        {"ru,us", "Cyrillic_i", "held 62"},
        {"ru,us", "Cyrillic_ve", "held 64"},
        {"de", "y", "held 79"},
    };
    struct RestoreLayout {
        ~RestoreLayout() { Shell("setxkbmap -layout us"); }
    } restore;
    ScreenProbe probe("keys");
    ASSERT_FALSE(probe.window().empty());
    probe.Activate();
    std::string layout;
    for (const Case& c : cases) {
        if (layout != c.layout) {
            Shell(std::string("setxkbmap -layout ") + c.layout);
            layout = c.layout;
            std::this_thread::sleep_for(300ms);
        }
        probe.Collect(100ms);
        Shell(std::string("xdotool key ") + c.keysym);
        EXPECT_EQ(probe.WaitFor(c.held, 1500ms), c.held) << c.layout << " " << c.keysym;
    }
}

}  // namespace
}  // namespace vorlune
