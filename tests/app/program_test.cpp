// The whole main program on the headless platform: scripted key events, one loop pass at a time,
// with the parameters, the modes and the picture checked after each step.
#include "app/program.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <tuple>
#include <vector>

#include "platform/headless/control.h"
#include "platform/headless/dialog_control.h"
#include "platform/image_view.h"
#include "platform/window.h"
#include "runtime/core/memory.h"
#include "runtime/core/random.h"
#include "runtime/core/startup.h"
#include "runtime/core/strings.h"
#include "runtime/events/event_queue.h"
#include "runtime/gadgets/gadgets.h"
#include "runtime/images/image.h"
#include "runtime/screen/keyboard.h"
#include "runtime/screen/screen.h"

namespace vorlune {
namespace {

constexpr char16_t kLeft[] = {kLeftArrowCharacter, 0};
constexpr char16_t kRight[] = {kRightArrowCharacter, 0};
constexpr char16_t kUp[] = {kUpArrowCharacter, 0};
constexpr char16_t kDown[] = {kDownArrowCharacter, 0};
constexpr uint32_t kShift = kShiftKeyFlag;
constexpr uint32_t kControl = kControlKeyFlag;
constexpr uint32_t kOption = kAlternateKeyFlag;

std::vector<double> Edges(PlatformRect rect) {
    return {rect.x, rect.y, rect.width, rect.height};
}

// The rule for P and K: the step formed in extended precision, rounded once when stored.
float Next(float value, float change, float step) {
    return static_cast<float>(static_cast<long double>(value) +
                              static_cast<long double>(change) * step);
}

void StorePixel(void* context, uint16_t x, uint16_t y, int red, int green, int blue) {
    auto* pixels = static_cast<std::vector<uint8_t>*>(context);
    uint8_t* pixel = pixels->data() + (static_cast<size_t>(y) * kStartSize + x) * 4;
    pixel[0] = static_cast<uint8_t>(red);
    pixel[1] = static_cast<uint8_t>(green);
    pixel[2] = static_cast<uint8_t>(blue);
}

// The formula's picture over opaque black, as image 0 must hold it.
const std::vector<uint8_t>& Reference(const PictureSettings& settings) {
    static std::map<std::tuple<float, float, int, int>, std::vector<uint8_t>> cache;
    std::vector<uint8_t>& pixels =
        cache[{settings.p, settings.k, settings.origin, settings.colour}];
    if (pixels.empty()) {
        pixels.assign(static_cast<size_t>(kStartSize) * kStartSize * 4, 0);
        for (size_t i = 3; i < pixels.size(); i += 4)
            pixels[i] = 255;
        ComputePicture(settings, StorePixel, &pixels);
    }
    return pixels;
}

class ProgramTest : public testing::Test {
  protected:
    void SetUp() override {
        static const bool started = (InitRuntime(), true);
        (void)started;
        ResetHeadlessPlatform();
        ResetHeadlessDialogs();
        ASSERT_TRUE(StartProgram());
        window = WindowID(0);
        WasKeyReleased(AnyKey);  // forgets releases noted by earlier tests
    }
    void TearDown() override {
        SetAllocationFailureHook(nullptr);
        CloseScreen();
        CloseWindow(AnyNumber);
        FreeImage(AnyNumber);
        RemoveEvents(-1, -1, -1, -1);
        FetchEvent();
        ResetHeadlessPlatform();
        ResetHeadlessDialogs();
    }

    // Each event gets its own pass, as the program's wait hands over one at a time.
    static void Drain() {
        while (PendingPlatformEventCount() > 0)
            ASSERT_TRUE(RunProgramPass());
    }
    // The modifiers are sampled from the global state, which a flags-changed event announces.
    void Modifiers(uint32_t flags) {
        SetHeadlessModifierFlags(flags);
        InjectKeyEvent(window, kFlagsChanged, nullptr, flags);
        Drain();
    }
    void Press(const char16_t* key) {
        InjectKeyEvent(window, kKeyDown, key, 0);
        Drain();
    }
    void Release(const char16_t* key) {
        InjectKeyEvent(window, kKeyUp, key, 0);
        Drain();
    }
    void Tap(const char16_t* key) {
        Press(key);
        Release(key);
    }
    // Passes with nothing new, as key repeat would bring them.
    static void RunPasses(int32_t count) {
        for (int32_t i = 0; i < count; ++i)
            ASSERT_TRUE(RunProgramPass()) << "pass " << i;
    }

    // A mark in image 0 that only a new picture clears; Unmark puts the pixel back.
    static void MarkPicture() {
        marked = FindImage(0)->bitmap[0];
        FindImage(0)->bitmap[0] = static_cast<uint8_t>(marked ^ 1);
    }
    static bool WasRepainted() { return FindImage(0)->bitmap[0] == marked; }
    static void Unmark() { FindImage(0)->bitmap[0] = marked; }

    // Image 0 holds the formula's picture for these settings and gadget 0 shows it.
    static void ExpectPicture(const PictureSettings& settings) {
        const ImageRecord* image = FindImage(0);
        ASSERT_NE(image, nullptr);
        const std::vector<uint8_t>& expected = Reference(settings);
        EXPECT_EQ(std::memcmp(image->bitmap, expected.data(), expected.size()), 0)
            << "P " << settings.p << " K " << settings.k << " origin " << int{settings.origin}
            << " colour " << int{settings.colour};
        const NativeView view = GadgetID(0);
        EXPECT_EQ(ImageViewImage(view), image->image);
        EXPECT_EQ(Edges(ViewRectInContent(view)), (std::vector<double>{0, 0, 512, 512}));
        uint8_t rgba[4];
        ASSERT_TRUE(ReadImageViewPixel(view, 300, 200, rgba));
        EXPECT_EQ(0, std::memcmp(rgba, expected.data() + (200 * 512 + 300) * 4, 4));
    }
    static void ExpectState(float p, float k, int8_t colour, int8_t origin) {
        EXPECT_EQ(Program().P, p);
        EXPECT_EQ(Program().K, k);
        EXPECT_EQ(Program().Colour, colour);
        EXPECT_EQ(Program().Origin, origin);
        ExpectPicture(CurrentPicture());
    }

    NativeWindow window = nullptr;
    static inline uint8_t marked = 0;
};

TEST_F(ProgramTest, StartsCentredWithThePictureAndTheHelpBox) {
    const ProgramState& state = Program();
    EXPECT_EQ(state.Size, 512);
    EXPECT_EQ(state.P, 1.094001f);
    EXPECT_EQ(state.K, 0.29371017f);
    EXPECT_EQ(state.dP, 0.00023f);
    EXPECT_EQ(state.dK, 0.0023f);
    EXPECT_EQ(state.Step, 1.0f);
    ExpectState(1.094001f, 0.29371017f, -1, -1);

    HeadlessWindowInfo info{};
    ASSERT_TRUE(InspectHeadlessWindow(window, &info));
    // Centred on the 1280 x 1024 screen.
    EXPECT_EQ(Edges(info.content), (std::vector<double>{384, 256, 512, 512}));
    EXPECT_EQ(std::u16string(info.title), u"Vorlune");
    EXPECT_EQ(info.style, kWindowStyleBorderless);
    EXPECT_TRUE(info.key);

    ASSERT_EQ(MessageBoxesShown(), 1);
    const ShownMessageBox* help = LastMessageBox();
    EXPECT_EQ(help->headline, u"HELP\r(press Return to open/close this)");
    EXPECT_EQ(help->text.substr(0, 27), u"\nUse ARROW KEYS to VORLUNE!");
    EXPECT_EQ(help->text.substr(help->text.size() - 20), u"\n\nESC or Q to QUIT!\n");
    EXPECT_EQ(help->icon, DialogIcon::kNote);
    EXPECT_TRUE(help->buttons.empty());
    EXPECT_EQ(help->parent, window);
}

// Each row holds its modifiers and keys, then checks one pass with all of them held.
TEST_F(ProgramTest, HeldKeysStepPAndKByTheStepOfTheModifiers) {
    struct Row {
        uint32_t modifiers;
        std::vector<const char16_t*> keys;
        float step;
        float dP, dK;  // signed steps
        bool toggles;
    };
    const float dP = 0.00023f;
    const float dK = 0.0023f;
    const std::vector<Row> rows = {
        {0, {kLeft}, 1, dP, 0, false},
        {kShift, {kRight}, 5, -dP, 0, false},
        {kShift | kControl, {kUp}, 100, 0, dK, false},
        {kControl, {kDown}, 1, 0, -dK, false},  // Control alone does not speed up
        {kOption | kShift | kControl, {kLeft}, 0.01f, dP, 0, false},
        {kOption, {kDown}, 0.01f, 0, -dK, false},
        {0, {kRight, kLeft}, 1, dP, 0, false},   // left is first in the chain
        {kShift, {u"c", kUp}, 5, 0, dK, false},  // an arrow wins over C
        {kShift, {u"c"}, 5, 0, 0, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "modifiers " << row.modifiers << " step " << row.step);
        ResetParameters();
        Modifiers(row.modifiers);
        for (const char16_t* key : row.keys)
            Press(key);
        const ProgramState before = Program();
        RunPasses(1);
        EXPECT_EQ(Program().Step, row.step);
        ExpectState(Next(before.P, row.dP, row.step), Next(before.K, row.dK, row.step),
                    row.toggles ? static_cast<int8_t>(~before.Colour) : before.Colour, -1);
        for (const char16_t* key : row.keys)
            Release(key);
        Modifiers(0);
    }
}

TEST_F(ProgramTest, AModifierAloneRepaintsOnEveryPassAndTheStepStays) {
    Modifiers(kShift);
    for (int pass = 0; pass < 3; ++pass) {
        MarkPicture();
        RunPasses(1);
        EXPECT_TRUE(WasRepainted());
    }
    Modifiers(0);
    MarkPicture();
    RunPasses(1);  // nothing held: no repaint, and the step of the last held pass is kept
    EXPECT_FALSE(WasRepainted());
    Unmark();
    EXPECT_EQ(Program().Step, 5.0f);
    ExpectState(1.094001f, 0.29371017f, -1, -1);
}

TEST_F(ProgramTest, HoldingCTogglesTheColourOnEveryPass) {
    Press(u"c");
    ExpectState(1.094001f, 0.29371017f, 0, -1);
    for (int8_t expected : {-1, 0, -1}) {
        RunPasses(1);
        ExpectState(1.094001f, 0.29371017f, expected, -1);
    }
    Release(u"c");
    RunPasses(1);
    EXPECT_EQ(Program().Colour, -1);
}

TEST_F(ProgramTest, AKOfExactlyZeroIsStoredAsTheLowerGuard) {
    struct Row {
        float k;
        const char16_t* key;
    };
    for (const Row& row : {Row{0.0023f, kDown}, Row{-0.0023f, kUp}}) {
        Program().K = row.k;
        Tap(row.key);
        EXPECT_EQ(Program().K, 1e-19f);
    }
    ExpectState(1.094001f, 1e-19f, -1, -1);
    // Below zero the picture is that of -K: only squares of the scaled coordinates count.
    Tap(kDown);
    EXPECT_LT(Program().K, 0);
    ExpectPicture({512, 1.094001f, -Program().K, -1, -1});
}

TEST_F(ProgramTest, ReleasedKeysActOncePerRelease) {
    SetTempPosition(6);  // the values box puts the write position back
    Tap(u"i");
    ASSERT_EQ(InputPanelsShown(), 1);
    EXPECT_EQ(LastInputPanel()->title, u"VALUES");
    EXPECT_EQ(LastInputPanel()->message, u"Current:");
    EXPECT_EQ(LastInputPanel()->text, u"el = 1.0940010548   df = 0.2937101722");
    EXPECT_EQ(TempStrings().tempPos, 6);

    Modifiers(kShift);
    Tap(kLeft);
    Modifiers(0);
    const float stepped = Next(1.094001f, 0.00023f, 5);

    Tap(u"o");
    ExpectState(stepped, 0.29371017f, -1, 0);
    Tap(u"c");
    ExpectState(stepped, 0.29371017f, 0, 0);

    Tap(u"i");
    ASSERT_EQ(InputPanelsShown(), 2);
    EXPECT_EQ(LastInputPanel()->text, u"el = 1.0951510668   df = 0.2937101722");
    EXPECT_EQ(MessageBoxesShown(), 1);

    Modifiers(kShift);
    Tap(u"r");  // the held chain sets the step before the reset
    Modifiers(0);
    EXPECT_EQ(Program().Step, 5.0f);
    ExpectState(1.094001f, 0.29371017f, -1, -1);

    Tap(u"\r");
    EXPECT_EQ(MessageBoxesShown(), 2);
    EXPECT_TRUE(IsWindowKey(window));  // the box gave the keyboard back
    RunPasses(2);                      // each release is told once
    EXPECT_EQ(MessageBoxesShown(), 2);
}

TEST_F(ProgramTest, RandomisingDrawsWholePartThenDivisorAndKeepsTheOrigin) {
    Tap(u"o");
    SeedRandom(2024);
    const int64_t wholeP = RandomInRange(5, 0);
    const int64_t divisorP = RandomInRange(999999, 2);
    const int64_t wholeK = RandomInRange(3, 0);
    const int64_t divisorK = RandomInRange(999999, 2);
    const int8_t colour = static_cast<int8_t>(RandomInRange(1, 0) - 1);
    SeedRandom(2024);
    Tap(u"z");
    ExpectState(static_cast<float>(wholeP + 1.0L / divisorP),
                static_cast<float>(wholeK + 1.0L / divisorK), colour, 0);

    for (uint32_t seed = 1; seed <= 200; ++seed) {
        SeedRandom(seed);
        RandomiseParameters();
        EXPECT_GE(Program().P, 1.0f / 999999);
        EXPECT_LE(Program().P, 5.5f);
        EXPECT_GE(Program().K, 1.0f / 999999);
        EXPECT_LE(Program().K, 3.5f);
        EXPECT_TRUE(Program().Colour == 0 || Program().Colour == -1);
    }
    EXPECT_EQ(Program().Origin, 0);
}

// Return and R are let go while the window is elsewhere; back in it, the help box opens and
// the reset waits for the next pass.
TEST_F(ProgramTest, ReturnMasksTheOtherReleasesOfItsPass) {
    Tap(u"o");
    Press(u"\r");
    Press(u"r");
    const NativeWindow elsewhere = CreateNativeWindow(0, 0, 100, 100, kWindowStyleBorderless);
    ClickWindow(elsewhere);
    ClickWindow(window);
    CloseNativeWindow(elsewhere);
    RemoveEvents(-1, -1, -1, -1);

    RunPasses(1);
    EXPECT_EQ(MessageBoxesShown(), 2);
    EXPECT_EQ(Program().Origin, 0);
    RunPasses(1);
    EXPECT_EQ(MessageBoxesShown(), 2);
    ExpectState(1.094001f, 0.29371017f, -1, -1);
}

TEST_F(ProgramTest, EachExitEndsTheLoop) {
    struct Exit {
        const char* name;
        void (*act)(NativeWindow window);
    };
    const Exit exits[] = {
        {"Escape", [](NativeWindow w) { InjectKeyEvent(w, kKeyDown, u"\x1b", 0); }},
        {"Q", [](NativeWindow w) { InjectKeyEvent(w, kKeyDown, u"q", 0); }},
        {"Control+Q", [](NativeWindow w) { InjectKeyEvent(w, kKeyDown, u"q", kControl); }},
        {"quit request", [](NativeWindow) { EXPECT_EQ(SendQuitRequest(), TerminateReply{}); }},
        {"close request",
         [](NativeWindow w) { EXPECT_FALSE(GetWindowDelegate(w)->windowShouldClose(w)); }},
    };
    for (const Exit& exit : exits) {
        SCOPED_TRACE(exit.name);
        EXPECT_TRUE(RunProgramPass());
        exit.act(window);
        bool running = true;
        while (running && (PendingPlatformEventCount() > 0 || PeekEventType() != 0))
            running = RunProgramPass();
        EXPECT_FALSE(running);
        // Let go, and leave a current event that is no quit.
        InjectKeyEvent(window, kKeyUp, u"\x1b", 0);
        InjectKeyEvent(window, kKeyUp, u"q", 0);
        while (PendingPlatformEventCount() > 0)
            RunProgramPass();
        PostEvent(kEventRepaint, 0, 0, 0);
        FetchEvent();
    }
    EXPECT_NE(WindowID(0), nullptr);  // the program decides; the window stays open
}

// The whole program as the process entry runs it. The script is queued at the first wait of
// the loop, once the help box is gone.
void QueueScript(void*) {
    const NativeWindow window = WindowID(0);
    if (window == nullptr || MessageBoxesShown() == 0) {
        RunDuringNextWait(QueueScript, nullptr);
        return;
    }
    for (const char16_t* key : {kRight, u"o"}) {
        InjectKeyEvent(window, kKeyDown, key, 0);
        InjectKeyEvent(window, kKeyUp, key, 0);
    }
    InjectKeyEvent(window, kKeyDown, u"q", 0);
}

TEST_F(ProgramTest, TheMainProgramRunsAScriptToTheEnd) {
    TearDown();
    SetHeadlessModifierFlags(kShift | kControl);
    RunDuringNextWait(QueueScript, nullptr);
    ProgramMain();
    EXPECT_EQ(ProgramFailure(), nullptr);
    EXPECT_EQ(MessageBoxesShown(), 1);
    EXPECT_EQ(PendingPlatformEventCount(), 0);
    ExpectState(Next(1.094001f, -0.00023f, 100), 0.29371017f, -1, 0);
}

// A quit request that comes while a dialog is up ends the dialog and then the program.
TEST_F(ProgramTest, AQuitRequestedInADialogEndsTheProgram) {
    TearDown();
    RequestQuitInMessageBox();
    ProgramMain();
    EXPECT_EQ(MessageBoxesShown(), 1);

    TearDown();
    ASSERT_TRUE(StartProgram());
    window = WindowID(0);
    RequestQuitInInputPanel();
    Press(u"i");
    InjectKeyEvent(window, kKeyUp, u"i", 0);
    bool running = true;
    while (running && (PendingPlatformEventCount() > 0 || PeekEventType() != 0))
        running = RunProgramPass();
    EXPECT_FALSE(running);
    EXPECT_EQ(InputPanelsShown(), 1);
}

TEST_F(ProgramTest, AFailedStartSaysWhyAndShowsNothing) {
    struct Row {
        bool display, openGL;
        const char* failure;
    };
    const Row rows[] = {
        {false, true, "cannot open the window"},
        {true, false, "cannot set up OpenGL in the window, which the keyboard needs"},
    };
    for (const Row& row : rows) {
        TearDown();
        SetHeadlessDisplayAvailable(row.display);
        SetHeadlessGLAvailable(row.openGL);
        ProgramMain();
        ASSERT_NE(ProgramFailure(), nullptr);
        EXPECT_STREQ(ProgramFailure(), row.failure);
        EXPECT_EQ(MessageBoxesShown(), 0);
        EXPECT_EQ(FindImage(0), nullptr);
    }
}

// Without memory to draw the new picture, image 0 is new and black but the window keeps
// showing the picture it had.
TEST_F(ProgramTest, APictureThatCannotBeDrawnLeavesTheOldOneShown) {
    Drain();
    RemoveEvents(-1, -1, -1, -1);
    const NativeView before = GadgetID(0);
    InjectKeyEvent(window, kKeyDown, kLeft, 0);
    SetAllocationFailureHook([](uint64_t) { return true; });
    RunPasses(1);
    SetAllocationFailureHook(nullptr);
    EXPECT_EQ(Program().P, Next(1.094001f, 0.00023f, 1));
    EXPECT_EQ(FindImage(0)->bitmap[4 * (200 * 512 + 300)], 0);
    EXPECT_EQ(GadgetID(0), before);
    uint8_t rgba[4];
    ASSERT_TRUE(ReadImageViewPixel(before, 300, 200, rgba));
    const std::vector<uint8_t>& start = Reference(kStartSettings);
    EXPECT_EQ(0, std::memcmp(rgba, start.data() + (200 * 512 + 300) * 4, 4));
}

}  // namespace
}  // namespace vorlune
