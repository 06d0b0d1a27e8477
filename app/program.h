#pragma once
// The visualizer's main program: its state, the painting of the picture, the help and values
// boxes, and the main loop that turns held and released keys into new parameters.

#include <cstdint>

#include "app/picture.h"

namespace vorlune {

// The program's globals. Every decimal constant is stored as the nearest float.
struct ProgramState {
    uint16_t Size;  // side of window, image and gadget in pixels
    float P;        // exponent of the formula
    float K;        // divisor of the pixel coordinates; never stored as exactly 0
    float dP;       // step of P per loop pass
    float dK;       // step of K per loop pass
    float Step;     // multiplier of both steps, chosen by the modifier keys
    int8_t Colour;  // -1: hue-wheel colours; 0: black and white
    int8_t Origin;  // -1: origin at the image centre; 0: at pixel (0, 0)
    int64_t Event;  // result of the last WaitForEvent
};

// Start values and constants -------------------------------------------------------------------
inline constexpr float kStartDP = 0.00023f;
inline constexpr float kStartDK = 0.0023f;
inline constexpr float kStepSlower = 0.01f;  // Option
inline constexpr float kStepFastest = 100;   // Shift and Control
inline constexpr float kStepFaster = 5;      // Shift
inline constexpr float kStepNormal = 1;
inline constexpr float kLowestK = 1e-19f;  // stored instead of a K of exactly 0

// Key codes the program reads ------------------------------------------------------------------
inline constexpr int32_t kReturnKey = 0x0D;
inline constexpr int32_t kEscapeKey = 0x1B;
inline constexpr int32_t kLeftKey = 0x1C;
inline constexpr int32_t kRightKey = 0x1D;
inline constexpr int32_t kUpKey = 0x1E;
inline constexpr int32_t kDownKey = 0x1F;
inline constexpr int32_t kColourKey = 0x63;     // C
inline constexpr int32_t kValuesKey = 0x69;     // I
inline constexpr int32_t kOriginKey = 0x6F;     // O
inline constexpr int32_t kQuitKey = 0x71;       // Q
inline constexpr int32_t kResetKey = 0x72;      // R
inline constexpr int32_t kRandomiseKey = 0x7A;  // Z
inline constexpr int32_t kControlKey = 0x8D;
inline constexpr int32_t kOptionKey = 0x90;
inline constexpr int32_t kShiftKey = 0x91;

// Texts ----------------------------------------------------------------------------------------
extern const char16_t kWindowTitle[];
extern const char16_t kHelpTitle[];
extern const char16_t kHelpText[];
extern const char16_t kValuesTitle[];
extern const char16_t kValuesMessage[];

// State ----------------------------------------------------------------------------------------
ProgramState& Program();
void SetStartValues();
PictureSettings CurrentPicture();  // Size, P, K, Origin and Colour as the formula takes them

// Procedures -----------------------------------------------------------------------------------
void PaintImage();  // image 0 and gadget 0 anew; on failure the window keeps what it showed
void ShowHelp();    // returns when the box is dismissed
void ShowValues();  // the answer is discarded
void ResetParameters();
void RandomiseParameters();

// Main program ---------------------------------------------------------------------------------
bool StartProgram();    // start values, window, keyboard, screen, picture, help; false on failure
bool RunProgramPass();  // one pass of the main loop; false when the program is to end
void ProgramMain();     // the main program handed to the process entry
const char* ProgramFailure();  // why the start failed, for the process entry; null when it did not

}  // namespace vorlune
