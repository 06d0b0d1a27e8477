#include "runtime/core/layout.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>
#include <set>
#include <string>
#include <vector>

#include "runtime/core/startup.h"
#include "tests/core/container_test_support.h"

namespace vorlune {
namespace {

using test::Ascii;
using test::ContainerTest;
using test::SetText;
using Words = std::vector<int64_t>;

// A record with a string, an embedded record, a fixed array of records and every container.
struct Inner {
    char16_t* label;
    int64_t number;
    HashMap* tags;  // integer keys, int64 elements
};

struct Outer {
    char16_t* name;
    int64_t plain;
    Inner single;
    Inner pair[2];
    void* items;  // 3 Inner
    ListVariable list;
    HashMap* byName;  // Inner under string keys
    struct {
        void* data;
        int64_t strides[2];
    } grid;  // 2 x 3 Inner
    int64_t tail;
};

const Words kInnerLayout = {0, kLayoutMap, 16, 8, 0, 0, 4, kLayoutEnd};
const int64_t kInner = LayoutWordOf(kInnerLayout.data());
const Words kOuterLayout = {0,  // name
                            kLayoutRecord,
                            16,
                            sizeof(Inner),
                            kInner,
                            kLayoutFixedArray,
                            2,
                            40,
                            sizeof(Inner),
                            kInner,
                            kLayoutArray,
                            88,
                            sizeof(Inner),
                            3,
                            0,
                            kInner,
                            kLayoutList,
                            96,
                            sizeof(Inner),
                            kInner,
                            0,
                            kLayoutMap,
                            112,
                            sizeof(Inner),
                            0,
                            kInner,
                            8,
                            kLayoutArrayDims,
                            120,
                            2,
                            sizeof(Inner),
                            0,
                            kInner,
                            2,
                            3,
                            kLayoutEnd};

Inner* Item(void* data, int64_t index) {
    return static_cast<Inner*>(data) + index;
}

void FillInner(Inner& inner, const std::string& label, int64_t tag) {
    SetText(inner.label, label);
    inner.number = tag * 10;
    inner.tags->flags |= kMapIntegerKeys;
    *static_cast<int64_t*>(AddMapElementInt(inner.tags, tag, 0)) = tag;
}

std::string DescribeInner(const Inner& inner) {
    std::string text = "[" + Ascii(inner.label) + " " + std::to_string(inner.number);
    if (inner.tags != nullptr) {
        ResetIteration(inner.tags);
        while (void* tag = NextElement(inner.tags))
            text += " #" + std::to_string(MapElementKeyInt(tag)) + "=" +
                    std::to_string(*static_cast<int64_t*>(tag));
    }
    return text + "]";
}

// Everything the record holds, through every container.
std::string Describe(const Outer& outer) {
    std::string text = Ascii(outer.name) + " " + std::to_string(outer.plain) + " " +
                       std::to_string(outer.tail) + DescribeInner(outer.single) +
                       DescribeInner(outer.pair[0]) + DescribeInner(outer.pair[1]) + " items";
    for (int64_t i = 0; i < ArrayCount(outer.items); ++i)
        text += DescribeInner(*Item(outer.items, i));
    text += " list";
    for (LinkedListNode* node = outer.list.list->first; node != nullptr; node = node->next)
        text += DescribeInner(*static_cast<Inner*>(ListNodeElement(node)));
    text += " map";
    ResetIteration(outer.byName);
    while (void* element = NextElement(outer.byName))
        text += Ascii(MapElementKey(element)) + DescribeInner(*static_cast<Inner*>(element));
    text += " grid " + std::to_string(outer.grid.strides[0]) + "," +
            std::to_string(outer.grid.strides[1]);
    for (int64_t i = 0; i < ArrayCount(outer.grid.data); ++i)
        text += DescribeInner(*Item(outer.grid.data, i));
    return text;
}

using LayoutTest = ContainerTest;

TEST_F(LayoutTest, NeedsInitOnlyForContainersAtAnyDepth) {
    const Words strings = {0, 8, kLayoutEnd};
    const Words nested = {kLayoutRecord, 0, 24, kInner, kLayoutEnd};
    const Words nestedStrings = {kLayoutFixedArray, 2, 0, 16, LayoutWordOf(strings.data()), -1};
    EXPECT_EQ(LayoutNeedsInit(nullptr), 0);
    EXPECT_EQ(LayoutNeedsInit(strings.data()), 0);
    EXPECT_EQ(LayoutNeedsInit(nestedStrings.data()), 0);
    EXPECT_EQ(LayoutNeedsInit(nested.data()), 1);
    EXPECT_EQ(LayoutNeedsInit(kOuterLayout.data()), 1);
}

TEST_F(LayoutTest, DeepCopyOfEveryKindSurvivesReleasingTheSource) {
    static_assert(sizeof(Outer) == 152);
    Outer source{};
    Outer copy{};
    InitElementFields(&source, sizeof source, kOuterLayout.data());
    ASSERT_EQ(ArrayCount(source.items), 3);
    ASSERT_EQ(ArrayCount(source.grid.data), 6);
    EXPECT_EQ(source.grid.strides[0], 3);
    EXPECT_EQ(source.grid.strides[1], 1);
    ASSERT_NE(source.list.list, nullptr);
    ASSERT_NE(source.byName, nullptr);
    ASSERT_NE(source.pair[1].tags, nullptr);
    ASSERT_NE(Item(source.items, 2)->tags, nullptr);

    SetText(source.name, "outer");
    source.plain = 7;
    source.tail = 9;
    FillInner(source.single, "single", 1);
    FillInner(source.pair[1], "second", 2);
    FillInner(*Item(source.items, 2), "item", 3);
    FillInner(*static_cast<Inner*>(AddListElement(source.list.list)), "first", 4);
    FillInner(*static_cast<Inner*>(AddListElement(source.list.list)), "next", 5);
    FillInner(*static_cast<Inner*>(AddMapElement(source.byName, u"key", 0)), "value", 6);
    FillInner(*Item(source.grid.data, 5), "corner", 7);
    source.byName->flags |= kMapNoCase;
    const std::string before = Describe(source);

    InitElementFields(&copy, sizeof copy, kOuterLayout.data());
    FillInner(copy.single, "overwritten", 8);
    CopyElement(&copy, sizeof copy, kOuterLayout.data(), &source);
    ReleaseElementFields(&source, sizeof source, kOuterLayout.data());
    EXPECT_EQ(source.name, nullptr);
    EXPECT_EQ(source.items, nullptr);
    EXPECT_EQ(source.list.list, nullptr);
    EXPECT_EQ(source.byName, nullptr);
    EXPECT_EQ(source.grid.data, nullptr);

    EXPECT_EQ(Describe(copy), before);
    EXPECT_NE(FindElement(copy.byName, u"KEY"), nullptr) << "key flags travel with the copy";
    ReleaseElementFields(&copy, sizeof copy, kOuterLayout.data());
}

// Probes every 8-byte word of a record allocated to its exact size: a map pointer appears
// exactly where the walker accepted a map entry, and nothing is read or written outside.
TEST_F(LayoutTest, EntriesOutsideTheRecordOrOutOfOrderAreIgnored) {
    constexpr int64_t kMapAt = kLayoutMap;
    const auto map = [](int64_t offset) { return Words{kMapAt, offset, 8, 0, 0, 2}; };
    const auto join = [](std::initializer_list<Words> parts) {
        Words all;
        for (const Words& part : parts)
            all.insert(all.end(), part.begin(), part.end());
        all.push_back(kLayoutEnd);
        return all;
    };
    static Words mapAtZero = join({map(0)});
    const int64_t sub = LayoutWordOf(mapAtZero.data());
    struct Case {
        const char* name;
        uint64_t size;
        Words layout;
        std::set<uint64_t> maps;
    };
    const int64_t kHuge = std::numeric_limits<int64_t>::max();
    std::vector<Case> cases = {
        {"inside", 16, join({map(8)}), {8}},
        {"past the end", 16, join({map(16), map(0)}), {0}},
        {"straddling the end", 12, join({map(8)}), {}},
        {"misaligned", 24, join({map(4), map(16)}), {16}},
        {"out of order", 32, join({map(16), map(8), map(16), map(24)}), {16, 24}},
        {"negative offset", 16, join({map(-8), map(0)}), {0}},
        {"record larger than the record", 16, join({{kLayoutRecord, 0, 32, sub}, map(8)}), {8}},
        {"embedded record", 16, join({{kLayoutRecord, 8, 8, sub}}), {8}},
        {"fixed array that fits", 24, join({{kLayoutFixedArray, 3, 0, 8, sub}}), {0, 8, 16}},
        {"fixed array too long", 24, join({{kLayoutFixedArray, 4, 0, 8, sub}, map(8)}), {8}},
        {"fixed array overflowing", 8, join({{kLayoutFixedArray, kHuge, 0, 8, sub}, map(0)}), {0}},
        {"dimension count too large", 32, join({{kLayoutArrayDims, 0, 1000, 8, 0, 0}, map(8)}), {}},
        {"unknown kind", 16, join({{-9}, map(0)}), {}},
        {"self-nesting record", 16, join({{kLayoutRecord, 0, 16, 0}}), {}},
    };
    cases.back().layout[3] = LayoutWordOf(cases.back().layout.data());

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto* record = static_cast<unsigned char*>(std::calloc(1, c.size));
        auto* other = static_cast<unsigned char*>(std::calloc(1, c.size));
        InitElementFields(record, c.size, c.layout.data());
        InitElementFields(other, c.size, c.layout.data());
        for (uint64_t offset = 0; offset + 8 <= c.size; offset += 8) {
            const bool created = *reinterpret_cast<void**>(record + offset) != nullptr;
            EXPECT_EQ(created, c.maps.count(offset) == 1) << "offset " << offset;
        }
        CopyElement(record, c.size, c.layout.data(), other);
        ReleaseElementFields(record, c.size, c.layout.data());
        ReleaseElementFields(other, c.size, c.layout.data());
        for (uint64_t offset = 0; offset < c.size; ++offset)
            ASSERT_EQ(record[offset], 0) << "offset " << offset;
        std::free(record);
        std::free(other);
    }
}

TEST_F(LayoutTest, AbsentContainerKindsAreLeftAloneAndStartUpFillsAllTenSlots) {
    ContainerHookTable() = ContainerHooks{};
    Outer record{};
    InitElementFields(&record, sizeof record, kOuterLayout.data());
    EXPECT_EQ(record.items, nullptr);
    EXPECT_EQ(record.byName, nullptr);
    EXPECT_EQ(record.single.tags, nullptr);
    SetText(record.name, "only text");
    Outer copy{};
    CopyElement(&copy, sizeof copy, kOuterLayout.data(), &record);
    EXPECT_NE(copy.name, record.name);
    EXPECT_EQ(Ascii(copy.name), "only text");
    ReleaseElementFields(&record, sizeof record, kOuterLayout.data());
    ReleaseElementFields(&copy, sizeof copy, kOuterLayout.data());

    InitRuntime();
    FreeTempStrings();
    const ContainerHooks& hooks = ContainerHookTable();
    const auto set = [](auto slot) { return slot != nullptr; };
    const bool filled[] = {set(hooks.createArray), set(hooks.createArrayDims),
                           set(hooks.createList),  set(hooks.createMap),
                           set(hooks.copyArray),   set(hooks.copyList),
                           set(hooks.copyMap),     set(hooks.releaseArray),
                           set(hooks.releaseList), set(hooks.releaseMap)};
    for (bool slot : filled)
        EXPECT_TRUE(slot);
    EndRuntime();  // the later suites of this process start from a runtime that is not running
}

}  // namespace
}  // namespace vorlune
