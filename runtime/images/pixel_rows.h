#pragma once
// Row conversions between the codecs' byte orders, shuffled where the processor can.

#include <cstdint>

namespace vorlune {

// A channel of a pixel with alpha laid over white: (channel x alpha + (255 - alpha) x 255) / 255.
inline uint8_t OverWhite(uint32_t channel, uint32_t alpha) {
    return static_cast<uint8_t>((channel * alpha + (255 - alpha) * 255) / 255);
}

// count 3-byte pixels from in to out with bytes 0 and 2 of each swapped.
void SwapTriples(const uint8_t* in, uint8_t* out, int64_t count);

// count 4-byte pixels to 3 bytes, bytes 0 and 2 swapped and byte 3 dropped. With opaqueOnly it
// stops before the first pixel group whose byte 3 is not 255 and answers how many pixels it did
// (at most count); otherwise it answers count.
int64_t PackQuadsSwapped(const uint8_t* in, uint8_t* out, int64_t count, bool opaqueOnly);

}  // namespace vorlune
