#pragma once
// Text in a drawing context: measuring, drawing with a background box, rotated text, fonts.

#include <cstdint>

#include "platform/text.h"
#include "runtime/drawing/context.h"

namespace vorlune {

// Degrees to radians as 3.14 / 180, the factor rotated text has always used.
constexpr double kTextDegreesToRadians = 0.017444444444444446;

// On the current context (a null text is the empty text) -------------------------------------
// The background box (drawBackColour, by the drawing mode, none with DrawTransparent) lies at
// (x, y) of the clip rectangle, the glyphs (drawColour, opaque) at (x, y) of the whole output;
// without a clip the two agree. Nothing is written outside the clip rectangle.
int32_t DrawText(int32_t x, int32_t y, const char16_t* text);  // x + width; x without a context
void DrawRotatedText(int32_t x, int32_t y, const char16_t* text, float degrees);  // no background
int32_t TextWidth(const char16_t* text);   // 0 without a context
int32_t TextHeight(const char16_t* text);  // 0 without a context
void SetFont(TextFont font);               // null: the default font

// Fonts ---------------------------------------------------------------------------------------
TextFont LoadFont(const char16_t* description);  // a Pango description such as u"DejaVu Serif
                                                 // 20px"; null for an empty one; FreeFont it
void FreeFont(TextFont font);  // also unset from the current context if it is set there

// Slot operations (text at whole-output coordinates, its background box clip-relative) --------
int32_t DrawTextOf(DrawingContext* context, int32_t x, int32_t y, const char16_t* text);
void DrawRotatedTextOf(DrawingContext* context, int32_t x, int32_t y, const char16_t* text,
                       float degrees);
int32_t TextWidthOf(DrawingContext* context, const char16_t* text);
int32_t TextHeightOf(DrawingContext* context, const char16_t* text);
void SetFontOf(DrawingContext* context, TextFont font);  // (TextFont)-1 stores null

}  // namespace vorlune
