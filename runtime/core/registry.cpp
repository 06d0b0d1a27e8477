#include "runtime/core/registry.h"

#include <pthread.h>

#include <bit>
#include <cstring>
#include <limits>

namespace vorlune {

namespace {

// Dynamic number set: linear probing with backward-shift deletion, at most half full. --------

constexpr uint64_t kMinSetCapacity = 16;

uint64_t HomeCell(uint64_t key, uint64_t capacity) {
    const int bits = std::countr_zero(capacity);
    return (key * 0x9E3779B97F4A7C15ull) >> (64 - bits);
}

uint64_t FindCell(const DynamicNumberSet& set, uint64_t key) {
    const uint64_t mask = set.capacity - 1;
    uint64_t cell = HomeCell(key, set.capacity);
    while (set.keys[cell] != 0 && set.keys[cell] != key)
        cell = (cell + 1) & mask;
    return cell;
}

bool SetContains(const DynamicNumberSet& set, uint64_t key) {
    return key != 0 && set.capacity != 0 && set.keys[FindCell(set, key)] == key;
}

void InsertKey(DynamicNumberSet& set, uint64_t key) {
    const uint64_t cell = FindCell(set, key);
    if (set.keys[cell] == 0) {
        set.keys[cell] = key;
        ++set.count;
    }
}

// Makes room for one more key; false (set unchanged) when the larger table cannot be had.
bool ReserveOneMore(DynamicNumberSet& set) {
    if ((set.count + 1) * 2 <= set.capacity) return true;
    if (set.capacity > std::numeric_limits<uint64_t>::max() / 2 / sizeof(uint64_t)) return false;
    const uint64_t capacity = set.capacity == 0 ? kMinSetCapacity : set.capacity * 2;
    auto* keys = static_cast<uint64_t*>(AllocBlock(capacity * sizeof(uint64_t)));
    if (keys == nullptr) return false;
    DynamicNumberSet grown{keys, capacity, 0};
    for (uint64_t cell = 0; cell < set.capacity; ++cell) {
        if (set.keys[cell] != 0) InsertKey(grown, set.keys[cell]);
    }
    FreeBlock(set.keys);
    set = grown;
    return true;
}

bool IsBetweenCyclic(uint64_t low, uint64_t value, uint64_t high) {
    return low <= high ? (low < value && value <= high) : (low < value || value <= high);
}

void RemoveKey(DynamicNumberSet& set, uint64_t key) {
    if (!SetContains(set, key)) return;
    const uint64_t mask = set.capacity - 1;
    uint64_t hole = FindCell(set, key);
    for (uint64_t cell = (hole + 1) & mask; set.keys[cell] != 0; cell = (cell + 1) & mask) {
        // A key may fill the hole only if its home cell does not lie between the hole and it.
        if (!IsBetweenCyclic(hole, HomeCell(set.keys[cell], set.capacity), cell)) {
            set.keys[hole] = set.keys[cell];
            hole = cell;
        }
    }
    set.keys[hole] = 0;
    --set.count;
}

// Records -----------------------------------------------------------------------------------

bool InUse(const void* record) {
    void* word;
    std::memcpy(&word, record, sizeof(word));
    return word != nullptr;
}

bool IsTableNumber(const ObjectRegistry* registry, int64_t number) {
    return number >= 0 && number < registry->slotCount;
}

int64_t NumberOfRecord(const void* record) {
    return static_cast<int64_t>(reinterpret_cast<intptr_t>(record));
}

void* RecordOfNumber(int64_t number) {
    return reinterpret_cast<void*>(static_cast<intptr_t>(number));
}

// The record of a live dynamic object, without reading through an unknown number.
void* DynamicRecord(const ObjectRegistry* registry, int64_t number) {
    if (number <= 0 || !SetContains(registry->dynamicNumbers, static_cast<uint64_t>(number))) {
        return nullptr;
    }
    return RecordOfNumber(number);
}

bool GrowTable(ObjectRegistry* registry, int64_t number) {
    if (number > std::numeric_limits<int64_t>::max() - registry->growBy) return false;
    const uint64_t slotCount = static_cast<uint64_t>(number) + registry->growBy;
    if (slotCount > std::numeric_limits<uint64_t>::max() / sizeof(void*)) return false;
    void* slots = ResizeBlock(registry->slots, slotCount * sizeof(void*));
    if (slots == nullptr) return false;
    registry->slots = static_cast<void**>(slots);
    registry->slotCount = static_cast<int64_t>(slotCount);
    return true;
}

void* AllocateDynamicObject(ObjectRegistry* registry) {
    if (!ReserveOneMore(registry->dynamicNumbers)) return nullptr;
    void* record = ListAddNode(&registry->dynamicHead,
                               sizeof(ListNode) + static_cast<uint64_t>(registry->elementSize));
    if (record == nullptr) return nullptr;
    InsertKey(registry->dynamicNumbers, static_cast<uint64_t>(NumberOfRecord(record)));
    return record;
}

// A number beyond the table gets its record before the table grows, so that either both
// succeed or nothing changes.
void* AllocateBeyondTable(ObjectRegistry* registry, int64_t number) {
    void* record = AllocBlock(static_cast<uint64_t>(registry->elementSize));
    if (record == nullptr) return nullptr;
    if (!GrowTable(registry, number)) {
        FreeBlock(record);
        return nullptr;
    }
    registry->slots[number] = record;
    return record;
}

void* AllocateNumberedObject(ObjectRegistry* registry, int64_t number) {
    if (number >= registry->slotCount) return AllocateBeyondTable(registry, number);
    void* record = registry->slots[number];
    if (record != nullptr) {
        if (registry->freeFunction != nullptr) registry->freeFunction(number);
        return record;
    }
    record = AllocBlock(static_cast<uint64_t>(registry->elementSize));
    if (record != nullptr) registry->slots[number] = record;
    return record;
}

ListNode* OldestNode(ListNode* node) {
    while (node != nullptr && node->next != nullptr)
        node = node->next;
    return node;
}

pthread_once_t registryLockOnce = PTHREAD_ONCE_INIT;
pthread_mutex_t registryLock;

void InitRegistryLock() {
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&registryLock, &attributes);
    pthread_mutexattr_destroy(&attributes);
}

}  // namespace

// Creation --------------------------------------------------------------------------------------

ObjectRegistry* CreateObjectRegistry(int32_t elementSize, int32_t growBy,
                                     ObjectFreeFunction freeFunction) {
    if (elementSize < static_cast<int32_t>(sizeof(void*)) || growBy < 1) return nullptr;
    auto* registry = static_cast<ObjectRegistry*>(AllocBlock(sizeof(ObjectRegistry)));
    if (registry == nullptr) return nullptr;
    registry->slots =
        static_cast<void**>(AllocBlock(static_cast<uint64_t>(growBy) * sizeof(void*)));
    if (registry->slots == nullptr) {
        FreeBlock(registry);
        return nullptr;
    }
    registry->elementSize = elementSize;
    registry->growBy = growBy;
    registry->slotCount = growBy;
    registry->freeFunction = freeFunction;
    return registry;
}

void CreateObjectRegistryOnce(ObjectRegistry** registry, int32_t elementSize, int32_t growBy,
                              ObjectFreeFunction freeFunction) {
    if (registry == nullptr) return;
    pthread_once(&registryLockOnce, InitRegistryLock);
    pthread_mutex_lock(&registryLock);
    if (*registry == nullptr) *registry = CreateObjectRegistry(elementSize, growBy, freeFunction);
    pthread_mutex_unlock(&registryLock);
}

void DestroyObjectRegistry(ObjectRegistry* registry) {
    if (registry == nullptr) return;
    for (int64_t number = 0; number < registry->slotCount; ++number) {
        FreeBlock(registry->slots[number]);
    }
    FreeBlock(registry->slots);
    while (registry->dynamicHead != nullptr) {
        ListRemoveNode(&registry->dynamicHead, ListHandleOf(registry->dynamicHead));
    }
    FreeBlock(registry->dynamicNumbers.keys);
    FreeBlock(registry);
}

// Objects ---------------------------------------------------------------------------------------

void* AllocateObject(ObjectRegistry* registry, int64_t number) {
    if (registry == nullptr || number < AnyNumber) return nullptr;
    if (number == AnyNumber) return AllocateDynamicObject(registry);
    return AllocateNumberedObject(registry, number);
}

void* GetObject(ObjectRegistry* registry, int64_t number) {
    if (registry == nullptr || number < 0) return nullptr;
    void* record =
        IsTableNumber(registry, number) ? registry->slots[number] : DynamicRecord(registry, number);
    return record != nullptr && InUse(record) ? record : nullptr;
}

void* GetObjectChecked(ObjectRegistry* registry, int64_t number) {
    if (registry == nullptr || number < 0) return nullptr;
    if (IsTableNumber(registry, number)) return GetObject(registry, number);
    return DynamicRecord(registry, number);
}

void FreeObject(ObjectRegistry* registry, int64_t number) {
    if (registry == nullptr || number < 0) return;
    if (IsTableNumber(registry, number)) {
        void* record = registry->slots[number];
        if (record != nullptr) std::memset(record, 0, static_cast<size_t>(registry->elementSize));
        return;
    }
    void* record = DynamicRecord(registry, number);
    if (record == nullptr) return;
    ListNode* node = ListNodeOf(record);
    // A walk in progress must not be left holding a released node.
    if (registry->iterNode == node) registry->iterNode = node->prev;
    RemoveKey(registry->dynamicNumbers, static_cast<uint64_t>(number));
    ListRemoveNode(&registry->dynamicHead, record);
}

void FreeAllObjects(ObjectRegistry* registry) {
    if (registry == nullptr || registry->freeFunction == nullptr) return;
    registry->iterIndex = 0;
    while (registry->iterIndex < registry->slotCount) {
        const int64_t number = registry->iterIndex++;
        void* record = registry->slots[number];
        if (record != nullptr && InUse(record)) registry->freeFunction(number);
    }
    while (ListNode* head = registry->dynamicHead) {
        const int64_t number = NumberOfRecord(ListHandleOf(head));
        registry->freeFunction(number);
        // A free function that left its object in place would otherwise make this loop endless.
        if (registry->dynamicHead == head) FreeObject(registry, number);
    }
}

// Iteration ---------------------------------------------------------------------------------

void ResetObjectIteration(ObjectRegistry* registry) {
    if (registry == nullptr) return;
    registry->iterIndex = 0;
    registry->iterNode = OldestNode(registry->dynamicHead);
}

void* NextObject(ObjectRegistry* registry, int64_t* number) {
    if (registry == nullptr) return nullptr;
    while (registry->iterIndex < registry->slotCount) {
        const int64_t index = registry->iterIndex++;
        void* record = registry->slots[index];
        if (record != nullptr && InUse(record)) {
            if (number != nullptr) *number = index;
            return record;
        }
    }
    ListNode* node = registry->iterNode;
    if (node == nullptr) return nullptr;
    registry->iterNode = node->prev;
    void* record = ListHandleOf(node);
    if (number != nullptr) *number = NumberOfRecord(record);
    return record;
}

void EndObjectIteration(ObjectRegistry*) {}

}  // namespace vorlune
