#pragma once
// One quarter of a midpoint ellipse, row by row, for the ellipse and the corners of round boxes.

#include <cstdint>

namespace vorlune {

// The pixels that the two-region midpoint walk paints in one quarter of the ellipse with radii
// (rx, ry), as half widths: row k above or below the centre reaches from the centre column to
// HalfWidth(k). The walk decides each step by the sign of B x^2 + A y^2 - A B (A = rx^2, B = ry^2)
// at a half-pixel point. Its row region gives row k the widest x whose point (x - 1/2, k) is
// inside, until its end test first fails at the switch row; its column region then gives column x
// the rows k whose point (x, k - 1/2) is inside. Every such decision is answered here in exact
// 128-bit arithmetic, so a row costs the same whatever the radii (up to 2^31 - 1) and a shape
// costs only the rows that it shows.
class EllipseQuarter {
  public:
    EllipseQuarter(int64_t rx, int64_t ry);  // both at least 0

    int64_t HalfWidth(int64_t k) const;  // -1 when row k is empty
    // Rows below the switch row are painted as rows; from it on the walk paints columns and
    // row k holds the column ends HalfWidth(k + 1) + 1 ... HalfWidth(k).
    bool IsRowRegion(int64_t k) const { return k < switchRow_; }
    // Without a row region the walk paints row 0 from above and from below.
    bool IsFlat() const { return switchRow_ == 0; }

  private:
    __extension__ using Wide = unsigned __int128;

    bool Inside(int64_t twiceX, int64_t twiceY) const;  // half-pixel points, doubled
    int64_t RowReach(int64_t k) const;                  // widest x, (x - 1/2, k) inside; or -1
    int64_t ColumnReach(int64_t k) const;               // widest x, (x, k - 1/2) inside; or -1
    bool IsSteady(int64_t k) const;
    void FindSwitchRow();

    Wide a_, b_, fourAB_;
    int64_t rx_, ry_;
    int64_t switchRow_ = 0;  // the first row of the column region
    int64_t switchX_ = 0;    // the walk's x when it leaves the row region
};

}  // namespace vorlune
