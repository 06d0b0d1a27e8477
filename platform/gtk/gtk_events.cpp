// The event pump. While NextPlatformEvent waits, a GDK event handler keeps input events (keys,
// buttons, scroll, motion the window asked for) and the wake-up for the runtime and ends the
// wait; every other GDK event goes to GTK at once inside the wait. Repaints, configures and
// focus changes therefore never make a wait return by themselves: the runtime events that
// their notifications post wake it through the ordinary wake-up rule.
#include <cmath>
#include <deque>
#include <mutex>

#include "platform/events.h"
#include "platform/gtk/gtk_backend.h"

// Last: X11 defines names (AnyKey, None...) that nothing above may see as macros.
#include <X11/XKBlib.h>
#include <gdk/gdkx.h>

namespace vorlune {

namespace gtk {

namespace {

constexpr int32_t kMaxDispatchesWhenLooking = 256;

// Wake-ups may come from workers in thread-safe builds; everything else is the main thread's.
class PendingEvents {
  public:
    bool Empty() {
        std::lock_guard<std::mutex> lock(mutex_);
        return events_.empty();
    }
    void PushBack(const PlatformEvent& event) {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.push_back(event);
    }
    void PushFront(const PlatformEvent& event) {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.push_front(event);
    }
    bool PopFront(PlatformEvent* event) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (events_.empty()) return false;
        *event = events_.front();
        events_.pop_front();
        return true;
    }

  private:
    std::mutex mutex_;
    std::deque<PlatformEvent> events_;
} pending;
bool waiting = false;
int waitDepth = 0;
const PlatformEvent* sending = nullptr;  // the event SendPlatformEvent hands to GTK

struct ClickTracker {
    guint button;
    guint32 time;
    double x, y;
    int32_t count;
} clicks{};

char16_t FunctionKeyCharacter(guint keyval) {
    switch (keyval) {
        case GDK_KEY_Up:
        case GDK_KEY_KP_Up:
            return kUpArrowCharacter;
        case GDK_KEY_Down:
        case GDK_KEY_KP_Down:
            return kDownArrowCharacter;
        case GDK_KEY_Left:
        case GDK_KEY_KP_Left:
            return kLeftArrowCharacter;
        case GDK_KEY_Right:
        case GDK_KEY_KP_Right:
            return kRightArrowCharacter;
        case GDK_KEY_Insert:
        case GDK_KEY_KP_Insert:
            return kInsertCharacter;
        case GDK_KEY_Delete:
        case GDK_KEY_KP_Delete:
            return kDeleteCharacter;
        case GDK_KEY_Home:
        case GDK_KEY_KP_Home:
            return kHomeCharacter;
        case GDK_KEY_End:
        case GDK_KEY_KP_End:
            return kEndCharacter;
        case GDK_KEY_Page_Up:
        case GDK_KEY_KP_Page_Up:
            return kPageUpCharacter;
        case GDK_KEY_Page_Down:
        case GDK_KEY_KP_Page_Down:
            return kPageDownCharacter;
        case GDK_KEY_BackSpace:
            return 0x7F;
        case GDK_KEY_Return:
        case GDK_KEY_KP_Enter:
            return 0x0D;
        case GDK_KEY_Tab:
        case GDK_KEY_KP_Tab:
        case GDK_KEY_ISO_Left_Tab:
            return 0x09;
        case GDK_KEY_Escape:
            return 0x1B;
        default:
            break;
    }
    if (keyval >= GDK_KEY_F1 && keyval <= GDK_KEY_F12) {
        return static_cast<char16_t>(kF1Character + (keyval - GDK_KEY_F1));
    }
    return 0;
}

// The modifier bit a modifier key itself stands for.
uint32_t ModifierKeyFlag(guint keyval) {
    switch (keyval) {
        case GDK_KEY_Shift_L:
        case GDK_KEY_Shift_R:
            return kShiftKeyFlag;
        case GDK_KEY_Control_L:
        case GDK_KEY_Control_R:
            return kControlKeyFlag;
        case GDK_KEY_Alt_L:
        case GDK_KEY_Alt_R:
        case GDK_KEY_Meta_L:
        case GDK_KEY_Meta_R:
            return kAlternateKeyFlag;
        case GDK_KEY_Super_L:
        case GDK_KEY_Super_R:
            return kCommandKeyFlag;
        default:
            return 0;
    }
}

// A letter of a script other than Latin (Cyrillic, Greek...), which no key code stands for.
bool IsNonLatinLetter(guint keyval) {
    const gunichar character = gdk_keyval_to_unicode(keyval);
    return character > 0x7F && g_unichar_isalpha(character) &&
           g_unichar_get_script(character) != G_UNICODE_SCRIPT_LATIN;
}

// The ASCII character at the same level of the same physical key in the lowest other layout
// group, as GTK matches accelerators on non-Latin layouts; 0 when there is none.
guint LatinKeyvalOfKey(GdkKeymap* keymap, const GdkEventKey& key, gint level) {
    GdkKeymapKey* keys = nullptr;
    guint* keyvals = nullptr;
    gint count = 0;
    if (!gdk_keymap_get_entries_for_keycode(keymap, key.hardware_keycode, &keys, &keyvals,
                                            &count)) {
        return 0;
    }
    guint found = 0;
    gint foundGroup = G_MAXINT;
    for (gint i = 0; i < count; ++i) {
        const gunichar character = gdk_keyval_to_unicode(keyvals[i]);
        if (keys[i].group != key.group && keys[i].level == level && keys[i].group < foundGroup &&
            character > 0 && character <= 0x7F) {
            found = keyvals[i];
            foundGroup = keys[i].group;
        }
    }
    g_free(keys);
    g_free(keyvals);
    return found;
}

// The key's value with Shift (and Num Lock) only, as macOS's characters ignoring modifiers,
// in the active layout; a non-Latin letter falls back to the key's Latin character.
guint KeyvalIgnoringModifiers(const GdkEventKey& key) {
    const auto state = static_cast<GdkModifierType>(key.state & (GDK_SHIFT_MASK | GDK_MOD2_MASK));
    GdkKeymap* keymap = gdk_keymap_get_for_display(Display());
    guint keyval = 0;
    gint level = 0;
    if (!gdk_keymap_translate_keyboard_state(keymap, key.hardware_keycode, state, key.group,
                                             &keyval, nullptr, &level, nullptr)) {
        return key.keyval;
    }
    if (IsNonLatinLetter(keyval)) {
        if (const guint latin = LatinKeyvalOfKey(keymap, key, level)) return latin;
    }
    return keyval;
}

NativeWindow ToplevelOf(GdkWindow* window) {
    if (window == nullptr) return nullptr;
    gpointer data = nullptr;
    gdk_window_get_user_data(gdk_window_get_toplevel(window), &data);
    if (data == nullptr || !GTK_IS_WIDGET(data)) return nullptr;
    GtkWidget* toplevel = gtk_widget_get_toplevel(GTK_WIDGET(data));
    return gtk_widget_is_toplevel(toplevel) ? WindowHandle(toplevel) : nullptr;
}

// Event coordinates into the toplevel, then into its content view.
void LocationInContent(GdkWindow* window, double x, double y, PlatformEvent* event) {
    GdkWindow* toplevel = gdk_window_get_toplevel(window);
    while (window != nullptr && window != toplevel) {
        gdk_window_coords_to_parent(window, x, y, &x, &y);
        window = gdk_window_get_parent(window);
    }
    const WindowState* state =
        event->window != nullptr ? StateOf(WidgetOf(event->window)) : nullptr;
    if (state != nullptr && state->content != nullptr) {
        GtkAllocation allocation;
        gtk_widget_get_allocation(state->content, &allocation);
        x -= allocation.x;
        y -= allocation.y;
    }
    event->x = x;
    event->y = y;
}

int32_t ButtonIndex(guint button) {
    if (button == 1) return 0;
    if (button == 3) return 1;
    return 2;
}

int32_t CountClick(const GdkEventButton& button) {
    GtkSettings* settings = gtk_settings_get_default();
    gint interval = 400;
    gint distance = 5;
    if (settings != nullptr) {
        g_object_get(settings, "gtk-double-click-time", &interval, "gtk-double-click-distance",
                     &distance, nullptr);
    }
    const bool repeated = clicks.count > 0 && clicks.button == button.button &&
                          button.time - clicks.time <= static_cast<guint32>(interval) &&
                          std::abs(button.x_root - clicks.x) <= distance &&
                          std::abs(button.y_root - clicks.y) <= distance;
    clicks = {button.button, button.time, button.x_root, button.y_root,
              repeated ? clicks.count + 1 : 1};
    return clicks.count;
}

bool TranslateKey(const GdkEventKey& key, PlatformEvent* event) {
    const bool down = key.type == GDK_KEY_PRESS;
    uint32_t flags = FlagsOf(static_cast<GdkModifierType>(key.state));
    if (key.is_modifier) {
        // A modifier alone changes the flags: they are reported as they are after the key.
        const uint32_t own = ModifierKeyFlag(key.keyval);
        event->type = kFlagsChanged;
        event->modifierFlags = down ? flags | own : flags & ~own;
        return true;
    }
    event->type = down ? kKeyDown : kKeyUp;
    event->modifierFlags = flags;
    event->characterCount = KeyCharacters(KeyvalIgnoringModifiers(key), event->characters);
    return true;
}

bool TranslateButton(const GdkEventButton& button, bool countClicks, PlatformEvent* event) {
    static const int32_t kDownTypes[] = {kLeftMouseDown, kRightMouseDown, kOtherMouseDown};
    static const int32_t kUpTypes[] = {kLeftMouseUp, kRightMouseUp, kOtherMouseUp};
    const int32_t index = ButtonIndex(button.button);
    const bool down = button.type == GDK_BUTTON_PRESS;
    event->type = down ? kDownTypes[index] : kUpTypes[index];
    event->button = index == 2 ? static_cast<int32_t>(button.button) - 1 : index;
    event->modifierFlags = FlagsOf(static_cast<GdkModifierType>(button.state));
    event->clickCount = down && countClicks ? CountClick(button) : clicks.count;
    LocationInContent(button.window, button.x, button.y, event);
    return true;
}

bool TranslateScroll(const GdkEventScroll& scroll, PlatformEvent* event) {
    event->type = kScrollWheel;
    event->modifierFlags = FlagsOf(static_cast<GdkModifierType>(scroll.state));
    switch (scroll.direction) {
        case GDK_SCROLL_UP:
            event->deltaY = 1;
            break;
        case GDK_SCROLL_DOWN:
            event->deltaY = -1;
            break;
        case GDK_SCROLL_LEFT:
            event->deltaX = 1;
            break;
        case GDK_SCROLL_RIGHT:
            event->deltaX = -1;
            break;
        case GDK_SCROLL_SMOOTH:
            event->deltaX = -scroll.delta_x;
            event->deltaY = -scroll.delta_y;
            break;
    }
    LocationInContent(scroll.window, scroll.x, scroll.y, event);
    return true;
}

bool TranslateMotion(const GdkEventMotion& motion, PlatformEvent* event) {
    static double lastRootX = 0;
    static double lastRootY = 0;
    const auto state = static_cast<GdkModifierType>(motion.state);
    if ((state & GDK_BUTTON1_MASK) != 0) {
        event->type = kLeftMouseDragged;
    } else if ((state & GDK_BUTTON3_MASK) != 0) {
        event->type = kRightMouseDragged;
    } else if ((state & (GDK_BUTTON2_MASK | GDK_BUTTON4_MASK | GDK_BUTTON5_MASK)) != 0) {
        event->type = kOtherMouseDragged;
    } else {
        event->type = kMouseMoved;
    }
    event->modifierFlags = FlagsOf(state);
    event->deltaX = motion.x_root - lastRootX;
    event->deltaY = motion.y_root - lastRootY;
    lastRootX = motion.x_root;
    lastRootY = motion.y_root;
    LocationInContent(motion.window, motion.x, motion.y, event);
    return true;
}

bool Translate(GdkEvent* gdkEvent, bool countClicks, PlatformEvent* event) {
    *event = PlatformEvent{};
    event->window = ToplevelOf(gdkEvent->any.window);
    switch (gdkEvent->type) {
        case GDK_KEY_PRESS:
        case GDK_KEY_RELEASE:
            return TranslateKey(gdkEvent->key, event);
        case GDK_BUTTON_PRESS:
        case GDK_BUTTON_RELEASE:
            return TranslateButton(gdkEvent->button, countClicks, event);
        case GDK_SCROLL:
            return TranslateScroll(gdkEvent->scroll, event);
        case GDK_MOTION_NOTIFY:
            return TranslateMotion(gdkEvent->motion, event);
        default:
            return false;
    }
}

// Motion ends the wait only while a button is held or the window asked for mouse-moved events.
bool EndsTheWait(GdkEvent* event) {
    switch (event->type) {
        case GDK_KEY_PRESS:
        case GDK_KEY_RELEASE:
        case GDK_BUTTON_PRESS:
        case GDK_BUTTON_RELEASE:
        case GDK_SCROLL:
            return true;
        case GDK_MOTION_NOTIFY: {
            const auto buttons = GDK_BUTTON1_MASK | GDK_BUTTON2_MASK | GDK_BUTTON3_MASK |
                                 GDK_BUTTON4_MASK | GDK_BUTTON5_MASK;
            if ((event->motion.state & buttons) != 0) return true;
            const NativeWindow window = ToplevelOf(event->any.window);
            const WindowState* state = window != nullptr ? StateOf(WidgetOf(window)) : nullptr;
            return state != nullptr && state->acceptsMouseMoved;
        }
        default:
            return false;  // double and triple presses follow a press already kept
    }
}

// Under a modal dialog's grab GTK drops the close request of any other window. One of ours
// still hears it (its delegate queues the close for the user program), and the dialogs end so
// that the program gets to act on it.
bool OfferCloseUnderDialog(GdkEvent* event) {
    if (event->type != GDK_DELETE || !IsModalDialogRunning()) return false;
    const NativeWindow window = ToplevelOf(event->any.window);
    if (window == nullptr || StateOf(WidgetOf(window)) == nullptr) return false;
    gtk_widget_event(WidgetOf(window), event);
    EndModalDialogs();
    return true;
}

// An open menu of a window's bar is the toolkit's alone, as menu tracking is elsewhere: its
// keys and clicks never reach the program (Escape closes the menu, the arrows move in it); the
// item chosen does, as a menu event.
bool IsTrackingMenu() {
    GtkWidget* grab = gtk_grab_get_current();
    return grab != nullptr && GTK_IS_MENU_SHELL(grab);
}

void HandleGdkEvent(GdkEvent* event, gpointer) {
    if (OfferCloseUnderDialog(event)) return;
    if (event->type == GDK_MOTION_NOTIFY)
        NotePointerMotion(event->motion.x_root, event->motion.y_root);
    // Only the wait itself keeps events; nested loops (modal dialogs) get them straight.
    if (waiting && g_main_depth() == waitDepth + 1 && EndsTheWait(event) && !IsTrackingMenu()) {
        PlatformEvent platformEvent;
        if (Translate(event, true, &platformEvent)) {
            platformEvent.backendEvent = gdk_event_copy(event);
            pending.PushBack(platformEvent);
            return;
        }
    }
    gtk_main_do_event(event);
}

gboolean EndTimedWait(gpointer timedOut) {
    *static_cast<bool*>(timedOut) = true;
    return G_SOURCE_REMOVE;
}

void Wait(int32_t timeoutMilliseconds) {
    waiting = true;
    waitDepth = g_main_depth();
    if (timeoutMilliseconds == 0) {
        for (int32_t i = 0; i < kMaxDispatchesWhenLooking && pending.Empty() &&
                            g_main_context_iteration(nullptr, FALSE);
             ++i) {
        }
    } else {
        bool timedOut = false;
        guint timer = 0;
        if (timeoutMilliseconds > 0) {
            timer = g_timeout_add(static_cast<guint>(timeoutMilliseconds), EndTimedWait, &timedOut);
        }
        while (pending.Empty() && !timedOut)
            g_main_context_iteration(nullptr, TRUE);
        if (timer != 0 && !timedOut) g_source_remove(timer);
    }
    waiting = false;
}

}  // namespace

void InstallEventHandler() {
    gdk_event_handler_set(HandleGdkEvent, nullptr, nullptr);
}

uint32_t FlagsOf(GdkModifierType state) {
    uint32_t flags = 0;
    if ((state & GDK_SHIFT_MASK) != 0) flags |= kShiftKeyFlag;
    if ((state & GDK_CONTROL_MASK) != 0) flags |= kControlKeyFlag;
    if ((state & GDK_MOD1_MASK) != 0) flags |= kAlternateKeyFlag;
    if ((state & (GDK_SUPER_MASK | GDK_MOD4_MASK)) != 0) flags |= kCommandKeyFlag;
    return flags;
}

GdkModifierType ModifiersOf(uint32_t flags) {
    int modifiers = 0;
    if ((flags & kShiftKeyFlag) != 0) modifiers |= GDK_SHIFT_MASK;
    if ((flags & kControlKeyFlag) != 0) modifiers |= GDK_CONTROL_MASK;
    if ((flags & kAlternateKeyFlag) != 0) modifiers |= GDK_MOD1_MASK;
    if ((flags & kCommandKeyFlag) != 0) modifiers |= GDK_SUPER_MASK;
    return static_cast<GdkModifierType>(modifiers);
}

// The reverse of the characters a key gives, so that the two cannot drift apart.
guint KeyvalOfCharacter(char16_t character) {
    static const guint kKeysWithoutCharacters[] = {
        GDK_KEY_Up,     GDK_KEY_Down, GDK_KEY_Left,      GDK_KEY_Right,   GDK_KEY_Insert,
        GDK_KEY_Delete, GDK_KEY_Home, GDK_KEY_End,       GDK_KEY_Page_Up, GDK_KEY_Page_Down,
        GDK_KEY_Return, GDK_KEY_Tab,  GDK_KEY_BackSpace, GDK_KEY_Escape};
    if (character == 0) return 0;
    for (guint keyval = GDK_KEY_F1; keyval <= GDK_KEY_F12; ++keyval) {
        if (FunctionKeyCharacter(keyval) == character) return keyval;
    }
    for (guint keyval : kKeysWithoutCharacters) {
        if (FunctionKeyCharacter(keyval) == character) return keyval;
    }
    if (character >= 0xD800 && character <= 0xDFFF) return 0;  // half a character
    return gdk_keyval_to_lower(gdk_unicode_to_keyval(character));
}

int32_t KeyCharacters(guint keyval, char16_t* characters) {
    characters[0] = characters[1] = characters[2] = 0;
    if (const char16_t function = FunctionKeyCharacter(keyval)) {
        characters[0] = function;
        return 1;
    }
    const gunichar unit = gdk_keyval_to_unicode(keyval);
    if (unit == 0 || unit > 0x10FFFF || (unit >= 0xD800 && unit <= 0xDFFF)) return 0;
    if (unit < 0x10000) {
        characters[0] = static_cast<char16_t>(unit);
        return 1;
    }
    characters[0] = static_cast<char16_t>(0xD800 + ((unit - 0x10000) >> 10));
    characters[1] = static_cast<char16_t>(0xDC00 + ((unit - 0x10000) & 0x3FF));
    return 2;
}

bool PlatformEventFor(GdkEvent* event, PlatformEvent* platformEvent) {
    if (sending != nullptr && sending->backendEvent == event) {
        *platformEvent = *sending;
        return true;
    }
    return Translate(event, false, platformEvent);
}

}  // namespace gtk

bool NextPlatformEvent(int32_t timeoutMilliseconds, PlatformEvent* event) {
    if (!gtk::IsRunning()) return false;
    if (gtk::pending.Empty()) gtk::Wait(timeoutMilliseconds);
    return gtk::pending.PopFront(event);
}

void ReleasePlatformEvent(PlatformEvent* event) {
    if (event->backendEvent != nullptr) gdk_event_free(static_cast<GdkEvent*>(event->backendEvent));
    event->backendEvent = nullptr;
}

// Our own pending list only, never GDK's queue: safe from any thread.
bool HasPendingPlatformEvent() {
    return !gtk::pending.Empty();
}

// Any thread may wake the wait (a worker's post in thread-safe builds): the pending list has its
// own lock and waking the main context is safe from any thread; nothing here touches GTK or GDK.
// A wake-up that comes before the wait blocks makes its next iteration return at once.
void PostWakeUpEvent() {
    if (!gtk::IsRunning()) return;
    PlatformEvent event{};
    event.type = kApplicationDefined;
    gtk::pending.PushFront(event);
    g_main_context_wakeup(nullptr);
}

void SendPlatformEvent(const PlatformEvent& event) {
    if (event.backendEvent == nullptr) return;
    const PlatformEvent* outer = gtk::sending;
    gtk::sending = &event;
    gtk_main_do_event(static_cast<GdkEvent*>(event.backendEvent));
    gtk::sending = outer;
}

// Asked of the X server: GDK's own copy of the state changes only once it has read the state
// notification that follows a key event, so it lags one event behind the keys.
uint32_t GlobalModifierFlags() {
    if (!gtk::IsRunning()) return 0;
    GdkDisplay* display = gtk::Display();
    XkbStateRec state;
    if (GDK_IS_X11_DISPLAY(display) &&
        XkbGetState(gdk_x11_display_get_xdisplay(display), XkbUseCoreKbd, &state) == Success) {
        // The core modifier bits are GDK's.
        return gtk::FlagsOf(static_cast<GdkModifierType>(state.mods));
    }
    GdkKeymap* keymap = gdk_keymap_get_for_display(display);
    return gtk::FlagsOf(static_cast<GdkModifierType>(gdk_keymap_get_modifier_state(keymap)));
}

}  // namespace vorlune
