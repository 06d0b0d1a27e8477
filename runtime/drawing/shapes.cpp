#include "runtime/drawing/shapes.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>

#include "runtime/drawing/ellipse_quarter.h"
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

// Ellipses and round boxes ----------------------------------------------------------------------

// Plots (origin + direction * x, row) for x in from ... to, the columns inside the clip rectangle
// only; the row lies inside it.
void PlotColumns(DrawingContext* context, int64_t row, int64_t origin, int64_t direction,
                 int64_t from, int64_t to) {
    const int64_t nearest = direction > 0 ? -origin : origin - (context->width - 1);
    const int64_t farthest = direction > 0 ? context->width - 1 - origin : origin;
    for (int64_t x = std::max(from, nearest); x <= std::min(to, farthest); ++x)
        PlotInside(context, origin + direction * x, row);
}

// The outline points that the walk gives row k of the ellipse on both sides of column cx: the two
// ends of a row of the row region, or the ends of the columns that stop on this row.
void PlotEllipseRow(DrawingContext* context, const EllipseQuarter& quarter, int64_t cx, int64_t k,
                    int64_t row) {
    const int64_t reach = quarter.HalfWidth(k);
    if (quarter.IsRowRegion(k)) {
        PlotClippedPoint(context, cx + reach, row);
        PlotClippedPoint(context, cx - reach, row);
        return;
    }
    const int64_t inner = quarter.HalfWidth(k + 1) + 1;
    PlotColumns(context, row, cx, 1, inner, reach);
    PlotColumns(context, row, cx, -1, std::max<int64_t>(inner, 1), reach);  // the centre once
}

// A round box: its corner ellipses are centred on columns left and right, rows upper and lower.
struct RoundBoxShape {
    int64_t x, width, ry;
    int64_t left, right, upper, lower;
};

// The outline points of corner row k on the given row: as for the ellipse, but the corners start
// one row out from their centre row and never paint their centre columns.
void PlotCornerRow(DrawingContext* context, const EllipseQuarter& quarter, const RoundBoxShape& box,
                   int64_t k, int64_t row) {
    const int64_t reach = quarter.HalfWidth(k);
    if (quarter.IsRowRegion(k)) {
        if (k == 0) return;
        PlotClippedPoint(context, box.left - reach, row);
        PlotClippedPoint(context, box.right + reach, row);
        return;
    }
    const int64_t inner = std::max<int64_t>(quarter.HalfWidth(k + 1) + 1, 1);
    PlotColumns(context, row, box.left, -1, inner, reach);
    PlotColumns(context, row, box.right, 1, inner, reach);
}

struct Run {
    int64_t from, to;  // inclusive
};

// Paints the union of the runs on a row, each pixel once.
void PaintRunsOnce(DrawingContext* context, int64_t row, Run* runs, int count) {
    for (int i = 1; i < count; ++i) {  // a few runs: sorted by their start in place
        for (int j = i; j > 0 && runs[j].from < runs[j - 1].from; --j)
            std::swap(runs[j], runs[j - 1]);
    }
    for (int i = 0; i < count;) {
        Run merged = runs[i++];
        while (i < count && runs[i].from <= merged.to + 1)
            merged.to = std::max(merged.to, runs[i++].to);
        PaintRowRun(context, merged.from, row, merged.to - merged.from + 1);
    }
}

// One row of a filled round box: what the corner walk, the bands between the corners and the
// middle rows give it, merged, so that each pixel is painted once also where those pieces overlap
// (flat corners, radii beyond half the box).
void PaintRoundBoxRow(DrawingContext* context, const EllipseQuarter& quarter,
                      const RoundBoxShape& box, int64_t row) {
    Run runs[7];
    int count = 0;
    auto add = [&](int64_t from, int64_t to) {
        if (from <= to) runs[count++] = {from, to};
    };
    for (const int64_t k : {box.upper - row, row - box.lower}) {
        if (k < 0) continue;
        const int64_t reach = quarter.HalfWidth(k);
        if (quarter.IsRowRegion(k)) {
            if (k > 0) add(box.left - reach, box.right + reach);
            continue;
        }
        add(box.left - reach, box.left - 1);
        add(box.right + 1, box.right + reach);
        if (k <= box.ry) add(box.left, box.right);  // the band between the corners
    }
    if (row >= box.upper && row <= box.lower) add(box.x, box.x + box.width - 1);
    PaintRunsOnce(context, row, runs, count);
}

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
    if (rx < 0 || ry < 0 || !HasArea(context)) return;
    const int64_t first = std::max<int64_t>(int64_t{cy} - ry, 0);
    const int64_t last = std::min<int64_t>(int64_t{cy} + ry, context->height - 1);
    if (first > last || int64_t{cx} + rx < 0 || int64_t{cx} - rx >= context->width) return;
    const EllipseQuarter quarter(rx, ry);
    const bool outlined = IsOutlined(context);
    for (int64_t row = first; row <= last; ++row) {
        const int64_t k = row < cy ? cy - row : row - cy;
        // A flat ellipse's walk paints its centre row from above and again from below.
        const int times = k == 0 && quarter.IsFlat() ? 2 : 1;
        for (int i = 0; i < times; ++i) {
            if (outlined) {
                PlotEllipseRow(context, quarter, cx, k, row);
            } else {
                const int64_t reach = quarter.HalfWidth(k);
                PaintRowRun(context, cx - reach, row, 2 * reach + 1);
            }
        }
    }
}

void RoundBoxOf(DrawingContext* context, int32_t x, int32_t y, int32_t w, int32_t h, int32_t rx,
                int32_t ry) {
    if (w <= 0 || h <= 0 || rx < 0 || ry < 0 || !HasArea(context)) return;
    const RoundBoxShape box{.x = x,
                            .width = w,
                            .ry = ry,
                            .left = int64_t{x} + rx,
                            .right = int64_t{x} + w - rx - 1,
                            .upper = int64_t{y} + ry,
                            .lower = int64_t{y} + h - ry - 1};
    const int64_t bottom = int64_t{y} + h - 1;
    // Radii beyond half the box carry each corner past the opposite edge.
    const int64_t first = std::max<int64_t>(std::min<int64_t>(y, box.lower), 0);
    const int64_t last = std::min<int64_t>(std::max(bottom, box.upper), context->height - 1);
    const int64_t leftmost = std::min<int64_t>(x, box.right + 1);
    const int64_t rightmost = std::max<int64_t>(int64_t{x} + w - 1, box.left - 1);
    if (first > last || rightmost < 0 || leftmost >= context->width) return;
    const EllipseQuarter quarter(rx, ry);
    const bool outlined = IsOutlined(context);
    for (int64_t row = first; row <= last; ++row) {
        if (!outlined) {
            PaintRoundBoxRow(context, quarter, box, row);
            continue;
        }
        for (const int64_t k : {box.upper - row, row - box.lower}) {
            if (k >= 0) PlotCornerRow(context, quarter, box, k, row);
        }
    }
    if (!outlined) return;
    const int64_t band = int64_t{w} - 2 * int64_t{rx};
    const int64_t side = int64_t{h} - 2 * int64_t{ry};
    PaintRowRun(context, box.left, y, band);
    PaintRowRun(context, box.left, bottom, band);
    PaintVerticalSpan(context, x, box.upper, side);
    PaintVerticalSpan(context, int64_t{x} + w - 1, box.upper, side);
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
