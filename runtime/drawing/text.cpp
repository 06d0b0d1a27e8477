#include "runtime/drawing/text.h"

#include <cstdlib>

#include "runtime/core/strings.h"
#include "runtime/drawing/modes.h"

namespace vorlune {

namespace {

TextExtent Measure(const DrawingContext* context, const char16_t* text) {
    return MeasureText(context->font, text, StringLength(text));
}

// The clip rectangle in output coordinates: text is placed in output coordinates, but like
// every primitive it writes nothing outside the clip rectangle.
TextArea ClipArea(const DrawingContext* context) {
    return {context->originX - context->effectiveOriginX,
            context->originY - context->effectiveOriginY, context->width, context->height};
}

void Render(DrawingContext* context, int32_t x, int32_t y, const char16_t* text, double radians) {
    RenderText(context->graphicsContext, context->font, text, StringLength(text), x, y, radians,
               context->drawColour & 0xFFFFFF, ClipArea(context));
}

}  // namespace

// Slot operations -------------------------------------------------------------------------------

int32_t DrawTextOf(DrawingContext* context, int32_t x, int32_t y, const char16_t* text) {
    const TextExtent size = Measure(context, text);
    if ((context->drawingMode & DrawTransparent) == 0) {
        context->setPenComponents(context, context->drawBackColour);
        context->box(context, x, y, size.width, size.height);
        context->setPenComponents(context, context->drawColour);
    }
    Render(context, x, y, text, 0.0);
    return static_cast<int32_t>(static_cast<uint32_t>(x) + static_cast<uint32_t>(size.width));
}

void DrawRotatedTextOf(DrawingContext* context, int32_t x, int32_t y, const char16_t* text,
                       float degrees) {
    Render(context, x, y, text, degrees * kTextDegreesToRadians);
}

int32_t TextWidthOf(DrawingContext* context, const char16_t* text) {
    return Measure(context, text).width;
}

int32_t TextHeightOf(DrawingContext* context, const char16_t* text) {
    return Measure(context, text).height;
}

void SetFontOf(DrawingContext* context, TextFont font) {
    context->font = font == reinterpret_cast<TextFont>(intptr_t{-1}) ? nullptr : font;
}

// On the current context --------------------------------------------------------------------

int32_t DrawText(int32_t x, int32_t y, const char16_t* text) {
    DrawingContext* context = CurrentDrawingContext();
    return context != nullptr ? context->drawText(context, x, y, text) : x;
}

void DrawRotatedText(int32_t x, int32_t y, const char16_t* text, float degrees) {
    if (DrawingContext* context = CurrentDrawingContext())
        context->drawRotatedText(context, x, y, text, degrees);
}

int32_t TextWidth(const char16_t* text) {
    DrawingContext* context = CurrentDrawingContext();
    return context != nullptr ? context->textWidth(context, text) : 0;
}

int32_t TextHeight(const char16_t* text) {
    DrawingContext* context = CurrentDrawingContext();
    return context != nullptr ? context->textHeight(context, text) : 0;
}

void SetFont(TextFont font) {
    if (DrawingContext* context = CurrentDrawingContext()) context->setFont(context, font);
}

// Fonts ---------------------------------------------------------------------------------------

TextFont LoadFont(const char16_t* description) {
    char* utf8 = StringToUTF8Alloc(description);
    if (utf8 == nullptr) return nullptr;
    TextFont font = LoadTextFont(utf8);
    std::free(utf8);
    return font;
}

void FreeFont(TextFont font) {
    if (font == nullptr) return;
    DrawingContext* context = CurrentDrawingContext();
    if (context != nullptr && context->font == font) context->font = nullptr;
    FreeTextFont(font);
}

}  // namespace vorlune
