#include "runtime/events/event_bindings.h"

#include "runtime/core/map.h"
#include "runtime/core/memory.h"
#include "runtime/events/event_queue.h"

namespace vorlune {

namespace {

constexpr int32_t kBindingElementType = 7;
constexpr int32_t kBindingBuckets = 1024;
constexpr int32_t kKeyUnits = 64;  // "%d:%lld:%lld" takes at most 53

struct CallbackEntry {
    CallbackEntry* next;
    EventCallback callback;  // null once removed while callbacks were running
    int64_t subtypeFilter;   // -1: every subtype
    CallbackEntry* retiredNext;
};

// The map's element.
struct BindingList {
    CallbackEntry* head;
    int64_t window;  // the window the bindings belong to
};
static_assert(sizeof(BindingList) == 16);

struct BindingKey {
    char16_t text[kKeyUnits];
};

HashMap* boundEvents = nullptr;

// Entries removed while callbacks run stay readable until the outermost run ends, so that a
// callback may unbind others of the list that is being walked.
int32_t runDepth = 0;
CallbackEntry* retired = nullptr;

// Decimal digits of a value, as "%lld" writes them; the key is built on every post.
char16_t* AppendDecimal(char16_t* out, int64_t value) {
    uint64_t magnitude = static_cast<uint64_t>(value);
    if (value < 0) {
        *out++ = u'-';
        magnitude = 0 - magnitude;
    }
    char16_t digits[20];
    int count = 0;
    do {
        digits[count++] = static_cast<char16_t>(u'0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    while (count > 0)
        *out++ = digits[--count];
    return out;
}

// The text "%d:%lld:%lld" of type, window and object.
BindingKey KeyOf(int32_t type, int64_t window, int64_t object) {
    BindingKey key;
    char16_t* out = AppendDecimal(key.text, type);
    *out++ = u':';
    out = AppendDecimal(out, window);
    *out++ = u':';
    *AppendDecimal(out, object) = 0;
    return key;
}

void ReleaseEntry(CallbackEntry* entry) {
    if (runDepth == 0) {
        FreeBlock(entry);
        return;
    }
    entry->callback = nullptr;
    entry->retiredNext = retired;
    retired = entry;
}

void ReleaseList(BindingList* list) {
    for (CallbackEntry* entry = list->head; entry != nullptr;) {
        CallbackEntry* next = entry->next;
        ReleaseEntry(entry);
        entry = next;
    }
    list->head = nullptr;
}

void FreeRetiredEntries() {
    while (CallbackEntry* entry = retired) {
        retired = entry->retiredNext;
        FreeBlock(entry);
    }
}

// Runs the list's callbacks from its head; filtered lists skip other subtypes.
void RunList(const BindingKey& key, bool filtered, int64_t subtype) {
    auto* list = static_cast<BindingList*>(FindElement(boundEvents, key.text));
    if (list == nullptr) return;
    for (CallbackEntry* entry = list->head; entry != nullptr;) {
        CallbackEntry* next = entry->next;
        const bool wanted = !filtered || subtype == -1 || entry->subtypeFilter == -1 ||
                            entry->subtypeFilter == subtype;
        if (entry->callback != nullptr && wanted) entry->callback();
        entry = next;
    }
}

bool SameKey(const BindingKey& a, const BindingKey& b) {
    for (int i = 0; i < kKeyUnits; ++i) {
        if (a.text[i] != b.text[i]) return false;
        if (a.text[i] == 0) return true;
    }
    return true;
}

}  // namespace

void InitEventBindings() {
    if (boundEvents == nullptr) {
        CreateMap(sizeof(BindingList), kBindingElementType, nullptr, &boundEvents, kBindingBuckets);
    }
}

void RunBoundCallbacks(int32_t type, int64_t object, int64_t window, int64_t subtype) {
    if (boundEvents == nullptr || boundEvents->count == 0) return;
    // With window or object -1 some keys coincide. Each list runs once per event, at the first
    // of its keys, and for every subtype when any of its keys takes every entry.
    constexpr int kKeys = 4;
    const BindingKey keys[kKeys] = {KeyOf(type, window, object), KeyOf(type, window, -1),
                                    KeyOf(type, -1, -1), KeyOf(type, -1, object)};
    const bool filtered[kKeys] = {true, false, false, true};
    ++runDepth;
    for (int i = 0; i < kKeys; ++i) {
        bool seen = false;
        for (int j = 0; j < i; ++j)
            seen = seen || SameKey(keys[i], keys[j]);
        if (seen) continue;
        bool listFiltered = filtered[i];
        for (int j = i + 1; j < kKeys; ++j) {
            if (SameKey(keys[i], keys[j])) listFiltered = listFiltered && filtered[j];
        }
        RunList(keys[i], listFiltered, subtype);
    }
    if (--runDepth == 0) FreeRetiredEntries();
}

int32_t BindEvent(int32_t type, EventCallback callback, int64_t window, int64_t object,
                  int64_t subtype) {
    const QueueLock lock;
    if (boundEvents == nullptr || callback == nullptr) return 0;
    auto* entry = static_cast<CallbackEntry*>(AllocBlock(sizeof(CallbackEntry)));
    if (entry == nullptr) return 0;
    entry->callback = callback;
    entry->subtypeFilter = subtype;
    const BindingKey key = KeyOf(type, window, object);
    auto* list = static_cast<BindingList*>(FindElement(boundEvents, key.text));
    if (list == nullptr) {
        list = static_cast<BindingList*>(AddMapElement(boundEvents, key.text, kMapAddAlways));
        if (list == nullptr) {
            FreeBlock(entry);
            return 0;
        }
        list->window = window;
    }
    CallbackEntry** link = &list->head;
    while (*link != nullptr)
        link = &(*link)->next;
    *link = entry;
    return 1;
}

int32_t RemoveEventBinding(int32_t type, EventCallback callback, int64_t window, int64_t object,
                           int64_t subtype) {
    const QueueLock lock;
    if (boundEvents == nullptr) return 0;
    const BindingKey key = KeyOf(type, window, object);
    auto* list = static_cast<BindingList*>(FindElement(boundEvents, key.text));
    if (list == nullptr) return 0;
    if (callback == nullptr) {
        ReleaseList(list);
        DeleteCurrent(boundEvents);
        return 0;
    }
    for (CallbackEntry** link = &list->head; *link != nullptr; link = &(*link)->next) {
        CallbackEntry* entry = *link;
        if (entry->callback != callback || (subtype != -1 && entry->subtypeFilter != subtype)) {
            continue;
        }
        *link = entry->next;
        ReleaseEntry(entry);
        if (list->head == nullptr) DeleteCurrent(boundEvents);
        return 1;
    }
    return 0;
}

void RemoveWindowEventBindings(int64_t window) {
    const QueueLock lock;
    if (boundEvents == nullptr) return;
    ResetIteration(boundEvents);
    while (auto* list = static_cast<BindingList*>(NextElement(boundEvents))) {
        if (list->window != window) continue;
        ReleaseList(list);
        DeleteCurrent(boundEvents);
    }
}

}  // namespace vorlune
