// GTK dialogs: the message box is a GtkMessageDialog run modally; the input panel is a modal
// window with a GtkFixed that puts each control at the frame it was given. Both run in nested
// main loops outside the runtime's wait, so their events go straight to GTK.
#include <string>
#include <vector>

#include "platform/dialogs.h"
#include "platform/gtk/gtk_backend.h"

namespace vorlune {

using gtk::WidgetOf;

struct InputPanelObject {
    GtkWidget* window;
    GtkWidget* entry;
    InputPanelDelegate* delegate;
    std::u16string text;
};

namespace {

// The controls of the panel keep the heights they are given: no theme minimum and no vertical
// padding beyond what a line of text needs.
constexpr const char* kCompactControls =
    "entry { min-height: 0; padding-top: 0; padding-bottom: 0; }"
    "button { min-height: 0; padding-top: 0; padding-bottom: 0; }";

struct ModalRun {
    GMainLoop* loop;
    int64_t code;
    bool ended;
};
std::vector<ModalRun*> modalRuns;      // innermost last
std::vector<GtkWidget*> runningBoxes;  // message boxes in gtk_dialog_run, innermost last

// The response EndModalDialogs gives a message box; GTK's own are -1 to -11.
constexpr gint kEndedResponse = -100;

void AppendUTF8(uint32_t codePoint, std::string* out) {
    if (codePoint < 0x80) {
        out->push_back(static_cast<char>(codePoint));
    } else if (codePoint < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
        out->push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else if (codePoint < 0x10000) {
        out->push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
        out->push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xF0 | (codePoint >> 18)));
        out->push_back(static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    }
}

// Text for GTK, which takes only valid UTF-8: a lone surrogate shows as U+FFFD. With
// breakAtReturns, a carriage return (or CR LF) becomes a line feed.
std::string ToUTF8(const char16_t* text, bool breakAtReturns = false) {
    std::string out;
    if (text == nullptr) return out;
    for (const char16_t* unit = text; *unit != 0; ++unit) {
        uint32_t codePoint = *unit;
        if (codePoint >= 0xD800 && codePoint <= 0xDBFF && unit[1] >= 0xDC00 && unit[1] <= 0xDFFF) {
            codePoint = 0x10000 + ((codePoint - 0xD800) << 10) + (unit[1] - 0xDC00);
            ++unit;
        } else if (codePoint >= 0xD800 && codePoint <= 0xDFFF) {
            codePoint = 0xFFFD;
        } else if (breakAtReturns && codePoint == u'\r') {
            codePoint = u'\n';
            if (unit[1] == u'\n') ++unit;
        }
        AppendUTF8(codePoint, &out);
    }
    return out;
}

// What the window manager offers in the title bar: moving, and closing where it answers.
void OnRealizeLimitFunctions(GtkWidget* widget, gpointer closable) {
    const auto functions = static_cast<GdkWMFunction>(
        GDK_FUNC_MOVE | (GPOINTER_TO_INT(closable) != 0 ? GDK_FUNC_CLOSE : 0));
    gdk_window_set_functions(gtk_widget_get_window(widget), functions);
}

void LimitWindowFunctions(GtkWidget* window, bool closable) {
    g_signal_connect(window, "realize", G_CALLBACK(OnRealizeLimitFunctions),
                     GINT_TO_POINTER(closable ? 1 : 0));
}

// Without a parent, a dialog stays above the program's window when it has just one shown: the
// window manager then hands the keyboard back to it when the dialog closes, also when the
// window was not yet key as the dialog opened (a help box shown right at start).
GtkWindow* ParentOf(NativeWindow parent) {
    if (parent != nullptr) return GTK_WINDOW(WidgetOf(parent));
    GList* toplevels = gtk_window_list_toplevels();
    GtkWidget* shown = nullptr;
    int32_t count = 0;
    for (GList* item = toplevels; item != nullptr; item = item->next) {
        GtkWidget* window = GTK_WIDGET(item->data);
        if (gtk::StateOf(window) != nullptr && gtk_widget_get_visible(window)) {
            shown = window;
            ++count;
        }
    }
    g_list_free(toplevels);
    return count == 1 ? GTK_WINDOW(shown) : nullptr;
}

int Whole(double value) {
    return static_cast<int>(value);
}

// Message box ------------------------------------------------------------------------------------

struct IconKind {
    GtkMessageType type;
    const char* iconName;  // null: no icon
};

IconKind IconKindOf(DialogIcon icon) {
    switch (icon) {
        case DialogIcon::kNote:
            return {GTK_MESSAGE_INFO, "dialog-information"};
        case DialogIcon::kStop:
            return {GTK_MESSAGE_ERROR, "dialog-error"};
        case DialogIcon::kCaution:
            return {GTK_MESSAGE_WARNING, "dialog-warning"};
        case DialogIcon::kNone:
            break;
    }
    return {GTK_MESSAGE_OTHER, nullptr};
}

// GTK 3 message dialogs show no icon of their own any more; the image API that puts one
// beside the texts is deprecated but the only one that does.
void ShowIcon(GtkWidget* dialog, const char* iconName) {
    if (iconName == nullptr) return;
    GtkWidget* image = gtk_image_new_from_icon_name(iconName, GTK_ICON_SIZE_DIALOG);
    gtk_widget_show(image);
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    gtk_message_dialog_set_image(GTK_MESSAGE_DIALOG(dialog), image);
    G_GNUC_END_IGNORE_DEPRECATIONS
}

// GTK centres the texts of a message dialog; lines of a text that belong together read better
// from one left edge.
void AlignTextsLeft(GtkWidget* dialog) {
    GtkWidget* area = gtk_message_dialog_get_message_area(GTK_MESSAGE_DIALOG(dialog));
    GList* labels = gtk_container_get_children(GTK_CONTAINER(area));
    for (GList* item = labels; item != nullptr; item = item->next) {
        if (!GTK_IS_LABEL(item->data)) continue;
        gtk_widget_set_halign(GTK_WIDGET(item->data), GTK_ALIGN_START);
        gtk_label_set_xalign(GTK_LABEL(item->data), 0);
    }
    g_list_free(labels);
}

GtkWidget* NewMessageDialog(const MessageBoxContent& content) {
    const std::string headline = ToUTF8(content.headline, true);
    const IconKind icon = IconKindOf(content.icon);
    GtkWindow* parent = ParentOf(content.parent);
    GtkWidget* dialog = gtk_message_dialog_new(
        parent, GTK_DIALOG_MODAL, icon.type,
        content.buttonCount == 0 ? GTK_BUTTONS_OK : GTK_BUTTONS_NONE, "%s", headline.c_str());
    ShowIcon(dialog, icon.iconName);
    const std::string text = ToUTF8(content.text);
    if (!text.empty()) {
        gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(dialog), "%s", text.c_str());
    }
    AlignTextsLeft(dialog);
    // The buttons read from the right in the order given, the first (the default) at the right
    // end where GTK puts the affirmative one; so they are added from the last, each answering
    // its index.
    for (int32_t i = content.buttonCount - 1; i >= 0; --i) {
        GtkWidget* button = gtk_button_new_with_label(ToUTF8(content.buttons[i].title).c_str());
        gtk_widget_set_can_default(button, TRUE);
        gtk_widget_show(button);
        gtk_dialog_add_action_widget(GTK_DIALOG(dialog), button, i);
    }
    gtk_dialog_set_default_response(GTK_DIALOG(dialog),
                                    content.buttonCount == 0 ? GTK_RESPONSE_OK : 0);
    LimitWindowFunctions(dialog, content.buttonCount == 0 || content.cancelButton >= 0);
    gtk_window_set_position(GTK_WINDOW(dialog),
                            parent != nullptr ? GTK_WIN_POS_CENTER_ON_PARENT : GTK_WIN_POS_CENTER);
    return dialog;
}

// Escape and the close box answer GTK_RESPONSE_DELETE_EVENT; false keeps the box up.
bool PressedTag(const MessageBoxContent& content, gint response, int64_t* tag) {
    if (content.buttonCount == 0) {
        *tag = 0;
        return true;
    }
    if (response == kEndedResponse) {
        const bool cancel = content.cancelButton >= 0 && content.cancelButton < content.buttonCount;
        *tag = cancel ? content.buttons[content.cancelButton].tag : 0;
        return true;
    }
    if (response >= 0 && response < content.buttonCount) {
        *tag = content.buttons[response].tag;
        return true;
    }
    if (content.cancelButton >= 0 && content.cancelButton < content.buttonCount) {
        *tag = content.buttons[content.cancelButton].tag;
        return true;
    }
    *tag = 0;
    return response != GTK_RESPONSE_DELETE_EVENT;  // destroyed under us: nothing was pressed
}

// Input panel ----------------------------------------------------------------------------------

void Put(GtkWidget* fixed, GtkWidget* widget, const PlatformRect& frame) {
    gtk_widget_set_size_request(widget, Whole(frame.width), Whole(frame.height));
    gtk_fixed_put(GTK_FIXED(fixed), widget, Whole(frame.x), Whole(frame.y));
}

void MakeCompact(GtkWidget* widget) {
    static GtkCssProvider* provider = [] {
        GtkCssProvider* css = gtk_css_provider_new();
        gtk_css_provider_load_from_data(css, kCompactControls, -1, nullptr);
        return css;
    }();
    gtk_style_context_add_provider(gtk_widget_get_style_context(widget),
                                   GTK_STYLE_PROVIDER(provider),
                                   GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
}

void AskToClose(InputPanelObject* panel) {
    if (panel->delegate != nullptr && panel->delegate->windowShouldClose()) {
        gtk_widget_hide(panel->window);
        StopModal(0);
    }
}

gboolean OnPanelDelete(GtkWidget*, GdkEvent*, gpointer data) {
    AskToClose(static_cast<InputPanelObject*>(data));
    return TRUE;  // the requester closes the panel after the run
}

gboolean OnPanelKey(GtkWidget*, GdkEventKey* key, gpointer data) {
    if (key->keyval != GDK_KEY_Escape) return FALSE;
    AskToClose(static_cast<InputPanelObject*>(data));
    return TRUE;
}

void OnOKClicked(GtkButton*, gpointer data) {
    auto* panel = static_cast<InputPanelObject*>(data);
    if (panel->delegate != nullptr) panel->delegate->OKEvent();
}

GtkWidget* NewLabel(const char16_t* text) {
    GtkWidget* label = gtk_label_new(ToUTF8(text).c_str());
    gtk_label_set_xalign(GTK_LABEL(label), 0);
    gtk_label_set_yalign(GTK_LABEL(label), 0);
    return label;
}

}  // namespace

bool RunMessageBox(const MessageBoxContent& content, int64_t* pressedTag) {
    if (!gtk::IsRunning()) return false;
    GtkWidget* dialog = NewMessageDialog(content);
    g_object_ref(dialog);
    int64_t tag = 0;
    runningBoxes.push_back(dialog);
    while (!PressedTag(content, gtk_dialog_run(GTK_DIALOG(dialog)), &tag)) {
    }
    runningBoxes.pop_back();
    gtk_widget_destroy(dialog);
    g_object_unref(dialog);
    *pressedTag = tag;
    return true;
}

bool FitLabel(const char16_t* text, double* width, double* height) {
    if (!gtk::IsRunning()) return false;
    GtkWidget* label = NewLabel(text);
    g_object_ref_sink(label);
    GtkRequisition natural{};
    gtk_widget_get_preferred_size(label, nullptr, &natural);
    gtk_widget_destroy(label);
    g_object_unref(label);
    *width = natural.width;
    *height = natural.height;
    return true;
}

InputPanel CreateInputPanel(const InputPanelContent& content, InputPanelDelegate* delegate) {
    if (!gtk::IsRunning()) return nullptr;
    auto* panel = new InputPanelObject{};
    panel->delegate = delegate;
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    panel->window = window;
    GtkWindow* gtkWindow = GTK_WINDOW(window);
    gtk_window_set_title(gtkWindow, ToUTF8(content.title).c_str());
    gtk_window_set_type_hint(gtkWindow, GDK_WINDOW_TYPE_HINT_DIALOG);
    gtk_window_set_resizable(gtkWindow, FALSE);
    gtk_window_set_deletable(gtkWindow, TRUE);
    gtk_window_set_modal(gtkWindow, TRUE);
    gtk_window_set_transient_for(gtkWindow, ParentOf(content.parent));
    gtk_window_set_position(gtkWindow, GTK_WIN_POS_CENTER);
    LimitWindowFunctions(window, true);

    GtkWidget* fixed = gtk_fixed_new();
    gtk_widget_set_size_request(fixed, Whole(content.content.width), Whole(content.content.height));
    gtk_container_add(GTK_CONTAINER(window), fixed);
    Put(fixed, NewLabel(content.message), content.label);

    panel->entry = gtk_entry_new();
    gtk_entry_set_text(GTK_ENTRY(panel->entry), ToUTF8(content.text).c_str());
    gtk_entry_set_visibility(GTK_ENTRY(panel->entry), !content.password);
    gtk_entry_set_activates_default(GTK_ENTRY(panel->entry), TRUE);
    MakeCompact(panel->entry);
    Put(fixed, panel->entry, content.field);

    GtkWidget* button = gtk_button_new_with_label("OK");
    gtk_widget_set_can_default(button, TRUE);
    MakeCompact(button);
    Put(fixed, button, content.button);
    gtk_widget_show_all(fixed);
    gtk_widget_grab_default(button);
    gtk_window_set_focus(gtkWindow, panel->entry);

    g_signal_connect(button, "clicked", G_CALLBACK(OnOKClicked), panel);
    g_signal_connect(window, "delete-event", G_CALLBACK(OnPanelDelete), panel);
    g_signal_connect(window, "key-press-event", G_CALLBACK(OnPanelKey), panel);
    return panel;
}

int64_t RunModalPanel(InputPanel panel) {
    if (panel == nullptr) return 0;
    ModalRun run{g_main_loop_new(nullptr, FALSE), 0, false};
    modalRuns.push_back(&run);
    gtk_window_present(GTK_WINDOW(panel->window));
    gtk_editable_select_region(GTK_EDITABLE(panel->entry), 0, -1);
    if (!run.ended) g_main_loop_run(run.loop);
    modalRuns.pop_back();
    g_main_loop_unref(run.loop);
    return run.code;
}

void StopModal(int64_t code) {
    if (modalRuns.empty()) return;
    ModalRun* run = modalRuns.back();
    run->code = code;
    run->ended = true;
    g_main_loop_quit(run->loop);
}

namespace gtk {

bool IsModalDialogRunning() {
    return !runningBoxes.empty() || !modalRuns.empty();
}

void EndModalDialogs() {
    for (GtkWidget* box : runningBoxes)
        gtk_dialog_response(GTK_DIALOG(box), kEndedResponse);
    for (ModalRun* run : modalRuns) {
        run->code = 0;
        run->ended = true;
        g_main_loop_quit(run->loop);
    }
}

}  // namespace gtk

const char16_t* InputPanelText(InputPanel panel) {
    if (panel == nullptr) return u"";
    gunichar2* text =
        g_utf8_to_utf16(gtk_entry_get_text(GTK_ENTRY(panel->entry)), -1, nullptr, nullptr, nullptr);
    panel->text = text != nullptr ? reinterpret_cast<const char16_t*>(text) : u"";
    g_free(text);
    return panel->text.c_str();
}

void CloseInputPanel(InputPanel panel) {
    if (panel == nullptr) return;
    gtk_widget_destroy(panel->window);
    delete panel;
}

}  // namespace vorlune
