// GTK OpenGL views: GtkGLArea widgets, whose context GDK makes when the area is realised in a
// window. State calls go to the area's own framebuffer, never to the window's. GDK paces the
// window's frames by its frame clock, which follows the display, so the swap interval is only
// kept.
#include <epoxy/gl.h>

#include "platform/gl_view.h"
#include "platform/gtk/gtk_backend.h"

namespace vorlune {

using gtk::ViewState;
using gtk::ViewStateOf;
using gtk::WidgetOf;

namespace {

GtkGLArea* AreaOf(NativeView view) {
    ViewState* state = ViewStateOf(WidgetOf(view));
    return state != nullptr && state->kind == gtk::ViewKind::kGL ? GTK_GL_AREA(WidgetOf(view))
                                                                 : nullptr;
}

GtkGLArea* AreaOf(NativeGLContext context) {
    return reinterpret_cast<GtkGLArea*>(context);
}

// The context made current with the area's framebuffer bound; false once the area is gone.
bool Bind(NativeGLContext context) {
    GtkGLArea* area = AreaOf(context);
    if (area == nullptr || !gtk_widget_get_realized(GTK_WIDGET(area)) ||
        gtk_gl_area_get_context(area) == nullptr) {
        return false;
    }
    gtk_gl_area_make_current(area);
    gtk_gl_area_attach_buffers(area);
    return gtk_gl_area_get_error(area) == nullptr;
}

// A view of no area shows nothing; GTK would still give it one pixel.
gboolean OnGLDraw(GtkWidget* widget, cairo_t*, gpointer) {
    const ViewState* state = ViewStateOf(widget);
    return state != nullptr && (state->frame.width < 1 || state->frame.height < 1);
}

}  // namespace

NativeView CreateGLView(PlatformRect frame) {
    if (!gtk::IsRunning()) return nullptr;
    GtkWidget* area = gtk_gl_area_new();
    gtk_gl_area_set_has_depth_buffer(GTK_GL_AREA(area), TRUE);
    gtk::AttachView(area, frame, gtk::ViewKind::kGL);
    g_signal_connect(area, "draw", G_CALLBACK(OnGLDraw), nullptr);
    return gtk::ViewHandle(area);
}

bool IsGLView(NativeView view) {
    return AreaOf(view) != nullptr;
}

NativeGLContext GLViewContext(NativeView view) {
    GtkGLArea* area = AreaOf(view);
    if (area == nullptr || ViewWindow(view) == nullptr) return nullptr;
    if (!gtk_widget_get_realized(GTK_WIDGET(area))) gtk_widget_realize(GTK_WIDGET(area));
    if (!gtk_widget_get_realized(GTK_WIDGET(area)) || gtk_gl_area_get_error(area) != nullptr ||
        gtk_gl_area_get_context(area) == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<NativeGLContext>(area);
}

void SetGLSwapInterval(NativeGLContext context, int32_t interval) {
    if (ViewState* state = ViewStateOf(GTK_WIDGET(AreaOf(context)))) {
        state->swapInterval = interval;
    }
}

void MakeGLContextCurrent(NativeGLContext context) {
    Bind(context);
}

void EnableGLDepthTest(NativeGLContext context) {
    if (!Bind(context)) return;
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
}

void SetGLViewport(NativeGLContext context, int32_t width, int32_t height) {
    if (Bind(context)) glViewport(0, 0, width, height);
}

void ClearGLBuffers(NativeGLContext context) {
    if (!Bind(context)) return;
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    gtk_widget_queue_draw(GTK_WIDGET(AreaOf(context)));
}

void DeleteGLTexture(NativeGLContext context, uint32_t texture) {
    if (Bind(context)) glDeleteTextures(1, &texture);
}

double DisplayRefreshRate(NativeWindow window) {
    if (!gtk::IsRunning() || window == nullptr) return 0;
    GdkDisplay* display = gtk::Display();
    GdkWindow* gdkWindow = gtk_widget_get_window(WidgetOf(window));
    GdkMonitor* monitor = gdkWindow != nullptr
                              ? gdk_display_get_monitor_at_window(display, gdkWindow)
                              : gdk_display_get_primary_monitor(display);
    if (monitor == nullptr) monitor = gdk_display_get_monitor(display, 0);
    return monitor != nullptr ? gdk_monitor_get_refresh_rate(monitor) / 1000.0 : 0;
}

}  // namespace vorlune
