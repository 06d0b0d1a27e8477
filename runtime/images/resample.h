#pragma once
// Filtered resampling of 32-bit pixels with the Mitchell-Netravali cubic (B = C = 1/3).

#include <cstdint>

namespace vorlune {

// The source indices first..last that make one destination index, and their weights.
struct ResampleWeight {
    double* weights;  // one per source index in first..last
    int32_t first;
    int32_t last;  // last < first contributes nothing
};

// The filter --------------------------------------------------------------------------------------
double MitchellFilter(double t);  // support 2

// Weight tables -----------------------------------------------------------------------------------
ResampleWeight* ResampleWeights(int32_t dstLength, int32_t srcLength,
                                int32_t* count);  // dstLength entries, null on failure or a
                                                  // length below 1; FreeResampleWeights it
void FreeResampleWeights(ResampleWeight* table);  // null does nothing

// Passes (rows tightly packed, pitch = row length x 4; each byte filtered on its own, clamped to
// 0..255). False, dst unchanged, for a length below 1 or when the table cannot be built.
bool ResampleHorizontally(const uint8_t* src, int32_t srcLength, uint8_t* dst, int32_t dstLength,
                          int32_t rows);
bool ResampleVertically(const uint8_t* src, int32_t length, int32_t srcRows, uint8_t* dst,
                        int32_t columns, int32_t dstRows);

}  // namespace vorlune
