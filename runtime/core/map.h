#pragma once
// The hash map: fixed-size elements under UTF-16 or integer keys, with one shared cursor.

#include <cstdint>

#include "runtime/core/memory.h"

namespace vorlune {

constexpr uint8_t kMapNoCase = 1;       // string keys compared without case
constexpr uint8_t kMapNeedsInit = 2;    // set by CreateMap from the layout
constexpr uint8_t kMapIntegerKeys = 4;  // set by the creator before the first element

constexpr int32_t kMapAddAlways = 0;
constexpr int32_t kMapReuseKey = 1;  // an existing element with the key is reset and returned

union MapKey {
    char16_t* text;  // the node's own sized-block copy
    int64_t number;
};

struct MapNode {
    MapNode* next;  // same chain
    MapKey key;
    // the element follows
};

struct HashMap {
    MapNode* current;
    MapNode** buckets;
    MapNode* previous;  // before current: in its chain after a lookup, in iteration order
                        // after NextElement; null when unknown
    MapNode* spare;
    const int64_t* layout;
    int32_t currentBucket;  // -1: iteration not started
    int32_t savedBucket;    // bucket of previous
    uint64_t valueSize;
    uint32_t elementType;
    uint32_t bucketCount;
    int32_t count;
    uint8_t flags;
    HashMap** owner;
    void* extraBlocks;  // singly linked sized blocks released with the map
    Pool* pool;         // shared by every map of the same element size
};

// Maps ---------------------------------------------------------------------------------------
HashMap* CreateMap(uint64_t valueSize, int32_t elementType, const int64_t* layout, HashMap** owner,
                   int32_t bucketCount);  // destroys the owner's map first;
                                          // null on failure
void ClearMap(HashMap* map);
int32_t CopyMap(HashMap* source, HashMap* target, int32_t clear);  // 0 for null maps or
                                                                   // elements of another kind
void DestroyMap(HashMap* map);  // null does nothing; clears the owner variable

// Elements: every hit or insertion becomes the current element --------------------------------
void* AddMapElement(HashMap* map, const char16_t* key, int32_t mode);  // null key is "";
                                                                       // null when out of memory
void* AddMapElementInt(HashMap* map, int64_t key, int32_t mode);
void* FindElement(HashMap* map, const char16_t* key);  // null when absent, cursor kept
void* FindElementInt(HashMap* map, int64_t key);
const char16_t* MapElementKey(const void* element);  // string key of a map element
int64_t MapElementKeyInt(const void* element);       // integer key of a map element

// Shorthands -----------------------------------------------------------------------------------
void* PutMapElement(HashMap* map, const char16_t* key);  // AddMapElement with kMapReuseKey
void* PutMapElementInt(HashMap* map, int64_t key);
int32_t CopyMapReplacing(HashMap* source, HashMap* target);  // CopyMap clearing the target

// Iteration: bucket by bucket, each chain newest first ---------------------------------------
void ResetIteration(HashMap* map);
void* NextElement(HashMap* map);    // null at the end
void* DeleteCurrent(HashMap* map);  // the element before it becomes current and is returned;
                                    // null when it was first, so iteration restarts there

// Hashing --------------------------------------------------------------------------------------
uint32_t HashKey(const char16_t* key);
uint32_t HashKeyNoCase(const char16_t* key);

// Start hook -----------------------------------------------------------------------------------
void InitMaps();  // fills the map slots of the container hooks

}  // namespace vorlune
