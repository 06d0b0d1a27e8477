#include "runtime/core/memory.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <limits>
#include <thread>
#include <vector>

#include "runtime/core/startup.h"

namespace vorlune {
namespace {

constexpr uint64_t kMax64 = std::numeric_limits<uint64_t>::max();

// Records every request the layer makes; fails those at or above a threshold.
std::vector<uint64_t> requests;
uint64_t failFrom = kMax64;
bool RecordAndMaybeFail(uint64_t size) {
    requests.push_back(size);
    return size >= failFrom;
}

class MemoryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        requests.clear();
        failFrom = kMax64;
        SetAllocationFailureHook(RecordAndMaybeFail);
    }
    void TearDown() override { SetAllocationFailureHook(nullptr); }
};

bool AllZero(const void* memory, uint64_t size) {
    const auto* bytes = static_cast<const unsigned char*>(memory);
    for (uint64_t i = 0; i < size; ++i) {
        if (bytes[i] != 0) return false;
    }
    return true;
}

// A block the allocator is likely to hand back next: freed just after being dirtied.
void DirtyAndFree(uint64_t length) {
    void* dirty = AllocBlockUncleared(length);
    std::memset(dirty, 0xAB, length);
    FreeBlock(dirty);
}

int BlockCount(const PoolBlock* block) {
    int count = 0;
    for (; block != nullptr; block = block->next)
        ++count;
    return count;
}

uint64_t BlockBytes(const Pool* pool, uint64_t slots) {
    return 8 + sizeof(PoolBlock) + slots * pool->slotSize;
}

// Sized blocks ---------------------------------------------------------------------------------

TEST_F(MemoryTest, SizedBlocksRecordTheirLengthAndComeZeroed) {
    for (uint64_t length : {uint64_t{0}, uint64_t{1}, uint64_t{24}, uint64_t{4096}}) {
        DirtyAndFree(length + 1);
        void* block = AllocBlock(length);
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(BlockLength(block), length);
        EXPECT_TRUE(AllZero(block, length));
        FreeBlock(block);
    }
    EXPECT_EQ(requests.back(), 4096u + 8);
}

TEST_F(MemoryTest, OversizedRequestsAreRefusedWithoutReachingTheAllocator) {
    EXPECT_EQ(AllocBlock(kMax64), nullptr);
    EXPECT_EQ(AllocBlock(kMax64 - 7), nullptr);
    EXPECT_EQ(AllocBlockUncleared(kMax64 - 7), nullptr);
    void* block = AllocBlock(8);
    EXPECT_EQ(ResizeBlock(block, kMax64 - 7), nullptr);
    EXPECT_EQ(BlockLength(block), 8u);
    FreeBlock(block);
    for (uint64_t size : requests)
        EXPECT_LT(size, 1024u);
}

TEST_F(MemoryTest, ResizeBlockZeroesExactlyTheGrownPart) {
    auto* block = static_cast<unsigned char*>(AllocBlock(8));
    std::memset(block, 0x5A, 8);
    block = static_cast<unsigned char*>(ResizeBlock(block, 24));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(BlockLength(block), 24u);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(block[i], 0x5A) << i;
    EXPECT_TRUE(AllZero(block + 8, 16));
    block = static_cast<unsigned char*>(ResizeBlock(block, 4));
    EXPECT_EQ(BlockLength(block), 4u);
    block = static_cast<unsigned char*>(ResizeBlockUncleared(block, 12));
    EXPECT_EQ(BlockLength(block), 12u);
    EXPECT_EQ(block[3], 0x5A);
    FreeBlock(block);
}

TEST_F(MemoryTest, FailedResizeLeavesTheOldBlockIntact) {
    EXPECT_EQ(ResizeBlock(nullptr, 16), nullptr);
    EXPECT_EQ(ResizeBlockUncleared(nullptr, 16), nullptr);
    EXPECT_TRUE(requests.empty()) << "resizing null must allocate nothing";
    auto* block = static_cast<unsigned char*>(AllocBlock(16));
    block[15] = 7;
    failFrom = 0;
    EXPECT_EQ(ResizeBlock(block, 64), nullptr);
    EXPECT_EQ(ResizeBlockUncleared(block, 64), nullptr);
    EXPECT_EQ(AllocBlock(1), nullptr);
    EXPECT_EQ(BlockLength(block), 16u);
    EXPECT_EQ(block[15], 7);
    FreeBlock(block);
}

TEST_F(MemoryTest, NewBlockRules) {
    struct Case {
        int64_t length;
        int32_t flags;
        bool expectBlock;
        bool expectCleared;
    };
    const Case cases[] = {
        {0, 0, false, false},
        {-1, 0, false, false},
        {std::numeric_limits<int64_t>::min(), 1, false, false},
        {200, 0, true, true},
        {200, 2, true, true},
        {200, 1, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.length << " flags " << c.flags);
        if (c.expectBlock) DirtyAndFree(static_cast<uint64_t>(c.length));
        requests.clear();
        void* block = NewBlock(c.length, c.flags);
        ASSERT_EQ(block != nullptr, c.expectBlock);
        if (!c.expectBlock) {
            EXPECT_TRUE(requests.empty());
            continue;
        }
        EXPECT_EQ(BlockLength(block), static_cast<uint64_t>(c.length));
        // Uncleared memory holds the dirt of the block freed before (or the sanitizer's fill).
        EXPECT_EQ(AllZero(block, static_cast<uint64_t>(c.length)), c.expectCleared);
        FreeBlock(block);
    }
}

// Plain memory ---------------------------------------------------------------------------------

TEST_F(MemoryTest, ReallocZeroTailKeepsTheHeadAndZeroesTheTail) {
    auto* memory = static_cast<unsigned char*>(AllocRaw(8));
    std::memset(memory, 0x33, 8);
    memory = static_cast<unsigned char*>(ReallocZeroTail(memory, 8, 40));
    EXPECT_EQ(requests, (std::vector<uint64_t>{8, 40}));
    ASSERT_NE(memory, nullptr);
    EXPECT_EQ(memory[7], 0x33);
    EXPECT_TRUE(AllZero(memory + 8, 32));
    memory = static_cast<unsigned char*>(ReallocZeroTail(memory, 40, 4));
    ASSERT_NE(memory, nullptr);
    EXPECT_EQ(memory[3], 0x33);

    failFrom = 0;
    EXPECT_EQ(ReallocZeroTail(memory, 4, 64), nullptr);
    EXPECT_EQ(AllocZeroed(100), nullptr);
    EXPECT_EQ(AllocRaw(100), nullptr);
    EXPECT_EQ(memory[3], 0x33);  // still ours
    failFrom = kMax64;
    void* zeroed = AllocZeroed(100);
    EXPECT_TRUE(AllZero(zeroed, 100));
    FreeMemory(zeroed);

    // Shrinking to nothing must not release the memory behind the caller's back.
    void* shrunk = ReallocZeroTail(memory, 4, 0);
    ASSERT_NE(shrunk, nullptr);
    FreeMemory(shrunk);
}

// Lists -----------------------------------------------------------------------------------------

TEST_F(MemoryTest, ListNodesLinkNewestFirstAndUnlinkFromAnyPosition) {
    // Nodes 2, 1, 0 from the head; -1 removes none.
    for (int removed = -1; removed < 3; ++removed) {
        SCOPED_TRACE(removed);
        ListNode* head = nullptr;
        void* handles[3];
        for (void*& handle : handles)
            handle = ListAddNode(&head, 16 + 8);
        EXPECT_TRUE(AllZero(handles[0], 8));
        EXPECT_EQ(BlockLength(ListNodeOf(handles[0])), 24u);
        std::vector<ListNode*> expected;
        for (int i = 2; i >= 0; --i) {
            if (i != removed) expected.push_back(ListNodeOf(handles[i]));
        }
        if (removed >= 0) ListRemoveNode(&head, handles[removed]);
        std::vector<ListNode*> forward;
        ListNode* last = nullptr;
        for (ListNode* node = head; node != nullptr; node = node->next) {
            EXPECT_EQ(node->prev, last);
            forward.push_back(node);
            last = node;
        }
        EXPECT_EQ(forward, expected);
        while (head != nullptr)
            ListRemoveNode(&head, ListHandleOf(head));
    }
}

TEST_F(MemoryTest, FailedListAddLinksNothing) {
    ListNode* head = nullptr;
    void* first = ListAddNode(&head, 32);
    failFrom = 0;
    EXPECT_EQ(ListAddNode(&head, 32), nullptr);
    EXPECT_EQ(ListAddNode(&head, 8), nullptr);  // too small for its links
    EXPECT_EQ(head, ListNodeOf(first));
    EXPECT_EQ(head->prev, nullptr);
    EXPECT_EQ(head->next, nullptr);
    ListRemoveNode(&head, first);
    EXPECT_EQ(head, nullptr);
}

// Pools ------------------------------------------------------------------------------------------

TEST_F(MemoryTest, SlotSizeIsTheRoundedElementPlusItsHeader) {
    const std::pair<uint64_t, uint64_t> cases[] = {{56, 64}, {13, 24}, {0, 8},
                                                   {1, 16},  {8, 16},  {9, 24}};
    for (auto [elementSize, slotSize] : cases) {
        Pool* pool = CreatePool(elementSize, 16, 256, kPoolPrivate);
        ASSERT_NE(pool, nullptr);
        EXPECT_EQ(pool->slotSize, slotSize) << elementSize;
        DestroyPool(pool);
    }
}

TEST_F(MemoryTest, CreatePoolRefusesImpossibleShapes) {
    EXPECT_EQ(CreatePool(kMax64, 16, 256, kPoolPrivate), nullptr);
    EXPECT_EQ(CreatePool(kMax64 - 8, 16, 256, kPoolPrivate), nullptr);
    EXPECT_EQ(CreatePool(8, 0, 256, kPoolPrivate), nullptr);
    EXPECT_EQ(CreatePool(8, 16, -1, kPoolPrivate), nullptr);
    failFrom = 0;
    EXPECT_EQ(CreatePool(8, 16, 256, kPoolPrivate), nullptr);
    EXPECT_EQ(CreatePool(8, 16, 256, kPoolShared), nullptr);
}

TEST_F(MemoryTest, BlockSlotRule) {
    struct Case {
        uint64_t totalSlots;
        int32_t min, max;
        uint64_t expected;
    };
    const Case cases[] = {
        {0, 16, 256, 16},           {511, 16, 256, 16},
        {512, 16, 256, 32},         {767, 16, 256, 32},
        {768, 16, 256, 48},         {4096, 16, 256, 256},
        {1u << 30, 16, 256, 256},   {0, 128, 1024, 128},
        {4096, 128, 1024, 256},     {0, 1, 1, 1},
        {kMax64, 16, 65536, 65536},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PoolBlockSlotsFor(c.totalSlots, c.min, c.max), c.expected)
            << c.totalSlots << " in [" << c.min << ", " << c.max << "]";
    }
}

TEST_F(MemoryTest, BlocksGrowWithThePoolUpToTheLimit) {
    Pool* pool = CreatePool(24, 16, 256, kPoolPrivate);
    std::vector<void*> elements;
    std::vector<uint64_t> newBlockSizes;
    uint64_t sizeAfter512 = 0;
    while (pool->totalSlots < 20000) {
        const uint64_t before = pool->totalSlots;
        elements.push_back(PoolAlloc(pool));
        ASSERT_NE(elements.back(), nullptr);
        if (pool->totalSlots == before) continue;
        newBlockSizes.push_back(pool->totalSlots - before);
        if (before >= 512 && sizeAfter512 == 0) sizeAfter512 = pool->totalSlots - before;
    }
    EXPECT_EQ(newBlockSizes.front(), 16u);
    EXPECT_EQ(sizeAfter512, 32u);
    for (uint64_t size : newBlockSizes)
        EXPECT_LE(size, 256u);
    EXPECT_EQ(newBlockSizes.back(), 256u);
    for (void* element : elements)
        PoolFree(pool, element);
    EXPECT_EQ(pool->totalSlots, 0u);
    EXPECT_EQ(pool->openBlocks, nullptr);
    EXPECT_EQ(pool->fullBlocks, nullptr);
    DestroyPool(pool);
}

TEST_F(MemoryTest, OneElementAllocatedAndFreedMakesAndReleasesABlockEachTime) {
    Pool* pool = CreatePool(40, 16, 256, kPoolPrivate);
    const uint64_t blockBytes = BlockBytes(pool, 16);
    for (int round = 0; round < 3; ++round) {
        requests.clear();
        void* element = PoolAlloc(pool);
        ASSERT_NE(element, nullptr);
        EXPECT_EQ(requests, (std::vector<uint64_t>{40, blockBytes}));
        EXPECT_EQ(pool->totalSlots, 16u);
        EXPECT_EQ(pool->openBlocks->handedOut, 1);
        PoolFree(pool, element);
        EXPECT_EQ(pool->totalSlots, 0u);
        EXPECT_EQ(pool->openBlocks, nullptr);
    }
    DestroyPool(pool);
}

TEST_F(MemoryTest, FreedSlotsComeBackLastInFirstOut) {
    Pool* pool = CreatePool(16, 16, 256, kPoolPrivate);
    void* keep = PoolAlloc(pool);
    void* a = PoolAlloc(pool);
    void* b = PoolAlloc(pool);
    PoolFree(pool, a);
    PoolFree(pool, b);
    EXPECT_EQ(PoolAlloc(pool), b);
    EXPECT_EQ(PoolAlloc(pool), a);
    EXPECT_EQ(pool->openBlocks->handedOut, 3);
    PoolFreeAll(pool);
    EXPECT_EQ(pool->totalSlots, 0u);
    EXPECT_NE(PoolAlloc(pool), nullptr);  // still usable
    (void)keep;
    DestroyPool(pool);
}

TEST_F(MemoryTest, AFullBlockReturnsToTheHeadOfOpenBlocks) {
    Pool* pool = CreatePool(8, 4, 4, kPoolPrivate);
    void* first[4];
    for (void*& element : first)
        element = PoolAlloc(pool);
    PoolBlock* firstBlock = pool->fullBlocks;
    ASSERT_NE(firstBlock, nullptr);
    EXPECT_EQ(pool->openBlocks, nullptr);
    EXPECT_EQ(firstBlock->capacity, 4);

    void* second = PoolAlloc(pool);  // a new open block
    PoolBlock* secondBlock = pool->openBlocks;
    ASSERT_NE(secondBlock, firstBlock);

    PoolFree(pool, first[2]);
    EXPECT_EQ(pool->fullBlocks, nullptr);
    EXPECT_EQ(pool->openBlocks, firstBlock);
    EXPECT_EQ(firstBlock->next, secondBlock);
    EXPECT_EQ(PoolAlloc(pool), first[2]);  // the head block serves
    EXPECT_EQ(pool->fullBlocks, firstBlock);

    for (void* element : first)
        PoolFree(pool, element);
    EXPECT_EQ(pool->openBlocks, secondBlock);
    EXPECT_EQ(pool->fullBlocks, nullptr);
    EXPECT_EQ(pool->totalSlots, 4u);
    PoolFree(pool, second);
    EXPECT_EQ(pool->totalSlots, 0u);
    DestroyPool(pool);
}

TEST_F(MemoryTest, PoolFallsBackToOneSlotBlocks) {
    Pool* pool = CreatePool(32, 16, 256, kPoolPrivate);
    failFrom = BlockBytes(pool, 1) + 1;
    auto* a = static_cast<unsigned char*>(PoolAllocZeroed(pool));
    void* b = PoolAlloc(pool);
    ASSERT_TRUE(a && b);
    EXPECT_TRUE(AllZero(a, 32));
    EXPECT_EQ(pool->openBlocks, nullptr);
    EXPECT_EQ(BlockCount(pool->fullBlocks), 2);
    EXPECT_EQ(pool->fullBlocks->capacity, 1);
    EXPECT_EQ(pool->totalSlots, 2u);
    PoolFree(pool, a);
    PoolFree(pool, b);
    EXPECT_EQ(pool->fullBlocks, nullptr);
    EXPECT_EQ(pool->totalSlots, 0u);
    DestroyPool(pool);
}

TEST_F(MemoryTest, ExhaustedPoolChangesNothing) {
    Pool* pool = CreatePool(32, 16, 256, kPoolPrivate);
    void* held = PoolAlloc(pool);
    const PoolBlock before = *pool->openBlocks;
    failFrom = 0;  // every element request fails, even one a block could serve
    EXPECT_EQ(PoolAlloc(pool), nullptr);
    EXPECT_EQ(PoolAllocZeroed(pool), nullptr);
    EXPECT_EQ(pool->openBlocks->handedOut, before.handedOut);
    EXPECT_EQ(pool->openBlocks->freeCount, before.freeCount);
    EXPECT_EQ(pool->totalSlots, 16u);
    PoolFree(pool, held);

    failFrom = 64;  // elements pass, blocks fail
    EXPECT_EQ(PoolAlloc(pool), nullptr);
    EXPECT_EQ(pool->openBlocks, nullptr);
    EXPECT_EQ(pool->fullBlocks, nullptr);
    EXPECT_EQ(pool->totalSlots, 0u);
    DestroyPool(pool);
}

TEST_F(MemoryTest, SlotsTooLargeForAnyBlockAreRefusedNotWrapped) {
    Pool* pool = CreatePool(kMax64 - 47, 16, 256, kPoolPrivate);
    ASSERT_NE(pool, nullptr);
    requests.clear();
    EXPECT_EQ(PoolAlloc(pool), nullptr);
    EXPECT_EQ(requests.size(), 1u);  // only the element request; no block was asked for
    EXPECT_EQ(pool->totalSlots, 0u);
    DestroyPool(pool);
}

TEST_F(MemoryTest, SharedPoolsAreKeyedBySlotSizeAndFlags) {
    Pool* a = CreatePool(13, 16, 65536, kPoolShared);
    Pool* b = CreatePool(16, 16, 65536, kPoolShared);  // same slot size
    Pool* other = CreatePool(16, 16, 65536, kPoolShared | kPoolPrivate);
    Pool* wider = CreatePool(24, 16, 65536, kPoolShared);
    ASSERT_TRUE(a && other && wider);
    EXPECT_EQ(a, b);
    EXPECT_NE(a, other);
    EXPECT_NE(a, wider);
    ASSERT_NE(a->sharedEntry, nullptr);
    EXPECT_EQ(a->sharedEntry->refCount, 2);
    EXPECT_EQ(a->sharedEntry->flags, kPoolShared);
    EXPECT_EQ(a->sharedEntry->pool, a);

    DestroyPool(b);
    EXPECT_EQ(a->sharedEntry->refCount, 1);
    void* element = PoolAlloc(a);  // survives the first release
    ASSERT_NE(element, nullptr);
    PoolFree(a, element);
    DestroyPool(a);  // released; LeakSanitizer checks nothing stays behind

    Pool* fresh = CreatePool(16, 16, 65536, kPoolShared);
    EXPECT_EQ(fresh->sharedEntry->refCount, 1);
    for (Pool* pool : {fresh, other, wider})
        DestroyPool(pool);
}

TEST_F(MemoryTest, OnlyFlagsOneGiveAPoolItsOwnLock) {
    // A shared pool reaches every thread that asks for it: the thread-safe build locks it.
    const int32_t sharedLocked = IsThreadSafeBuild() ? 1 : 0;
    const std::pair<int32_t, int32_t> cases[] = {{0, 0}, {1, 1}, {2, 0},
                                                 {3, 0}, {5, 1}, {4, sharedLocked}};
    for (auto [flags, locked] : cases) {
        Pool* pool = CreatePool(8, 16, 256, flags);
        EXPECT_EQ(pool->locked, locked) << flags;
        DestroyPool(pool);
    }
}

TEST_F(MemoryTest, LockedPoolSurvivesConcurrentUse) {
    SetAllocationFailureHook(nullptr);  // the recorder is not thread-safe
    Pool* pool = CreatePool(24, 16, 64, kPoolOwnLock);
    std::atomic<int> failures{0};
    auto work = [&] {
        void* held[8];
        for (int round = 0; round < 2000; ++round) {
            for (void*& element : held)
                element = PoolAlloc(pool);
            for (void* element : held) {
                if (element == nullptr) ++failures;
                PoolFree(pool, element);
            }
        }
    };
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i)
        threads.emplace_back(work);
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(pool->totalSlots, 0u);
    DestroyPool(pool);
}

// State blocks ------------------------------------------------------------------------------

TEST_F(MemoryTest, StateBlockIsZeroedBeforeItsInitialiserRuns) {
    static bool sawZeroes = false;
    void* block = CreateStateBlock(
        64,
        [](void* memory) {
            sawZeroes = AllZero(memory, 64);
            static_cast<char*>(memory)[0] = 1;
        },
        nullptr);
    ASSERT_NE(block, nullptr);
    EXPECT_TRUE(sawZeroes);
    EXPECT_EQ(StateBlockFor(block), block);
    EXPECT_EQ(static_cast<char*>(block)[0], 1);
    FreeBlock(block);
}

}  // namespace
}  // namespace vorlune
