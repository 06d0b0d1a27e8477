#pragma once
// Dynamic arrays: a header and the elements in one zero-filled sized block.

#include <cstdint>

namespace vorlune {

// The array variable (owner) holds the data pointer in word 0; a d-dimensional array keeps the
// stride of each dimension, in elements, in words 1..d.
struct ArrayHeader {
    int32_t dimensions;  // in a word of its own, starts as 1
    int32_t reserved;
    uint64_t itemSize;
    const int64_t* layout;  // element layout, or null
    void* owner;
    int64_t itemCount;  // all dimensions together
    int32_t elementType;
    int32_t padding;
};

// Arrays -------------------------------------------------------------------------------------
void* CreateArray(uint64_t itemSize, int64_t count, int32_t elementType, const int64_t* layout,
                  void* owner);  // releases the owner's array first; null for a count <= 0,
                                 // a null owner or no memory
void* CreateArrayDims(int32_t dimensions, uint64_t itemSize, int32_t elementType,
                      const int64_t* layout, void* owner);  // owner words 1..d: sizes in,
                                                            // strides out; a size <= 0 gives
                                                            // null and keeps the old array
int32_t CopyArray(void* source, void* destination, int32_t recreate);  // 0 on a shape mismatch
void FreeArray(void* data);                                            // null does nothing

ArrayHeader* ArrayHeaderOf(void* data);  // null for null
int64_t ArrayCount(const void* data);    // 0 for null

// Start hook -----------------------------------------------------------------------------------
void InitArrays();  // fills the array slots of the container hooks

}  // namespace vorlune
