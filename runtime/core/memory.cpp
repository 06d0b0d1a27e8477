#include "runtime/core/memory.h"

#include <atomic>
#include <cassert>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace vorlune {

namespace {

constexpr uint64_t kBlockHeaderBytes = 8;
constexpr uint64_t kMaxSize = std::numeric_limits<uint64_t>::max();

std::atomic<AllocationFailureHook> failureHook{nullptr};

bool ShouldFail(uint64_t size) {
    const AllocationFailureHook hook = failureHook.load(std::memory_order_relaxed);
    return hook != nullptr && hook(size);
}

// Every request to the system allocator goes through these two, so the failure seam sees all.
void* SystemAlloc(uint64_t size) {
    if (size > std::numeric_limits<size_t>::max() || ShouldFail(size)) return nullptr;
    return std::malloc(size);
}

// realloc with a size of 0 may free the memory and answer null, which callers would take for a
// failure with the old memory still valid; asking for at least one byte keeps that promise.
void* SystemRealloc(void* memory, uint64_t size) {
    if (size == 0) size = 1;
    if (size > std::numeric_limits<size_t>::max() || ShouldFail(size)) return nullptr;
    return std::realloc(memory, size);
}

bool AddOverflows(uint64_t a, uint64_t b) {
    return a > kMaxSize - b;
}
bool MultiplyOverflows(uint64_t a, uint64_t b) {
    return b != 0 && a > kMaxSize / b;
}

uint64_t* HeaderOf(void* payload) {
    return reinterpret_cast<uint64_t*>(static_cast<unsigned char*>(payload) - kBlockHeaderBytes);
}

void* PayloadOf(void* header) {
    return static_cast<unsigned char*>(header) + kBlockHeaderBytes;
}

void* AllocSizedBlock(uint64_t length, bool clear) {
    if (AddOverflows(length, kBlockHeaderBytes)) return nullptr;
    void* header = SystemAlloc(length + kBlockHeaderBytes);
    if (header == nullptr) return nullptr;
    *static_cast<uint64_t*>(header) = length;
    void* payload = PayloadOf(header);
    if (clear) std::memset(payload, 0, length);
    return payload;
}

void* ResizeSizedBlock(void* payload, uint64_t length, bool clearTail) {
    if (payload == nullptr || AddOverflows(length, kBlockHeaderBytes)) return nullptr;
    const uint64_t oldLength = *HeaderOf(payload);
    void* header = SystemRealloc(HeaderOf(payload), length + kBlockHeaderBytes);
    if (header == nullptr) return nullptr;
    *static_cast<uint64_t*>(header) = length;
    unsigned char* resized = static_cast<unsigned char*>(PayloadOf(header));
    if (clearTail && length > oldLength) std::memset(resized + oldLength, 0, length - oldLength);
    return resized;
}

// Intrusive links shared by block lists, pool block lists and the shared-pool list.
template <typename Node>
void LinkAtHead(Node*& head, Node* node) {
    node->prev = nullptr;
    node->next = head;
    if (head != nullptr) head->prev = node;
    head = node;
}

template <typename Node>
void Unlink(Node*& head, Node* node) {
    if (node == head) {
        head = node->next;
        if (head != nullptr) head->prev = nullptr;
    } else {
        assert(node->prev != nullptr);
        node->prev->next = node->next;
        if (node->next != nullptr) node->next->prev = node->prev;
    }
    node->next = nullptr;
    node->prev = nullptr;
}

// Pools ----------------------------------------------------------------------------------------

constexpr uint64_t kPoolBlockHeaderBytes = sizeof(PoolBlock);
static_assert(kPoolBlockHeaderBytes % 8 == 0, "slots must stay 8-byte aligned");

class PoolLock {
  public:
    explicit PoolLock(Pool* pool) : pool_(pool) {
        if (pool_->locked == 1) pthread_mutex_lock(&pool_->mutex);
    }
    ~PoolLock() {
        if (pool_->locked == 1) pthread_mutex_unlock(&pool_->mutex);
    }
    PoolLock(const PoolLock&) = delete;
    PoolLock& operator=(const PoolLock&) = delete;

  private:
    Pool* pool_;
};

void InitRecursiveMutex(pthread_mutex_t* mutex) {
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(mutex, &attributes);
    pthread_mutexattr_destroy(&attributes);
}

unsigned char* SlotOf(PoolBlock* block, uint64_t slotSize, int32_t index) {
    return reinterpret_cast<unsigned char*>(block) + kPoolBlockHeaderBytes +
           static_cast<uint64_t>(index) * slotSize;
}

void*& SlotHeader(void* slot) {
    return *static_cast<void**>(slot);
}

PoolBlock* AllocPoolBlock(Pool* pool, uint64_t slots) {
    if (MultiplyOverflows(slots, pool->slotSize)) return nullptr;
    const uint64_t slotBytes = slots * pool->slotSize;
    if (AddOverflows(slotBytes, kPoolBlockHeaderBytes)) return nullptr;
    return static_cast<PoolBlock*>(AllocBlock(kPoolBlockHeaderBytes + slotBytes));
}

// Makes a block whose slot 0 is already taken; falls back to a single slot when the computed
// size cannot be had.
PoolBlock* AddPoolBlock(Pool* pool) {
    uint64_t slots = PoolBlockSlotsFor(pool->totalSlots, pool->minBlockSlots, pool->maxBlockSlots);
    PoolBlock* block = AllocPoolBlock(pool, slots);
    if (block == nullptr && slots > 1) {
        slots = 1;
        block = AllocPoolBlock(pool, slots);
    }
    if (block == nullptr) return nullptr;
    block->capacity = static_cast<int32_t>(slots);
    block->handedOut = 1;
    block->freeCount = 0;
    block->freeList = nullptr;
    pool->totalSlots += slots;
    LinkAtHead(slots >= 2 ? pool->openBlocks : pool->fullBlocks, block);
    return block;
}

void ReleaseBlockList(PoolBlock* block) {
    while (block != nullptr) {
        PoolBlock* next = block->next;
        FreeBlock(block);
        block = next;
    }
}

void ReleaseAllBlocks(Pool* pool) {
    ReleaseBlockList(pool->openBlocks);
    ReleaseBlockList(pool->fullBlocks);
    pool->openBlocks = nullptr;
    pool->fullBlocks = nullptr;
    pool->totalSlots = 0;
}

bool IsFull(const PoolBlock* block) {
    return block->freeCount == 0 && block->handedOut >= block->capacity;
}

Pool* CreatePrivatePool(uint64_t slotSize, int32_t minBlockSlots, int32_t maxBlockSlots,
                        int32_t flags) {
    Pool* pool = static_cast<Pool*>(AllocBlock(sizeof(Pool)));
    if (pool == nullptr) return nullptr;
    pool->slotSize = slotSize;
    pool->minBlockSlots = minBlockSlots;
    pool->maxBlockSlots = maxBlockSlots;
    pool->locked = (flags & 3) == kPoolOwnLock ? 1 : 0;
    if (pool->locked == 1) InitRecursiveMutex(&pool->mutex);
    return pool;
}

void DestroyPrivatePool(Pool* pool) {
    {
        PoolLock lock(pool);
        ReleaseAllBlocks(pool);
    }
    if (pool->locked == 1) pthread_mutex_destroy(&pool->mutex);
    FreeBlock(pool);
}

// The process-wide list of shared pools and its recursive lock.
pthread_once_t sharedPoolsOnce = PTHREAD_ONCE_INIT;
pthread_mutex_t sharedPoolsMutex;
SharedPoolEntry* sharedPools = nullptr;

void InitSharedPools() {
    InitRecursiveMutex(&sharedPoolsMutex);
    sharedPools = nullptr;
}

class SharedPoolsLock {
  public:
    SharedPoolsLock() {
        pthread_once(&sharedPoolsOnce, InitSharedPools);
        pthread_mutex_lock(&sharedPoolsMutex);
    }
    ~SharedPoolsLock() { pthread_mutex_unlock(&sharedPoolsMutex); }
    SharedPoolsLock(const SharedPoolsLock&) = delete;
    SharedPoolsLock& operator=(const SharedPoolsLock&) = delete;
};

// Every creator gets the one pool, whatever thread it runs on: in thread-safe builds a shared
// pool therefore always locks itself, while the sharing key stays the flags as given.
int32_t SharedPoolOwnFlags(int32_t flags) {
    const int32_t own = flags & ~kPoolShared;
#if VORLUNE_THREAD_SAFE
    return (own & ~3) | kPoolOwnLock;
#else
    return own;
#endif
}

Pool* AcquireSharedPool(uint64_t slotSize, int32_t minBlockSlots, int32_t maxBlockSlots,
                        int32_t flags) {
    SharedPoolsLock lock;
    for (SharedPoolEntry* entry = sharedPools; entry != nullptr; entry = entry->next) {
        if (entry->slotSize == slotSize && entry->flags == flags) {
            ++entry->refCount;
            return entry->pool;
        }
    }
    auto* entry = static_cast<SharedPoolEntry*>(AllocBlock(sizeof(SharedPoolEntry)));
    if (entry == nullptr) return nullptr;
    Pool* pool =
        CreatePrivatePool(slotSize, minBlockSlots, maxBlockSlots, SharedPoolOwnFlags(flags));
    if (pool == nullptr) {
        FreeBlock(entry);
        return nullptr;
    }
    pool->sharedEntry = entry;
    entry->pool = pool;
    entry->slotSize = slotSize;
    entry->flags = flags;
    entry->refCount = 1;
    LinkAtHead(sharedPools, entry);
    return pool;
}

void ReleaseSharedPool(Pool* pool) {
    SharedPoolsLock lock;
    SharedPoolEntry* entry = pool->sharedEntry;
    if (entry->refCount-- > 1) return;
    pool->sharedEntry = nullptr;
    DestroyPrivatePool(pool);
    Unlink(sharedPools, entry);
    FreeBlock(entry);
}

}  // namespace

// Sized blocks ---------------------------------------------------------------------------------

void* AllocBlock(uint64_t length) {
    return AllocSizedBlock(length, true);
}
void* AllocBlockUncleared(uint64_t length) {
    return AllocSizedBlock(length, false);
}

void* ResizeBlock(void* payload, uint64_t length) {
    return ResizeSizedBlock(payload, length, true);
}

void* ResizeBlockUncleared(void* payload, uint64_t length) {
    return ResizeSizedBlock(payload, length, false);
}

void FreeBlock(void* payload) {
    if (payload != nullptr) std::free(HeaderOf(payload));
}

void* NewBlock(int64_t length, int32_t flags) {
    if (length <= 0) return nullptr;
    const uint64_t size = static_cast<uint64_t>(length);
    return (flags & 1) != 0 ? AllocBlockUncleared(size) : AllocBlock(size);
}

uint64_t BlockLength(const void* payload) {
    return payload == nullptr ? 0 : *HeaderOf(const_cast<void*>(payload));
}

// Plain memory ---------------------------------------------------------------------------------

void* AllocZeroed(uint64_t size) {
    void* memory = SystemAlloc(size);
    if (memory != nullptr) std::memset(memory, 0, size);
    return memory;
}

void* AllocRaw(uint64_t size) {
    return SystemAlloc(size);
}

void* ReallocZeroTail(void* memory, uint64_t oldSize, uint64_t newSize) {
    unsigned char* resized = static_cast<unsigned char*>(SystemRealloc(memory, newSize));
    if (resized == nullptr) return nullptr;
    if (newSize > oldSize) std::memset(resized + oldSize, 0, newSize - oldSize);
    return resized;
}

void FreeMemory(void* memory) {
    if (memory != nullptr) std::free(memory);
}

// Lists ----------------------------------------------------------------------------------------

ListNode* ListNodeOf(void* handle) {
    return static_cast<ListNode*>(handle) - 1;
}
void* ListHandleOf(ListNode* node) {
    return node + 1;
}

void* ListAddNode(ListNode** head, uint64_t nodeSize) {
    if (head == nullptr || nodeSize < sizeof(ListNode)) return nullptr;
    auto* node = static_cast<ListNode*>(AllocBlock(nodeSize));
    if (node == nullptr) return nullptr;
    LinkAtHead(*head, node);
    return ListHandleOf(node);
}

void ListRemoveNode(ListNode** head, void* handle) {
    if (head == nullptr || handle == nullptr) return;
    ListNode* node = ListNodeOf(handle);
    Unlink(*head, node);
    FreeBlock(node);
}

// Pools ----------------------------------------------------------------------------------------

uint64_t PoolBlockSlotsFor(uint64_t totalSlots, int32_t minBlockSlots, int32_t maxBlockSlots) {
    const uint64_t slots = totalSlots / 16 / 16 * 16;
    if (slots < static_cast<uint64_t>(minBlockSlots)) return static_cast<uint64_t>(minBlockSlots);
    return slots < static_cast<uint64_t>(maxBlockSlots) ? slots
                                                        : static_cast<uint64_t>(maxBlockSlots);
}

Pool* CreatePool(uint64_t elementSize, int32_t minBlockSlots, int32_t maxBlockSlots,
                 int32_t flags) {
    if (minBlockSlots < 1 || maxBlockSlots < 1) return nullptr;
    if (AddOverflows(elementSize, 7)) return nullptr;
    const uint64_t rounded = (elementSize + 7) / 8 * 8;
    if (AddOverflows(rounded, kSlotHeaderBytes)) return nullptr;
    const uint64_t slotSize = rounded + kSlotHeaderBytes;
    if ((flags & kPoolShared) != 0) {
        return AcquireSharedPool(slotSize, minBlockSlots, maxBlockSlots, flags);
    }
    return CreatePrivatePool(slotSize, minBlockSlots, maxBlockSlots, flags);
}

void* PoolAlloc(Pool* pool) {
    if (pool == nullptr || ShouldFail(pool->slotSize - kSlotHeaderBytes)) return nullptr;
    PoolLock lock(pool);
    PoolBlock* block = pool->openBlocks;
    void* slot = nullptr;
    if (block != nullptr) {
        if (block->freeCount > 0) {
            slot = block->freeList;
            block->freeList = SlotHeader(slot);
            --block->freeCount;
        } else {
            slot = SlotOf(block, pool->slotSize, block->handedOut++);
        }
        if (IsFull(block)) {
            Unlink(pool->openBlocks, block);
            LinkAtHead(pool->fullBlocks, block);
        }
    } else {
        block = AddPoolBlock(pool);
        if (block == nullptr) return nullptr;
        slot = SlotOf(block, pool->slotSize, 0);
    }
    SlotHeader(slot) = block;
    return static_cast<unsigned char*>(slot) + kSlotHeaderBytes;
}

void* PoolAllocZeroed(Pool* pool) {
    void* element = PoolAlloc(pool);
    if (element != nullptr) std::memset(element, 0, pool->slotSize - kSlotHeaderBytes);
    return element;
}

void PoolFree(Pool* pool, void* element) {
    if (pool == nullptr || element == nullptr) return;
    PoolLock lock(pool);
    void* slot = static_cast<unsigned char*>(element) - kSlotHeaderBytes;
    auto* block = static_cast<PoolBlock*>(SlotHeader(slot));
    assert(block != nullptr);
    const bool wasFull = IsFull(block);
    SlotHeader(slot) = block->freeList;
    block->freeList = slot;
    ++block->freeCount;
    if (block->freeCount == block->handedOut) {
        Unlink(block->capacity == 1 ? pool->fullBlocks : pool->openBlocks, block);
        pool->totalSlots -= static_cast<uint64_t>(block->capacity);
        FreeBlock(block);
    } else if (wasFull) {
        Unlink(pool->fullBlocks, block);
        LinkAtHead(pool->openBlocks, block);
    }
}

void PoolFreeAll(Pool* pool) {
    if (pool == nullptr) return;
    PoolLock lock(pool);
    ReleaseAllBlocks(pool);
}

void DestroyPool(Pool* pool) {
    if (pool == nullptr) return;
    if (pool->sharedEntry != nullptr) {
        ReleaseSharedPool(pool);
    } else {
        DestroyPrivatePool(pool);
    }
}

// State blocks ---------------------------------------------------------------------------------

void* CreateStateBlock(uint64_t size, StateInitialiser initialiser, StateCleanup) {
    void* block = AllocBlock(size);
    if (block != nullptr && initialiser != nullptr) initialiser(block);
    return block;
}

void* StateBlockFor(void* block) {
    return block;
}

// Test seam ------------------------------------------------------------------------------------

void SetAllocationFailureHook(AllocationFailureHook shouldFail) {
    failureHook.store(shouldFail, std::memory_order_relaxed);
}

}  // namespace vorlune
