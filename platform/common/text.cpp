#include "platform/text.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <mutex>
#include <string>

namespace vorlune {

struct TextFontObject {
    PangoFontDescription* description;
    char* text;  // the description as Pango writes it back
};

struct TextRendererObject {
    NativeImage image;
};

namespace {

// Pixel sizes, so that the size does not depend on the resolution Pango assumes.
constexpr const char* kDefaultFontDescription = "DejaVu Sans 12px";

struct Rectangle {
    int64_t left, top, right, bottom;  // right and bottom exclusive

    bool IsEmpty() const { return left >= right || top >= bottom; }
    Rectangle Intersect(const Rectangle& other) const {
        return {std::max(left, other.left), std::max(top, other.top), std::min(right, other.right),
                std::min(bottom, other.bottom)};
    }
};

const PangoFontDescription* DefaultDescription() {
    static PangoFontDescription* description =
        pango_font_description_from_string(kDefaultFontDescription);
    return description;
}

// Measuring shares one context whose font options are those of an image surface (metrics
// hinted, glyph positions rounded), the same as the contexts that render.
PangoContext* MeasuringContext() {
    static std::once_flag once;
    static PangoContext* context = nullptr;
    std::call_once(once, [] {
        cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_A8, 1, 1);
        cairo_t* cr = cairo_create(surface);
        if (cairo_status(cr) == CAIRO_STATUS_SUCCESS) context = pango_cairo_create_context(cr);
        cairo_destroy(cr);
        cairo_surface_destroy(surface);
    });
    return context;
}

void AppendCodePoint(std::string& out, uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Pango takes valid UTF-8 only: a lone surrogate becomes U+FFFD, and a zero unit ends the text.
std::string ToUTF8(const char16_t* text, int64_t length) {
    std::string out;
    if (text == nullptr) return out;
    for (int64_t i = 0; i < length && text[i] != 0; ++i) {
        const uint32_t unit = text[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            AppendCodePoint(out, 0x10000 + ((unit - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            AppendCodePoint(out, 0xFFFD);
        } else {
            AppendCodePoint(out, unit);
        }
    }
    return out;
}

const PangoFontDescription* DescriptionOf(TextFont font) {
    return font != nullptr ? font->description : DefaultDescription();
}

void SetLayoutText(PangoLayout* layout, TextFont font, const std::string& text) {
    pango_layout_set_font_description(layout, DescriptionOf(font));
    pango_layout_set_text(layout, text.data(), static_cast<int>(text.size()));
}

// The device-space box around the layout's ink and logical rectangles under cr's transform.
Rectangle DeviceBox(cairo_t* cr, PangoLayout* layout) {
    PangoRectangle ink;
    PangoRectangle logical;
    pango_layout_get_pixel_extents(layout, &ink, &logical);
    double left = INFINITY, top = INFINITY, right = -INFINITY, bottom = -INFINITY;
    for (const PangoRectangle& r : {ink, logical}) {
        for (int corner = 0; corner < 4; ++corner) {
            double x = r.x + ((corner & 1) != 0 ? r.width : 0);
            double y = r.y + ((corner & 2) != 0 ? r.height : 0);
            cairo_user_to_device(cr, &x, &y);
            left = std::min(left, x), right = std::max(right, x);
            top = std::min(top, y), bottom = std::max(bottom, y);
        }
    }
    // Antialiasing and hinting may reach a little past the extents.
    constexpr double kMarginPixels = 2;
    auto toInt = [](double v) {
        constexpr double kLimit = 1e15;
        return static_cast<int64_t>(std::clamp(v, -kLimit, kLimit));
    };
    return {toInt(std::floor(left) - kMarginPixels), toInt(std::floor(top) - kMarginPixels),
            toInt(std::ceil(right) + kMarginPixels), toInt(std::ceil(bottom) + kMarginPixels)};
}

int32_t BlendCoverage(int32_t colour, int32_t channel, int32_t coverage) {
    return (colour * coverage + channel * (255 - coverage) + 127) / 255;
}

void LayCoverage(NativeImage image, const Rectangle& box, const uint8_t* coverage, int stride,
                 uint32_t rgb) {
    const int32_t colour[3] = {static_cast<int32_t>(rgb & 0xFF),
                               static_cast<int32_t>((rgb >> 8) & 0xFF),
                               static_cast<int32_t>((rgb >> 16) & 0xFF)};
    const int32_t bytesPerRow = NativeImageBytesPerRow(image);
    for (int64_t y = box.top; y < box.bottom; ++y) {
        const uint8_t* source = coverage + (y - box.top) * stride;
        uint8_t* pixel = NativeImagePixels(image) + y * bytesPerRow + box.left * 4;
        for (int64_t x = box.left; x < box.right; ++x, ++source, pixel += 4) {
            const int32_t c = *source;
            if (c == 0) continue;
            for (int channel = 0; channel < 3; ++channel)
                pixel[channel] =
                    static_cast<uint8_t>(BlendCoverage(colour[channel], pixel[channel], c));
            pixel[3] = static_cast<uint8_t>(BlendCoverage(255, pixel[3], c));
        }
    }
}

void ApplyPlacement(cairo_t* cr, int32_t x, int32_t y, double radians) {
    cairo_translate(cr, x, y);
    cairo_rotate(cr, -radians);  // device y runs downwards: a positive angle turns to the left
}

}  // namespace

// Fonts ---------------------------------------------------------------------------------------

const char* DefaultFontDescription() {
    return kDefaultFontDescription;
}

TextFont LoadTextFont(const char* description) {
    if (description == nullptr || description[0] == 0) return nullptr;
    PangoFontDescription* parsed = pango_font_description_from_string(description);
    if (parsed == nullptr) return nullptr;
    pango_font_description_merge(parsed, DefaultDescription(), FALSE);
    auto* font = static_cast<TextFontObject*>(std::calloc(1, sizeof(TextFontObject)));
    if (font == nullptr) {
        pango_font_description_free(parsed);
        return nullptr;
    }
    font->description = parsed;
    font->text = pango_font_description_to_string(parsed);
    return font;
}

void FreeTextFont(TextFont font) {
    if (font == nullptr) return;
    pango_font_description_free(font->description);
    g_free(font->text);
    std::free(font);
}

const char* TextFontDescription(TextFont font) {
    return font != nullptr ? font->text : kDefaultFontDescription;
}

// Measuring -----------------------------------------------------------------------------------

TextExtent MeasureText(TextFont font, const char16_t* text, int64_t length) {
    const std::string utf8 = ToUTF8(text, length);
    PangoContext* context = MeasuringContext();
    // An empty text has no size, as with the platform whose text layer this mirrors.
    if (utf8.empty() || context == nullptr) return {0, 0};
    PangoLayout* layout = pango_layout_new(context);
    SetLayoutText(layout, font, utf8);
    int width = 0;
    int height = 0;
    pango_layout_get_size(layout, &width, &height);
    g_object_unref(layout);
    return {width / PANGO_SCALE, height / PANGO_SCALE};
}

// Rendering -----------------------------------------------------------------------------------

TextRenderer CreateTextRenderer(NativeImage image) {
    if (image == nullptr) return nullptr;
    auto* renderer = static_cast<TextRendererObject*>(std::calloc(1, sizeof(TextRendererObject)));
    if (renderer == nullptr) return nullptr;
    RetainNativeImage(image);
    renderer->image = image;
    return renderer;
}

void FreeTextRenderer(TextRenderer renderer) {
    if (renderer == nullptr) return;
    ReleaseNativeImage(renderer->image);
    std::free(renderer);
}

NativeImage TextRendererImage(TextRenderer renderer) {
    return renderer == nullptr ? nullptr : renderer->image;
}

// The text is rendered as coverage into a small A8 surface around it and then laid over the
// pixels, because cairo's own formats do not match the pixel store's byte order.
void RenderText(TextRenderer renderer, TextFont font, const char16_t* text, int64_t length,
                int32_t x, int32_t y, double radians, uint32_t rgb, TextArea area) {
    if (renderer == nullptr || !std::isfinite(radians)) return;
    NativeImage image = renderer->image;
    const Rectangle bounds =
        Rectangle{0, 0, NativeImageWidth(image), NativeImageHeight(image)}.Intersect(
            {area.x, area.y, int64_t{area.x} + area.width, int64_t{area.y} + area.height});
    const std::string utf8 = ToUTF8(text, length);
    if (bounds.IsEmpty() || utf8.empty()) return;

    cairo_surface_t* probeSurface = cairo_image_surface_create(CAIRO_FORMAT_A8, 1, 1);
    cairo_t* probe = cairo_create(probeSurface);
    ApplyPlacement(probe, x, y, radians);
    PangoLayout* layout = pango_cairo_create_layout(probe);
    SetLayoutText(layout, font, utf8);
    const Rectangle box = DeviceBox(probe, layout).Intersect(bounds);
    cairo_destroy(probe);
    cairo_surface_destroy(probeSurface);

    if (!box.IsEmpty()) {
        const int width = static_cast<int>(box.right - box.left);
        const int height = static_cast<int>(box.bottom - box.top);
        cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_A8, width, height);
        cairo_t* cr = cairo_create(surface);
        if (cairo_status(cr) == CAIRO_STATUS_SUCCESS) {
            cairo_translate(cr, static_cast<double>(-box.left), static_cast<double>(-box.top));
            ApplyPlacement(cr, x, y, radians);
            pango_cairo_update_layout(cr, layout);
            cairo_move_to(cr, 0, 0);
            pango_cairo_show_layout(cr, layout);
            cairo_surface_flush(surface);
            LayCoverage(image, box, cairo_image_surface_get_data(surface),
                        cairo_image_surface_get_stride(surface), rgb);
        }
        cairo_destroy(cr);
        cairo_surface_destroy(surface);
    }
    g_object_unref(layout);
}

}  // namespace vorlune
