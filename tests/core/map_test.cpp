#include "runtime/core/map.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <string>
#include <vector>

#include "runtime/core/strings.h"
#include "tests/core/container_test_support.h"

namespace vorlune {
namespace {

using test::ContainerTest;
using test::U16;

struct Value {
    int64_t id;
    int64_t payload;
};

int64_t IdOf(const void* element) {
    return element == nullptr ? 0 : static_cast<const Value*>(element)->id;
}

using MapTest = ContainerTest;

TEST_F(MapTest, HashesMultiplyBy65599WithWrapAround) {
    EXPECT_EQ(HashKey(u""), 0u);
    EXPECT_EQ(HashKey(nullptr), 0u);
    EXPECT_EQ(HashKey(u"A"), 65u);
    EXPECT_EQ(HashKey(u"ab"), 97u * 65599u + 98u);
    EXPECT_EQ(HashKey(u"\xFFFF\xFFFF\xFFFF"),
              static_cast<uint32_t>((0xFFFFull * 65599 + 0xFFFF) * 65599 + 0xFFFF));
    EXPECT_EQ(HashKeyNoCase(u"Abc"), HashKey(u"abc"));
    EXPECT_EQ(HashKeyNoCase(u"aBC"), HashKey(u"abc"));
}

// Units from 0x8000 are neither sign-extended into the hash nor kept from folding, so keys that
// compare equal without case share a bucket. Folding beyond ASCII needs a Unicode locale.
TEST_F(MapTest, CaseFoldingTakesEveryUnitAsItsCodePoint) {
    const std::string saved = std::setlocale(LC_CTYPE, nullptr);
    ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr);
    struct Row {
        const char16_t* key;
        const char16_t* folded;
    };
    const Row rows[] = {
        {u"\u8000", u"\u8000"},
        {u"\uFFFF", u"\uFFFF"},
        {u"\uFF21Bc", u"\uFF41bc"},  // fullwidth A
        {u"\uA640", u"\uA641"},      // Cyrillic capital zemlya
    };
    HashMap* map = CreateMap(sizeof(Value), 0, nullptr, nullptr, 16);
    map->flags |= kMapNoCase;
    for (const Row& row : rows) {
        SCOPED_TRACE(static_cast<int>(row.key[0]));
        EXPECT_EQ(HashKeyNoCase(row.key), HashKey(row.folded));
        EXPECT_EQ(StringCompareNoCase(row.key, row.folded), 0);
        void* element = PutMapElement(map, row.key);
        EXPECT_EQ(FindElement(map, row.folded), element);
    }
    EXPECT_EQ(HashKeyNoCase(u"\u8000"), 0x8000u);
    EXPECT_EQ(HashKey(u"\u8000"), 0x8000u);
    EXPECT_LT(StringCompareNoCase(u"\uFF21", u"a"), 0) << "folded units still order as signed";
    DestroyMap(map);
    std::setlocale(LC_CTYPE, saved.c_str());
}

TEST_F(MapTest, KeysAddLookUpAndResetAsDocumented) {
    HashMap* map = nullptr;
    ASSERT_NE(CreateMap(sizeof(Value), 7, nullptr, &map, 0), nullptr);
    EXPECT_EQ(map->bucketCount, 1u);

    auto* first = static_cast<Value*>(AddMapElement(map, u"k", kMapReuseKey));
    first->id = 1;
    EXPECT_EQ(PutMapElement(map, u"k"), first);
    EXPECT_EQ(first->id, 0) << "adding an existing key zero-fills the element again";
    first->id = 1;
    auto* second = static_cast<Value*>(AddMapElement(map, u"k", kMapAddAlways));
    second->id = 2;
    EXPECT_EQ(map->count, 2);
    EXPECT_EQ(FindElement(map, u"k"), second);

    static_cast<Value*>(AddMapElement(map, nullptr, kMapAddAlways))->id = 3;
    EXPECT_EQ(IdOf(FindElement(map, u"")), 3);
    EXPECT_EQ(FindElement(map, u"K"), nullptr);
    EXPECT_EQ(IdOf(map->current + 1), 3) << "a miss keeps the current element";
    EXPECT_EQ(FindElementInt(map, 0), nullptr) << "integer lookups in a map of strings";

    HashMap* noCase = CreateMap(sizeof(Value), 0, nullptr, nullptr, 16);
    noCase->flags |= kMapNoCase;
    static_cast<Value*>(PutMapElement(noCase, u"Abc"))->id = 4;
    EXPECT_EQ(IdOf(PutMapElement(noCase, u"aBC")), 0);
    EXPECT_EQ(noCase->count, 1);
    DestroyMap(noCase);

    ASSERT_NE(CreateMap(sizeof(Value), 0, nullptr, &map, 4), nullptr);
    EXPECT_EQ(map->count, 0) << "a new map for the same owner; the old one is destroyed";
    DestroyMap(map);
    EXPECT_EQ(map, nullptr);
}

TEST_F(MapTest, IteratingAndDeletingEveryElementVisitsEachOnce) {
    for (int32_t buckets : {1, 3, 1024}) {
        for (bool deleting : {false, true}) {
            HashMap* map = CreateMap(sizeof(Value), 0, nullptr, nullptr, buckets);
            for (int i = 1; i <= 50; ++i) {
                auto* value =
                    static_cast<Value*>(AddMapElement(map, U16(std::to_string(i % 20)).c_str(), 0));
                value->id = i;
            }
            std::vector<int64_t> seen;
            ResetIteration(map);
            while (void* element = NextElement(map)) {
                seen.push_back(IdOf(element));
                if (deleting) DeleteCurrent(map);
            }
            std::sort(seen.begin(), seen.end());
            ASSERT_EQ(seen.size(), 50u) << buckets;
            for (int i = 0; i < 50; ++i)
                EXPECT_EQ(seen[i], i + 1);
            EXPECT_EQ(map->count, deleting ? 0 : 50);
            DestroyMap(map);
        }
    }
}

// Failed insertions are part of the random operations below.
// Creation fails at each of its allocations in turn (how many it needs depends on the shared
// pools made before), leaves the owner variable alone and frees what it took.
TEST_F(MapTest, FailedCreationLeavesNothingBehind) {
    int64_t allowed = 0;
    for (;; ++allowed) {
        HashMap* owner = nullptr;
        FailAllocationsAfter(allowed);
        HashMap* map = CreateMap(sizeof(Value), 0, nullptr, &owner, 64);
        StopFailing();
        if (map != nullptr) {
            EXPECT_EQ(owner, map);
            DestroyMap(map);
            break;
        }
        EXPECT_EQ(owner, nullptr);
    }
    EXPECT_GT(allowed, 0) << "creation took no memory";
}

// Copies with the same bucket count are compared chain by chain in the random operations.
TEST_F(MapTest, CopiesKeepLookupsAndTheSourceCursorAndRefuseOtherKinds) {
    HashMap* source = CreateMap(sizeof(Value), 0, nullptr, nullptr, 4);
    for (int64_t id = 1; id <= 30; ++id)
        static_cast<Value*>(AddMapElement(source, U16(std::to_string(id % 7)).c_str(), 0))->id = id;
    HashMap* target = CreateMap(sizeof(Value), 0, nullptr, nullptr, 11);
    ASSERT_NE(FindElement(source, u"3"), nullptr);
    MapNode* const sourceCursor = source->current;
    EXPECT_EQ(CopyMapReplacing(source, target), 1);
    EXPECT_EQ(source->current, sourceCursor);
    EXPECT_EQ(target->count, 30);
    for (int key = 0; key < 7; ++key) {
        const std::u16string text = U16(std::to_string(key));
        EXPECT_EQ(IdOf(FindElement(target, text.c_str())), IdOf(FindElement(source, text.c_str())));
    }

    EXPECT_EQ(CopyMap(source, source, 0), 1);
    EXPECT_EQ(source->count, 30);
    EXPECT_EQ(CopyMap(source, nullptr, 1), 0);
    HashMap* wider = CreateMap(sizeof(Value) + 8, 0, nullptr, nullptr, 4);
    HashMap* numbers = CreateMap(sizeof(Value), 0, nullptr, nullptr, 4);
    numbers->flags |= kMapIntegerKeys;
    EXPECT_EQ(CopyMap(source, wider, 0), 0);
    EXPECT_EQ(CopyMap(source, numbers, 0), 0);
    EXPECT_EQ(wider->count + numbers->count, 0);
    for (HashMap* map : {source, target, wider, numbers})
        DestroyMap(map);
}

// Every key kind with every bucket count, against a std::unordered_multimap and the
// documented order (tests/core/container_models.h).
TEST_F(MapTest, RandomOperationsMatchAStandardModel) {
    for (uint8_t config = 0; config < 15; ++config) {
        SCOPED_TRACE(testing::Message() << "configuration " << int{config});
        model::RandomBytes bytes(20261208u + config);
        model::MapModel map(config);
        ASSERT_NO_THROW(for (int step = 0; step < 2000; ++step) map.Step(bytes));
    }
}

}  // namespace
}  // namespace vorlune
