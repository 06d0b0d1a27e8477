#include "runtime/events/event_queue.h"

#include <pthread.h>

#include "platform/window.h"
#include "runtime/core/memory.h"
#include "runtime/events/application.h"
#include "runtime/events/event_bindings.h"
#include "runtime/events/menus.h"
#include "runtime/events/windows.h"

namespace vorlune {

namespace {

constexpr int32_t kNodesPerBlockMin = 32;
constexpr int32_t kNodesPerBlockMax = 1024;

struct CurrentEvent {
    int32_t type;
    int64_t object;
    int64_t window;
    int64_t subtype;
    void* payload;
    PayloadFree payloadFree;
};

struct HookEntry {
    HookEntry* next;
    EventHook hook;  // null: removed while the hooks were being offered an event
    void* data;
};

Pool* nodePool = nullptr;
EventRecord* head = nullptr;
EventRecord* tail = nullptr;
CurrentEvent current{};
int32_t suspendCount = 0;
PlatformEventHook keyboardHook = nullptr;
PlatformEventHook mouseHook = nullptr;
int32_t keyboardPolled = 0;
HookEntry* hooks = nullptr;
int32_t hookWalks = 0;    // offers in progress; removal then only marks the entry
uint64_t fetchCount = 0;  // tells a post whether its callbacks fetched

// What the accessors show while bound callbacks run for a post: the posted event, without its
// payload's ownership, which stays with the queued node until a fetch takes it. Per thread, so
// that a worker's post never touches the event the main thread fetched.
#if VORLUNE_THREAD_SAFE
thread_local const CurrentEvent* postedEvent = nullptr;
#else
const CurrentEvent* postedEvent = nullptr;
#endif

#if VORLUNE_THREAD_SAFE
pthread_mutex_t queueMutex;
pthread_once_t queueMutexOnce = PTHREAD_ONCE_INIT;

void InitQueueMutex() {
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&queueMutex, &attributes);
    pthread_mutexattr_destroy(&attributes);
}
#endif

const CurrentEvent& ShownEvent() {
    return postedEvent != nullptr ? *postedEvent : current;
}

void FreePayload(void* payload, PayloadFree payloadFree) {
    if (payload != nullptr && payloadFree != nullptr) payloadFree(payload);
}

bool IsMergedWithYoungest(int32_t type, int64_t object, int64_t window, int64_t subtype) {
    return tail != nullptr && tail->type == type && tail->object == object &&
           tail->window == window && tail->subtype == subtype;
}

bool ShouldWake(int32_t type, uint32_t flags) {
    if (type == kEventMenu) return true;
    if (type == kEventRepaint) return false;
    return (flags & kPostAlwaysWake) != 0 || !HasPendingPlatformEvent();
}

// False when no node could be had: the event is lost, and its payload is the caller's to free.
bool AppendNode(int32_t type, int64_t object, int64_t window, int64_t subtype, void* payload,
                PayloadFree payloadFree, uint32_t flags) {
    auto* node = nodePool != nullptr ? static_cast<EventRecord*>(PoolAlloc(nodePool)) : nullptr;
    if (node == nullptr) return false;
    *node = EventRecord{nullptr, type, flags, object, window, subtype, payload, payloadFree};
    if (tail != nullptr) {
        tail->next = node;
    } else {
        head = node;
    }
    tail = node;
    return true;
}

void RunCallbacksAsPosted(int32_t type, int64_t object, int64_t window, int64_t subtype,
                          void* payload) {
    const CurrentEvent posted{type, object, window, subtype, payload, nullptr};
    const CurrentEvent* const outer = postedEvent;
    const uint64_t fetchesBefore = fetchCount;
    postedEvent = &posted;
    RunBoundCallbacks(type, object, window, subtype);
    // A callback that fetched made the fetched event current, for the rest of the post as well.
    postedEvent = fetchCount == fetchesBefore ? outer : nullptr;
}

// One pass over the queue, unlinking every node the predicate picks.
template <typename Predicate>
void RemoveMatching(Predicate matches) {
    EventRecord* kept = nullptr;
    EventRecord* node = head;
    while (node != nullptr) {
        EventRecord* next = node->next;
        if (matches(*node)) {
            if (kept != nullptr) {
                kept->next = next;
            } else {
                head = next;
            }
            FreePayload(node->payload, node->payloadFree);
            PoolFree(nodePool, node);
        } else {
            kept = node;
        }
        node = next;
    }
    tail = kept;
}

bool MatchesOrAny(int64_t value, int64_t wanted) {
    return wanted == -1 || value == wanted;
}

void PurgeRemovedHooks() {
    for (HookEntry** link = &hooks; *link != nullptr;) {
        HookEntry* entry = *link;
        if (entry->hook == nullptr) {
            *link = entry->next;
            FreeBlock(entry);
        } else {
            link = &entry->next;
        }
    }
}

// Every hook sees the event whatever the earlier ones answered.
bool OfferToHooks(const PlatformEvent& event) {
    bool claimed = false;
    if (keyboardHook != nullptr && keyboardHook(event) != 0 && keyboardPolled != 0) claimed = true;
    if (mouseHook != nullptr && mouseHook(event) != 0) claimed = true;
    ++hookWalks;
    for (HookEntry* entry = hooks; entry != nullptr; entry = entry->next) {
        if (entry->hook != nullptr && entry->hook(event, entry->data) != 0) claimed = true;
    }
    if (--hookWalks == 0) PurgeRemovedHooks();
    return claimed;
}

// A key press that one of its window's shortcuts claims becomes that item's menu event.
bool PostWindowShortcut(const PlatformEvent& event) {
    if (event.type != kKeyDown) return false;
    const int64_t window = WindowNumberOf(event.window);
    int64_t item = 0;
    if (window == -1 || !MatchWindowShortcut(window, event, &item)) return false;
    PostEvent(kEventMenu, item, window, 0);
    return true;
}

}  // namespace

#if VORLUNE_THREAD_SAFE
void LockEventQueue() {
    pthread_once(&queueMutexOnce, InitQueueMutex);
    pthread_mutex_lock(&queueMutex);
}
void UnlockEventQueue() {
    pthread_mutex_unlock(&queueMutex);
}
#endif

void InitEventQueue() {
#if VORLUNE_THREAD_SAFE
    pthread_once(&queueMutexOnce, InitQueueMutex);
#endif
    if (nodePool == nullptr) {
        nodePool =
            CreatePool(sizeof(EventRecord), kNodesPerBlockMin, kNodesPerBlockMax, kPoolPrivate);
    }
    InitEventBindings();
}

void PostEvent(int32_t type, int64_t object, int64_t window, int64_t subtype) {
    PostEventEx(type, object, window, subtype, nullptr, nullptr, 0);
}

void PostEventWithPayload(int32_t type, int64_t object, int64_t window, int64_t subtype,
                          void* payload, PayloadFree payloadFree) {
    PostEventEx(type, object, window, subtype, payload, payloadFree, 0);
}

void PostEventEx(int32_t type, int64_t object, int64_t window, int64_t subtype, void* payload,
                 PayloadFree payloadFree, uint32_t flags) {
    const QueueLock lock;
    if ((flags & kPostWhileSuspended) == 0 && suspendCount > 0) {
        FreePayload(payload, payloadFree);
        return;
    }
    if (ShouldWake(type, flags)) PostWakeUpEvent();
    const bool merges = (flags & kPostNoMerge) == 0 && type <= kLargestMergedType &&
                        IsMergedWithYoungest(type, object, window, subtype);
    void* const twinPayload = merges ? tail->payload : nullptr;
    const bool stored =
        !merges && AppendNode(type, object, window, subtype, payload, payloadFree, flags);
    if ((flags & kPostNoMerge) == 0) RunCallbacksAsPosted(type, object, window, subtype, payload);
    // A payload without a node of its own goes once its callbacks have seen it; a merged post
    // of the very payload its queued twin holds leaves it to the twin.
    if (!stored && payload != twinPayload) FreePayload(payload, payloadFree);
}

void SuspendEvents() {
    const QueueLock lock;
    ++suspendCount;
}
void ResumeEvents() {
    const QueueLock lock;
    --suspendCount;
}

int32_t FetchEvent() {
    const QueueLock lock;
    ++fetchCount;
    postedEvent = nullptr;
    current.type = 0;
    if (current.payload != nullptr && current.payloadFree != nullptr) {
        current.payloadFree(current.payload);
        current.payload = nullptr;
        current.payloadFree = nullptr;
    }
    current.subtype = -1;
    EventRecord* node = head;
    if (node == nullptr) return 0;
    current = CurrentEvent{node->type,    node->object,  node->window,
                           node->subtype, node->payload, node->payloadFree};
    head = node->next;
    if (head == nullptr) tail = nullptr;
    const bool deferredCallbacks = (node->flags & kPostNoMerge) != 0;
    PoolFree(nodePool, node);
    if (deferredCallbacks) {
        RunBoundCallbacks(current.type, current.object, current.window, current.subtype);
    }
    return current.type;
}

int32_t PeekEventType() {
    const QueueLock lock;
    return head != nullptr ? head->type : 0;
}

int32_t PeekEvent(int64_t* object, int64_t* window, int64_t* subtype) {
    const QueueLock lock;
    if (head == nullptr) return 0;
    if (object != nullptr) *object = head->object;
    if (window != nullptr) *window = head->window;
    if (subtype != nullptr) *subtype = head->subtype;
    return head->type;
}

int64_t NextWindowEvent(int32_t timeoutMilliseconds) {
    UpdateWindowMenuBars();  // what the user may choose in the platform's menus is current
    const int32_t queued = FetchEvent();
    if (queued != 0) return queued;
    PlatformEvent event{};
    if (!NextPlatformEvent(timeoutMilliseconds, &event)) {
        keyboardPolled = 0;
        return 0;
    }
    if (!OfferToHooks(event) && !PostWindowShortcut(event)) {
        // The toolkit redraws by itself: nothing is left for an update of the windows.
        SendEventToApplication(event);
    }
    ReleasePlatformEvent(&event);
    const int32_t type = FetchEvent();
    return type != 0 ? type : -1;
}

int64_t WaitForEvent() {
    return NextWindowEvent(-1);
}
int64_t PollWindowEvent() {
    return NextWindowEvent(0);
}

int32_t EventType() {
    return ShownEvent().type;
}
int64_t EventMenuID() {
    return ShownEvent().object;
}
int64_t EventWindow() {
    return ShownEvent().window;
}
int64_t EventSubtype() {
    return ShownEvent().subtype;
}
void* EventPayload() {
    return ShownEvent().payload;
}

void RemoveEvents(int32_t type, int64_t object, int64_t window, int64_t subtype) {
    const QueueLock lock;
    RemoveMatching([&](const EventRecord& node) {
        return MatchesOrAny(node.type, type) && MatchesOrAny(node.object, object) &&
               MatchesOrAny(node.window, window) && MatchesOrAny(node.subtype, subtype);
    });
}

void RemoveWindowEvents(int64_t window) {
    const QueueLock lock;
    RemoveMatching([&](const EventRecord& node) { return node.window == window; });
}

void SetKeyboardHook(PlatformEventHook hook) {
    keyboardHook = hook;
}
void SetMouseHook(PlatformEventHook hook) {
    mouseHook = hook;
}
void SetKeyboardPolled(int32_t polled) {
    keyboardPolled = polled;
}
int32_t KeyboardPolled() {
    return keyboardPolled;
}

int32_t AddEventHook(EventHook hook, void* data) {
    if (hook == nullptr) return 0;
    auto* entry = static_cast<HookEntry*>(AllocBlock(sizeof(HookEntry)));
    if (entry == nullptr) return 0;
    entry->hook = hook;
    entry->data = data;
    HookEntry** link = &hooks;
    while (*link != nullptr)
        link = &(*link)->next;
    *link = entry;
    return 1;
}

void RemoveEventHook(EventHook hook) {
    if (hook == nullptr) return;
    for (HookEntry* entry = hooks; entry != nullptr; entry = entry->next) {
        if (entry->hook == hook) {
            entry->hook = nullptr;
            if (hookWalks == 0) PurgeRemovedHooks();
            return;
        }
    }
}

int64_t WindowNumberOf(NativeWindow window) {
    WindowDelegate* delegate = window != nullptr ? GetWindowDelegate(window) : nullptr;
    return delegate != nullptr ? delegate->windowID() : -1;
}

}  // namespace vorlune
