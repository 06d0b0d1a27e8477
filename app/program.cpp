#include "app/program.h"

#include "app/picture_rows.h"
#include "runtime/core/random.h"
#include "runtime/core/strings.h"
#include "runtime/drawing/context.h"
#include "runtime/events/event_queue.h"
#include "runtime/events/windows.h"
#include "runtime/gadgets/image_gadget.h"
#include "runtime/images/image.h"
#include "runtime/requesters/input_requester.h"
#include "runtime/requesters/message_requester.h"
#include "runtime/screen/keyboard.h"
#include "runtime/screen/screen.h"

namespace vorlune {

const char16_t kWindowTitle[] = u"Vorlune";
const char16_t kHelpTitle[] = u"HELP\r(press Return to open/close this)";
const char16_t kHelpText[] =
    u"\nUse ARROW KEYS to VORLUNE!\nwith CTRL+SHIFT: SuperFaster\nwith SHIFT: Faster\n"
    u"with OPTION: Slower\n\nC to switch BW / COLOR\n\nO to switch ORIGIN\n\nZ to RANDOMIZE\n\n"
    u"R to RESET\n\nESC or Q to QUIT!\n";
const char16_t kValuesTitle[] = u"VALUES";
const char16_t kValuesMessage[] = u"Current:";

namespace {

constexpr int64_t kWindowNumber = 0;
constexpr int64_t kImageNumber = 0;
constexpr int64_t kGadgetNumber = 0;
constexpr uint32_t kWindowFlags = kWindowBorderless | kWindowCentred;  // 0xC0
constexpr int32_t kHelpFlags = kMessageNoteIcon;
constexpr int32_t kDefaultDecimals = -1;
constexpr int64_t kLargestWholeP = 5;
constexpr int64_t kLargestWholeK = 3;
constexpr int64_t kSmallestDivisor = 2;
constexpr int64_t kLargestDivisor = 999999;

ProgramState state;
const char* failure = nullptr;

// value + change, formed in extended precision and rounded once when stored.
float Stepped(float value, float change, float step) {
    return static_cast<float>(static_cast<long double>(value) +
                              static_cast<long double>(change) * step);
}

float SteppedK(float change) {
    const float k = Stepped(state.K, change, state.Step);
    return k == 0 ? kLowestK : k;
}

int8_t Complement(int8_t flag) {
    return static_cast<int8_t>(~flag);
}

float WholePlusFraction(int64_t whole, int64_t divisor) {
    return static_cast<float>(static_cast<long double>(whole) +
                              1.0L / static_cast<long double>(divisor));
}

float ChosenStep() {
    if (IsKeyDown(kOptionKey) != 0) return kStepSlower;
    if (IsKeyDown(kShiftKey) != 0) {
        return IsKeyDown(kControlKey) != 0 ? kStepFastest : kStepFaster;
    }
    return kStepNormal;
}

// Only the first held key of the chain acts.
void ApplyHeldKeys() {
    if (IsKeyDown(AnyKey) == 0) return;
    state.Step = ChosenStep();
    if (IsKeyDown(kLeftKey) != 0) {
        state.P = Stepped(state.P, state.dP, state.Step);
    } else if (IsKeyDown(kRightKey) != 0) {
        state.P = Stepped(state.P, -state.dP, state.Step);
    } else if (IsKeyDown(kUpKey) != 0) {
        state.K = SteppedK(state.dK);
    } else if (IsKeyDown(kDownKey) != 0) {
        state.K = SteppedK(-state.dK);
    } else if (IsKeyDown(kColourKey) != 0) {
        state.Colour = Complement(state.Colour);
    }
    PaintImage();
}

// Only the first released key of the chain acts; the later ones keep their release for a
// later pass.
void ApplyReleasedKeys() {
    if (WasKeyReleased(kReturnKey) != 0) {
        ShowHelp();
    } else if (WasKeyReleased(kResetKey) != 0) {
        ResetParameters();
        PaintImage();
    } else if (WasKeyReleased(kOriginKey) != 0) {
        state.Origin = Complement(state.Origin);
        PaintImage();
    } else if (WasKeyReleased(kValuesKey) != 0) {
        ShowValues();
    } else if (WasKeyReleased(kRandomiseKey) != 0) {
        RandomiseParameters();
        PaintImage();
    }
}

bool IsEndRequested() {
    if (IsKeyDown(kEscapeKey) != 0 || IsKeyDown(kQuitKey) != 0) return true;
    if (EventMenuID() == kMenuItemQuit) return true;
    return state.Event == kEventCloseWindow;
}

}  // namespace

// State ------------------------------------------------------------------------------------------

ProgramState& Program() {
    return state;
}

void SetStartValues() {
    state = {};
    state.Size = kStartSize;
    state.dP = kStartDP;
    state.dK = kStartDK;
    state.Step = kStepNormal;
    ResetParameters();
}

PictureSettings CurrentPicture() {
    return {state.Size, state.P, state.K, state.Origin, state.Colour};
}

// Procedures -------------------------------------------------------------------------------------

void PaintImage() {
    if (CreateImage(kImageNumber, state.Size, state.Size) == 0) return;
    if (BeginDrawing(ImageDrawTarget(kImageNumber)) == nullptr) return;
    // PlotPixel on the image's context, which stays current and unchanged while the picture is
    // drawn. The pixels go row by row, each along the image's memory; they all lie inside the
    // image, so that is tested once for the whole picture.
    const PictureSettings picture = CurrentPicture();
    const PixelPlotter plotter(CurrentDrawingContext());
    if (plotter.StoresInLine(picture.size, picture.size)) {
        ComputePictureByRows(
            picture, [plotter](uint16_t x, uint16_t y, int red, int green, int blue) {
                plotter.PlotInside(x, y, static_cast<ColourValue>(MakeRGB(red, green, blue)));
            });
    } else {
        ComputePictureByRows(
            picture, [plotter](uint16_t x, uint16_t y, int red, int green, int blue) {
                plotter.Plot(x, y, static_cast<ColourValue>(MakeRGB(red, green, blue)));
            });
    }
    EndDrawing();
    CreateImageGadget(kGadgetNumber, 0, 0, state.Size, state.Size, ImageHandle(kImageNumber));
}

void ShowHelp() {
    ShowMessageBox(kHelpTitle, kHelpText, kHelpFlags);
}

// The text is built where the buffer's write position stands and the position is put back after.
void ShowValues() {
    TempStringBuffer& temp = TempStrings();
    const auto start = static_cast<int32_t>(temp.tempPos);
    AppendLiteral(u"el = ");
    FloatToString(state.P, kDefaultDecimals, static_cast<int32_t>(temp.tempPos));
    AppendLiteral(u"   df = ");
    FloatToString(state.K, kDefaultDecimals, static_cast<int32_t>(temp.tempPos));
    AskForText(kValuesTitle, kValuesMessage, TempStringAt(start), start);
    SetTempPosition(start);
}

void ResetParameters() {
    state.P = kStartP;
    state.K = kStartK;
    state.Colour = -1;
    state.Origin = -1;
}

// Each whole part is drawn before its divisor.
void RandomiseParameters() {
    int64_t whole = RandomInRange(kLargestWholeP, 0);
    state.P = WholePlusFraction(whole, RandomInRange(kLargestDivisor, kSmallestDivisor));
    whole = RandomInRange(kLargestWholeK, 0);
    state.K = WholePlusFraction(whole, RandomInRange(kLargestDivisor, kSmallestDivisor));
    state.Colour = static_cast<int8_t>(RandomInRange(1, 0) - 1);
}

// Main program -----------------------------------------------------------------------------------

bool StartProgram() {
    failure = nullptr;
    SetStartValues();
    if (CreateWindow(kWindowNumber, 0, 0, state.Size, state.Size, kWindowTitle, kWindowFlags) ==
        0) {
        failure = "cannot open the window";
    } else if (InitKeyboardInput() == 0 || InitScreenSystem() == nullptr) {
        failure = "cannot start the keyboard and screen layers";
    } else if (OpenScreenInWindow(WindowID(kWindowNumber), 0, 0, 0, 0) == 0) {
        failure = "cannot set up OpenGL in the window, which the keyboard needs";
    }
    if (failure != nullptr) return false;
    PaintImage();
    ShowHelp();
    return true;
}

bool RunProgramPass() {
    state.Event = WaitForEvent();
    PollKeyboard();
    ApplyHeldKeys();
    ApplyReleasedKeys();
    return !IsEndRequested();
}

void ProgramMain() {
    if (!StartProgram()) return;
    while (RunProgramPass()) {
    }
}

const char* ProgramFailure() {
    return failure;
}

}  // namespace vorlune
