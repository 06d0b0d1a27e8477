#pragma once
// Drawing modes: how the pen and a colour are laid on a pixel, gradients and the filter.

#include <cstdint>

#include "runtime/drawing/context.h"

namespace vorlune {

// Mode bits -------------------------------------------------------------------------------------
constexpr int32_t DrawPlain = 0x00;         // red, green, blue stored; the pixel's alpha kept
constexpr int32_t DrawTransparent = 0x01;   // text without its background box
constexpr int32_t DrawXor = 0x02;           // red, green, blue XORed; alpha untouched
constexpr int32_t DrawOutlined = 0x04;      // box, round box and ellipse as outlines
constexpr int32_t DrawAlphaOnly = 0x08;     // only the alpha byte (nothing on three bytes)
constexpr int32_t DrawAlphaBlend = 0x10;    // laid over the pixel by alpha; alphas combined
constexpr int32_t DrawAlphaKeep = 0x20;     // as DrawAlphaBlend, the pixel's alpha kept
constexpr int32_t DrawGradient = 0x40;      // colour of each pixel from the gradient
constexpr int32_t DrawCustomFilter = 0x80;  // each pixel stored as the filter's result
constexpr int32_t DrawAllChannels = 0x100;  // all four bytes (four-byte pixels only)

// A colour stop of the gradient; the list is kept in ascending position order.
struct GradientStop {
    GradientStop* next;
    float position;  // 0..1
    int32_t red, green, blue, alpha;
};

// On the current context --------------------------------------------------------------------
void SetDrawingMode(int32_t mode);
int32_t DrawingMode();                          // after normalisation; 0 without a context
void SetDrawingColour(ColourValue colour);      // pen colour of shapes, and the text colour
void SetDrawingBackColour(ColourValue colour);  // paper colour: the text background
bool AddGradientStop(float position, ColourValue colour);  // false outside 0..1, without a
                                                           // context or out of memory
void ClearGradientStops();
void SetGradientFunction(GradientFunction function);  // null: always 1.0
void SetFilterFunction(FilterFunction function);      // null: keeps the pixel

// Slot operations -------------------------------------------------------------------------------
void SetDrawingModeOf(DrawingContext* context, int32_t mode);
void SetPenComponentsOf(DrawingContext* context, ColourValue colour);
void SetPaperComponentsOf(DrawingContext* context, ColourValue colour);
void InstallDefaultPixelRoutines(DrawingContext* context);  // store the pen, store a colour,
                                                            // read red, green and blue
bool PlotsPlainColour(const DrawingContext* context);       // plotColour stores red, green and blue
void FreeGradientStops(DrawingContext* context);

// The general pixel routine: gradient, filter and then the mode's rule for (x, y) at address.
void PaintGeneralPixel(DrawingContext* context, int32_t x, int32_t y, uint8_t* address);
ColourValue GradientColourAt(const DrawingContext* context, float position);

// Defaults of the callbacks ---------------------------------------------------------------------
float DefaultGradientFunction(DrawingContext* context, int32_t x, int32_t y);  // 1.0
ColourValue DefaultFilterFunction(int32_t x, int32_t y, ColourValue source, ColourValue target);

}  // namespace vorlune
