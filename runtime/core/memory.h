#pragma once
// The runtime's memory layer: sized blocks, plain memory, block lists, element pools, state blocks.

#include <pthread.h>

#include <cstdint>

namespace vorlune {

// Sized blocks: an 8-byte length header in front of the payload ------------------------------
void* AllocBlock(uint64_t length);           // zero-filled; null on failure or a length too large
void* AllocBlockUncleared(uint64_t length);  // contents unspecified; null on failure
void* ResizeBlock(void* payload, uint64_t length);  // grown part zeroed; null payload or failure
                                                    // gives null and the old block stays valid
void* ResizeBlockUncleared(void* payload, uint64_t length);  // as ResizeBlock, nothing zeroed
void FreeBlock(void* payload);                               // null does nothing
void* NewBlock(int64_t length, int32_t flags);  // null when length <= 0; flags & 1: not cleared
uint64_t BlockLength(const void* payload);      // last length requested; 0 for null

// Plain memory, no header ----------------------------------------------------------------------
void* AllocZeroed(uint64_t size);
void* AllocRaw(uint64_t size);
void* ReallocZeroTail(void* memory, uint64_t oldSize, uint64_t newSize);  // null on failure,
                                                                          // memory stays valid
void FreeMemory(void* memory);                                            // null does nothing

// Lists of sized blocks: each node starts with its two links ---------------------------------
struct ListNode {
    ListNode* next;  // towards older nodes
    ListNode* prev;  // towards newer nodes; null at the head
};

void* ListAddNode(ListNode** head, uint64_t nodeSize);  // zeroed, linked at the head; returns the
                                                        // handle after the links, null on failure
void ListRemoveNode(ListNode** head, void* handle);     // unlinks and releases; null does nothing
ListNode* ListNodeOf(void* handle);
void* ListHandleOf(ListNode* node);

// Element pools ------------------------------------------------------------------------------
constexpr int32_t kPoolOwnLock = 1;  // flags bits 0-1 equal to 1
constexpr int32_t kPoolPrivate = 2;  // no own lock
constexpr int32_t kPoolShared = 4;   // one reference-counted pool per slot size and flags
constexpr uint64_t kSlotHeaderBytes = 8;

struct PoolBlock {
    PoolBlock* next;
    PoolBlock* prev;
    void* freeList;     // most recently freed slot; each free slot's header names the next one
    int32_t capacity;   // slots in this block
    int32_t handedOut;  // fresh slots used so far: 0 .. handedOut - 1
    int32_t freeCount;  // slots on freeList
};

struct SharedPoolEntry;

struct Pool {
    PoolBlock* fullBlocks;  // no free or fresh slot left, and every one-slot block
    PoolBlock* openBlocks;  // allocation serves the head
    SharedPoolEntry* sharedEntry;
    uint64_t totalSlots;
    uint64_t slotSize;  // element size rounded up to 8, plus the slot header
    int32_t minBlockSlots;
    int32_t maxBlockSlots;
    int32_t locked;
    pthread_mutex_t mutex;  // recursive; initialised only when locked
};

struct SharedPoolEntry {
    SharedPoolEntry* next;
    SharedPoolEntry* prev;
    Pool* pool;
    uint64_t slotSize;
    int32_t flags;
    int32_t refCount;
};

Pool* CreatePool(uint64_t elementSize, int32_t minBlockSlots, int32_t maxBlockSlots,
                 int32_t flags);           // null on failure or slot limits below 1
void* PoolAlloc(Pool* pool);               // contents unspecified; null when memory is exhausted
void* PoolAllocZeroed(Pool* pool);         // null when memory is exhausted
void PoolFree(Pool* pool, void* element);  // null element does nothing
void PoolFreeAll(Pool* pool);              // every element handed out becomes invalid
void DestroyPool(Pool* pool);              // a shared pool loses one reference
uint64_t PoolBlockSlotsFor(uint64_t totalSlots, int32_t minBlockSlots, int32_t maxBlockSlots);

// Module state blocks ------------------------------------------------------------------------
using StateInitialiser = void (*)(void* block);
using StateCleanup = void (*)(void* block);

void* CreateStateBlock(uint64_t size, StateInitialiser initialiser,
                       StateCleanup cleanup);  // zero-filled; cleanup is kept for symmetry only
void* StateBlockFor(void* block);

// Test seam: simulated allocation failure ----------------------------------------------------
// When set, the hook is asked before every request this layer makes to the system allocator
// (with the byte count requested) and before every pool element is handed out (with the pool's
// element size, slotSize - 8); a true answer makes that request fail as if memory were
// exhausted. Null switches it off. Meant for tests of failure paths, not for production use.
using AllocationFailureHook = bool (*)(uint64_t size);
void SetAllocationFailureHook(AllocationFailureHook shouldFail);

}  // namespace vorlune
