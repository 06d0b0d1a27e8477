#include "runtime/core/registry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <thread>
#include <vector>

namespace vorlune {
namespace {

struct Thing {
    void* handle;  // in-use word
    int64_t value;
    char name[16];
};

constexpr int32_t kThingSize = sizeof(Thing);

// A kind in the usual shape: its free operation looks the object up, releases it and ends with
// FreeObject; AnyNumber frees every object of the kind.
ObjectRegistry* things = nullptr;
std::vector<int64_t> freedNumbers;
std::vector<int64_t> freeCalls;

void FreeThing(int64_t number) {
    freeCalls.push_back(number);
    if (number == AnyNumber) {
        FreeAllObjects(things);
        return;
    }
    if (GetObject(things, number) == nullptr) return;
    freedNumbers.push_back(number);
    FreeObject(things, number);
}

uint64_t failFrom = std::numeric_limits<uint64_t>::max();
std::vector<uint64_t> requests;
bool RecordAndMaybeFail(uint64_t size) {
    requests.push_back(size);
    return size >= failFrom;
}

class RegistryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        things = CreateObjectRegistry(kThingSize, 16, FreeThing);
        freedNumbers.clear();
        freeCalls.clear();
        requests.clear();
        failFrom = std::numeric_limits<uint64_t>::max();
        SetAllocationFailureHook(RecordAndMaybeFail);
    }
    void TearDown() override {
        SetAllocationFailureHook(nullptr);
        DestroyObjectRegistry(things);
        things = nullptr;
    }

    // Allocates and marks live, as a kind does once its native object exists.
    static int64_t Make(int64_t number, int64_t value = 0) {
        auto* thing = static_cast<Thing*>(AllocateObject(things, number));
        EXPECT_NE(thing, nullptr);
        if (thing == nullptr) return AnyNumber;
        thing->handle = thing;
        thing->value = value;
        return number == AnyNumber ? static_cast<int64_t>(reinterpret_cast<intptr_t>(thing))
                                   : number;
    }

    static std::vector<int64_t> Walk() {
        std::vector<int64_t> seen;
        ResetObjectIteration(things);
        int64_t number = 0;
        while (NextObject(things, &number) != nullptr)
            seen.push_back(number);
        EndObjectIteration(things);
        return seen;
    }
};

TEST_F(RegistryTest, CreationRefusesRecordsWithoutRoomForTheirInUseWord) {
    const std::pair<int32_t, int32_t> refused[] = {{0, 16}, {4, 16}, {-8, 16}, {16, 0}, {16, -1}};
    for (auto [elementSize, growBy] : refused) {
        EXPECT_EQ(CreateObjectRegistry(elementSize, growBy, nullptr), nullptr)
            << elementSize << ", " << growBy;
    }
    failFrom = 0;
    EXPECT_EQ(CreateObjectRegistry(16, 16, nullptr), nullptr);
}

TEST_F(RegistryTest, TableGrowsToTheNumberPlusTheStep) {
    struct Case {
        int64_t number;
        int64_t slotCount;
    };
    const Case cases[] = {{0, 16}, {5, 16}, {15, 16}, {16, 32}, {17, 33}, {100, 116}};
    for (const Case& c : cases) {
        ObjectRegistry* registry = CreateObjectRegistry(kThingSize, 16, nullptr);
        EXPECT_EQ(registry->slotCount, 16);
        ASSERT_NE(AllocateObject(registry, 3), nullptr);
        void* three = registry->slots[3];
        requests.clear();
        ASSERT_NE(AllocateObject(registry, c.number), nullptr);
        EXPECT_EQ(registry->slotCount, c.slotCount) << c.number;
        EXPECT_EQ(registry->slots[3], three);
        for (int64_t n = 0; n < registry->slotCount; ++n) {
            if (n != 3 && n != c.number) {
                EXPECT_EQ(registry->slots[n], nullptr) << n;
            }
        }
        // One record, plus the table when it had to grow.
        EXPECT_EQ(requests.size(), c.slotCount > 16 ? 2u : 1u) << c.number;
        DestroyObjectRegistry(registry);
    }
}

TEST_F(RegistryTest, ReallocatingANumberCallsTheFreeFunctionAndReusesTheRecord) {
    Make(5, 42);
    void* record = GetObject(things, 5);
    requests.clear();
    auto* again = static_cast<Thing*>(AllocateObject(things, 5));
    EXPECT_EQ(again, record);
    EXPECT_EQ(freeCalls, std::vector<int64_t>{5});
    EXPECT_EQ(freedNumbers, std::vector<int64_t>{5});
    const Thing zero{};
    EXPECT_EQ(std::memcmp(again, &zero, sizeof(Thing)), 0);
    EXPECT_TRUE(requests.empty()) << "reuse must not allocate";

    // A freed number: the free function runs, finds nothing live and does nothing.
    FreeObject(things, 5);
    freeCalls.clear();
    freedNumbers.clear();
    EXPECT_EQ(AllocateObject(things, 5), record);
    EXPECT_EQ(freeCalls, std::vector<int64_t>{5});
    EXPECT_TRUE(freedNumbers.empty());
}

TEST_F(RegistryTest, WithoutFreeFunctionReuseKeepsTheOldContents) {
    ObjectRegistry* registry = CreateObjectRegistry(kThingSize, 8, nullptr);
    auto* thing = static_cast<Thing*>(AllocateObject(registry, 2));
    thing->value = 9;
    EXPECT_EQ(static_cast<Thing*>(AllocateObject(registry, 2))->value, 9);
    DestroyObjectRegistry(registry);
}

TEST_F(RegistryTest, FreedNumberedObjectKeepsItsMemoryButIsNotFound) {
    Make(7);
    void* record = things->slots[7];
    FreeObject(things, 7);
    EXPECT_EQ(things->slots[7], record);
    EXPECT_EQ(GetObject(things, 7), nullptr);
    EXPECT_EQ(GetObjectChecked(things, 7), nullptr);
    FreeObject(things, 8);  // never allocated: nothing happens
    EXPECT_EQ(things->slots[8], nullptr);
}

TEST_F(RegistryTest, DynamicObjectsGetDistinctNumbersOutsideTheTable) {
    const int64_t a = Make(AnyNumber);
    const int64_t b = Make(AnyNumber);
    EXPECT_NE(a, b);
    for (int64_t number : {a, b}) {
        EXPECT_GE(number, things->slotCount);
        EXPECT_EQ(GetObject(things, number), reinterpret_cast<void*>(number));
    }
    // The checked lookup accepts a dynamic record whose in-use word is still zero.
    static_cast<Thing*>(GetObject(things, a))->handle = nullptr;
    EXPECT_EQ(GetObject(things, a), nullptr);
    EXPECT_EQ(GetObjectChecked(things, a), reinterpret_cast<void*>(a));
    EXPECT_TRUE(freeCalls.empty());
}

TEST_F(RegistryTest, UnknownNumbersAreNeverReadThrough) {
    Make(1);
    const int64_t live = Make(AnyNumber);
    const int64_t freed = Make(AnyNumber);
    FreeObject(things, freed);
    // Looks like a live record, but the registry never handed it out.
    Thing impostor{&impostor, 0, {}};
    const int64_t garbage = static_cast<int64_t>(reinterpret_cast<intptr_t>(&impostor));
    const int64_t unknown[] = {
        freed,     garbage,           -2,   std::numeric_limits<int64_t>::min(),
        AnyNumber, things->slotCount, 0x10, 1 << 20};
    for (int64_t number : unknown) {
        SCOPED_TRACE(number);
        EXPECT_EQ(GetObject(things, number), nullptr);
        EXPECT_EQ(GetObjectChecked(things, number), nullptr);
        FreeObject(things, number);
        EXPECT_EQ(GetObject(things, live), reinterpret_cast<void*>(live));
        EXPECT_NE(GetObject(things, 1), nullptr);
    }
    EXPECT_EQ(impostor.handle, &impostor);
    EXPECT_EQ(things->dynamicHead->next, nullptr);
    for (int64_t number : {int64_t{-2}, std::numeric_limits<int64_t>::min()}) {
        EXPECT_EQ(AllocateObject(things, number), nullptr);
    }
    EXPECT_EQ(things->slotCount, 16);
}

TEST_F(RegistryTest, ManyDynamicObjectsStayFindableAfterScatteredFrees) {
    std::vector<int64_t> numbers;
    for (int i = 0; i < 1000; ++i)
        numbers.push_back(Make(AnyNumber, i));
    for (size_t i = 0; i < numbers.size(); i += 3)
        FreeObject(things, numbers[i]);
    for (size_t i = 0; i < numbers.size(); ++i) {
        auto* thing = static_cast<Thing*>(GetObject(things, numbers[i]));
        if (i % 3 == 0) {
            EXPECT_EQ(thing, nullptr) << i;
        } else {
            ASSERT_NE(thing, nullptr) << i;
            EXPECT_EQ(thing->value, static_cast<int64_t>(i));
        }
    }
    EXPECT_EQ(Walk().size(), 666u);
}

TEST_F(RegistryTest, TableThatCannotGrowStaysAsItWas) {
    Make(4, 44);
    void** slots = things->slots;
    struct Case {
        int64_t number;
        uint64_t failFrom;
    };
    const Case cases[] = {
        {std::numeric_limits<int64_t>::max(), std::numeric_limits<uint64_t>::max()},  // count
        {std::numeric_limits<int64_t>::max() - 15, std::numeric_limits<uint64_t>::max()},
        {int64_t{1} << 61, std::numeric_limits<uint64_t>::max()},  // bytes overflow
        {100, 116 * 8},                                            // allocator refuses the table
        {100, kThingSize + 8},                                     // allocator refuses the record
        {10, kThingSize + 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.number);
        failFrom = c.failFrom;
        EXPECT_EQ(AllocateObject(things, c.number), nullptr);
        EXPECT_EQ(things->slotCount, 16);
        EXPECT_EQ(things->slots, slots);
        EXPECT_EQ(static_cast<Thing*>(GetObject(things, 4))->value, 44);
        EXPECT_EQ(things->slots[10], nullptr);
    }
}

TEST_F(RegistryTest, FailedDynamicAllocationLinksNothing) {
    const int64_t a = Make(AnyNumber);
    failFrom = 0;
    EXPECT_EQ(AllocateObject(things, AnyNumber), nullptr);
    EXPECT_EQ(things->dynamicHead, ListNodeOf(reinterpret_cast<void*>(a)));
    EXPECT_EQ(things->dynamicHead->next, nullptr);
}

// Walks
// ---------------------------------------------------------------------------------------------

TEST_F(RegistryTest, WalkIsTableAscendingThenDynamicOldestFirst) {
    Make(3);
    Make(1);
    AllocateObject(things, 2);  // allocated but never made live: skipped
    const int64_t a = Make(AnyNumber);
    const int64_t b = Make(AnyNumber);
    EXPECT_EQ(Walk(), (std::vector<int64_t>{1, 3, a, b}));

    FreeAllObjects(things);
    EXPECT_EQ(freedNumbers, (std::vector<int64_t>{1, 3, b, a}));
    EXPECT_EQ(things->dynamicHead, nullptr);
    EXPECT_TRUE(Walk().empty());
}

TEST_F(RegistryTest, FreeingWhatTheWalkJustReturnedLeavesTheRestUnchanged) {
    for (size_t victim = 0; victim < 4; ++victim) {
        SCOPED_TRACE(victim);
        FreeAllObjects(things);
        const std::vector<int64_t> all = {1, 3, Make(AnyNumber), Make(AnyNumber)};
        Make(3);
        Make(1);
        std::vector<int64_t> seen;
        ResetObjectIteration(things);
        int64_t number = 0;
        while (NextObject(things, &number) != nullptr) {
            seen.push_back(number);
            if (seen.size() == victim + 1) FreeThing(number);
        }
        EXPECT_EQ(seen, all);
        EXPECT_EQ(GetObject(things, all[victim]), nullptr);
    }
}

TEST_F(RegistryTest, FreeingTheObjectUnderTheCursorSkipsIt) {
    const int64_t a = Make(AnyNumber);
    const int64_t b = Make(AnyNumber);
    Make(0);
    ResetObjectIteration(things);
    int64_t number = 0;
    ASSERT_NE(NextObject(things, &number), nullptr);
    EXPECT_EQ(number, 0);
    FreeThing(a);  // the cursor's next dynamic object
    ASSERT_NE(NextObject(things, &number), nullptr);
    EXPECT_EQ(number, b);
    EXPECT_EQ(NextObject(things, &number), nullptr);
}

TEST_F(RegistryTest, FreeAllWithoutFreeFunctionDoesNothing) {
    ObjectRegistry* registry = CreateObjectRegistry(kThingSize, 4, nullptr);
    auto* numbered = static_cast<Thing*>(AllocateObject(registry, 1));
    auto* dynamic = static_cast<Thing*>(AllocateObject(registry, AnyNumber));
    numbered->handle = numbered;
    dynamic->handle = dynamic;
    FreeAllObjects(registry);
    EXPECT_EQ(GetObject(registry, 1), numbered);
    EXPECT_EQ(GetObject(registry, reinterpret_cast<intptr_t>(dynamic)), dynamic);
    DestroyObjectRegistry(registry);
}

void ForgetfulFree(int64_t) {}

TEST_F(RegistryTest, FreeAllEndsEvenWhenTheFreeFunctionKeepsDynamicObjects) {
    ObjectRegistry* registry = CreateObjectRegistry(kThingSize, 4, ForgetfulFree);
    for (int i = 0; i < 3; ++i) {
        auto* thing = static_cast<Thing*>(AllocateObject(registry, AnyNumber));
        thing->handle = thing;
    }
    FreeAllObjects(registry);
    EXPECT_EQ(registry->dynamicHead, nullptr);
    DestroyObjectRegistry(registry);
}

TEST_F(RegistryTest, CreateOnceKeepsTheFirstRegistry) {
    SetAllocationFailureHook(nullptr);  // the recorder is not thread-safe
    static ObjectRegistry* shared = nullptr;
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i) {
        threads.emplace_back([] { CreateObjectRegistryOnce(&shared, kThingSize, 8, FreeThing); });
    }
    for (std::thread& thread : threads)
        thread.join();
    ASSERT_NE(shared, nullptr);
    ObjectRegistry* first = shared;
    CreateObjectRegistryOnce(&shared, 64, 64, nullptr);
    EXPECT_EQ(shared, first);
    EXPECT_EQ(shared->growBy, 8);
    DestroyObjectRegistry(shared);  // a second creation would have leaked
    shared = nullptr;
}

}  // namespace
}  // namespace vorlune
