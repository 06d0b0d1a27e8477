#include "runtime/drawing/shapes.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>

#include "runtime/drawing/modes.h"
#include "runtime/drawing/pixel_rules.h"

namespace vorlune {

namespace {

bool HasArea(const DrawingContext* context) {
    return context->width > 0 && context->height > 0;
}

bool IsOutlined(const DrawingContext* context) {
    return (context->drawingMode & DrawOutlined) != 0;
}

bool RadiiFit(int32_t rx, int32_t ry) {
    return rx >= 0 && ry >= 0 && rx <= kMaxShapeRadius && ry <= kMaxShapeRadius;
}

// A clipped run, count >= 1, inside the clip rectangle: to the right of or below (x, y).
void PaintSpan(DrawingContext* context, int64_t x, int64_t y, int64_t count, bool vertical) {
    uint8_t* p = PixelAddress(context, x, y);
    const ptrdiff_t step = vertical ? RowStep(context) : context->bytesPerPixel;
    if (context->gradientOn || context->filterOn) {
        for (int64_t i = 0; i < count; ++i, p += step) {
            const int64_t px = vertical ? x : x + i;
            const int64_t py = vertical ? y + i : y;
            PaintGeneralPixel(context, static_cast<int32_t>(px), static_cast<int32_t>(py), p);
        }
        return;
    }
    ApplyPenToRunByRule(PixelRuleFor(context->drawingMode, context->bytesPerPixel), p, count, step,
                        PenOf(*context));
}

// Lines -----------------------------------------------------------------------------------------

// Clips coordinate a of a segment to [0, limit], moving b along; false when it lies outside.
// Coordinates are whole numbers held in doubles, so huge slopes cannot overflow an integer.
bool ClipAxis(double& a1, double& b1, double& a2, double& b2, double limit) {
    auto slope = [&] { return (b2 - b1) / (a2 - a1); };
    if (a1 < 0) {
        if (a2 < 0) return false;
        const double s = slope();
        b1 = std::trunc(b1 - a1 * s);
        a1 = 0;
        if (a2 > limit) b2 = std::trunc(b2 + s * (limit - a2)), a2 = limit;
    } else if (a1 > limit) {
        if (a2 > limit) return false;
        const double s = slope();
        b1 = std::trunc(b1 + (limit - a1) * s);
        a1 = limit;
        if (a2 < 0) b2 = std::trunc(b2 - s * a2), a2 = 0;
    } else if (a2 > limit) {
        b2 = std::trunc(b2 + slope() * (limit - a2)), a2 = limit;
    } else if (a2 < 0) {
        b2 = std::trunc(b2 - slope() * a2), a2 = 0;
    }
    return true;
}

void PlotInside(DrawingContext* context, int64_t x, int64_t y) {
    PaintGeneralPixel(context, static_cast<int32_t>(x), static_cast<int32_t>(y),
                      PixelAddress(context, x, y));
}

// Both ends inside the clip rectangle; every pixel through the general routine.
void Bresenham(DrawingContext* context, int64_t x1, int64_t y1, int64_t x2, int64_t y2) {
    const int64_t dx = std::llabs(x2 - x1);
    const int64_t dy = std::llabs(y2 - y1);
    if (dx < dy) {
        if (y1 > y2) std::swap(x1, x2), std::swap(y1, y2);
        const int64_t stepX = x2 > x1 ? 1 : -1;
        int64_t x = x1;
        int64_t error = 2 * dx - dy;
        PlotInside(context, x, y1);
        for (int64_t y = y1 + 1; y <= y2; ++y) {
            if (error < 0) {
                error += 2 * dx;
            } else {
                x += stepX;
                error += 2 * (dx - dy);
            }
            PlotInside(context, x, y);
        }
        return;
    }
    if (x1 > x2) std::swap(x1, x2), std::swap(y1, y2);
    const int64_t stepY = y2 > y1 ? 1 : -1;
    int64_t y = y1;
    int64_t error = 2 * dy - dx;
    PlotInside(context, x1, y);
    for (int64_t x = x1 + 1; x <= x2; ++x) {
        if (error < 0) {
            error += 2 * dy;
        } else {
            y += stepY;
            error += 2 * (dy - dx);
        }
        PlotInside(context, x, y);
    }
}

// Ellipse stepping ------------------------------------------------------------------------------

// The midpoint quantities shared by ellipse and round box (all 64-bit).
struct EllipseStepper {
    int64_t a, b;  // rx squared, ry squared
    int64_t x, v, w, c, d;

    EllipseStepper(int64_t rx, int64_t ry)
        : a(rx * rx),
          b(ry * ry),
          x(rx),
          v(4 * b * rx),
          w(2 * b + a / 2 - 4 * b * rx),
          c(2 * a + b / 2 - 2 * b * rx),
          d(0) {}

    // One row of region 1, row k counted from the centre.
    void StepRow(int64_t k) {
        const int64_t g = 4 * a * k;
        if (c < 0) {
            c += 6 * a + g;
            w += 4 * a + g;
        } else {
            x -= 1;
            v -= 4 * b;
            c += 6 * a + g - v;
            w += 2 * b + 4 * a + g - v;
        }
    }

    // One column of region 2; the row reach g grows by one when the error says so.
    void StepColumn(int64_t& g) {
        v -= 4 * b;
        if (w < 0) {
            d += 4 * a;
            g += 1;
            w += 2 * b - v + d;
        } else {
            w += 2 * b - v;
        }
    }
};

}  // namespace

// Spans -----------------------------------------------------------------------------------------

void PaintHorizontalSpan(DrawingContext* context, int64_t x, int64_t y, int64_t count) {
    if (count >= 1) PaintSpan(context, x, y, count, false);
}

void PaintRowRun(DrawingContext* context, int64_t x, int64_t y, int64_t count) {
    if (y < 0 || y >= context->height) return;
    const int64_t start = std::max<int64_t>(x, 0);
    int64_t length = count + std::min<int64_t>(x, 0);
    if (start + length > context->width) length = context->width - start;
    if (length > 0) PaintSpan(context, start, y, length, false);
}

void PaintVerticalSpan(DrawingContext* context, int64_t x, int64_t y, int64_t count) {
    if (x < 0 || x >= context->width) return;
    const int64_t start = std::max<int64_t>(y, 0);
    const int64_t length =
        y + count > context->height ? context->height - start : count + std::min<int64_t>(y, 0);
    if (length >= 1) PaintSpan(context, x, start, length, true);
}

void PlotClippedPoint(DrawingContext* context, int64_t x, int64_t y) {
    if (x >= 0 && x < context->width && y >= 0 && y < context->height) PlotInside(context, x, y);
}

// Slot operations -------------------------------------------------------------------------------

void LineOf(DrawingContext* context, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    if (!HasArea(context)) return;
    if (y1 == y2) {
        if (x1 > x2) std::swap(x1, x2);
        PaintRowRun(context, x1, y1, int64_t{x2} - x1 + 1);
        return;
    }
    if (x1 == x2) {
        if (y1 > y2) std::swap(y1, y2);
        PaintVerticalSpan(context, x1, y1, int64_t{y2} - y1 + 1);
        return;
    }
    double ax = x1, ay = y1, bx = x2, by = y2;
    if (!ClipAxis(ax, ay, bx, by, context->width - 1)) return;
    if (!ClipAxis(ay, ax, by, bx, context->height - 1)) return;
    Bresenham(context, static_cast<int64_t>(ax), static_cast<int64_t>(ay), static_cast<int64_t>(bx),
              static_cast<int64_t>(by));
}

void BoxOf(DrawingContext* context, int32_t x, int32_t y, int32_t w, int32_t h) {
    int64_t left = x, top = y, width = w, height = h;
    if (width < 0) left += width, width = -width;
    if (height < 0) top += height, height = -height;
    if (!IsOutlined(context)) {
        const int64_t x0 = std::max<int64_t>(left, 0);
        const int64_t x1 = std::min<int64_t>(left + width, context->width);
        const int64_t y0 = std::max<int64_t>(top, 0);
        const int64_t y1 = std::min<int64_t>(top + height, context->height);
        for (int64_t row = y0; x0 < x1 && row < y1; ++row)
            PaintSpan(context, x0, row, x1 - x0, false);
        return;
    }
    // An empty box has no outline (the rows y and y - 1 would otherwise be painted).
    if (width == 0 || height == 0) return;
    PaintRowRun(context, left, top, width);
    PaintRowRun(context, left, top + height - 1, width);
    PaintVerticalSpan(context, left, top + 1, height - 2);
    PaintVerticalSpan(context, left + width - 1, top + 1, height - 2);
}

void EllipseOf(DrawingContext* context, int32_t cx, int32_t cy, int32_t rx, int32_t ry) {
    if (!RadiiFit(rx, ry) || !HasArea(context)) return;
    const bool outlined = IsOutlined(context);
    EllipseStepper e(rx, ry);
    auto paintRow = [&](int64_t row) {
        if (outlined) {
            PlotClippedPoint(context, cx + e.x, row);
            PlotClippedPoint(context, cx - e.x, row);
        } else {
            PaintRowRun(context, cx - e.x, row, 2 * e.x + 1);
        }
    };

    int64_t f = 0;
    if (e.w < 0) {
        for (int64_t k = 0;; ++k) {
            if (k == 0) {
                paintRow(cy);
            } else {
                paintRow(int64_t{cy} + k);
                paintRow(int64_t{cy} - k);
            }
            e.StepRow(k);
            if (e.w >= 0) {
                f = k + 1;
                e.d = 4 * e.a * k + 4 * e.a;
                break;
            }
        }
    }

    for (int64_t g = f; e.x >= 0; --e.x) {
        for (const int64_t column : {cx + e.x, cx - e.x}) {
            if (outlined) {
                PlotClippedPoint(context, column, cy + g);
                PlotClippedPoint(context, column, cy - g);
            } else {
                PaintVerticalSpan(context, column, cy + f, g - f + 1);
                PaintVerticalSpan(context, column, cy - g, g - f + 1);
            }
            if (e.x == 0) break;  // the centre column once
        }
        e.StepColumn(g);
    }
}

void RoundBoxOf(DrawingContext* context, int32_t x, int32_t y, int32_t w, int32_t h, int32_t rx,
                int32_t ry) {
    if (w <= 0 || h <= 0 || !RadiiFit(rx, ry) || !HasArea(context)) return;
    const bool outlined = IsOutlined(context);
    const int64_t left = int64_t{x} + rx;
    const int64_t right = int64_t{x} + w - rx - 1;
    const int64_t upper = int64_t{y} + ry;
    const int64_t lower = int64_t{y} + h - ry - 1;
    const int64_t bottom = int64_t{y} + h - 1;
    EllipseStepper e(rx, ry);

    int64_t j = 0;
    for (; e.w < 0; ++j) {
        if (j >= 1) {
            for (const int64_t row : {upper - j, lower + j}) {
                if (outlined) {
                    PlotClippedPoint(context, left - e.x, row);
                    PlotClippedPoint(context, right + e.x, row);
                } else {
                    PaintRowRun(context, left - e.x, row, right - left + 2 * e.x + 1);
                }
            }
        }
        e.StepRow(j);
    }
    const int64_t f = j;
    e.d = 4 * e.a * f;

    for (int64_t g = f; e.x >= 0; --e.x) {
        if (e.x != 0 && outlined) {
            for (const int64_t row : {upper - g, lower + g}) {
                PlotClippedPoint(context, left - e.x, row);
                PlotClippedPoint(context, right + e.x, row);
            }
        } else if (e.x != 0) {
            for (const int64_t column : {left - e.x, right + e.x}) {
                PaintVerticalSpan(context, column, upper - g, g - f + 1);
                PaintVerticalSpan(context, column, lower + f, g - f + 1);
            }
        }
        e.StepColumn(g);
    }

    const int64_t band = int64_t{w} - 2 * int64_t{rx};
    if (outlined) {
        PaintRowRun(context, left, y, band);
        PaintRowRun(context, left, bottom, band);
        PaintVerticalSpan(context, x, upper, int64_t{h} - 2 * int64_t{ry});
        PaintVerticalSpan(context, int64_t{x} + w - 1, upper, int64_t{h} - 2 * int64_t{ry});
        return;
    }
    // Only rows inside the clip rectangle are walked: a tall box must not cost its height.
    auto paintRows = [&](int64_t first, int64_t last, int64_t from, int64_t count) {
        const int64_t end = std::min<int64_t>(last, context->height - 1);
        for (int64_t row = std::max<int64_t>(first, 0); row <= end; ++row)
            PaintRowRun(context, from, row, count);
    };
    if (ry >= f) {
        // The upper band from its lowest row up to the top edge, as the corners are stepped.
        const int64_t highest = std::max<int64_t>(y, 0);
        for (int64_t row = std::min<int64_t>(upper - f, context->height - 1); row >= highest; --row)
            PaintRowRun(context, left, row, band);
        paintRows(lower + f, bottom, left, band);
    }
    if (2 * int64_t{ry} < h) paintRows(upper, lower, x, w);
}

// On the current context --------------------------------------------------------------------

void DrawLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    if (DrawingContext* context = CurrentDrawingContext()) context->line(context, x1, y1, x2, y2);
}

void DrawBox(int32_t x, int32_t y, int32_t w, int32_t h) {
    if (DrawingContext* context = CurrentDrawingContext()) context->box(context, x, y, w, h);
}

void DrawRoundBox(int32_t x, int32_t y, int32_t w, int32_t h, int32_t rx, int32_t ry) {
    if (DrawingContext* context = CurrentDrawingContext())
        context->roundBox(context, x, y, w, h, rx, ry);
}

void DrawEllipse(int32_t cx, int32_t cy, int32_t rx, int32_t ry) {
    if (DrawingContext* context = CurrentDrawingContext())
        context->ellipse(context, cx, cy, rx, ry);
}

void FillArea(int32_t x, int32_t y, int64_t border) {
    if (DrawingContext* context = CurrentDrawingContext()) context->fillArea(context, x, y, border);
}

}  // namespace vorlune
