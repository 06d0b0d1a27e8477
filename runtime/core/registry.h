#pragma once
// Numbered object registries: one per object kind, records found by a user-chosen number.

#include <cstdint>

#include "runtime/core/memory.h"

namespace vorlune {

constexpr int64_t AnyNumber = -1;  // asks the registry to pick the number (the record's address)

using ObjectFreeFunction = void (*)(int64_t number);

// Live dynamic numbers, so that a lookup never reads through a number it did not hand out.
struct DynamicNumberSet {
    uint64_t* keys;  // open addressing, 0 marks an empty cell
    uint64_t capacity;
    uint64_t count;
};

struct ObjectRegistry {
    int32_t elementSize;  // every record starts with its pointer-sized in-use word
    int32_t growBy;       // growth step of the table, and its initial slot count
    int64_t slotCount;
    void** slots;           // entry n: record of number n, null when never allocated
    ListNode* dynamicHead;  // newest AnyNumber object
    ObjectFreeFunction freeFunction;
    int64_t iterIndex;
    ListNode* iterNode;
    DynamicNumberSet dynamicNumbers;
};

// Creation --------------------------------------------------------------------------------------
ObjectRegistry* CreateObjectRegistry(int32_t elementSize, int32_t growBy,
                                     ObjectFreeFunction freeFunction);  // null on failure, or an
                                                                        // element smaller than a
                                                                        // pointer, or growBy < 1
void CreateObjectRegistryOnce(ObjectRegistry** registry, int32_t elementSize, int32_t growBy,
                              ObjectFreeFunction freeFunction);  // only while *registry is null
void DestroyObjectRegistry(ObjectRegistry* registry);  // releases every record without calling
                                                       // the free function; for tests and tools

// Objects ---------------------------------------------------------------------------------------
void* AllocateObject(ObjectRegistry* registry, int64_t number);    // null on failure; a live or
                                                                   // freed number is reused after
                                                                   // the free function ran
void* GetObject(ObjectRegistry* registry, int64_t number);         // null unless live
void* GetObjectChecked(ObjectRegistry* registry, int64_t number);  // null unless allocated;
                                                                   // dynamic in-use word untested
void FreeObject(ObjectRegistry* registry, int64_t number);         // zero-fills a numbered record,
                                                                   // releases a dynamic one
void FreeAllObjects(ObjectRegistry* registry);  // free function for each: table ascending, then
                                                // dynamic newest first

// Iteration: numbered ascending, then dynamic oldest first ---------------------------------------
void ResetObjectIteration(ObjectRegistry* registry);
void* NextObject(ObjectRegistry* registry, int64_t* number);  // null at the end; the record may
                                                              // be freed before the next call
void EndObjectIteration(ObjectRegistry* registry);

}  // namespace vorlune
