// Drops onto GTK views: a view that accepts drops is a drag destination for images, file lists
// and text. Motion asks the delegate for the operation; a drop fetches the preferred kind the
// source offers (image, then files, then text) and hands it to the delegate.
#include <cstring>
#include <string>
#include <vector>

#include "platform/drag_drop.h"
#include "platform/gtk/gtk_backend.h"

namespace vorlune {

using gtk::ViewState;
using gtk::ViewStateOf;
using gtk::WidgetOf;

namespace {

constexpr guint kImageTarget = 1;
constexpr guint kFileNamesTarget = 2;
constexpr guint kStringTarget = 3;

// In order of preference: gtk_drag_dest_find_target takes the first the source offers.
GtkTargetList* DropTargets() {
    GtkTargetList* targets = gtk_target_list_new(nullptr, 0);
    gtk_target_list_add_image_targets(targets, kImageTarget, FALSE);
    gtk_target_list_add_uri_targets(targets, kFileNamesTarget);
    gtk_target_list_add_text_targets(targets, kStringTarget);
    return targets;
}

uint32_t KindOfTarget(guint info) {
    switch (info) {
        case kImageTarget:
            return kDragImage;
        case kFileNamesTarget:
            return kDragFileNames;
        case kStringTarget:
            return kDragString;
        default:
            return 0;
    }
}

uint32_t OfferedKinds(GdkDragContext* context) {
    GtkTargetList* targets = DropTargets();
    uint32_t kinds = 0;
    for (GList* item = gdk_drag_context_list_targets(context); item != nullptr; item = item->next) {
        guint info = 0;
        if (gtk_target_list_find(targets, GDK_POINTER_TO_ATOM(item->data), &info)) {
            kinds |= KindOfTarget(info);
        }
    }
    gtk_target_list_unref(targets);
    return kinds;
}

uint32_t OperationsOf(GdkDragAction actions) {
    uint32_t mask = 0;
    if ((actions & GDK_ACTION_COPY) != 0) mask |= kDragOperationCopy;
    if ((actions & GDK_ACTION_LINK) != 0) mask |= kDragOperationLink;
    if ((actions & (GDK_ACTION_DEFAULT | GDK_ACTION_PRIVATE)) != 0) mask |= kDragOperationGeneric;
    if ((actions & GDK_ACTION_MOVE) != 0) mask |= kDragOperationMove;
    return mask;
}

GdkDragAction ActionOf(uint32_t operation, GdkDragAction suggested) {
    switch (operation) {
        case kDragOperationCopy:
            return GDK_ACTION_COPY;
        case kDragOperationLink:
            return GDK_ACTION_LINK;
        case kDragOperationMove:
            return GDK_ACTION_MOVE;
        case kDragOperationNone:
            return static_cast<GdkDragAction>(0);
        default:
            return suggested;
    }
}

DragInfo InfoFor(GtkWidget* widget, GdkDragContext* context, gint x, gint y) {
    DragInfo info{};
    info.sourceOperationMask = OperationsOf(gdk_drag_context_get_actions(context));
    info.kinds = OfferedKinds(context);
    info.x = x;
    info.y = y;
    gtk::PointInContent(widget, &info.x, &info.y);
    return info;
}

std::u16string ToUtf16(const char* text) {
    std::u16string result;
    gunichar2* units = g_utf8_to_utf16(text, -1, nullptr, nullptr, nullptr);
    if (units != nullptr) result.assign(reinterpret_cast<const char16_t*>(units));
    g_free(units);
    return result;
}

NativeImage ImageOfPixbuf(GdkPixbuf* pixbuf) {
    const int width = gdk_pixbuf_get_width(pixbuf);
    const int height = gdk_pixbuf_get_height(pixbuf);
    const int channels = gdk_pixbuf_get_n_channels(pixbuf);
    if (gdk_pixbuf_get_bits_per_sample(pixbuf) != 8 || (channels != 3 && channels != 4)) {
        return nullptr;
    }
    NativeImage image = CreateNativeImage(width, height);
    if (image == nullptr) return nullptr;
    const guchar* source = gdk_pixbuf_read_pixels(pixbuf);
    const int stride = gdk_pixbuf_get_rowstride(pixbuf);
    for (int y = 0; y < height; ++y) {
        const guchar* from = source + static_cast<int64_t>(y) * stride;
        uint8_t* to = NativeImagePixels(image) + static_cast<int64_t>(y) * width * 4;
        for (int x = 0; x < width; ++x, from += channels, to += 4) {
            std::memcpy(to, from, 3);
            to[3] = channels == 4 ? from[3] : 255;
        }
    }
    return image;
}

gboolean OnDragMotion(GtkWidget* widget, GdkDragContext* context, gint x, gint y, guint time,
                      gpointer) {
    ViewState* state = ViewStateOf(widget);
    if (state == nullptr || state->delegate == nullptr) return FALSE;
    const DragInfo info = InfoFor(widget, context, x, y);
    const NativeView view = gtk::ViewHandle(widget);
    uint32_t operation = kDragOperationNone;
    if (!state->dragEntered) {
        state->dragEntered = true;
        operation = state->delegate->draggingEntered(view, info);
    } else {
        operation = state->delegate->draggingUpdated(view, info);
    }
    gdk_drag_status(context, ActionOf(operation, gdk_drag_context_get_suggested_action(context)),
                    time);
    return operation != kDragOperationNone;
}

void OnDragLeave(GtkWidget* widget, GdkDragContext*, guint, gpointer) {
    if (ViewState* state = ViewStateOf(widget)) state->dragEntered = false;
}

gboolean OnDragDrop(GtkWidget* widget, GdkDragContext* context, gint, gint, guint time, gpointer) {
    GdkAtom target = gtk_drag_dest_find_target(widget, context, nullptr);
    if (target == GDK_NONE) return FALSE;
    gtk_drag_get_data(widget, context, target, time);
    return TRUE;
}

void OnDragDataReceived(GtkWidget* widget, GdkDragContext* context, gint x, gint y,
                        GtkSelectionData* data, guint targetInfo, guint time, gpointer) {
    ViewState* state = ViewStateOf(widget);
    if (state == nullptr || state->delegate == nullptr) {
        gtk_drag_finish(context, FALSE, FALSE, time);
        return;
    }
    state->dragEntered = false;
    DragInfo info = InfoFor(widget, context, x, y);
    NativeImage image = nullptr;
    std::u16string text;
    std::vector<std::u16string> names;
    std::vector<const char16_t*> namePointers;
    switch (targetInfo) {
        case kImageTarget:
            if (GdkPixbuf* pixbuf = gtk_selection_data_get_pixbuf(data)) {
                image = ImageOfPixbuf(pixbuf);
                g_object_unref(pixbuf);
            }
            info.image = image;
            break;
        case kFileNamesTarget:
            if (gchar** uris = gtk_selection_data_get_uris(data)) {
                for (gchar** uri = uris; *uri != nullptr; ++uri) {
                    gchar* path = g_filename_from_uri(*uri, nullptr, nullptr);
                    names.push_back(ToUtf16(path != nullptr ? path : *uri));
                    g_free(path);
                }
                g_strfreev(uris);
                for (const std::u16string& name : names)
                    namePointers.push_back(name.c_str());
                info.fileNames = namePointers.data();
                info.fileNameCount = static_cast<int32_t>(namePointers.size());
            }
            break;
        case kStringTarget:
            if (guchar* utf8 = gtk_selection_data_get_text(data)) {
                text = ToUtf16(reinterpret_cast<const char*>(utf8));
                g_free(utf8);
                info.string = text.c_str();
            }
            break;
        default:
            break;
    }
    const NativeView view = gtk::ViewHandle(widget);
    bool performed = state->delegate->prepareForDragOperation(view, info) &&
                     state->delegate->performDragOperation(view, info);
    gtk_drag_finish(context, performed, FALSE, time);
    // The delegate may have gone while it performed the drop.
    state = ViewStateOf(widget);
    if (performed && state != nullptr && state->delegate != nullptr) {
        state->delegate->concludeDragOperation(view, info);
    }
    ReleaseNativeImage(image);
}

}  // namespace

void SetViewAcceptsDrops(NativeView view, bool accepts) {
    GtkWidget* widget = WidgetOf(view);
    ViewState* state = ViewStateOf(widget);
    if (state == nullptr || state->acceptsDrops == accepts) return;
    state->acceptsDrops = accepts;
    if (!accepts) {
        gtk_drag_dest_unset(widget);
        return;
    }
    gtk_drag_dest_set(
        widget, static_cast<GtkDestDefaults>(0), nullptr, 0,
        static_cast<GdkDragAction>(GDK_ACTION_COPY | GDK_ACTION_MOVE | GDK_ACTION_LINK));
    GtkTargetList* targets = DropTargets();
    gtk_drag_dest_set_target_list(widget, targets);
    gtk_target_list_unref(targets);
    if (g_object_get_data(G_OBJECT(widget), "vorlune-drop-signals") == nullptr) {
        g_object_set_data(G_OBJECT(widget), "vorlune-drop-signals", widget);
        g_signal_connect(widget, "drag-motion", G_CALLBACK(OnDragMotion), nullptr);
        g_signal_connect(widget, "drag-leave", G_CALLBACK(OnDragLeave), nullptr);
        g_signal_connect(widget, "drag-drop", G_CALLBACK(OnDragDrop), nullptr);
        g_signal_connect(widget, "drag-data-received", G_CALLBACK(OnDragDataReceived), nullptr);
    }
}

bool ViewAcceptsDrops(NativeView view) {
    ViewState* state = ViewStateOf(WidgetOf(view));
    return state != nullptr && state->acceptsDrops;
}

}  // namespace vorlune
