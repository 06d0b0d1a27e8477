#include "runtime/core/map.h"

#include <cassert>
#include <cstring>
#include <limits>

#include "runtime/core/layout.h"
#include "runtime/core/strings.h"

namespace vorlune {

namespace {

constexpr uint64_t kNodeHeaderBytes = sizeof(MapNode);
constexpr uint32_t kHashMultiplier = 65599;
char16_t emptyKey[1] = {0};

void* ElementOf(MapNode* node) {
    return node + 1;
}

const MapNode* NodeOf(const void* element) {
    return static_cast<const MapNode*>(element) - 1;
}

bool HasIntegerKeys(const HashMap* map) {
    return (map->flags & kMapIntegerKeys) != 0;
}

bool IgnoresCase(const HashMap* map) {
    return (map->flags & kMapNoCase) != 0;
}

bool SameText(const char16_t* a, const char16_t* b) {
    for (;; ++a, ++b) {
        if (*a != *b) return false;
        if (*a == 0) return true;
    }
}

bool KeyMatches(const HashMap* map, const char16_t* stored, const char16_t* key) {
    return IgnoresCase(map) ? StringCompareNoCase(stored, key) == 0 : SameText(stored, key);
}

uint32_t TextBucket(const HashMap* map, const char16_t* key) {
    const uint32_t hash = IgnoresCase(map) ? HashKeyNoCase(key) : HashKey(key);
    return hash % map->bucketCount;
}

// Negative keys wrap to large unsigned values, so every key lands in a bucket.
uint32_t NumberBucket(const HashMap* map, int64_t key) {
    return static_cast<uint32_t>(static_cast<uint64_t>(key) % map->bucketCount);
}

void MakeCurrent(HashMap* map, MapNode* node, MapNode* before, uint32_t bucket) {
    map->current = node;
    map->previous = before;
    map->currentBucket = static_cast<int32_t>(bucket);
    map->savedBucket = static_cast<int32_t>(bucket);
}

void ForgetCursor(HashMap* map) {
    map->current = nullptr;
    map->previous = nullptr;
    map->currentBucket = -1;
    map->savedBucket = -1;
}

void* ResetElement(HashMap* map, void* element) {
    std::memset(element, 0, map->valueSize);
    if ((map->flags & kMapNeedsInit) != 0) {
        InitElementFields(element, map->valueSize, map->layout);
    }
    return element;
}

void LinkNode(HashMap* map, MapNode* node, uint32_t bucket) {
    node->next = map->buckets[bucket];
    map->buckets[bucket] = node;
    MakeCurrent(map, node, nullptr, bucket);
    ++map->count;
}

void ReleaseNode(HashMap* map, MapNode* node) {
    if (!HasIntegerKeys(map)) FreeBlock(node->key.text);
    if (map->layout != nullptr) {
        ReleaseElementFields(ElementOf(node), map->valueSize, map->layout);
    }
    PoolFree(map->pool, node);
}

MapNode* FirstFrom(HashMap* map, uint32_t bucket) {
    for (; bucket < map->bucketCount; ++bucket) {
        if (map->buckets[bucket] != nullptr) {
            map->currentBucket = static_cast<int32_t>(bucket);
            return map->buckets[bucket];
        }
    }
    map->currentBucket = static_cast<int32_t>(map->bucketCount);
    return nullptr;
}

MapNode* ChainPredecessor(const HashMap* map, uint32_t bucket, const MapNode* node) {
    if (map->previous != nullptr && map->previous->next == node) return map->previous;
    MapNode* before = nullptr;
    for (MapNode* walk = map->buckets[bucket]; walk != node; walk = walk->next) {
        assert(walk != nullptr);
        before = walk;
    }
    return before;
}

// The tail of the nearest non-empty chain before the bucket: the element that iteration
// visits just before the head of that bucket's chain.
MapNode* LastBefore(const HashMap* map, uint32_t bucket, int32_t* found) {
    while (bucket-- > 0) {
        MapNode* node = map->buckets[bucket];
        if (node == nullptr) continue;
        while (node->next != nullptr)
            node = node->next;
        *found = static_cast<int32_t>(bucket);
        return node;
    }
    *found = -1;
    return nullptr;
}

MapNode* ReverseChain(MapNode* head) {
    MapNode* reversed = nullptr;
    while (head != nullptr) {
        MapNode* next = head->next;
        head->next = reversed;
        reversed = head;
        head = next;
    }
    return reversed;
}

bool CopyNodeInto(const HashMap* source, MapNode* node, HashMap* target) {
    void* element = HasIntegerKeys(source)
                        ? AddMapElementInt(target, node->key.number, kMapAddAlways)
                        : AddMapElement(target, node->key.text, kMapAddAlways);
    if (element == nullptr) return false;
    CopyElement(element, source->valueSize, source->layout, ElementOf(node));
    return true;
}

void ReleaseMapParts(HashMap* map) {
    DestroyPool(map->pool);
    FreeBlock(map->buckets);
    FreeBlock(map->spare);
    FreeBlockChain(map->extraBlocks);
    FreeBlock(map);
}

void* CreateMapHook(uint64_t valueSize, int32_t elementType, const int64_t* layout, void* owner,
                    int32_t bucketCount) {
    return CreateMap(valueSize, elementType, layout, static_cast<HashMap**>(owner), bucketCount);
}

int32_t CopyMapHook(void* source, void* target, int32_t clear) {
    return CopyMap(static_cast<HashMap*>(source), static_cast<HashMap*>(target), clear);
}

void DestroyMapHook(void* map) {
    DestroyMap(static_cast<HashMap*>(map));
}

}  // namespace

// Maps -----------------------------------------------------------------------------------------

HashMap* CreateMap(uint64_t valueSize, int32_t elementType, const int64_t* layout, HashMap** owner,
                   int32_t bucketCount) {
    if (owner != nullptr && *owner != nullptr) DestroyMap(*owner);
    if (valueSize > std::numeric_limits<uint64_t>::max() - kNodeHeaderBytes) return nullptr;
    auto* map = static_cast<HashMap*>(AllocBlock(sizeof(HashMap)));
    if (map == nullptr) return nullptr;
    map->bucketCount = bucketCount > 0 ? static_cast<uint32_t>(bucketCount) : 1;
    map->buckets = static_cast<MapNode**>(AllocBlock(sizeof(MapNode*) * map->bucketCount));
    map->valueSize = valueSize;
    map->elementType = static_cast<uint32_t>(elementType);
    map->layout = layout;
    map->owner = owner;
    map->flags = LayoutNeedsInit(layout) != 0 ? kMapNeedsInit : 0;
    ForgetCursor(map);
    const uint64_t nodeSize = valueSize + kNodeHeaderBytes;
    map->pool = CreatePool(nodeSize, 16, 65536, kPoolShared);
    map->spare = static_cast<MapNode*>(AllocBlock(nodeSize));
    if (map->buckets == nullptr || map->pool == nullptr || map->spare == nullptr) {
        ReleaseMapParts(map);
        return nullptr;
    }
    map->spare->key.text = emptyKey;
    if (owner != nullptr) *owner = map;
    return map;
}

void ClearMap(HashMap* map) {
    if (map == nullptr) return;
    for (uint32_t bucket = 0; bucket < map->bucketCount; ++bucket) {
        MapNode* node = map->buckets[bucket];
        map->buckets[bucket] = nullptr;
        while (node != nullptr) {
            MapNode* next = node->next;
            ReleaseNode(map, node);
            node = next;
        }
    }
    ForgetCursor(map);
    map->count = 0;
}

int32_t CopyMap(HashMap* source, HashMap* target, int32_t clear) {
    if (source == nullptr || target == nullptr) return 0;
    if (source == target) return 1;
    if (source->valueSize != target->valueSize || source->layout != target->layout ||
        HasIntegerKeys(source) != HasIntegerKeys(target)) {
        return 0;
    }
    if (clear != 0) ClearMap(target);
    // Each chain is added oldest first, so that elements under one key keep their order and
    // FindElement in the copy answers what it answers in the source.
    for (uint32_t bucket = source->bucketCount; bucket-- > 0;) {
        MapNode* reversed = ReverseChain(source->buckets[bucket]);
        bool copied = true;
        for (MapNode* node = reversed; node != nullptr && copied; node = node->next) {
            copied = CopyNodeInto(source, node, target);
        }
        source->buckets[bucket] = ReverseChain(reversed);
        if (!copied) return 0;
    }
    return 1;
}

void DestroyMap(HashMap* map) {
    if (map == nullptr) return;
    ClearMap(map);
    if (map->owner != nullptr && *map->owner == map) *map->owner = nullptr;
    ReleaseMapParts(map);
}

// Elements -------------------------------------------------------------------------------------

void* AddMapElement(HashMap* map, const char16_t* key, int32_t mode) {
    if (map == nullptr || HasIntegerKeys(map)) return nullptr;
    if (key == nullptr) key = emptyKey;
    if (mode == kMapReuseKey) {
        void* found = FindElement(map, key);
        if (found != nullptr) {
            if (map->layout != nullptr) ReleaseElementFields(found, map->valueSize, map->layout);
            return ResetElement(map, found);
        }
    }
    const uint64_t keyBytes = 2 * static_cast<uint64_t>(StringLength(key));
    auto* node = static_cast<MapNode*>(PoolAlloc(map->pool));
    if (node == nullptr) return nullptr;
    auto* copy = static_cast<char16_t*>(AllocBlock(keyBytes + 2));
    if (copy == nullptr) {
        PoolFree(map->pool, node);
        return nullptr;
    }
    std::memcpy(copy, key, keyBytes);
    node->key.text = copy;
    LinkNode(map, node, TextBucket(map, key));
    return ResetElement(map, ElementOf(node));
}

void* AddMapElementInt(HashMap* map, int64_t key, int32_t mode) {
    if (map == nullptr || !HasIntegerKeys(map)) return nullptr;
    if (mode == kMapReuseKey) {
        void* found = FindElementInt(map, key);
        if (found != nullptr) {
            if (map->layout != nullptr) ReleaseElementFields(found, map->valueSize, map->layout);
            return ResetElement(map, found);
        }
    }
    auto* node = static_cast<MapNode*>(PoolAlloc(map->pool));
    if (node == nullptr) return nullptr;
    node->key.number = key;
    LinkNode(map, node, NumberBucket(map, key));
    return ResetElement(map, ElementOf(node));
}

void* FindElement(HashMap* map, const char16_t* key) {
    if (map == nullptr || HasIntegerKeys(map)) return nullptr;
    if (key == nullptr) key = emptyKey;
    const uint32_t bucket = TextBucket(map, key);
    MapNode* before = nullptr;
    for (MapNode* node = map->buckets[bucket]; node != nullptr; node = node->next) {
        if (KeyMatches(map, node->key.text, key)) {
            MakeCurrent(map, node, before, bucket);
            return ElementOf(node);
        }
        before = node;
    }
    return nullptr;
}

void* FindElementInt(HashMap* map, int64_t key) {
    if (map == nullptr || !HasIntegerKeys(map)) return nullptr;
    const uint32_t bucket = NumberBucket(map, key);
    MapNode* before = nullptr;
    for (MapNode* node = map->buckets[bucket]; node != nullptr; node = node->next) {
        if (node->key.number == key) {
            MakeCurrent(map, node, before, bucket);
            return ElementOf(node);
        }
        before = node;
    }
    return nullptr;
}

const char16_t* MapElementKey(const void* element) {
    return element == nullptr ? nullptr : NodeOf(element)->key.text;
}

int64_t MapElementKeyInt(const void* element) {
    return element == nullptr ? 0 : NodeOf(element)->key.number;
}

// Shorthands -----------------------------------------------------------------------------------

void* PutMapElement(HashMap* map, const char16_t* key) {
    return AddMapElement(map, key, kMapReuseKey);
}

void* PutMapElementInt(HashMap* map, int64_t key) {
    return AddMapElementInt(map, key, kMapReuseKey);
}

int32_t CopyMapReplacing(HashMap* source, HashMap* target) {
    return CopyMap(source, target, 1);
}

// Iteration ------------------------------------------------------------------------------------

void ResetIteration(HashMap* map) {
    if (map != nullptr) ForgetCursor(map);
}

void* NextElement(HashMap* map) {
    if (map == nullptr) return nullptr;
    map->previous = map->current;
    map->savedBucket = map->currentBucket;
    MapNode* node = nullptr;
    if (map->current != nullptr) {
        node = map->current->next;
        if (node == nullptr) node = FirstFrom(map, static_cast<uint32_t>(map->currentBucket) + 1);
    } else if (map->currentBucket == -1) {
        node = FirstFrom(map, 0);
    }
    map->current = node;
    return node == nullptr ? nullptr : ElementOf(node);
}

// The element before the deleted one becomes current, so that NextElement goes on with the
// one after it. That is `previous` when it is known; after a lookup, an insertion or another
// deletion it is not, and it is looked up in the chain or in the buckets before it.
void* DeleteCurrent(HashMap* map) {
    if (map == nullptr || map->current == nullptr) return nullptr;
    MapNode* node = map->current;
    const auto bucket = static_cast<uint32_t>(map->currentBucket);
    MapNode* before = ChainPredecessor(map, bucket, node);
    MapNode* successor = nullptr;
    int32_t successorBucket = -1;
    if (before != nullptr) {
        before->next = node->next;
        successor = before;
        successorBucket = static_cast<int32_t>(bucket);
    } else {
        map->buckets[bucket] = node->next;
        if (map->previous != nullptr) {
            successor = map->previous;
            successorBucket = map->savedBucket;
        } else {
            successor = LastBefore(map, bucket, &successorBucket);
        }
    }
    map->current = successor;
    map->currentBucket = successorBucket;
    map->previous = nullptr;
    map->savedBucket = -1;
    --map->count;
    ReleaseNode(map, node);
    return successor == nullptr ? nullptr : ElementOf(successor);
}

// Hashing --------------------------------------------------------------------------------------

uint32_t HashKey(const char16_t* key) {
    uint32_t hash = 0;
    if (key == nullptr) return hash;
    for (; *key != 0; ++key)
        hash = hash * kHashMultiplier + *key;
    return hash;
}

// Folds as StringCompareNoCase does, so that keys it calls equal share a bucket.
uint32_t HashKeyNoCase(const char16_t* key) {
    uint32_t hash = 0;
    if (key == nullptr) return hash;
    for (; *key != 0; ++key)
        hash = hash * kHashMultiplier + LowerCaseUnit(*key);
    return hash;
}

// Start hook -----------------------------------------------------------------------------------

void InitMaps() {
    ContainerHooks& hooks = ContainerHookTable();
    hooks.createMap = CreateMapHook;
    hooks.copyMap = CopyMapHook;
    hooks.releaseMap = DestroyMapHook;
}

}  // namespace vorlune
