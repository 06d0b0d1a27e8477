#include "runtime/core/array.h"

#include <cstring>
#include <limits>

#include "runtime/core/layout.h"
#include "runtime/core/memory.h"

namespace vorlune {

namespace {

constexpr uint64_t kHeaderBytes = sizeof(ArrayHeader);
static_assert(kHeaderBytes % 8 == 0, "array data must stay 8-byte aligned");

void*& DataWord(void* owner) {
    return *static_cast<void**>(owner);
}

int64_t* StrideWords(void* owner) {
    return static_cast<int64_t*>(owner) + 1;
}

void* ElementAt(void* data, uint64_t itemSize, int64_t index) {
    return static_cast<unsigned char*>(data) + itemSize * static_cast<uint64_t>(index);
}

bool SameShape(const ArrayHeader* a, const ArrayHeader* b) {
    return a->itemCount == b->itemCount && a->itemSize == b->itemSize && a->layout == b->layout;
}

}  // namespace

ArrayHeader* ArrayHeaderOf(void* data) {
    return data == nullptr ? nullptr : static_cast<ArrayHeader*>(data) - 1;
}

int64_t ArrayCount(const void* data) {
    return data == nullptr ? 0 : (static_cast<const ArrayHeader*>(data) - 1)->itemCount;
}

void* CreateArray(uint64_t itemSize, int64_t count, int32_t elementType, const int64_t* layout,
                  void* owner) {
    if (owner == nullptr) return nullptr;
    FreeArray(DataWord(owner));
    DataWord(owner) = nullptr;
    if (count <= 0) return nullptr;
    const uint64_t items = static_cast<uint64_t>(count);
    if (itemSize != 0 && items > (std::numeric_limits<uint64_t>::max() - kHeaderBytes) / itemSize) {
        return nullptr;
    }
    auto* header = static_cast<ArrayHeader*>(AllocBlock(kHeaderBytes + itemSize * items));
    if (header == nullptr) return nullptr;
    header->dimensions = 1;
    header->itemSize = itemSize;
    header->layout = layout;
    header->owner = owner;
    header->itemCount = count;
    header->elementType = elementType;
    void* data = header + 1;
    DataWord(owner) = data;
    if (LayoutNeedsInit(layout) != 0) {
        for (int64_t i = 0; i < count; ++i) {
            InitElementFields(ElementAt(data, itemSize, i), itemSize, layout);
        }
    }
    return data;
}

void* CreateArrayDims(int32_t dimensions, uint64_t itemSize, int32_t elementType,
                      const int64_t* layout, void* owner) {
    if (owner == nullptr || dimensions < 1) return nullptr;
    int64_t* words = StrideWords(owner);
    int64_t stride = 1;
    bool valid = true;
    for (int32_t i = dimensions - 1; i >= 0; --i) {
        const int64_t size = words[i];
        words[i] = stride;
        if (size <= 0 || __builtin_mul_overflow(stride, size, &stride)) valid = false;
    }
    if (!valid) return nullptr;
    void* data = CreateArray(itemSize, stride, elementType, layout, owner);
    if (data != nullptr) ArrayHeaderOf(data)->dimensions = dimensions;
    return data;
}

int32_t CopyArray(void* source, void* destination, int32_t recreate) {
    if (source == nullptr || destination == nullptr) return 0;
    if (source == destination) return 1;
    const ArrayHeader* from = ArrayHeaderOf(source);
    ArrayHeader* to = ArrayHeaderOf(destination);
    if (from->dimensions != to->dimensions) return 0;
    if (recreate != 0) {
        void* owner = to->owner;
        destination =
            CreateArray(from->itemSize, from->itemCount, from->elementType, from->layout, owner);
        if (destination == nullptr) return 0;
        to = ArrayHeaderOf(destination);
        to->dimensions = from->dimensions;
    }
    if (!SameShape(from, to)) return 0;
    if (from->dimensions > 1 && from->owner != nullptr && to->owner != nullptr) {
        std::memcpy(StrideWords(to->owner), StrideWords(from->owner),
                    sizeof(int64_t) * static_cast<uint64_t>(from->dimensions));
    }
    if (from->layout == nullptr) {
        std::memcpy(destination, source, from->itemSize * static_cast<uint64_t>(from->itemCount));
        return 1;
    }
    for (int64_t i = 0; i < from->itemCount; ++i) {
        CopyElement(ElementAt(destination, to->itemSize, i), from->itemSize, from->layout,
                    ElementAt(source, from->itemSize, i));
    }
    return 1;
}

void FreeArray(void* data) {
    if (data == nullptr) return;
    ArrayHeader* header = ArrayHeaderOf(data);
    if (header->layout != nullptr) {
        for (int64_t i = 0; i < header->itemCount; ++i) {
            ReleaseElementFields(ElementAt(data, header->itemSize, i), header->itemSize,
                                 header->layout);
        }
    }
    // The owner may hold a newer array by now; only its own pointer is cleared.
    if (header->owner != nullptr && DataWord(header->owner) == data) {
        DataWord(header->owner) = nullptr;
    }
    FreeBlock(header);
}

void InitArrays() {
    ContainerHooks& hooks = ContainerHookTable();
    hooks.createArray = CreateArray;
    hooks.createArrayDims = CreateArrayDims;
    hooks.copyArray = CopyArray;
    hooks.releaseArray = FreeArray;
}

}  // namespace vorlune
