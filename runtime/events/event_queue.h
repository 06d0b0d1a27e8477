#pragma once
// The runtime's event queue: posting with merging and suspension, fetching, the wait for
// platform events with its hooks, removal, and callbacks bound to event keys.

#include <cstdint>

#include "platform/events.h"
#include "platform/handles.h"

namespace vorlune {

// Event types --------------------------------------------------------------------------------
constexpr int32_t kEventMenu = 1;
constexpr int32_t kEventCloseWindow = 2;
constexpr int32_t kEventGadget = 3;
constexpr int32_t kEventRepaint = 4;
constexpr int32_t kEventMoveWindow = 5;
constexpr int32_t kEventSizeWindow = 6;
constexpr int32_t kEventActivateWindow = 7;
constexpr int32_t kEventDeactivateWindow = 8;
constexpr int32_t kEventWindowDrop = 10;
constexpr int32_t kEventGadgetDrop = 11;
constexpr int32_t kEventMinimizeWindow = 12;
constexpr int32_t kEventMaximizeWindow = 13;
constexpr int32_t kEventRestoreWindow = 14;
constexpr int32_t kEventRightClick = 16;
constexpr int32_t kEventLeftClick = 17;
constexpr int32_t kEventLeftDoubleClick = 18;
constexpr int32_t kLargestMergedType = 65535;

// Items of the application menu, carried as the object of menu events.
constexpr int64_t kMenuItemPreferences = -2;
constexpr int64_t kMenuItemAbout = -3;
constexpr int64_t kMenuItemQuit = -4;

// Posting options ------------------------------------------------------------------------------
constexpr uint32_t kPostWhileSuspended = 1;
constexpr uint32_t kPostNoMerge = 2;  // also runs bound callbacks when fetched, not when posted
constexpr uint32_t kPostAlwaysWake = 4;

using PayloadFree = void (*)(void* payload);
using EventCallback = void (*)();

struct EventRecord {
    EventRecord* next;  // younger
    int32_t type;
    uint32_t flags;
    int64_t object;
    int64_t window;
    int64_t subtype;
    void* payload;
    PayloadFree payloadFree;
};

// Start hook -------------------------------------------------------------------------------------
void InitEventQueue();  // node pool and bound-event map; later calls change nothing

// Posting: the queue owns a payload from the post on --------------------------------------------
void PostEvent(int32_t type, int64_t object, int64_t window, int64_t subtype);
void PostEventWithPayload(int32_t type, int64_t object, int64_t window, int64_t subtype,
                          void* payload, PayloadFree payloadFree);
void PostEventEx(int32_t type, int64_t object, int64_t window, int64_t subtype, void* payload,
                 PayloadFree payloadFree, uint32_t flags);
void SuspendEvents();
void ResumeEvents();

// Fetching ---------------------------------------------------------------------------------------
int32_t FetchEvent();  // the oldest event becomes current; its type, 0 when the queue is empty
int32_t PeekEventType();
int32_t PeekEvent(int64_t* object, int64_t* window, int64_t* subtype);  // 0: outputs untouched
int64_t NextWindowEvent(int32_t timeoutMilliseconds);  // 0: nothing arrived in time; -1: a
                                                       // platform event left no runtime event
int64_t WaitForEvent();
int64_t PollWindowEvent();

// The current event ------------------------------------------------------------------------------
int32_t EventType();
int64_t EventMenuID();  // the object: menu item, gadget or window number
int64_t EventWindow();
int64_t EventSubtype();  // -1 after a fetch from an empty queue
void* EventPayload();    // owned by the queue until the next fetch

// Removal ----------------------------------------------------------------------------------------
void RemoveEvents(int32_t type, int64_t object, int64_t window,
                  int64_t subtype);  // -1 matches anything; payloads are freed
void RemoveWindowEvents(int64_t window);

// Hooks offered every platform event the wait takes; non-zero claims it -------------------------
using PlatformEventHook = int32_t (*)(const PlatformEvent& event);
using EventHook = int32_t (*)(const PlatformEvent& event, void* data);
void SetKeyboardHook(PlatformEventHook hook);  // its claim counts only while the keyboard is
                                               // polled
void SetMouseHook(PlatformEventHook hook);
void SetKeyboardPolled(int32_t polled);  // cleared by every wait that gets no platform event
int32_t KeyboardPolled();
int32_t AddEventHook(EventHook hook, void* data);  // 0 when out of memory
void RemoveEventHook(EventHook hook);              // the oldest entry with the function

// Bound callbacks --------------------------------------------------------------------------------
// Keyed by (type, window, object), -1 meaning any window or object; a subtype filter of -1
// takes every subtype. Callbacks run when a matching event is posted, or fetched when it was
// posted with kPostNoMerge.
int32_t BindEvent(int32_t type, EventCallback callback, int64_t window = -1, int64_t object = -1,
                  int64_t subtype = -1);  // 1, or 0 for a null callback or when out of memory
int32_t RemoveEventBinding(int32_t type, EventCallback callback, int64_t window = -1,
                           int64_t object = -1, int64_t subtype = -1);  // 1 when one was removed;
                                                                        // a null callback drops
                                                                        // the whole key, 0
void RemoveWindowEventBindings(int64_t window);

// Windows ----------------------------------------------------------------------------------------
int64_t WindowNumberOf(NativeWindow window);  // -1 when no runtime delegate answers

}  // namespace vorlune
