// Resamples random pixels between random lengths in both passes, each buffer exactly sized so
// that AddressSanitizer sees any access outside it. The vertical pass over the transposed image
// must give the transposed horizontal result, rows of one colour must keep it, weight tables must
// stay inside the source and sum to 1, and refused arguments must leave the destination alone.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "fuzz/fuzz_check.h"
#include "runtime/images/resample.h"

namespace vorlune {
namespace {

constexpr int32_t kMaxShortLength = 96;
constexpr int32_t kMaxLongLength = 1 << 12;
constexpr int32_t kMaxRows = 6;

void Fail(const char* what, int64_t a, int64_t b) {
    fuzz::Fail("fuzz_resample", what, a, b);
}

// A heap block of exactly count pixels.
struct Pixels {
    explicit Pixels(int64_t count) : bytes(new uint8_t[static_cast<size_t>(count) * 4]) {}
    uint8_t* At(int64_t pixel) { return bytes.get() + pixel * 4; }
    std::unique_ptr<uint8_t[]> bytes;
};

int32_t Length(FuzzedDataProvider& data) {
    switch (data.ConsumeIntegralInRange<int>(0, 7)) {
        case 0:
            return data.ConsumeIntegralInRange<int32_t>(1, kMaxLongLength);
        case 1:
            return data.ConsumeIntegralInRange<int32_t>(1, 4);
        default:
            return data.ConsumeIntegralInRange<int32_t>(1, kMaxShortLength);
    }
}

void CheckWeights(int32_t dstLength, int32_t srcLength) {
    int32_t count = -1;
    ResampleWeight* table = ResampleWeights(dstLength, srcLength, &count);
    if (table == nullptr || count != dstLength) Fail("no weight table", dstLength, srcLength);
    for (int32_t j = 0; j < count; ++j) {
        const ResampleWeight& entry = table[j];
        if (entry.first < 0 || entry.last >= srcLength || entry.last < entry.first)
            Fail("weights outside the source", entry.first, entry.last);
        double sum = 0.0;
        for (int32_t m = 0; m <= entry.last - entry.first; ++m)
            sum += entry.weights[m];
        if (!(std::fabs(sum - 1.0) < 1e-9)) Fail("weights do not sum to 1", j, count);
    }
    FreeResampleWeights(table);
}

// Lengths below 1 are refused and nothing is written.
void CheckRefusals(FuzzedDataProvider& data) {
    const int32_t bad = data.ConsumeIntegralInRange<int32_t>(-3, 0);
    uint8_t source[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    uint8_t target[16];
    std::memset(target, 0x3C, sizeof target);
    int32_t count = -1;
    if (ResampleWeights(bad, 2, &count) != nullptr || count != 0) Fail("table for", bad, 2);
    if (ResampleWeights(2, bad, &count) != nullptr || count != 0) Fail("table from", 2, bad);
    const bool any = ResampleHorizontally(source, bad, target, 2, 2) ||
                     ResampleHorizontally(source, 2, target, bad, 2) ||
                     ResampleHorizontally(source, 2, target, 2, bad) ||
                     ResampleVertically(source, bad, 2, target, 1, 2) ||
                     ResampleVertically(source, 2, bad, target, 2, 2) ||
                     ResampleVertically(source, 2, 2, target, bad, 2) ||
                     ResampleVertically(source, 2, 2, target, 2, bad);
    if (any) Fail("a length below 1 was accepted", bad, 0);
    for (uint8_t byte : target) {
        if (byte != 0x3C) Fail("a refused pass wrote", bad, byte);
    }
}

}  // namespace
}  // namespace vorlune

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    using namespace vorlune;
    FuzzedDataProvider data(bytes, size);
    const int32_t srcLength = Length(data);
    const int32_t dstLength = Length(data);
    const int32_t rows = data.ConsumeIntegralInRange<int32_t>(1, kMaxRows);
    const int32_t columns = data.ConsumeIntegralInRange<int32_t>(1, rows);
    const uint32_t constantRows = data.ConsumeIntegral<uint8_t>();

    // Rows whose bit is set in constantRows hold one colour throughout.
    Pixels source(int64_t{srcLength} * rows);
    for (int32_t row = 0; row < rows; ++row) {
        const bool constant = (constantRows >> row & 1) != 0;
        uint8_t colour[4];
        for (uint8_t& byte : colour)
            byte = data.ConsumeIntegral<uint8_t>();
        for (int32_t x = 0; x < srcLength; ++x) {
            uint8_t* pixel = source.At(int64_t{row} * srcLength + x);
            for (int c = 0; c < 4; ++c)
                pixel[c] = constant ? colour[c] : data.ConsumeIntegral<uint8_t>();
        }
    }

    Pixels across(int64_t{dstLength} * rows);
    if (!ResampleHorizontally(source.bytes.get(), srcLength, across.bytes.get(), dstLength, rows))
        Fail("horizontal pass refused", srcLength, dstLength);

    // The same image turned on its side: srcLength rows of `rows` pixels; only the first
    // `columns` of them are resampled.
    Pixels turned(int64_t{srcLength} * rows);
    for (int32_t row = 0; row < rows; ++row) {
        for (int32_t x = 0; x < srcLength; ++x)
            std::memcpy(turned.At(int64_t{x} * rows + row), source.At(int64_t{row} * srcLength + x),
                        4);
    }
    Pixels down(int64_t{dstLength} * columns);
    if (!ResampleVertically(turned.bytes.get(), rows, srcLength, down.bytes.get(), columns,
                            dstLength)) {
        Fail("vertical pass refused", srcLength, dstLength);
    }

    for (int32_t row = 0; row < rows; ++row) {
        const bool constant = (constantRows >> row & 1) != 0;
        const uint8_t* colour = source.At(int64_t{row} * srcLength);
        for (int32_t x = 0; x < dstLength; ++x) {
            const uint8_t* pixel = across.At(int64_t{row} * dstLength + x);
            if (constant && std::memcmp(pixel, colour, 4) != 0)
                Fail("a row of one colour changed", row, x);
            if (row < columns && std::memcmp(down.At(int64_t{x} * columns + row), pixel, 4) != 0)
                Fail("the passes disagree", row, x);
        }
    }

    CheckWeights(dstLength, srcLength);
    CheckRefusals(data);
    return 0;
}
