#include "runtime/core/layout.h"

#include <cstdlib>
#include <cstring>
#include <limits>

#include "runtime/core/array.h"
#include "runtime/core/list.h"
#include "runtime/core/map.h"
#include "runtime/core/memory.h"
#include "runtime/core/strings.h"

namespace vorlune {

namespace {

ContainerHooks hooks{};

constexpr uint64_t kWordBytes = 8;
constexpr uint64_t kListVariableBytes = sizeof(ListVariable);
constexpr uint64_t kUnbounded = std::numeric_limits<uint64_t>::max();

// Sub-layouts are reached through pointers, so a layout could name itself; deeper nesting than
// this is treated as having no fields.
constexpr int kMaxLayoutDepth = 64;

constexpr int64_t kLayoutString = 0;  // the kind given to string entries

struct LayoutEntry {
    int64_t kind;  // kLayoutString or the entry's first word
    bool usable;   // false for sizes and offsets no record can have
    uint64_t offset;
    uint64_t width;            // bytes of the record the field covers
    uint64_t count;            // fixed array: records
    uint64_t stride;           // fixed array: bytes per record
    const int64_t* subLayout;  // embedded records, or the elements of a container
    uint64_t elementSize;      // containers
    int64_t elementCount;      // dynamic array
    int32_t elementType;       // containers
    int32_t bucketCount;       // map
    int32_t dimensions;        // multi-dimensional array
    const int64_t* dimensionSizes;
};

const int64_t* PointerWord(int64_t word) {
    return reinterpret_cast<const int64_t*>(static_cast<intptr_t>(word));
}

int32_t ClampToInt32(int64_t value) {
    if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

// Reads a layout entry by entry and hands out only the fields that lie inside the record,
// 8-aligned and after the previous field, so every walker agrees on which fields exist.
class LayoutReader {
  public:
    LayoutReader(const int64_t* layout, uint64_t recordSize)
        : word_(layout), recordSize_(recordSize) {}

    bool Next(LayoutEntry& entry) {
        while (word_ != nullptr) {
            if (!Parse(entry)) {
                word_ = nullptr;
                break;
            }
            if (Fits(entry)) {
                position_ = entry.offset + entry.width;
                return true;
            }
        }
        return false;
    }

  private:
    bool Fits(const LayoutEntry& entry) const {
        return entry.usable && entry.width > 0 && entry.offset % kWordBytes == 0 &&
               entry.offset >= position_ && entry.width <= recordSize_ &&
               entry.offset <= recordSize_ - entry.width;
    }

    static void SetOffset(LayoutEntry& entry, int64_t offset) {
        entry.usable = offset >= 0;
        entry.offset = static_cast<uint64_t>(offset);
    }

    // Advances past one entry; false at the end mark, at an unknown kind and at a dimension
    // count that cannot be trusted to skip the right number of words.
    bool Parse(LayoutEntry& entry) {
        const int64_t* w = word_;
        entry = LayoutEntry{};
        entry.kind = w[0];
        if (w[0] >= 0) {
            entry.kind = kLayoutString;
            SetOffset(entry, w[0]);
            entry.width = kWordBytes;
            word_ += 1;
            return true;
        }
        switch (w[0]) {
            case kLayoutFixedArray:
                SetOffset(entry, w[2]);
                entry.subLayout = PointerWord(w[4]);
                if (w[1] < 0 || w[3] <= 0 || w[3] % kWordBytes != 0) entry.usable = false;
                entry.count = static_cast<uint64_t>(w[1]);
                entry.stride = static_cast<uint64_t>(w[3]);
                if (__builtin_mul_overflow(entry.count, entry.stride, &entry.width)) {
                    entry.usable = false;
                }
                word_ += 5;
                return true;
            case kLayoutRecord:
                SetOffset(entry, w[1]);
                if (w[2] < 0) entry.usable = false;
                entry.width = static_cast<uint64_t>(w[2]);
                entry.subLayout = PointerWord(w[3]);
                word_ += 4;
                return true;
            case kLayoutArray:
                SetOffset(entry, w[1]);
                entry.width = kWordBytes;
                entry.elementSize = static_cast<uint64_t>(w[2]);
                entry.elementCount = w[3];
                entry.elementType = static_cast<int32_t>(w[4]);
                entry.subLayout = PointerWord(w[5]);
                word_ += 6;
                return true;
            case kLayoutList:
                SetOffset(entry, w[1]);
                entry.width = kListVariableBytes;
                entry.elementSize = static_cast<uint64_t>(w[2]);
                entry.subLayout = PointerWord(w[3]);
                entry.elementType = static_cast<int32_t>(w[4]);
                word_ += 5;
                return true;
            case kLayoutMap:
                SetOffset(entry, w[1]);
                entry.width = kWordBytes;
                entry.elementSize = static_cast<uint64_t>(w[2]);
                entry.elementType = static_cast<int32_t>(w[3]);
                entry.subLayout = PointerWord(w[4]);
                entry.bucketCount = ClampToInt32(w[5]);
                word_ += 6;
                return true;
            case kLayoutArrayDims: {
                const int64_t dimensions = w[2];
                if (dimensions < 1 || dimensions > std::numeric_limits<int32_t>::max() ||
                    recordSize_ < kWordBytes ||
                    static_cast<uint64_t>(dimensions) > (recordSize_ - kWordBytes) / kWordBytes) {
                    return false;
                }
                SetOffset(entry, w[1]);
                entry.dimensions = static_cast<int32_t>(dimensions);
                entry.width = kWordBytes + kWordBytes * static_cast<uint64_t>(dimensions);
                entry.elementSize = static_cast<uint64_t>(w[3]);
                entry.elementType = static_cast<int32_t>(w[4]);
                entry.subLayout = PointerWord(w[5]);
                entry.dimensionSizes = w + 6;
                word_ += 6 + dimensions;
                return true;
            }
            default:
                return false;
        }
    }

    const int64_t* word_;
    uint64_t recordSize_;
    uint64_t position_ = 0;
};

// Record fields: offsets handed out by the reader are 8-aligned inside the record.
template <typename T>
T& FieldAt(void* record, uint64_t offset) {
    return *reinterpret_cast<T*>(static_cast<unsigned char*>(record) + offset);
}

template <typename T>
T FieldAt(const void* record, uint64_t offset) {
    return *reinterpret_cast<const T*>(static_cast<const unsigned char*>(record) + offset);
}

unsigned char* At(void* record, uint64_t offset) {
    return static_cast<unsigned char*>(record) + offset;
}

const unsigned char* At(const void* record, uint64_t offset) {
    return static_cast<const unsigned char*>(record) + offset;
}

bool NeedsInit(const int64_t* layout, int depth) {
    if (layout == nullptr || depth > kMaxLayoutDepth) return false;
    LayoutReader reader(layout, kUnbounded);
    LayoutEntry entry;
    while (reader.Next(entry)) {
        switch (entry.kind) {
            case kLayoutFixedArray:
            case kLayoutRecord:
                if (NeedsInit(entry.subLayout, depth + 1)) return true;
                break;
            case kLayoutArray:
            case kLayoutList:
            case kLayoutMap:
            case kLayoutArrayDims:
                return true;
            default:
                break;
        }
    }
    return false;
}

void InitFields(void* record, uint64_t size, const int64_t* layout, int depth) {
    if (record == nullptr || layout == nullptr || depth > kMaxLayoutDepth) return;
    LayoutReader reader(layout, size);
    LayoutEntry entry;
    while (reader.Next(entry)) {
        unsigned char* field = At(record, entry.offset);
        switch (entry.kind) {
            case kLayoutFixedArray:
                for (uint64_t k = 0; k < entry.count; ++k) {
                    InitFields(field + k * entry.stride, entry.stride, entry.subLayout, depth + 1);
                }
                break;
            case kLayoutRecord:
                InitFields(field, entry.width, entry.subLayout, depth + 1);
                break;
            case kLayoutArray:
                if (hooks.createArray != nullptr) {
                    hooks.createArray(entry.elementSize, entry.elementCount, entry.elementType,
                                      entry.subLayout, field);
                }
                break;
            case kLayoutList:
                if (hooks.createList != nullptr) {
                    hooks.createList(entry.elementSize, field, entry.subLayout, entry.elementType);
                }
                break;
            case kLayoutMap:
                if (hooks.createMap != nullptr) {
                    hooks.createMap(entry.elementSize, entry.elementType, entry.subLayout, field,
                                    entry.bucketCount);
                }
                break;
            case kLayoutArrayDims:
                for (int32_t i = 0; i < entry.dimensions; ++i) {
                    FieldAt<int64_t>(field, kWordBytes * (1 + static_cast<uint64_t>(i))) =
                        entry.dimensionSizes[i];
                }
                if (hooks.createArrayDims != nullptr) {
                    hooks.createArrayDims(entry.dimensions, entry.elementSize, entry.elementType,
                                          entry.subLayout, field);
                }
                break;
            default:
                break;
        }
    }
}

void ReleaseFields(void* record, uint64_t size, const int64_t* layout, int depth) {
    if (record == nullptr || layout == nullptr || depth > kMaxLayoutDepth) return;
    LayoutReader reader(layout, size);
    LayoutEntry entry;
    while (reader.Next(entry)) {
        unsigned char* field = At(record, entry.offset);
        switch (entry.kind) {
            case kLayoutString: {
                char16_t*& text = FieldAt<char16_t*>(field, 0);
                std::free(text);
                text = nullptr;
                break;
            }
            case kLayoutFixedArray:
                for (uint64_t k = 0; k < entry.count; ++k) {
                    ReleaseFields(field + k * entry.stride, entry.stride, entry.subLayout,
                                  depth + 1);
                }
                break;
            case kLayoutRecord:
                ReleaseFields(field, entry.width, entry.subLayout, depth + 1);
                break;
            case kLayoutArray:
            case kLayoutArrayDims: {
                void*& data = FieldAt<void*>(field, 0);
                if (data != nullptr && hooks.releaseArray != nullptr) {
                    hooks.releaseArray(data);
                    data = nullptr;
                }
                break;
            }
            case kLayoutList: {
                ListVariable& variable = FieldAt<ListVariable>(field, 0);
                if (variable.list != nullptr && hooks.releaseList != nullptr) {
                    hooks.releaseList(variable.list);
                    variable = ListVariable{};
                }
                break;
            }
            case kLayoutMap: {
                HashMap*& map = FieldAt<HashMap*>(field, 0);
                if (map != nullptr && hooks.releaseMap != nullptr) {
                    hooks.releaseMap(map);
                    map = nullptr;
                }
                break;
            }
            default:
                break;
        }
    }
}

void CopyFields(void* destination, const void* source, uint64_t size, const int64_t* layout,
                int depth);

void CopyString(void* destination, const void* source) {
    char16_t*& target = FieldAt<char16_t*>(destination, 0);
    std::free(target);
    target = nullptr;
    const char16_t* text = FieldAt<const char16_t*>(source, 0);
    if (text != nullptr) DuplicateString(&target, text);
}

// An array whose dimension count differs from the field's would not fit its descriptor.
void CopyArrayField(void* destination, const void* source, int32_t dimensions) {
    void* old = FieldAt<void*>(destination, 0);
    if (old != nullptr && hooks.releaseArray != nullptr) hooks.releaseArray(old);
    FieldAt<void*>(destination, 0) = nullptr;
    void* data = FieldAt<void*>(source, 0);
    if (data == nullptr || hooks.createArray == nullptr) return;
    const ArrayHeader* header = ArrayHeaderOf(data);
    if (header->dimensions != dimensions) return;
    void* fresh = hooks.createArray(header->itemSize, header->itemCount, header->elementType,
                                    header->layout, destination);
    if (fresh == nullptr) return;
    ArrayHeaderOf(fresh)->dimensions = dimensions;
    if (dimensions > 1) {
        std::memcpy(At(destination, kWordBytes), At(source, kWordBytes),
                    kWordBytes * static_cast<uint64_t>(dimensions));
    }
    if (hooks.copyArray != nullptr) hooks.copyArray(data, fresh, 0);
}

void CopyListField(void* destination, const void* source) {
    ListVariable& target = FieldAt<ListVariable>(destination, 0);
    if (target.list != nullptr && hooks.releaseList != nullptr) hooks.releaseList(target.list);
    target = ListVariable{};
    LinkedList* list = FieldAt<ListVariable>(source, 0).list;
    if (list == nullptr || hooks.createList == nullptr) return;
    void* fresh = hooks.createList(list->nodeSize - sizeof(LinkedListNode), &target, list->layout,
                                   list->elementType);
    if (fresh != nullptr && hooks.copyList != nullptr) hooks.copyList(list, fresh, 0);
}

// The key flags are set by the map's creator, not by the layout, so they travel with the copy.
void CopyMapField(void* destination, const void* source) {
    HashMap*& target = FieldAt<HashMap*>(destination, 0);
    if (target != nullptr && hooks.releaseMap != nullptr) hooks.releaseMap(target);
    target = nullptr;
    HashMap* map = FieldAt<HashMap*>(source, 0);
    if (map == nullptr || hooks.createMap == nullptr) return;
    auto* fresh = static_cast<HashMap*>(
        hooks.createMap(map->valueSize, static_cast<int32_t>(map->elementType), map->layout,
                        &target, static_cast<int32_t>(map->bucketCount)));
    if (fresh == nullptr) return;
    fresh->flags |= map->flags & (kMapNoCase | kMapIntegerKeys);
    if (hooks.copyMap != nullptr) hooks.copyMap(map, fresh, 0);
}

void CopyField(void* destination, const void* source, const LayoutEntry& entry, int depth) {
    switch (entry.kind) {
        case kLayoutString:
            CopyString(destination, source);
            break;
        case kLayoutFixedArray:
            for (uint64_t k = 0; k < entry.count; ++k) {
                CopyFields(At(destination, k * entry.stride), At(source, k * entry.stride),
                           entry.stride, entry.subLayout, depth + 1);
            }
            break;
        case kLayoutRecord:
            CopyFields(destination, source, entry.width, entry.subLayout, depth + 1);
            break;
        case kLayoutArray:
            CopyArrayField(destination, source, 1);
            break;
        case kLayoutArrayDims:
            CopyArrayField(destination, source, entry.dimensions);
            break;
        case kLayoutList:
            CopyListField(destination, source);
            break;
        case kLayoutMap:
            CopyMapField(destination, source);
            break;
        default:
            break;
    }
}

void CopyBytes(void* destination, const void* source, uint64_t from, uint64_t to) {
    if (to > from) std::memmove(At(destination, from), At(source, from), to - from);
}

void CopyFields(void* destination, const void* source, uint64_t size, const int64_t* layout,
                int depth) {
    if (layout == nullptr || depth > kMaxLayoutDepth) {
        CopyBytes(destination, source, 0, size);
        return;
    }
    LayoutReader reader(layout, size);
    LayoutEntry entry;
    uint64_t position = 0;
    while (reader.Next(entry)) {
        CopyBytes(destination, source, position, entry.offset);
        CopyField(At(destination, entry.offset), At(source, entry.offset), entry, depth);
        position = entry.offset + entry.width;
    }
    CopyBytes(destination, source, position, size);
}

}  // namespace

int64_t LayoutWordOf(const int64_t* subLayout) {
    return static_cast<int64_t>(reinterpret_cast<intptr_t>(subLayout));
}

int32_t LayoutNeedsInit(const int64_t* layout) {
    return NeedsInit(layout, 0) ? 1 : 0;
}

void InitElementFields(void* record, uint64_t size, const int64_t* layout) {
    InitFields(record, size, layout, 0);
}

void ReleaseElementFields(void* record, uint64_t size, const int64_t* layout) {
    ReleaseFields(record, size, layout, 0);
}

void CopyElement(void* destination, uint64_t size, const int64_t* layout, const void* source) {
    if (destination == nullptr || source == nullptr || destination == source) return;
    CopyFields(destination, source, size, layout, 0);
}

ContainerHooks& ContainerHookTable() {
    return hooks;
}

void FreeBlockChain(void* head) {
    while (head != nullptr) {
        void* next = *static_cast<void**>(head);
        FreeBlock(head);
        head = next;
    }
}

}  // namespace vorlune
