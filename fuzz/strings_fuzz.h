#pragma once
// Helpers shared by the string fuzz targets: guarded conversions.

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "fuzz/fuzz_check.h"

namespace vorlune::fuzz {

// Runs a conversion twice at one destination size: into a heap block of exactly that size
// (AddressSanitizer sees any write behind it) and into a block with a guard region behind it
// (the guard must stay as it was). Hands back the guarded result and destination.
template <typename Unit, typename Convert>
std::vector<Unit> ConvertGuarded(const char* target, int32_t size, int32_t* result,
                                 Convert convert) {
    constexpr int kGuard = 16;
    constexpr Unit kFill = static_cast<Unit>(0x5A5A);
    std::unique_ptr<Unit[]> exact(new Unit[static_cast<size_t>(size)]);
    const int32_t exactResult = convert(exact.get(), size);
    std::vector<Unit> guarded(static_cast<size_t>(size) + kGuard, kFill);
    *result = convert(guarded.data(), size);
    Check(*result == exactResult, target, "result depends on the destination block");
    Check(*result >= 0 && *result <= size, target, "result outside the destination size");
    for (int i = 0; i < kGuard; ++i) {
        Check(guarded[static_cast<size_t>(size) + i] == kFill, target,
              "wrote past the destination");
    }
    guarded.resize(static_cast<size_t>(size));
    return guarded;
}

// Whether the first count units of two destinations agree (either may be empty).
template <typename Unit>
bool SamePrefix(const std::vector<Unit>& a, const std::vector<Unit>& b, int32_t count) {
    return count == 0 || std::memcmp(a.data(), b.data(), sizeof(Unit) * count) == 0;
}

// Destination sizes worth trying around the need.
inline std::vector<int32_t> SizesAround(int32_t need) {
    std::vector<int32_t> sizes = {0,        1,        2,        3,    4,       need / 2,
                                  need - 3, need - 2, need - 1, need, need + 1};
    std::vector<int32_t> valid;
    for (int32_t size : sizes) {
        if (size >= 0) valid.push_back(size);
    }
    return valid;
}

}  // namespace vorlune::fuzz
