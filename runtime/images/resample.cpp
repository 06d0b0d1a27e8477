#include "runtime/images/resample.h"

#include <algorithm>
#include <cassert>
#include <cmath>

#include "runtime/core/memory.h"

namespace vorlune {

namespace {

constexpr double kSupport = 2.0;

// The filter's constants as doubles, exactly as they have always been written.
constexpr double kInnerCubic = 1.1666666666666667;     // 7/6
constexpr double kInnerConstant = 0.8888888888888888;  // 8/9
constexpr double kOuterCubic = -0.3888888888888889;    // -7/18
constexpr double kOuterLinear = 3.3333333333333335;    // 10/3
constexpr double kOuterConstant = 1.7777777777777777;  // 16/9

// A weighted sum to a byte: rounded half up, truncated toward zero, clamped.
inline uint8_t ToByte(double sum) {
    const double rounded = sum + 0.5;
    if (!(rounded >= 1.0)) return 0;  // also NaN
    if (rounded >= 255.0) return 255;
    return static_cast<uint8_t>(rounded);
}

void FillEntry(ResampleWeight& entry, int32_t j, int32_t srcLength, double scale, double support,
               double filterScale, int64_t room) {
    const double centre = (j + 0.5) / scale - 0.5;
    int64_t first = std::max<int64_t>(static_cast<int64_t>(std::floor(centre - support)), 0);
    int64_t last = std::min<int64_t>(static_cast<int64_t>(std::ceil(centre + support)),
                                     int64_t{srcLength} - 1);
    if (last - first >= room) {
        if (first < srcLength) {
            ++first;
        } else {
            --last;
        }
    }
    assert(last - first < room);
    entry.first = static_cast<int32_t>(first);
    entry.last = static_cast<int32_t>(last);
    double sum = 0.0;
    for (int64_t m = first; m <= last; ++m) {
        const double weight =
            MitchellFilter((centre - static_cast<double>(m)) * filterScale) * filterScale;
        entry.weights[m - first] = weight;
        sum += weight;
    }
    if (sum > 0.0 && sum != 1.0) {
        for (int64_t m = first; m <= last; ++m)
            entry.weights[m - first] /= sum;
    }
}

}  // namespace

// The filter --------------------------------------------------------------------------------------

double MitchellFilter(double t) {
    const double a = std::fabs(t);
    if (a < 1.0) return (kInnerCubic * a - 2.0) * (t * t) + kInnerConstant;
    if (a < 2.0) return ((kOuterCubic * a + 2.0) * a - kOuterLinear) * a + kOuterConstant;
    return 0.0;
}

// Weight tables -----------------------------------------------------------------------------------

// One allocation: the entries, then every entry's weights. An entry never spans more than the
// whole source, so its room is capped there; that changes no weight.
ResampleWeight* ResampleWeights(int32_t dstLength, int32_t srcLength, int32_t* count) {
    if (count != nullptr) *count = 0;
    if (dstLength < 1 || srcLength < 1) return nullptr;
    const double scale = static_cast<double>(dstLength) / static_cast<double>(srcLength);
    const double support = scale < 1.0 ? kSupport / scale : kSupport;
    const double filterScale = std::min(scale, 1.0);
    const int64_t room =
        std::min<int64_t>(2 * static_cast<int64_t>(std::ceil(support)) + 1, int64_t{srcLength} + 1);
    const uint64_t entryBytes = sizeof(ResampleWeight) * static_cast<uint64_t>(dstLength);
    const uint64_t weightBytes =
        sizeof(double) * static_cast<uint64_t>(room) * static_cast<uint64_t>(dstLength);
    auto* table = static_cast<ResampleWeight*>(AllocRaw(entryBytes + weightBytes));
    if (table == nullptr) return nullptr;
    auto* weights = reinterpret_cast<double*>(table + dstLength);
    for (int32_t j = 0; j < dstLength; ++j) {
        table[j].weights = weights + static_cast<int64_t>(j) * room;
        FillEntry(table[j], j, srcLength, scale, support, filterScale, room);
    }
    if (count != nullptr) *count = dstLength;
    return table;
}

void FreeResampleWeights(ResampleWeight* table) {
    FreeMemory(table);
}

// Passes ------------------------------------------------------------------------------------------

bool ResampleHorizontally(const uint8_t* src, int32_t srcLength, uint8_t* dst, int32_t dstLength,
                          int32_t rows) {
    if (src == nullptr || dst == nullptr || rows < 1) return false;
    int32_t count = 0;
    ResampleWeight* table = ResampleWeights(dstLength, srcLength, &count);
    if (table == nullptr) return false;
    const int64_t srcPitch = int64_t{srcLength} * 4;
    const int64_t dstPitch = int64_t{dstLength} * 4;
    for (int64_t row = 0; row < rows; ++row) {
        const uint8_t* in = src + row * srcPitch;
        uint8_t* out = dst + row * dstPitch;
        for (int32_t j = 0; j < count; ++j, out += 4) {
            const ResampleWeight& entry = table[j];
            double sum0 = 0.0, sum1 = 0.0, sum2 = 0.0, sum3 = 0.0;
            const uint8_t* p = in + int64_t{entry.first} * 4;
            for (int32_t m = 0; m <= entry.last - entry.first; ++m, p += 4) {
                const double weight = entry.weights[m];
                sum0 += weight * p[0];
                sum1 += weight * p[1];
                sum2 += weight * p[2];
                sum3 += weight * p[3];
            }
            out[0] = ToByte(sum0);
            out[1] = ToByte(sum1);
            out[2] = ToByte(sum2);
            out[3] = ToByte(sum3);
        }
    }
    FreeResampleWeights(table);
    return true;
}

bool ResampleVertically(const uint8_t* src, int32_t length, int32_t srcRows, uint8_t* dst,
                        int32_t columns, int32_t dstRows) {
    if (src == nullptr || dst == nullptr || length < 1 || columns < 1) return false;
    if (columns > length) return false;  // each source row holds only length pixels
    int32_t count = 0;
    ResampleWeight* table = ResampleWeights(dstRows, srcRows, &count);
    if (table == nullptr) return false;
    const int64_t srcPitch = int64_t{length} * 4;
    const int64_t dstPitch = int64_t{columns} * 4;
    for (int32_t j = 0; j < count; ++j) {
        const ResampleWeight& entry = table[j];
        const uint8_t* firstRow = src + int64_t{entry.first} * srcPitch;
        const int32_t taps = entry.last - entry.first + 1;
        uint8_t* out = dst + int64_t{j} * dstPitch;
        for (int64_t byte = 0; byte < dstPitch; ++byte) {
            double sum = 0.0;
            const uint8_t* p = firstRow + byte;
            for (int32_t m = 0; m < taps; ++m, p += srcPitch)
                sum += entry.weights[m] * *p;
            out[byte] = ToByte(sum);
        }
    }
    FreeResampleWeights(table);
    return true;
}

}  // namespace vorlune
