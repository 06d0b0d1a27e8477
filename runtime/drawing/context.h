#pragma once
// The drawing context: the record of one drawing output, its operation table and its life.

#include <pthread.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/pixel_store.h"
#include "platform/text.h"
#include "runtime/core/memory.h"

namespace vorlune {

// Red in bits 0-7, green 8-15, blue 16-23, alpha 24-31 (255 opaque).
using ColourValue = uint32_t;

struct DrawingContext;
struct GradientStop;
struct FillSpan;

using GradientFunction = float (*)(DrawingContext* context, int32_t x, int32_t y);
using FilterFunction = ColourValue (*)(int32_t x, int32_t y, ColourValue source,
                                       ColourValue target);  // the colour to store

// Pixel formats ---------------------------------------------------------------------------------
constexpr int32_t kPixelFourBytes = 0x20;  // or 0x40; neither means three bytes per pixel
constexpr int32_t kPixelFourBytesAlt = 0x40;
constexpr int32_t kPixelBottomUp = 0x8000;   // rows stored bottom row first
constexpr int32_t kImagePixelFormat = 0x20;  // four bytes, top-down, red green blue alpha

// Coordinates of every slot are relative to the clip rectangle unless a slot says otherwise.
struct DrawingContext {
    // Operation slots, in table order ------------------------------------------------------------
    void (*setPaperComponents)(DrawingContext* context, ColourValue colour);
    void (*box)(DrawingContext* context, int32_t x, int32_t y, int32_t w, int32_t h);
    void (*roundBox)(DrawingContext* context, int32_t x, int32_t y, int32_t w, int32_t h,
                     int32_t rx, int32_t ry);
    void (*setFont)(DrawingContext* context, TextFont font);  // (TextFont)-1 stores null
    uint8_t* (*bufferAddress)(DrawingContext* context);
    int32_t (*bufferPitch)(DrawingContext* context);
    int32_t (*bufferPixelFormat)(DrawingContext* context);
    void (*setDrawingMode)(DrawingContext* context, int32_t mode);
    void (*drawImage)(DrawingContext* context, NativeImage image, int32_t x, int32_t y);
    void (*drawImageSized)(DrawingContext* context, NativeImage image, int32_t x, int32_t y,
                           int32_t w, int32_t h);
    void (*drawImageAlpha)(DrawingContext* context, NativeImage image, int32_t x, int32_t y,
                           int32_t alpha);
    int32_t (*drawText)(DrawingContext* context, int32_t x, int32_t y, const char16_t* text);
    void (*drawRotatedText)(DrawingContext* context, int32_t x, int32_t y, const char16_t* text,
                            float angle);
    void (*ellipse)(DrawingContext* context, int32_t cx, int32_t cy, int32_t rx, int32_t ry);
    void (*fillArea)(DrawingContext* context, int32_t x, int32_t y, int64_t border);
    void (*setPenComponents)(DrawingContext* context, ColourValue colour);
    int64_t (*grabImage)(DrawingContext* context, int64_t number, int32_t x, int32_t y, int32_t w,
                         int32_t h);
    void (*line)(DrawingContext* context, int32_t x1, int32_t y1, int32_t x2, int32_t y2);
    void (*plotPen)(DrawingContext* context, int32_t x, int32_t y);
    void (*plotColour)(DrawingContext* context, int32_t x, int32_t y, ColourValue colour);
    ColourValue (*readPixel)(DrawingContext* context, int32_t x, int32_t y);
    void* (*start)(DrawingContext* context);  // output handle, 0 when the output cannot draw
    void (*finish)(DrawingContext* context);
    int32_t (*textHeight)(DrawingContext* context, const char16_t* text);
    int32_t (*textWidth)(DrawingContext* context, const char16_t* text);
    void (*clip)(DrawingContext* context, int32_t x, int32_t y, int32_t w, int32_t h);
    void (*unclip)(DrawingContext* context);
    void (*release)(DrawingContext* context, int32_t completed);  // the target's; may be null

    // Data ------------------------------------------------------------------------------------
    int32_t width;  // of the clip rectangle; every primitive clips against width and height
    int32_t height;
    int32_t depth;
    int32_t effectiveOriginX;  // origin relative to the clip rectangle
    int32_t effectiveOriginY;
    int32_t outputWidth;
    int32_t outputHeight;
    int32_t originX;
    int32_t originY;
    ColourValue frontColour;     // also the gradient's colour at position 1
    ColourValue backColour;      // also the gradient's colour at position 0
    ColourValue drawColour;      // the pen's colour, and the text colour
    ColourValue drawBackColour;  // the paper's colour, and the text background
    GradientFunction gradientFunction;
    FilterFunction filterFunction;
    GradientStop* gradientStops;  // ascending positions
    Pool* fillPool;               // the flood fill's span records
    FillSpan** fillRows;          // one list head per row, at least height of them
    uint8_t* clipOrigin;          // the clip rectangle's lowest-addressed row, at its left edge
    int32_t pitch;
    int32_t pixelFormat;
    int32_t bytesPerPixel;
    int32_t drawingMode;
    int32_t premultiplied;  // pen and paper channels are multiplied by their alpha
    int32_t gradientOn;
    int32_t filterOn;
    int32_t bottomUp;
    uint8_t* bufferBase;
    int32_t penRed, penGreen, penBlue, penAlpha, penInverseAlpha;
    int32_t paperRed, paperGreen, paperBlue, paperAlpha, paperInverseAlpha;
    TextFont font;                 // null for the default font
    TextRenderer graphicsContext;  // the output's text renderer; null when it has none
    uint8_t paperOutput;
    int64_t ownerNumber;
};

// Colours ---------------------------------------------------------------------------------------
// Alpha 0, which the blend modes take as fully transparent; no masking (red 256 is green 1).
inline int64_t MakeRGB(int32_t red, int32_t green, int32_t blue) {
    const uint32_t bits = static_cast<uint32_t>(red) | static_cast<uint32_t>(green) << 8 |
                          static_cast<uint32_t>(blue) << 16;
    return static_cast<int32_t>(bits);
}
// Each channel's low 8 bits; alpha 255 is opaque, and the blend modes leave a pixel alone at 0.
constexpr ColourValue MakeRGBA(int32_t red, int32_t green, int32_t blue, int32_t alpha) {
    return (static_cast<ColourValue>(red) & 0xFF) | (static_cast<ColourValue>(green) & 0xFF) << 8 |
           (static_cast<ColourValue>(blue) & 0xFF) << 16 |
           (static_cast<ColourValue>(alpha) & 0xFF) << 24;
}

// Life of a context (output functions create, the program begins and ends) -----------------------
DrawingContext* CreateDrawingContext(int32_t pixelFormat);  // null on failure; becomes current
void InitDrawingContext(DrawingContext* context, int32_t pixelFormat);
void AbandonDrawingContext(DrawingContext* context);  // release hook with 0, then freed
void* BeginDrawing(DrawingContext* target);           // output handle, or 0 when it cannot draw
void EndDrawing();                                    // nothing without a current context
DrawingContext* CurrentDrawingContext();

// Drawing on the current context ----------------------------------------------------------------
void PlotPixel(int32_t x, int32_t y, ColourValue colour);  // adds the origin; ignored outside
inline void PlotPixelOn(DrawingContext* context, int32_t x, int32_t y,
                        ColourValue colour);  // PlotPixel where the context is known current
ColourValue ReadPixel(int32_t x, int32_t y);  // clip-relative; 0 outside
void SetFrontColour(ColourValue colour);
void SetBackColour(ColourValue colour);
void ClipDrawing(int32_t x, int32_t y, int32_t w, int32_t h);  // in output coordinates
void UnclipDrawing();

// PlotPixel for a long run of calls on one context, such as a picture drawn pixel by pixel: the
// context's origin, clip and mode are read once, and the plain mode's store into four-byte pixels
// is done in line. Plot does what PlotPixelOn does, call for call, as long as nothing changes the
// context's origin, clip, mode or buffer meanwhile.
class PixelPlotter {
  public:
    explicit PixelPlotter(DrawingContext* context);  // null: Plot does nothing
    inline void Plot(int32_t x, int32_t y, ColourValue colour) const;
    // Whether every place with 0 <= x < width and 0 <= y < height lies inside and is stored in
    // line. Then PlotInside plots those places as Plot does, without testing each; it touches
    // only the pixel, so several threads may plot different places through one plotter at once.
    bool StoresInLine(int32_t width, int32_t height) const;
    inline void PlotInside(int32_t x, int32_t y, ColourValue colour) const;

  private:
    static inline void StoreColour(uint8_t* pixel, ColourValue colour);

    DrawingContext* context_;
    uint8_t* firstRow_;  // of the clip rectangle in picture order; null for the context's routine
    ptrdiff_t rowStep_;  // negative for bottom-up buffers
    int64_t originX_, originY_;
    uint64_t width_, height_;  // a place below 0 is above them too
};

// Start-up --------------------------------------------------------------------------------------
void InitDrawingState();  // the drawing state block; once
void CreateDrawingKey();  // the thread-local mirror of the current context; once
pthread_key_t DrawingContextKey();
bool HasDrawingContextKey();
void* DrawingStateBlock();

// For writers called once per pixel, such as the picture's.
inline void PlotPixelOn(DrawingContext* context, int32_t x, int32_t y, ColourValue colour) {
    const int64_t px = int64_t{x} + context->effectiveOriginX;
    const int64_t py = int64_t{y} + context->effectiveOriginY;
    if (px < 0 || py < 0 || px >= context->width || py >= context->height) return;
    context->plotColour(context, static_cast<int32_t>(px), static_cast<int32_t>(py), colour);
}

inline void PixelPlotter::Plot(int32_t x, int32_t y, ColourValue colour) const {
    const auto px = static_cast<uint64_t>(x + originX_);
    const auto py = static_cast<uint64_t>(y + originY_);
    if (px >= width_ || py >= height_) return;
    if (firstRow_ == nullptr) {
        context_->plotColour(context_, static_cast<int32_t>(px), static_cast<int32_t>(py), colour);
        return;
    }
    StoreColour(firstRow_ + static_cast<ptrdiff_t>(py) * rowStep_ + px * 4, colour);
}

inline void PixelPlotter::PlotInside(int32_t x, int32_t y, ColourValue colour) const {
    StoreColour(firstRow_ + (y + originY_) * rowStep_ + (x + originX_) * 4, colour);
}

inline void PixelPlotter::StoreColour(uint8_t* pixel, ColourValue colour) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    // Red, green and blue are the low three bytes of the pixel's word: one store instead of three.
    uint32_t word;
    std::memcpy(&word, pixel, sizeof word);
    word = (word & 0xFF000000) | (colour & 0x00FFFFFF);
    std::memcpy(pixel, &word, sizeof word);
#else
    pixel[0] = static_cast<uint8_t>(colour);
    pixel[1] = static_cast<uint8_t>(colour >> 8);
    pixel[2] = static_cast<uint8_t>(colour >> 16);
#endif
}

}  // namespace vorlune
