#pragma once
// Text with the platform's fonts: measuring, and rendering into the pixels of a native image.

#include <cstdint>

#include "platform/pixel_store.h"

namespace vorlune {

// Fonts are Pango font descriptions ("DejaVu Serif Bold 20px"); a null font is the default font.
struct TextFontObject;
using TextFont = TextFontObject*;

// A renderer draws into one native image and holds a reference on it while it lives.
struct TextRendererObject;
using TextRenderer = TextRendererObject*;

struct TextExtent {
    int32_t width;   // logical width, truncated to whole pixels
    int32_t height;  // logical height (one line), truncated to whole pixels
};

struct TextArea {
    int32_t x, y, width, height;  // in image pixels; nothing outside it is written
};

// Fonts ---------------------------------------------------------------------------------------
const char* DefaultFontDescription();
TextFont LoadTextFont(const char* description);  // null for a null or empty description; a
                                                 // description without a size gets the default
void FreeTextFont(TextFont font);                // null does nothing
const char* TextFontDescription(TextFont font);  // owned by the font; the default for null

// Measuring -----------------------------------------------------------------------------------
TextExtent MeasureText(TextFont font, const char16_t* text, int64_t length);  // {0, 0} on failure

// Rendering -----------------------------------------------------------------------------------
TextRenderer CreateTextRenderer(NativeImage image);  // null for a null image or out of memory
void FreeTextRenderer(TextRenderer renderer);        // null does nothing
NativeImage TextRendererImage(TextRenderer renderer);

// Lays the text's coverage over the pixels by the premultiplied source-over rule in the opaque
// colour rgb (red bits 0-7, green 8-15, blue 16-23): channel' = (colour x coverage + channel x
// (255 - coverage)) / 255, alpha' = (255 x coverage + alpha x (255 - coverage)) / 255, rounded.
// The text's top-left corner is at (x, y); it is turned by radians counter-clockwise about it.
void RenderText(TextRenderer renderer, TextFont font, const char16_t* text, int64_t length,
                int32_t x, int32_t y, double radians, uint32_t rgb, TextArea area);

}  // namespace vorlune
