#pragma once
// The two-region midpoint walk of ellipses and round boxes taken literally, one step at a time,
// counting how often it paints each pixel of a window at the origin: the reference that the
// rasteriser's row-by-row answers are held to.

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

namespace vorlune::testing {

class MidpointWalk {
  public:
    MidpointWalk(int32_t width, int32_t height)
        : width_(width), height_(height), counts_(static_cast<size_t>(width) * height, 0) {}

    int At(int32_t x, int32_t y) const { return counts_[static_cast<size_t>(y) * width_ + x]; }

    // The first row of the walk's column region, and its x there.
    static std::pair<int64_t, int64_t> SwitchPoint(int64_t rx, int64_t ry) {
        Stepper e(rx, ry);
        int64_t k = 0;
        for (; e.w < 0; ++k)
            e.StepRow(k);
        return {k, e.x};
    }

    void Ellipse(int64_t cx, int64_t cy, int64_t rx, int64_t ry, bool outlined) {
        Stepper e(rx, ry);
        auto paintRow = [&](int64_t row) {
            if (outlined) {
                Point(cx + e.x, row);
                Point(cx - e.x, row);
            } else {
                Row(cx - e.x, row, 2 * e.x + 1);
            }
        };
        int64_t f = 0;
        if (e.w < 0) {
            for (int64_t k = 0;; ++k) {
                paintRow(cy + k);
                if (k > 0) paintRow(cy - k);
                e.StepRow(k);
                if (e.w >= 0) {
                    f = k + 1;
                    break;
                }
            }
        }
        e.d = 4 * e.a * f;
        for (int64_t g = f; e.x >= 0; --e.x) {
            for (const int64_t column : {cx + e.x, cx - e.x}) {
                if (outlined) {
                    Point(column, cy + g);
                    Point(column, cy - g);
                } else {
                    Column(column, cy + f, g - f + 1);
                    Column(column, cy - g, g - f + 1);
                }
                if (e.x == 0) break;
            }
            e.StepColumn(g);
        }
    }

    void RoundBox(int64_t x, int64_t y, int64_t w, int64_t h, int64_t rx, int64_t ry,
                  bool outlined) {
        const int64_t left = x + rx, right = x + w - rx - 1;
        const int64_t upper = y + ry, lower = y + h - ry - 1;
        Stepper e(rx, ry);
        int64_t j = 0;
        for (; e.w < 0; ++j) {
            for (const int64_t row : {upper - j, lower + j}) {
                if (j == 0) break;
                if (outlined) {
                    Point(left - e.x, row);
                    Point(right + e.x, row);
                } else {
                    Row(left - e.x, row, right - left + 2 * e.x + 1);
                }
            }
            e.StepRow(j);
        }
        const int64_t f = j;
        e.d = 4 * e.a * f;
        for (int64_t g = f; e.x >= 0; --e.x) {
            for (const int64_t side : {-1, 1}) {
                const int64_t column = side < 0 ? left - e.x : right + e.x;
                if (e.x == 0) break;
                if (outlined) {
                    Point(column, upper - g);
                    Point(column, lower + g);
                } else {
                    Column(column, upper - g, g - f + 1);
                    Column(column, lower + f, g - f + 1);
                }
            }
            e.StepColumn(g);
        }
        if (outlined) {
            Row(left, y, w - 2 * rx);
            Row(left, y + h - 1, w - 2 * rx);
            Column(x, upper, h - 2 * ry);
            Column(x + w - 1, upper, h - 2 * ry);
            return;
        }
        for (int64_t k = f; k <= ry; ++k) {
            Row(left, upper - k, w - 2 * rx);
            Row(left, lower + k, w - 2 * rx);
        }
        const int64_t last = std::min<int64_t>(lower, height_ - 1);
        for (int64_t row = std::max<int64_t>(upper, 0); row <= last; ++row)
            Row(x, row, w);
    }

  private:
    __extension__ using Wide = __int128;

    // The walk's quantities, as the ellipse defines them, wide enough for any 32-bit radius.
    struct Stepper {
        Wide a, b, v, w, c, d = 0;
        int64_t x;

        Stepper(int64_t rx, int64_t ry)
            : a(Wide{rx} * rx),
              b(Wide{ry} * ry),
              v(4 * b * rx),
              w(2 * b + a / 2 - 4 * b * rx),
              c(2 * a + b / 2 - 2 * b * rx),
              x(rx) {}

        void StepRow(int64_t k) {
            const Wide g = 4 * a * k;
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

    void Point(int64_t x, int64_t y) {
        if (x >= 0 && x < width_ && y >= 0 && y < height_) ++counts_[y * width_ + x];
    }
    void Row(int64_t x, int64_t y, int64_t count) {
        if (y < 0 || y >= height_) return;
        const int64_t end = std::min<int64_t>(x + count, width_);
        for (int64_t i = std::max<int64_t>(x, 0); i < end; ++i)
            Point(i, y);
    }
    void Column(int64_t x, int64_t y, int64_t count) {
        if (x < 0 || x >= width_) return;
        const int64_t end = std::min<int64_t>(y + count, height_);
        for (int64_t i = std::max<int64_t>(y, 0); i < end; ++i)
            Point(x, i);
    }

    int64_t width_, height_;
    std::vector<int> counts_;
};

}  // namespace vorlune::testing
