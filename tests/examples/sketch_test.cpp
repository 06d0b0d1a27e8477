// vorlune-sketch as a user meets it, under Xvfb with a window manager: xdotool picks tools,
// colours and modes, draws the strokes and answers the input requester, and the BMP files the
// program saves (read by ImageMagick) must hold exactly what the runtime's drawing functions
// give for the same strokes, drawn again here on the headless runtime.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "runtime/core/startup.h"
#include "runtime/drawing/context.h"
#include "runtime/drawing/modes.h"
#include "runtime/drawing/shapes.h"
#include "runtime/drawing/text.h"
#include "runtime/images/codecs.h"
#include "runtime/images/image.h"
#include "tests/support/child_process.h"
#include "tests/support/x_tools.h"

namespace vorlune {
namespace {

using namespace std::chrono_literals;
using test::Shell;
using test::ShellLine;

constexpr int32_t kWidth = 640;
constexpr int32_t kHeight = 480;
constexpr int64_t kExpected = 0;

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 10s) {
    for (const auto deadline = std::chrono::steady_clock::now() + timeout;;) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(50ms);
    }
}

std::string Artefact(const std::string& name) {
    mkdir(VORLUNE_ARTEFACTS, 0755);
    return std::string(VORLUNE_ARTEFACTS) + "/" + name;
}

std::string Words(const std::vector<std::string>& words) {
    std::string joined;
    for (const std::string& word : words)
        joined += (joined.empty() ? "" : " ") + word;
    return joined;
}

// The sketch pad as a child process, with its window once it shows the status: then the
// program is ready for input.
class SketchPad : public test::ChildProcess {
  public:
    SketchPad() : ChildProcess(VORLUNE_EXAMPLE, {}) {
        WaitUntil([this] {
            std::istringstream found(Shell("xdotool search --onlyvisible --pid " +
                                           std::to_string(pid()) + " --name '^Sketch - '"));
            found >> window_;
            return !window_.empty();
        });
        if (!window_.empty()) test::ActivateWindow(window_);
    }

    const std::string& window() const { return window_; }
    std::string Title() const { return ShellLine("xdotool getwindowname " + window_); }
    bool WaitForTitle(const std::string& title) const {
        return WaitUntil([&] { return Title() == title; });
    }
    // The titles of the program's visible windows other than its own: its dialogs.
    std::vector<std::string> Dialogs() const {
        std::istringstream found(
            Shell("xdotool search --onlyvisible --pid " + std::to_string(pid())));
        std::vector<std::string> titles;
        for (std::string each; found >> each;) {
            if (each == window_) continue;
            // A dialog that closed meanwhile has no name any more, and is left out.
            const std::string title =
                ShellLine("xdotool getwindowname " + each + " 2>/dev/null || echo '(gone)'");
            if (title != "(gone)") titles.push_back(title);
        }
        return titles;
    }
    // The colour of a pixel of the window, as 3 bytes.
    std::string Pixel(int32_t x, int32_t y) const {
        const std::string pixels = test::WindowPixels(window_);
        const size_t at = (static_cast<size_t>(y) * kWidth + x) * 3;
        return pixels.size() == static_cast<size_t>(kWidth) * kHeight * 3 ? pixels.substr(at, 3)
                                                                          : std::string();
    }
    void Pointer(const char* action, int32_t x, int32_t y) const {
        Shell("xdotool mousemove --window " + window_ + " " + std::to_string(x) + " " +
              std::to_string(y) + " " + action);
    }

    // Answers the input requester titled so with the text typed over the one it offers; then
    // the dialogs are as `after` says.
    testing::AssertionResult Answer(const std::string& title, const std::string& text,
                                    const std::vector<std::string>& after = {}) const {
        if (!WaitUntil([&] { return Dialogs() == std::vector<std::string>{title}; }))
            return testing::AssertionFailure() << "no requester " << title;
        Shell("xdotool type --delay 20 '" + text + "'");
        Shell("xdotool key Return");
        if (!WaitUntil([&] { return Dialogs() == after; }))
            return testing::AssertionFailure() << "other dialogs than " << Words(after);
        return testing::AssertionSuccess();
    }

  private:
    std::string window_;
};

// The expected pictures --------------------------------------------------------------------------

struct Point {
    int32_t x, y;
};

// What the program's keys 1 to 9, and its modes, stand for.
const ColourValue kPalette[] = {
    MakeRGBA(0, 0, 0, 255),     MakeRGBA(255, 0, 0, 255),   MakeRGBA(0, 160, 0, 255),
    MakeRGBA(0, 0, 255, 255),   MakeRGBA(255, 210, 0, 255), MakeRGBA(200, 0, 200, 255),
    MakeRGBA(0, 200, 200, 255), MakeRGBA(255, 128, 0, 255), MakeRGBA(128, 128, 128, 255),
};
enum class Mode { kNormal, kXor, kBlend, kGradient };

float AcrossTheCanvas(DrawingContext* context, int32_t x, int32_t) {
    return static_cast<float>(x) / static_cast<float>(context->outputWidth - 1);
}

// The pen of colour key `key` in a mode, with further mode bits.
void Pen(int key, Mode mode, int32_t bits) {
    const ColourValue colour = kPalette[key - 1];
    SetDrawingColour(colour);
    switch (mode) {
        case Mode::kNormal:
            SetDrawingMode(bits);
            break;
        case Mode::kXor:
            SetDrawingMode(DrawXor | bits);
            break;
        case Mode::kBlend:
            SetDrawingColour((colour & 0xFFFFFF) | 0x80000000u);
            SetDrawingMode(DrawAlphaBlend | bits);
            break;
        case Mode::kGradient:
            SetBackColour(colour);
            SetFrontColour(kPalette[key % 9]);
            SetGradientFunction(AcrossTheCanvas);
            SetDrawingMode(DrawGradient | bits);
            break;
    }
}

// One stroke: xdotool keys that pick tool, colour and mode (n first: X, A and D toggle), the
// title they show, the pointer's path from the press to the release, and the same on the
// expected image. Strokes with one point are clicks; the text tool's asks for `text`.
struct Stroke {
    const char* keys;
    const char* title;
    std::vector<Point> path;
    bool shift;
    const char* text;
    std::function<void()> draw;
};

const std::vector<Stroke>& Strokes() {
    static const std::vector<Stroke> strokes = {
        {"f 2 n",
         "freehand, red, normal",
         {{20, 20}, {60, 40}, {40, 80}, {90, 90}},
         false,
         "",
         [] {
             Pen(2, Mode::kNormal, 0);
             DrawLine(20, 20, 20, 20);
             DrawLine(20, 20, 60, 40);
             DrawLine(60, 40, 40, 80);
             DrawLine(40, 80, 90, 90);
         }},
        {"l 4 n x",
         "line, blue, xor",
         {{120, 20}, {150, 70}, {200, 90}},
         false,
         "",
         [] {
             Pen(4, Mode::kXor, 0);
             DrawLine(120, 20, 200, 90);
         }},
        {"b 3 n",
         "box, green, normal",
         {{300, 90}, {260, 50}, {220, 20}},
         false,
         "",
         [] {
             Pen(3, Mode::kNormal, DrawOutlined);
             DrawBox(220, 20, 81, 71);
         }},
        {"r 6 n a",
         "round box, magenta, blend",
         {{320, 20}, {340, 30}, {420, 100}},
         true,
         "",
         [] {
             Pen(6, Mode::kBlend, 0);
             DrawRoundBox(320, 20, 101, 81, 16, 16);
         }},
        {"e 8 n d",
         "ellipse, orange, gradient",
         {{520, 60}, {560, 90}, {600, 100}},
         false,
         "",
         [] {
             Pen(8, Mode::kGradient, DrawOutlined);
             DrawEllipse(520, 60, 80, 40);
         }},
        {"e 5 n",
         "ellipse, yellow, normal",
         {{80, 200}, {20, 160}},
         true,
         "",
         [] {
             Pen(5, Mode::kNormal, 0);
             DrawEllipse(80, 200, 60, 40);
         }},
        {"r 9 n",
         "round box, grey, normal",
         {{200, 150}, {210, 155}},
         false,
         "",
         [] {
             Pen(9, Mode::kNormal, DrawOutlined);
             DrawRoundBox(200, 150, 11, 6, 5, 3);
         }},
        {"g 7 n",
         "fill, cyan, normal",
         {{250, 60}},
         false,
         "",
         [] {
             Pen(7, Mode::kNormal, 0);
             FillArea(250, 60, kFillRegion);
         }},
        {"t 1 n",
         "text, black, normal",
         {{240, 200}},
         false,
         "Sketch 1",
         [] {
             Pen(1, Mode::kNormal, DrawTransparent);
             DrawText(240, 200, u"Sketch 1");
         }},
    };
    return strokes;
}

// The canvas after the first `count` strokes, as 8-bit RGB rows top down.
std::string Expected(size_t count) {
    const auto white = static_cast<int32_t>(MakeRGB(255, 255, 255));
    if (CreateImageWithBackground(kExpected, kWidth, kHeight, 24, white) == 0) return {};
    for (size_t i = 0; i < count; ++i) {
        if (BeginDrawing(ImageDrawTarget(kExpected)) == nullptr) return {};
        Strokes()[i].draw();
        EndDrawing();
    }
    std::string pixels;
    for (int32_t y = 0; y < kHeight; ++y) {
        for (int32_t x = 0; x < kWidth; ++x) {
            const ColourValue pixel = ImagePixel(kExpected, x, y);
            pixels += {static_cast<char>(pixel), static_cast<char>(pixel >> 8),
                       static_cast<char>(pixel >> 16)};
        }
    }
    return pixels;
}

// A saved file against the expected canvas: ImageMagick reads it.
testing::AssertionResult Holds(const std::string& file, const std::string& expected) {
    const std::string saved = Shell("convert " + file + " -depth 8 rgb:-");
    if (saved.size() != expected.size())
        return testing::AssertionFailure() << file << ": " << saved.size() << " bytes of RGB";
    std::ostringstream differences;
    int64_t count = 0;
    for (size_t i = 0; i < saved.size(); i += 3) {
        if (saved.compare(i, 3, expected, i, 3) == 0) continue;
        if (++count <= 5) differences << " (" << i / 3 % kWidth << ", " << i / 3 / kWidth << ")";
    }
    if (count == 0) return testing::AssertionSuccess();
    return testing::AssertionFailure()
           << file << ": " << count << " pixels differ, first at" << differences.str();
}

class SketchTest : public testing::Test {
  protected:
    static void SetUpTestSuite() { InitRuntime(); }
    static void TearDownTestSuite() { EndRuntime(); }
};

// Each tool, every mode, a stroke each; then two undos.
TEST_F(SketchTest, SavedStrokesHoldWhatTheRuntimeDrawsAndUndoStepsBack) {
    SketchPad sketch;
    ASSERT_FALSE(sketch.window().empty());
    EXPECT_EQ(sketch.Title(), "Sketch - freehand, black, normal");
    for (const Stroke& stroke : Strokes()) {
        SCOPED_TRACE(stroke.title);
        Shell(std::string("xdotool key --delay 30 ") + stroke.keys);
        ASSERT_TRUE(sketch.WaitForTitle(std::string("Sketch - ") + stroke.title)) << sketch.Title();
        const std::vector<Point>& path = stroke.path;
        if (path.size() == 1) {
            sketch.Pointer("click 1", path[0].x, path[0].y);
            if (stroke.text[0] != 0) {
                ASSERT_TRUE(sketch.Answer("Text", stroke.text));
            }
            continue;
        }
        if (stroke.shift) Shell("xdotool keydown shift");
        sketch.Pointer("mousedown 1", path[0].x, path[0].y);
        for (size_t i = 1; i < path.size(); ++i) {
            sketch.Pointer("", path[i].x, path[i].y);
            // Freehand keeps every point: wait until each is drawn, lest moves queued together
            // be merged into one.
            if (std::string(stroke.keys)[0] == 'f') {
                EXPECT_TRUE(WaitUntil([&] {
                    return sketch.Pixel(path[i].x, path[i].y) == std::string("\xFF\0\0", 3);
                }));
            }
        }
        Shell("xdotool mouseup 1");
        if (stroke.shift) Shell("xdotool keyup shift");
    }

    const std::string saved = Artefact("sketch.bmp");
    std::remove(saved.c_str());
    Shell("xdotool key ctrl+s");
    ASSERT_TRUE(sketch.Answer("Save", saved));
    ASSERT_TRUE(WaitUntil([&] { return access(saved.c_str(), F_OK) == 0; }));
    EXPECT_TRUE(Holds(saved, Expected(Strokes().size())));
    SaveImage(kExpected, Artefact("sketch-expected.bmp").c_str(), kBmpTag, 24, 0);

    const std::string undone = Artefact("sketch-undone.bmp");
    std::remove(undone.c_str());
    Shell("xdotool key ctrl+z ctrl+z ctrl+s");
    ASSERT_TRUE(sketch.Answer("Save", undone));
    ASSERT_TRUE(WaitUntil([&] { return access(undone.c_str(), F_OK) == 0; }));
    EXPECT_TRUE(Holds(undone, Expected(Strokes().size() - 2)));
    Shell("xdotool key Escape");
    EXPECT_EQ(sketch.ExitStatus(), 0);
}

TEST_F(SketchTest, EveryWayOutEndsWithStatusZero) {
    struct Exit {
        const char* name;
        std::function<void(const SketchPad&)> act;
    };
    const Exit exits[] = {
        {"Escape", [](const SketchPad&) { Shell("xdotool key Escape"); }},
        {"Control+Q", [](const SketchPad&) { Shell("xdotool key ctrl+q"); }},
        {"close box", [](const SketchPad& s) { Shell("wmctrl -i -c " + s.window()); }},
        {"SIGTERM (the Quit item)", [](const SketchPad& s) { kill(s.pid(), SIGTERM); }},
    };
    for (const Exit& exit : exits) {
        SCOPED_TRACE(exit.name);
        SketchPad sketch;
        ASSERT_FALSE(sketch.window().empty());
        exit.act(sketch);
        EXPECT_EQ(sketch.ExitStatus(), 0);
    }
}

// A file that cannot be read or written is named in a message box; the program goes on.
TEST_F(SketchTest, AFileThatFailsGetsAMessageBox) {
    struct Case {
        const char* key;
        const char* requester;
        std::string path;
    };
    const Case cases[] = {
        {"ctrl+o", "Open", VORLUNE_TEST_DATA_DIR "/bmp-malformed/bit-count-0.bmp"},
        {"ctrl+s", "Save", Artefact("no-such-folder/sketch.bmp")},
    };
    for (const Case& each : cases) {
        SCOPED_TRACE(each.path);
        SketchPad sketch;
        ASSERT_FALSE(sketch.window().empty());
        Shell(std::string("xdotool key ") + each.key);
        EXPECT_TRUE(sketch.Answer(each.requester, each.path, {""})) << "no message box";
        Shell("xdotool key Return");
        EXPECT_TRUE(WaitUntil([&] { return sketch.Dialogs().empty(); }));
        Shell("xdotool key Escape");
        EXPECT_EQ(sketch.ExitStatus(), 0);
    }
    EXPECT_NE(access(cases[1].path.c_str(), F_OK), 0);
}

TEST_F(SketchTest, WithoutADisplayItSaysWhyInOneLine) {
    test::ChildProcess sketch(VORLUNE_EXAMPLE, {}, {.keepErrors = true, .withoutDisplay = true});
    EXPECT_EQ(sketch.ExitStatus(), 1);
    EXPECT_EQ(sketch.Errors(), "vorlune-sketch: cannot open display\n");
}

}  // namespace
}  // namespace vorlune
