// vorlune-view as a user meets it under Xvfb: xdotool types and drags, ImageMagick grabs its
// window, and what it shows is compared with the runtime's own decoding and resampling of the
// same files in this process.
#include <signal.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "examples/view/viewer.h"
#include "tests/examples/example_window.h"
#include "tests/examples/view_fixture.h"
#include "tests/support/child_process.h"

namespace vorlune {
namespace {

using test::ChildProcess;
using test::Shell;

// The program under Xvfb -------------------------------------------------------------------------

class ViewDisplayTest : public ViewTest {
  public:
    // Measured before any test starts a viewer of its own: a window of the same size on top of
    // the one measured would hide it from the screenshots.
    static void SetUpTestSuite() {
        ViewTest::SetUpTestSuite();
        MenuBarHeight();
    }
    static int32_t MenuBarHeight();  // the rows above the viewer's content, measured once
};

// vorlune-view as a child process; its window is made anew when the picture's size changes, and
// is found by its title while it shows a file (GTK names a helper window of drops after the
// program).
class Viewer : public ChildProcess {
  public:
    explicit Viewer(const std::vector<std::string>& files) : ChildProcess(VORLUNE_EXAMPLE, files) {}
    std::string Window() const { return test::WaitForWindow(pid(), " - vorlune-view$"); }
    std::string Title() const { return test::ShellLine("xdotool getwindowname " + Window()); }
    // At 1:1 below the menu bar.
    bool Shows(const Picture& expected, const std::string& name) const {
        if (test::WindowShows(Window(), expected, ViewDisplayTest::MenuBarHeight())) return true;
        mkdir(VORLUNE_ARTEFACTS, 0755);
        Shell("import -window " + Window() + " " VORLUNE_ARTEFACTS "/view-" + name + ".png");
        return false;
    }
    bool WaitForDialogs(size_t count) const { return test::WaitForWindowCount(pid(), count + 1); }
};

void Keys(const std::string& keys) {
    if (!keys.empty()) Shell("xdotool key --delay 100 " + keys);
}

// In the input requester that the shortcut opens: the text typed over the suggestion.
void Answer(const Viewer& viewer, const std::string& shortcut, const std::string& panel,
            const std::string& text) {
    Keys(shortcut);
    ASSERT_FALSE(test::WaitForWindow(viewer.pid(), "^" + panel + "$").empty()) << panel;
    Keys("ctrl+a");
    Shell("xdotool type --delay 5 '" + text + "'");
    Keys("Return");
}

// A window made for the 127 x 64 image at 1:1 is taller by the bar, as its content keeps its size.
int32_t ViewDisplayTest::MenuBarHeight() {
    static int32_t rows = -1;
    if (rows >= 0) return rows;
    Viewer viewer({kColourful});
    const Picture expected = Expected(kColourful);
    const bool measured = test::WaitUntil([&] {
        const Picture shot = test::GrabWindow(viewer.Window());
        rows = shot.height - kHeight;
        return rows > 0 && shot.Below(rows).TopLeft(kSide, kHeight) == expected;
    });
    if (!measured) rows = 0;
    return rows;
}

// The popup of an open menu: a window of the viewer named after the program alone.
std::string OpenMenu(const Viewer& viewer, int x) {
    Shell("xdotool mousemove --window " + viewer.Window() + " " + std::to_string(x) + " " +
          std::to_string(ViewDisplayTest::MenuBarHeight() / 2) + " click 1");
    return test::WaitForWindow(viewer.pid(), "^vorlune-view$");
}

TEST_F(ViewDisplayTest, TheMenuBarSitsAboveTheImageAndItsItemsAct) {
    ASSERT_GT(MenuBarHeight(), 0) << "no menu bar above the image at 1:1";
    Viewer viewer({kColourful});
    ASSERT_TRUE(viewer.Shows(Expected(kColourful), "menu-bar"));
    constexpr int kViewMenuX = 55;  // "View", between "File" and "Help"
    ASSERT_FALSE(OpenMenu(viewer, kViewMenuX).empty()) << "View opens no menu";
    Keys("Escape");  // closes the menu, not the viewer
    ASSERT_TRUE(test::WaitUntil([&] { return test::WindowsOf(viewer.pid()).size() == 1; }));
    EXPECT_EQ(viewer.ExitStatus(std::chrono::milliseconds(300)), -2) << "Escape ended the viewer";

    const std::string menu = OpenMenu(viewer, kViewMenuX);
    ASSERT_FALSE(menu.empty());
    Shell("xdotool mousemove --window " + menu + " 40 40 click 1");  // Zoom Out, the second item
    EXPECT_TRUE(viewer.Shows(Expected(kColourful, 1 / viewer::kZoomStep), "menu-zoomed-out"));
    EXPECT_EQ(viewer.Title(), "rgb24.bmp (127 x 64, 80%) - vorlune-view");
    Keys("ctrl+equal");  // Zoom In's shortcut acts once
    EXPECT_TRUE(viewer.Shows(Expected(kColourful), "menu-shortcut"));
    EXPECT_EQ(viewer.Title(), "rgb24.bmp (127 x 64, 100%) - vorlune-view");
}

TEST_F(ViewDisplayTest, ShowsImagesOneToOneZoomedWithTheRuntimesResamplingAndFittedToTheScreen) {
    struct Case {
        const char* name;
        std::string file;
        std::string keys;
        double zoom;  // 0: fitted to the screen
    };
    const Case cases[] = {
        {"1:1", kColourful, "", 1},
        {"zoomed out", kColourful, "minus", 1 / viewer::kZoomStep},
        // Zooming keeps the middle in place; the arrows then scroll back to the corner.
        {"zoomed in", kColourful, "plus Left Up", viewer::kZoomStep},
        {"back to 1:1", kTwoColours, "plus plus 0", 1},
        {"larger than the screen", folder_ + "/large.bmp", "", 0},
    };
    ASSERT_TRUE(WriteLargeImage(folder_ + "/large.bmp"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Viewer viewer({c.file});
        ASSERT_FALSE(viewer.Window().empty());
        Keys(c.keys);
        if (c.zoom > 0) {
            const Picture zoomed = Expected(c.file, c.zoom);
            EXPECT_TRUE(viewer.Shows(
                zoomed.TopLeft(std::min(zoomed.width, kSide), std::min(zoomed.height, kHeight)),
                c.name));
            continue;
        }
        Picture shot;
        ASSERT_TRUE(test::WaitUntil(
            [&] { return !(shot = test::GrabWindow(viewer.Window())).rgb.empty(); }));
        EXPECT_LE(shot.width, 1280);
        EXPECT_LE(shot.height, 1024);
        const Picture content = shot.Below(MenuBarHeight());
        EXPECT_NEAR(static_cast<double>(content.width) / content.height,
                    static_cast<double>(kLargeWidth) / kLargeHeight, 0.01);
        EXPECT_TRUE(viewer.Shows(Expected(c.file, content.width, content.height), "fitted"));
    }
}

// A drag from the drag source's window, dropped at (x, y) of the viewer's window.
void DragFiles(const std::string& source, const std::string& target, int x, int y) {
    const std::string to = " --window " + target + " ";
    Shell("xdotool mousemove --window " + source + " 50 25 mousedown 1 sleep 0.2 " +
          "mousemove_relative 20 0 sleep 0.2 mousemove" + to + std::to_string(x - 10) + " " +
          std::to_string(y - 10) + " sleep 0.3 mousemove" + to + std::to_string(x) + " " +
          std::to_string(y) + " sleep 0.3 mouseup 1");
}

TEST_F(ViewDisplayTest, FilesDroppedOnTheWindowOpenAndThePageKeysStepThroughThem) {
    struct Case {
        const char* name;
        std::string keys;  // before the drop
        int x, y;
    };
    const Case cases[] = {{"on the image gadget", "", 60, 30},
                          {"on the window's background", "minus", 120, 60}};
    ChildProcess source(VORLUNE_DRAG_SOURCE, {kTwoColours, kColourful});
    const std::string sourceWindow = test::WaitForWindow(source.pid(), "^Example drag source$");
    ASSERT_FALSE(sourceWindow.empty());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Viewer viewer({kColourful});
        ASSERT_FALSE(viewer.Window().empty());
        Keys(c.keys);
        ASSERT_TRUE(viewer.Shows(Expected(kColourful, c.keys.empty() ? 1 : 1 / viewer::kZoomStep),
                                 "before-drop"));
        DragFiles(sourceWindow, viewer.Window(), c.x, c.y + MenuBarHeight());  // in the content
        EXPECT_TRUE(viewer.Shows(Expected(kTwoColours), "dropped"));
        EXPECT_EQ(viewer.Title(), "pal1bg.bmp (127 x 64, 100%) - vorlune-view");
        test::ActivateWindow(viewer.Window());  // the drag left the keyboard with the source
        Keys("Next");
        EXPECT_TRUE(viewer.Shows(Expected(kColourful), "next"));
        Keys("Prior");
        EXPECT_TRUE(viewer.Shows(Expected(kTwoColours), "previous"));
    }
}

TEST_F(ViewDisplayTest, ABrokenFileGetsAMessageBoxAndTheImageStays) {
    Viewer viewer({kColourful});
    ASSERT_TRUE(viewer.Shows(Expected(kColourful), "before-broken"));
    const std::string title = viewer.Title();
    Answer(viewer, "ctrl+o", "Open", kDamaged);
    ASSERT_TRUE(test::WaitUntil([&] {
        return test::WindowsOf(viewer.pid(), "^Open$").empty() &&
               test::WindowsOf(viewer.pid()).size() == 2;
    })) << "no message box in place of the requester";
    EXPECT_EQ(viewer.Title(), title);
    Keys("Return");
    ASSERT_TRUE(viewer.WaitForDialogs(0));
    EXPECT_TRUE(viewer.Shows(Expected(kColourful), "after-broken"));
}

TEST_F(ViewDisplayTest, SaveAsWritesTheDepthAfterTheColon) {
    Viewer viewer({kColourful});
    ASSERT_TRUE(viewer.Shows(Expected(kColourful), "before-save"));
    const std::string saved = folder_ + "/saved.bmp";
    Answer(viewer, "ctrl+s", "Save As", saved + ":8");
    const std::string expected = folder_ + "/expected-8.bmp";
    ASSERT_NE(LoadImage(kDecoded, kColourful.c_str()), 0);
    ASSERT_NE(SaveImage(kDecoded, expected.c_str(), kBmpTag, 8, kPaletteDither), 0);
    EXPECT_TRUE(test::WaitUntil([&] { return ReadFile(saved) == ReadFile(expected); }));
}

TEST_F(ViewDisplayTest, EveryWayOutEndsWithStatusZero) {
    struct Exit {
        const char* name;
        std::function<void(const Viewer&)> act;
    };
    const Exit exits[] = {
        {"Escape", [](const Viewer&) { Keys("Escape"); }},
        {"Control+Q", [](const Viewer&) { Keys("ctrl+q"); }},
        {"close box", [](const Viewer& viewer) { Shell("wmctrl -i -c " + viewer.Window()); }},
        {"SIGTERM", [](const Viewer& viewer) { kill(viewer.pid(), SIGTERM); }},
    };
    for (const Exit& exit : exits) {
        SCOPED_TRACE(exit.name);
        Viewer viewer({kColourful});
        ASSERT_TRUE(viewer.Shows(Expected(kColourful), "before-exit"));
        exit.act(viewer);
        EXPECT_EQ(viewer.ExitStatus(), 0);
    }
}

TEST_F(ViewDisplayTest, TheCommandLineIsCheckedAndAMissingDisplayNamed) {
    struct Case {
        std::vector<std::string> arguments;
        bool withDisplay;
        int status;
        std::string firstError;  // the first line on standard error
    };
    const Case cases[] = {
        {{"--help"}, true, 0, ""},
        {{"--zoom", kColourful}, true, 2, "vorlune-view: unknown option --zoom"},
        {{kColourful}, false, 1, "vorlune-view: cannot open display"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.front());
        ChildProcess viewer(VORLUNE_EXAMPLE, c.arguments,
                            {.keepErrors = true, .withoutDisplay = !c.withDisplay});
        EXPECT_EQ(viewer.ExitStatus(), c.status);
        const std::string errors = viewer.Errors();
        EXPECT_EQ(errors.substr(0, errors.find('\n')), c.firstError);
    }
}

}  // namespace
}  // namespace vorlune
