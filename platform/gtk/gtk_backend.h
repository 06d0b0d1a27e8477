#pragma once
// Inside the GTK backend: handles as widgets, the state kept on windows and views, and the
// translation of GDK events into platform events.

#include <gtk/gtk.h>

#include <cstdint>
#include <string>

#include "platform/control.h"
#include "platform/events.h"
#include "platform/image_view.h"
#include "platform/menu.h"
#include "platform/pixel_store.h"
#include "platform/text.h"
#include "platform/view.h"
#include "platform/window.h"

namespace vorlune::gtk {

// Handles are the widgets themselves.
inline GtkWidget* WidgetOf(NativeWindow window) {
    return reinterpret_cast<GtkWidget*>(window);
}
inline GtkWidget* WidgetOf(NativeView view) {
    return reinterpret_cast<GtkWidget*>(view);
}
inline NativeWindow WindowHandle(GtkWidget* widget) {
    return reinterpret_cast<NativeWindow>(widget);
}
inline NativeView ViewHandle(GtkWidget* widget) {
    return reinterpret_cast<NativeView>(widget);
}

struct WindowState {
    GtkWidget* window;
    WindowDelegate* delegate;
    uint32_t style;
    GtkWidget* box;  // the window's child: the menu bar, when there is one, above the content
    GtkWidget* content;
    GtkWidget* menuBar;  // null without one
    MenuBarDelegate* menuDelegate;
    double x, y;  // where the frame's top-left corner was asked to be, before the first map
    double contentWidth, contentHeight;
    PlatformRect frame;                 // as of the last configure handled, once mapped
    PlatformRect contentOrigin;         // the content's screen position at that configure (x, y)
    const PlatformRect* frameOverride;  // what WindowFrame answers during a notification
    bool mapped;                        // geometry is reported from the first map on
    bool closing;
    bool minimised;
    bool zoomed;
    bool zoomAskedByUs;           // windowShouldZoom already answered for the coming state change
    GdkWindowState initialState;  // minimise or maximise asked before the first map
    PlatformRect userFrame;       // the frame before zooming
    bool acceptsMouseMoved;
};

enum class ViewKind { kContainer, kImage, kGL };

struct ViewState {
    ViewDelegate* delegate;
    PlatformRect frame;
    ViewKind kind;
    bool acceptsDrops;
    bool dragEntered;  // the current drag has been announced to the delegate
    // Image views, which are the controls here
    NativeImage image;         // a held reference
    cairo_surface_t* surface;  // the image as cairo paints it; null until needed again
    ImageFrameStyle frameStyle;
    ControlTarget* target;
    bool disabled;
    TextFont font;
    int32_t intValue;
    std::u16string stringValue;
    int32_t swapInterval;  // OpenGL views
};

bool IsRunning();
GdkDisplay* Display();
WindowState* StateOf(GtkWidget* window);         // null for windows not made here
double MenuBarHeight(const WindowState& state);  // 0 without a bar
ViewState* ViewStateOf(GtkWidget* view);         // null for widgets not made here
GtkWidget* NewContainer(PlatformRect frame);
// Gives a fresh widget the state and signals of a view: drawing and mouse through its delegate,
// destruction; the view keeps a reference until it is destroyed.
ViewState* AttachView(GtkWidget* widget, PlatformRect frame, ViewKind kind);
void ReleaseViewResources(GtkWidget* view, ViewState* state);  // as the view is destroyed
void PointInContent(GtkWidget* view, double* x, double* y);    // from the view's coordinates

// Events
uint32_t FlagsOf(GdkModifierType state);
GdkModifierType ModifiersOf(uint32_t flags);  // Shift, Control, Alt and Super only
guint KeyvalOfCharacter(char16_t character);  // the key a menu shortcut names; 0 for none
int32_t KeyCharacters(guint keyval, char16_t* characters);  // into 3 units, terminated
// The platform event for a GDK event being handled by a widget: the one being sent when it
// is that, otherwise a fresh translation.
bool PlatformEventFor(GdkEvent* event, PlatformEvent* platformEvent);
void NotePointerMotion(double rootX, double rootY);  // for the mouse delta

// Dialogs
bool IsModalDialogRunning();
// Ends every running dialog as if nothing had been pressed: a message box answers its cancel
// button or 0, an input panel ends with 0. For requests (quit, a window's close) that the
// runtime has queued and that the user program can only act on once its dialog returns.
void EndModalDialogs();

}  // namespace vorlune::gtk
