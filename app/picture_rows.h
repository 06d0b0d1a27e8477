#pragma once
// The fast picture handed over line by line: the codes of a line turned into writes of pixels,
// and the whole picture by rows for writers called in line.

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "app/picture.h"
#include "app/picture_fast.h"

namespace vorlune {

// The picture by rows -------------------------------------------------------------------------
// The pixels of ComputePicture handed over rows outer, columns inner, to any callable
// writePixel(x, y, red, green, blue): for writers whose result does not depend on the order,
// such as one that stores each pixel into a row-major image, which it then fills front to back.
// The writer is taken by value and called in line.
template <class Writer>
int64_t ComputePictureByRowsOn(PicturePath path, const PictureSettings& settings,
                               Writer writePixel);  // as ComputePictureOn
template <class Writer>
void ComputePictureByRows(const PictureSettings& settings, Writer writePixel);

// One line of the picture from the codes of its source line, place by place: write(place, red,
// green, blue) for each place written. codes holds PaddedLength() entries.
template <class PlaceWriter>
void EmitLine(const PictureLines& lines, const uint16_t* codes, PlaceWriter& write);

// Bit i set where codes[i] is value, or where it is not 0, for i < count <= 64; both read whole
// groups of 16 codes.
inline uint64_t EqualCodesMask(const uint16_t* codes, size_t count, uint16_t value);
inline uint64_t NonZeroMask(const uint16_t* codes, size_t count);

// Bit i of value as bit 63 - i.
constexpr uint64_t ReversedBits(uint64_t value);

// Implementation ------------------------------------------------------------------------------

inline uint64_t EqualCodesMask(const uint16_t* codes, size_t count, uint16_t value) {
    uint64_t mask = 0;
#if defined(__SSE2__)
    const __m128i wanted = _mm_set1_epi16(static_cast<int16_t>(value));
    for (size_t i = 0; i < count; i += 16) {
        const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(codes + i));
        const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(codes + i + 8));
        const __m128i equal =
            _mm_packs_epi16(_mm_cmpeq_epi16(low, wanted), _mm_cmpeq_epi16(high, wanted));
        mask |= uint64_t{static_cast<uint16_t>(_mm_movemask_epi8(equal))} << i;
    }
#else
    for (size_t i = 0; i < count; ++i)
        mask |= uint64_t{codes[i] == value} << i;
#endif
    return count < 64 ? mask & ((uint64_t{1} << count) - 1) : mask;
}

inline uint64_t NonZeroMask(const uint16_t* codes, size_t count) {
    const uint64_t all = count < 64 ? (uint64_t{1} << count) - 1 : ~uint64_t{0};
    return ~EqualCodesMask(codes, count, 0) & all;
}

constexpr uint64_t ReversedBits(uint64_t value) {
    value = (value >> 1 & 0x5555555555555555) | (value & 0x5555555555555555) << 1;
    value = (value >> 2 & 0x3333333333333333) | (value & 0x3333333333333333) << 2;
    value = (value >> 4 & 0x0F0F0F0F0F0F0F0F) | (value & 0x0F0F0F0F0F0F0F0F) << 4;
    value = (value >> 8 & 0x00FF00FF00FF00FF) | (value & 0x00FF00FF00FF00FF) << 8;
    value = (value >> 16 & 0x0000FFFF0000FFFF) | (value & 0x0000FFFF0000FFFF) << 16;
    return value >> 32 | value << 32;
}

template <class PlaceWriter>
void EmitLine(const PictureLines& lines, const uint16_t* codes, PlaceWriter& write) {
    const size_t size = lines.Settings().size;
    const size_t direct = lines.LineLength();
    const size_t mirrored = size - direct;  // place direct + i shows codes[mirrored - 1 - i]
    if (lines.Colour()) {
        const uint32_t* colours = HueColours();
        const auto emit = [&](size_t place, uint32_t rgb) {
            write(static_cast<uint16_t>(place), static_cast<int>(rgb & 0xFF),
                  static_cast<int>((rgb >> 8) & 0xFF), static_cast<int>(rgb >> 16));
        };
        for (size_t place = 0; place < direct; ++place)
            emit(place, colours[codes[place]]);
        for (size_t place = direct; place < size; ++place)
            emit(place, colours[codes[size - 1 - place]]);
        return;
    }
    // White places are found 64 at a time: a branch per pixel would be mispredicted all over a
    // fine pattern.
    const auto white = [&](size_t place) { write(static_cast<uint16_t>(place), 255, 255, 255); };
    for (size_t block = 0; block < direct; block += 64) {
        for (uint64_t mask = NonZeroMask(codes + block, std::min<size_t>(64, direct - block));
             mask != 0; mask &= mask - 1)
            white(block + static_cast<size_t>(std::countr_zero(mask)));
    }
    // The mirrored places run through the codes backwards: each block's bits are turned round.
    for (size_t first = 0; first < mirrored; first += 64) {
        const size_t last = mirrored - 1 - first;  // the code of place direct + first
        const size_t count = std::min<size_t>(64, last + 1);
        const uint64_t mask = NonZeroMask(codes + last + 1 - count, count);
        for (uint64_t turned = ReversedBits(mask) >> (64 - count); turned != 0;
             turned &= turned - 1)
            white(direct + first + static_cast<size_t>(std::countr_zero(turned)));
    }
}

template <class Writer>
int64_t ComputePictureByRowsOn(PicturePath path, const PictureSettings& settings,
                               Writer writePixel) {
    if (!PicturePathSupported(path)) return -1;
    if (settings.size == 0) return 0;
    const PictureLines lines(settings, path);
    const size_t padded = lines.PaddedLength();
    const bool keep = lines.KeepsMirroredLines();  // rows below the centre, from above it
    // Every code is written before it is read: the memory needs no clearing.
    const std::unique_ptr<uint16_t[]> codes(
        new uint16_t[keep ? padded * lines.LineLength() : padded]);
    int64_t scalarPixels = 0;
    for (uint16_t y = 0; y < settings.size; ++y) {
        const uint16_t source = lines.SourceOf(y);
        uint16_t* row = keep ? &codes[source * padded] : codes.get();
        if (!keep || source == y) scalarPixels += lines.ComputeRow(source, row);
        const auto write = [&writePixel, y](uint16_t x, int red, int green, int blue) {
            writePixel(x, y, red, green, blue);
        };
        EmitLine(lines, row, write);
    }
    return scalarPixels;
}

template <class Writer>
void ComputePictureByRows(const PictureSettings& settings, Writer writePixel) {
    ComputePictureByRowsOn(BestPicturePath(), settings, writePixel);
}

}  // namespace vorlune
