// GTK image views: drawing areas that paint a pixel store 1:1 from their top-left corner (inside
// a groove frame when asked), redrawn at every recache. They are the controls of this backend:
// the control values are kept for the runtime, and the enabled state changes neither how the
// view looks nor what it hears.
#include <initializer_list>
#include <utility>

#include "platform/control.h"
#include "platform/gtk/gtk_backend.h"
#include "platform/image_view.h"

namespace vorlune {

using gtk::ViewState;
using gtk::ViewStateOf;
using gtk::WidgetOf;

namespace {

ViewState* ImageStateOf(NativeView view) {
    ViewState* state = ViewStateOf(WidgetOf(view));
    return state != nullptr && state->kind == gtk::ViewKind::kImage ? state : nullptr;
}

// The surface the last view let go of, kept for the next picture of the same size: each
// repaint of the program shows a new image in a new view.
cairo_surface_t* spareSurface = nullptr;

void ForgetSurface(ViewState* state) {
    cairo_surface_t* surface = std::exchange(state->surface, nullptr);
    if (surface == nullptr) return;
    if (cairo_surface_get_reference_count(surface) != 1) {
        cairo_surface_destroy(surface);  // still in cairo's hands
        return;
    }
    if (spareSurface != nullptr) cairo_surface_destroy(spareSurface);
    spareSurface = surface;
}

cairo_surface_t* SurfaceOfSize(int32_t width, int32_t height) {
    cairo_surface_t* surface = std::exchange(spareSurface, nullptr);
    if (surface != nullptr && cairo_image_surface_get_width(surface) == width &&
        cairo_image_surface_get_height(surface) == height)
        return surface;
    if (surface != nullptr) cairo_surface_destroy(surface);
    surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    if (cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS) return surface;
    cairo_surface_destroy(surface);
    return nullptr;
}

void RedrawOnRecache(void* observer, NativeImage) {
    auto* widget = static_cast<GtkWidget*>(observer);
    if (ViewState* state = ViewStateOf(widget)) ForgetSurface(state);
    gtk_widget_queue_draw(widget);
}

// Cairo keeps 32-bit pixels with premultiplied alpha in native byte order. This conversion is
// the pixels' only copy on their way to the window, made once per recache.
cairo_surface_t* SurfaceOf(NativeImage image) {
    const int32_t width = NativeImageWidth(image);
    const int32_t height = NativeImageHeight(image);
    cairo_surface_t* surface = SurfaceOfSize(width, height);
    if (surface == nullptr) return nullptr;
    cairo_surface_flush(surface);
    const uint8_t* source = NativeImagePixels(image);
    uint8_t* target = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* from = source + static_cast<int64_t>(y) * NativeImageBytesPerRow(image);
        auto* to = reinterpret_cast<uint32_t*>(target + static_cast<int64_t>(y) * stride);
        for (int32_t x = 0; x < width; ++x, from += 4) {
            const uint32_t alpha = from[3];
            if (alpha == 255) {
                to[x] = 0xFF000000u | uint32_t{from[0]} << 16 | uint32_t{from[1]} << 8 | from[2];
                continue;
            }
            auto premultiplied = [alpha](uint32_t channel) {
                return (channel * alpha + 127) / 255;
            };
            to[x] = alpha << 24 | premultiplied(from[0]) << 16 | premultiplied(from[1]) << 8 |
                    premultiplied(from[2]);
        }
    }
    cairo_surface_mark_dirty(surface);
    return surface;
}

// An etched line: a light outline under a dark one shifted up and left by one point.
void PaintGroove(cairo_t* cairo, double width, double height) {
    cairo_save(cairo);
    cairo_set_line_width(cairo, 1);
    for (const double grey : {1.0, 0.5}) {
        const double offset = grey == 1.0 ? 1.5 : 0.5;
        cairo_set_source_rgb(cairo, grey, grey, grey);
        cairo_rectangle(cairo, offset, offset, width - 2, height - 2);
        cairo_stroke(cairo);
    }
    cairo_restore(cairo);
}

gboolean OnImageDraw(GtkWidget* widget, cairo_t* cairo, gpointer) {
    ViewState* state = ViewStateOf(widget);
    if (state == nullptr) return FALSE;
    const double width = gtk_widget_get_allocated_width(widget);
    const double height = gtk_widget_get_allocated_height(widget);
    double inset = 0;
    if (state->frameStyle == ImageFrameStyle::kGroove) {
        PaintGroove(cairo, width, height);
        inset = kGrooveFrameWidth;
        cairo_rectangle(cairo, inset, inset, width - 2 * inset, height - 2 * inset);
        cairo_clip(cairo);
    }
    if (state->image != nullptr && state->surface == nullptr)
        state->surface = SurfaceOf(state->image);
    if (state->surface != nullptr) {
        cairo_set_source_surface(cairo, state->surface, inset, inset);
        // On a scaled display each image pixel covers whole device pixels: keep them sharp.
        cairo_pattern_set_filter(cairo_get_source(cairo), CAIRO_FILTER_NEAREST);
        cairo_paint(cairo);
    }
    return FALSE;
}

}  // namespace

namespace gtk {

void ReleaseViewResources(GtkWidget* view, ViewState* state) {
    if (state->image != nullptr) {
        RemoveRecacheObserver(state->image, RedrawOnRecache, view);
        ReleaseNativeImage(state->image);
        state->image = nullptr;
    }
    ForgetSurface(state);
    state->target = nullptr;
}

}  // namespace gtk

// Image views -------------------------------------------------------------------------------------

NativeView CreateImageView(PlatformRect frame) {
    if (!gtk::IsRunning()) return nullptr;
    GtkWidget* area = gtk_drawing_area_new();
    gtk::AttachView(area, frame, gtk::ViewKind::kImage);
    g_signal_connect(area, "draw", G_CALLBACK(OnImageDraw), nullptr);
    return gtk::ViewHandle(area);
}

bool IsImageView(NativeView view) {
    return ImageStateOf(view) != nullptr;
}

void SetImageViewImage(NativeView view, NativeImage image) {
    ViewState* state = ImageStateOf(view);
    if (state == nullptr || state->image == image) return;
    GtkWidget* widget = WidgetOf(view);
    if (state->image != nullptr) {
        RemoveRecacheObserver(state->image, RedrawOnRecache, widget);
        ReleaseNativeImage(state->image);
    }
    ForgetSurface(state);
    state->image = image;
    if (image != nullptr) {
        RetainNativeImage(image);
        AddRecacheObserver(image, RedrawOnRecache, widget);
    }
    gtk_widget_queue_draw(widget);
}

NativeImage ImageViewImage(NativeView view) {
    ViewState* state = ImageStateOf(view);
    return state != nullptr ? state->image : nullptr;
}

void SetImageViewFrameStyle(NativeView view, ImageFrameStyle style) {
    if (ViewState* state = ImageStateOf(view)) {
        state->frameStyle = style;
        gtk_widget_queue_draw(WidgetOf(view));
    }
}

ImageFrameStyle ImageViewFrameStyle(NativeView view) {
    ViewState* state = ImageStateOf(view);
    return state != nullptr ? state->frameStyle : ImageFrameStyle::kNone;
}

// Controls ----------------------------------------------------------------------------------------

bool IsControlView(NativeView view) {
    return ImageStateOf(view) != nullptr;
}

void SetControlTarget(NativeView view, ControlTarget* target) {
    if (ViewState* state = ImageStateOf(view)) state->target = target;
}

ControlTarget* GetControlTarget(NativeView view) {
    ViewState* state = ImageStateOf(view);
    return state != nullptr ? state->target : nullptr;
}

void SetControlEnabled(NativeView view, bool enabled) {
    if (ViewState* state = ImageStateOf(view)) state->disabled = !enabled;
}

bool IsControlEnabled(NativeView view) {
    ViewState* state = ImageStateOf(view);
    return state != nullptr && !state->disabled;
}

void ValidateControlEditing(NativeView) {}  // image views are never edited

void SetControlFont(NativeView view, TextFont font) {
    if (ViewState* state = ImageStateOf(view)) state->font = font;
}

TextFont ControlFont(NativeView view) {
    ViewState* state = ImageStateOf(view);
    return state != nullptr ? state->font : nullptr;
}

void SetControlIntValue(NativeView view, int32_t value) {
    if (ViewState* state = ImageStateOf(view)) state->intValue = value;
}

int32_t ControlIntValue(NativeView view) {
    ViewState* state = ImageStateOf(view);
    return state != nullptr ? state->intValue : 0;
}

void SetControlStringValue(NativeView view, const char16_t* text) {
    if (ViewState* state = ImageStateOf(view)) state->stringValue = text != nullptr ? text : u"";
}

const char16_t* ControlStringValue(NativeView view) {
    ViewState* state = ImageStateOf(view);
    return state != nullptr ? state->stringValue.c_str() : u"";
}

}  // namespace vorlune
