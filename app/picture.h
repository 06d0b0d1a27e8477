#pragma once
// The picture formula: the sine of a power of the distance from the origin, per pixel.

#include <cstdint>

namespace vorlune {

struct PictureSettings {
    uint16_t size;  // side in pixels
    float p;        // exponent
    float k;        // divisor of the pixel coordinates
    int8_t origin;  // -1: centre of the picture; 0: pixel (0, 0)
    int8_t colour;  // -1: hue-wheel colours; 0: black and white
};

// Start values of the main program ------------------------------------------------------------
inline constexpr uint16_t kStartSize = 512;
inline constexpr float kStartP = 1.094001f;
inline constexpr float kStartK = 0.29371017f;
inline constexpr PictureSettings kStartSettings{kStartSize, kStartP, kStartK, -1, -1};

// Picture (columns outer, rows inner; a size of 0 draws nothing) ------------------------------
// Both give the same pixels; the first takes the fastest code path this processor supports.
// ComputePictureByRows (picture_rows.h) hands the same pixels row by row to a writer called in
// line, as the program paints them.
using PixelWriter = void (*)(void* context, uint16_t x, uint16_t y, int red, int green, int blue);
void ComputePicture(const PictureSettings& settings, PixelWriter writePixel, void* context);
void ComputePictureLiteral(const PictureSettings& settings, PixelWriter writePixel, void* context);

// Code paths of ComputePicture ----------------------------------------------------------------
enum class PicturePath : uint8_t { Scalar, Avx2, Avx512 };
bool PicturePathSupported(PicturePath path);  // Scalar everywhere, the others on x86-64 with them
PicturePath BestPicturePath();
// ComputePictureOn returns the number of pixels done the exact scalar way; -1, and nothing
// drawn, for a path this processor lacks.
int64_t ComputePictureOn(PicturePath path, const PictureSettings& settings, PixelWriter writePixel,
                         void* context);

// Stages of one pixel, as ComputePictureLiteral runs them -------------------------------------
float ScaledCoordinate(uint16_t position, const PictureSettings& settings);  // xs or ys
double DistancePower(float xsSquared, float ys, float p);                    // Power(r, P)
float PixelValue(float xsSquared, float ys, float p);  // NaN for an infinite power
uint16_t HueOfValue(float v);            // low 16 bits of the rounded degrees; 0 for NaN
int HueToRGB(uint16_t h, float rgb[3]);  // 0; h in 0..360, channels 0..255
float MinOf(float a, float b);           // b unless a < b

}  // namespace vorlune
