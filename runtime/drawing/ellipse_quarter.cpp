#include "runtime/drawing/ellipse_quarter.h"

#include <algorithm>
#include <cassert>
#include <cmath>

namespace vorlune {

namespace {

// The first k in [from, to] where test fails, or to + 1; test holds up to some k and fails from
// there on. Gallops from `from`, so that a short run costs only a few tests.
template <typename Test>
int64_t FirstFailing(int64_t from, int64_t to, Test test) {
    int64_t passed = from - 1;
    int64_t failed = to + 1;
    for (int64_t step = 1; passed + 1 < failed; step *= 2) {
        const int64_t next = std::min(passed + step, failed - 1);
        if (!test(next)) {
            failed = next;
            break;
        }
        passed = next;
    }
    while (passed + 1 < failed) {
        const int64_t middle = passed + (failed - passed) / 2;
        (test(middle) ? passed : failed) = middle;
    }
    return failed;
}

}  // namespace

EllipseQuarter::EllipseQuarter(int64_t rx, int64_t ry)
    : a_(static_cast<Wide>(rx) * static_cast<Wide>(rx)),
      b_(static_cast<Wide>(ry) * static_cast<Wide>(ry)),
      fourAB_(4 * a_ * b_),
      rx_(rx),
      ry_(ry),
      switchX_(rx) {
    assert(rx >= 0 && ry >= 0 && rx <= INT32_MAX && ry <= INT32_MAX);
    FindSwitchRow();
}

int64_t EllipseQuarter::HalfWidth(int64_t k) const {
    if (k < 0 || k > ry_) return -1;
    if (k < switchRow_) return k == 0 ? rx_ : RowReach(k);
    if (k == switchRow_) return switchX_;
    return std::min(switchX_ - 1, ColumnReach(k));
}

// With |x| <= 2 rx + 2 and |y| <= 2 ry + 2 each product stays below 2^126, the sum below 2^128.
bool EllipseQuarter::Inside(int64_t twiceX, int64_t twiceY) const {
    const Wide x = static_cast<Wide>(twiceX < 0 ? -twiceX : twiceX);
    const Wide y = static_cast<Wide>(twiceY < 0 ? -twiceY : twiceY);
    return b_ * x * x + a_ * y * y < fourAB_;
}

// The estimate comes from floating point; the exact tests then settle it.
int64_t EllipseQuarter::RowReach(int64_t k) const {
    if (!Inside(1, 2 * k)) return -1;  // x = 0 and x = 1 share this point's distance
    const long double estimate = 0.5L + static_cast<long double>(rx_) *
                                            std::sqrt(static_cast<long double>(ry_ - k) *
                                                      static_cast<long double>(ry_ + k)) /
                                            static_cast<long double>(ry_);
    int64_t x = std::clamp<int64_t>(static_cast<int64_t>(estimate), 1, rx_);
    while (x < rx_ && Inside(2 * x + 1, 2 * k))
        ++x;
    while (x > 1 && !Inside(2 * x - 1, 2 * k))
        --x;
    return x;
}

int64_t EllipseQuarter::ColumnReach(int64_t k) const {
    if (!Inside(0, 2 * k - 1)) return -1;
    const long double height = static_cast<long double>(k) - 0.5L;
    const long double estimate = static_cast<long double>(rx_) *
                                 std::sqrt((static_cast<long double>(ry_) - height) *
                                           (static_cast<long double>(ry_) + height)) /
                                 static_cast<long double>(ry_);
    int64_t x = std::clamp<int64_t>(static_cast<int64_t>(estimate), 0, rx_);
    while (x < rx_ && Inside(2 * x + 2, 2 * k - 1))
        ++x;
    while (x > 0 && !Inside(2 * x, 2 * k - 1))
        --x;
    return x;
}

// Row k is steady when the boundary is so steep there that the walk, having reached
// RowReach(k - 1), steps to RowReach(k) (B (2 x' - 2) >= A (2k - 1) with x' that reach) and passes
// its end test at (RowReach(k) - 1, k + 1/2) (B (4x - 3) >= A (4k + 1)). Both bounds only tighten
// as k grows, so the steady rows are 1 ... some last row.
bool EllipseQuarter::IsSteady(int64_t k) const {
    const int64_t here = RowReach(k);
    const int64_t before = k == 1 ? rx_ : RowReach(k - 1);
    if (here < 1 || before < 1) return false;
    return a_ * static_cast<Wide>(4 * k + 1) <= b_ * static_cast<Wide>(4 * here - 3) &&
           a_ * static_cast<Wide>(2 * k - 1) <= 2 * b_ * static_cast<Wide>(before - 1);
}

// The walk steps from row k - 1 to row k by keeping x when (x - 1/2, k) is inside and taking
// x - 1 otherwise; it stays in the row region while (x - 1, k + 1/2) is inside. The last steady
// row is found by bisection; from there the walk is followed one value of x at a time, each run
// of rows that keeps x being settled by two searches, until the end test fails.
void EllipseQuarter::FindSwitchRow() {
    if (!Inside(2 * rx_ - 2, 1)) return;  // flat: no row region
    int64_t low = 0;
    int64_t high = ry_;
    while (low < high) {
        const int64_t middle = high - (high - low) / 2;
        if (IsSteady(middle)) {
            low = middle;
        } else {
            high = middle - 1;
        }
    }
    int64_t row = low + 1;
    int64_t x = low == 0 ? rx_ : RowReach(low);
    for (;;) {
        if (Inside(2 * x - 1, 2 * row)) {
            const int64_t narrower =
                FirstFailing(row, ry_, [&](int64_t k) { return Inside(2 * x - 1, 2 * k); });
            const int64_t end = FirstFailing(
                row, narrower - 1, [&](int64_t k) { return Inside(2 * x - 2, 2 * k + 1); });
            if (end < narrower) {
                switchRow_ = end;
                switchX_ = x;
                return;
            }
            row = narrower;
            continue;
        }
        --x;
        if (!Inside(2 * x - 2, 2 * row + 1)) {
            switchRow_ = row;
            switchX_ = x;
            return;
        }
        ++row;
    }
}

}  // namespace vorlune
