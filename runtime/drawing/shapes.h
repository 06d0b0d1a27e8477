#pragma once
// Shapes: lines, boxes, round boxes, ellipses, the flood fill, and the spans beneath them.

#include <cstdint>

#include "runtime/drawing/context.h"

namespace vorlune {

// The fill's span record: the run painted is left + 1 ... right - 1.
struct FillSpan {
    FillSpan* next;
    int32_t left;
    int32_t right;
};

// On the current context (clip-relative coordinates, the pen colour, the drawing mode) -------
void DrawLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2);  // both ends included
void DrawBox(int32_t x, int32_t y, int32_t w, int32_t h);       // a negative size extends left/up
// Round boxes and ellipses take any radius from 0 up; a negative one draws nothing.
void DrawRoundBox(int32_t x, int32_t y, int32_t w, int32_t h, int32_t rx, int32_t ry);
void DrawEllipse(int32_t cx, int32_t cy, int32_t rx, int32_t ry);
void FillArea(int32_t x, int32_t y, int64_t border);  // border -1: the region of (x, y)'s colour
constexpr int64_t kFillRegion = -1;

// Slot operations -------------------------------------------------------------------------------
void LineOf(DrawingContext* context, int32_t x1, int32_t y1, int32_t x2, int32_t y2);
void BoxOf(DrawingContext* context, int32_t x, int32_t y, int32_t w, int32_t h);
void RoundBoxOf(DrawingContext* context, int32_t x, int32_t y, int32_t w, int32_t h, int32_t rx,
                int32_t ry);
void EllipseOf(DrawingContext* context, int32_t cx, int32_t cy, int32_t rx, int32_t ry);
void FillAreaOf(DrawingContext* context, int32_t x, int32_t y, int64_t border);

// Spans with the pen, through the mode's rule ----------------------------------------------------
void PaintHorizontalSpan(DrawingContext* context, int64_t x, int64_t y,
                         int64_t count);  // already clipped by the caller
void PaintRowRun(DrawingContext* context, int64_t x, int64_t y, int64_t count);  // clips itself
void PaintVerticalSpan(DrawingContext* context, int64_t x, int64_t y,
                       int64_t count);                                 // clips itself
void PlotClippedPoint(DrawingContext* context, int64_t x, int64_t y);  // general routine

}  // namespace vorlune
