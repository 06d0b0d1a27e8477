#pragma once
// The picture the screen probe shows in its image gadgets, and the test expects on screen.

#include <cstdint>

namespace vorlune {

constexpr int32_t kPatternWidth = 200;
constexpr int32_t kPatternHeight = 150;
constexpr int32_t kPlainGadgetX = 10, kPlainGadgetY = 20;
constexpr int32_t kFramedGadgetX = 250, kFramedGadgetY = 20;

// Opaque red, green and blue of pixel (x, y).
inline void PatternPixel(int32_t x, int32_t y, uint8_t rgb[3]) {
    rgb[0] = static_cast<uint8_t>(x * 5 + y);
    rgb[1] = static_cast<uint8_t>(y * 3 + 7);
    rgb[2] = static_cast<uint8_t>((x ^ y) * 2);
}

}  // namespace vorlune
