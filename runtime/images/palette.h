#pragma once
// Palettes for indexed files: NeuQuant quantization, nearest colours, Floyd-Steinberg dithering.

#include <cstdint>

namespace vorlune {

constexpr int32_t kMaxPaletteEntries = 256;
constexpr double kPaletteGamma = 1.8;

// The palette and what PaletteRow needs; the source pixels must outlive it.
struct PaletteReduction {
    int32_t depth;                           // 1, 4 or 8
    int32_t entries;                         // 2^depth
    uint8_t colours[kMaxPaletteEntries][4];  // red, green, blue, alpha
    const uint8_t* pixels;
    int64_t pitch;
    int32_t width;
    int32_t height;
    int32_t sourceBytes;  // 3: red, green, blue (alpha 255); 4: red, green, blue, alpha
    int32_t options;
    int32_t lastRow;  // the row dithered last, for the error carried down
    int32_t* errors;  // dithering: this row's and the next row's errors, 16ths, 4 channels
    uint8_t byGreen[kMaxPaletteEntries];  // entries in ascending green, for the nearest search
    uint32_t* cacheKeys;                  // recent pixels and their nearest entries
    uint8_t* cacheIndices;
};

// Reduction (options: kPaletteDither) -------------------------------------------------------------
bool ReducePalette(PaletteReduction* reduction, const uint8_t* pixels, int32_t width,
                   int32_t height, int32_t sourceBits, int64_t pitch, int32_t depth,
                   int32_t options);  // false for bad arguments or out of memory
void PaletteRow(PaletteReduction* reduction, int32_t row,
                uint8_t* indices);  // width indices; dithered rows must come top to bottom
void EndPaletteReduction(PaletteReduction* reduction);

// The initial neurons' grey levels ----------------------------------------------------------------
uint8_t GammaTableEntry(int32_t j);  // round(255 x (j / 255)^(1 / 1.8))

}  // namespace vorlune
