#pragma once
// Field layouts: where the strings and containers sit inside a record, and the container hooks.

#include <cstdint>

namespace vorlune {

// A layout is a run of signed 64-bit words ended by kLayoutEnd. An entry starts with a string
// offset (>= 0) or one of the kinds below, followed by its words:
//   n >= 0                 a string field at offset n (malloc'd UTF-16, null for "")
//   kLayoutFixedArray      count, offset, stride, sub-layout
//   kLayoutRecord          offset, size, sub-layout
//   kLayoutArray           offset, element size, element count, element type, element layout
//   kLayoutList            offset, element size, element layout, element type
//   kLayoutMap             offset, element size, element type, element layout, bucket count
//   kLayoutArrayDims       offset, dimension count d, element size, element type,
//                          element layout, then d dimension sizes
// Entries come in ascending offset order. An entry that covers no bytes, is not 8-aligned,
// overlaps the one before it or reaches past the record is ignored by every walker alike, so
// none of them touches memory outside the record it is given; an unknown kind or a dimension
// count the record cannot hold ends the layout.
constexpr int64_t kLayoutEnd = -1;
constexpr int64_t kLayoutFixedArray = -2;
constexpr int64_t kLayoutRecord = -3;
constexpr int64_t kLayoutArray = -4;
constexpr int64_t kLayoutList = -5;
constexpr int64_t kLayoutMap = -6;
constexpr int64_t kLayoutArrayDims = -7;

int64_t LayoutWordOf(const int64_t* subLayout);  // a sub-layout as a layout word

// Walkers ----------------------------------------------------------------------------------
int32_t LayoutNeedsInit(const int64_t* layout);  // 1 when it holds a container; null gives 0
void InitElementFields(void* record, uint64_t size, const int64_t* layout);
void ReleaseElementFields(void* record, uint64_t size, const int64_t* layout);  // leaves the
                                                                                // fields null
void CopyElement(void* destination, uint64_t size, const int64_t* layout, const void* source);

// Container hooks --------------------------------------------------------------------------
// Filled by each container module's start hook; an empty slot makes the walkers leave that
// container kind alone.
struct ContainerHooks {
    void* (*createArray)(uint64_t elementSize, int64_t count, int32_t elementType,
                         const int64_t* layout, void* owner);
    void* (*createArrayDims)(int32_t dimensions, uint64_t elementSize, int32_t elementType,
                             const int64_t* layout, void* owner);
    void* (*createList)(uint64_t elementSize, void* variable, const int64_t* layout,
                        int32_t elementType);
    void* (*createMap)(uint64_t elementSize, int32_t elementType, const int64_t* layout,
                       void* owner, int32_t bucketCount);
    int32_t (*copyArray)(void* source, void* destination, int32_t recreate);
    int32_t (*copyList)(void* source, void* target, int32_t clear);
    int32_t (*copyMap)(void* source, void* target, int32_t clear);
    void (*releaseArray)(void* data);
    void (*releaseList)(void* list);
    void (*releaseMap)(void* map);
};

ContainerHooks& ContainerHookTable();  // the process-wide table

// Container support ------------------------------------------------------------------------
void FreeBlockChain(void* head);  // sized blocks linked through their first word

}  // namespace vorlune
