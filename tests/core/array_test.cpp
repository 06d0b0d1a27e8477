#include "runtime/core/array.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "runtime/core/layout.h"
#include "tests/core/container_test_support.h"

namespace vorlune {
namespace {

using test::Ascii;
using test::ContainerTest;
using test::SetText;

struct Item {
    int64_t id;
    char16_t* text;
};
const int64_t kItemLayout[] = {8, kLayoutEnd};

// An array variable with room for two dimensions.
struct Variable {
    void* data;
    int64_t words[2];
};

Item* ItemAt(void* data, int64_t index) {
    return static_cast<Item*>(data) + index;
}

using ArrayTest = ContainerTest;

TEST_F(ArrayTest, DimensionsBecomeStridesAndBadSizesKeepTheOldArray) {
    Variable variable{nullptr, {3, 4}};
    void* data = CreateArrayDims(2, sizeof(Item), 5, kItemLayout, &variable);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(variable.data, data);
    EXPECT_EQ(ArrayCount(data), 12);
    EXPECT_EQ(variable.words[0], 4);
    EXPECT_EQ(variable.words[1], 1);
    EXPECT_EQ(ArrayHeaderOf(data)->dimensions, 2);
    EXPECT_EQ(ArrayHeaderOf(data)->elementType, 5);
    SetText(ItemAt(data, 11)->text, "last");

    for (int64_t bad : {int64_t{0}, int64_t{-2}, int64_t{1} << 62}) {
        variable.words[0] = bad;
        variable.words[1] = 4;
        EXPECT_EQ(CreateArrayDims(2, sizeof(Item), 0, kItemLayout, &variable), nullptr);
        EXPECT_EQ(variable.data, data);
    }
    EXPECT_EQ(CreateArray(sizeof(Item), 0, 0, kItemLayout, &variable), nullptr);
    EXPECT_EQ(variable.data, nullptr) << "a count of 0 releases the old array";
    FreeArray(nullptr);

    Variable huge{};
    EXPECT_EQ(CreateArray(1u << 20, int64_t{1} << 50, 0, nullptr, &huge), nullptr);
    FailAllocationsAfter(0);
    EXPECT_EQ(CreateArray(sizeof(Item), 4, 0, kItemLayout, &huge), nullptr);
    StopFailing();
    EXPECT_EQ(huge.data, nullptr);
}

TEST_F(ArrayTest, CopyRefusesShapeMismatchesAndChangesNothing) {
    Variable a{}, b{}, grid{nullptr, {2, 2}}, plain{}, wide{};
    CreateArray(sizeof(Item), 4, 0, kItemLayout, &a);
    CreateArray(sizeof(Item), 3, 0, kItemLayout, &b);
    CreateArrayDims(2, sizeof(Item), 0, kItemLayout, &grid);
    CreateArray(sizeof(Item), 4, 0, nullptr, &plain);
    CreateArray(sizeof(Item) + 8, 4, 0, kItemLayout, &wide);
    ItemAt(a.data, 0)->id = 1;
    SetText(ItemAt(a.data, 0)->text, "one");
    ItemAt(b.data, 0)->id = 2;
    struct Case {
        const char* what;
        void* destination;
        int32_t recreate;
    };
    for (const Case& c : {Case{"null", nullptr, 0}, Case{"count", b.data, 0},
                          Case{"dimensions", grid.data, 0}, Case{"dimensions", grid.data, 1},
                          Case{"layout", plain.data, 0}, Case{"item size", wide.data, 0}}) {
        EXPECT_EQ(CopyArray(a.data, c.destination, c.recreate), 0) << c.what;
    }
    EXPECT_EQ(ItemAt(b.data, 0)->id, 2);
    EXPECT_EQ(grid.words[0], 2);
    EXPECT_EQ(CopyArray(a.data, a.data, 1), 1);
    EXPECT_EQ(Ascii(ItemAt(a.data, 0)->text), "one");

    EXPECT_EQ(CopyArray(a.data, b.data, 1), 1);
    EXPECT_EQ(ArrayCount(b.data), 4);
    FreeArray(a.data);
    EXPECT_EQ(a.data, nullptr);
    EXPECT_EQ(Ascii(ItemAt(b.data, 0)->text), "one");
    for (Variable* v : {&b, &grid, &plain, &wide})
        FreeArray(v->data);
}

// Three array variables against std::vector: creation, writes, copies and releases.
TEST_F(ArrayTest, RandomOperationsMatchAStandardVector) {
    Variable variables[3] = {};
    std::vector<int64_t> models[3];
    std::mt19937 random(20261208u);
    const auto pick = [&](int64_t n) {
        return std::uniform_int_distribution<int64_t>(0, n - 1)(random);
    };
    int64_t lastId = 0;
    for (int step = 0; step < 5000; ++step) {
        const int64_t which = pick(3);
        Variable& variable = variables[which];
        std::vector<int64_t>& model = models[which];
        const int64_t choice = pick(100);
        if (choice < 15) {
            const int64_t count = pick(14) - 2;
            void* data = CreateArray(sizeof(Item), count, 0, kItemLayout, &variable);
            ASSERT_EQ(data == nullptr, count <= 0);
            model.assign(count > 0 ? count : 0, 0);
        } else if (choice < 65) {
            if (model.empty()) continue;
            const int64_t index = pick(static_cast<int64_t>(model.size()));
            ItemAt(variable.data, index)->id = ++lastId;
            SetText(ItemAt(variable.data, index)->text, std::to_string(lastId));
            model[index] = lastId;
        } else if (choice < 95) {
            const int64_t from = pick(3);
            const int32_t recreate = static_cast<int32_t>(pick(2));
            const bool possible = !model.empty() && !models[from].empty();
            const bool fits = from == which || recreate == 1 || model.size() == models[from].size();
            ASSERT_EQ(CopyArray(variables[from].data, variable.data, recreate),
                      possible && fits ? 1 : 0);
            if (possible && fits) model = models[from];
        } else {
            FreeArray(variable.data);
            model.clear();
        }
        for (int64_t v = 0; v < 3; ++v) {
            ASSERT_EQ(ArrayCount(variables[v].data), static_cast<int64_t>(models[v].size()));
            for (size_t i = 0; i < models[v].size(); ++i) {
                const Item* item = ItemAt(variables[v].data, static_cast<int64_t>(i));
                ASSERT_EQ(item->id, models[v][i]);
                ASSERT_EQ(Ascii(item->text), item->id == 0 ? "" : std::to_string(item->id));
            }
        }
    }
    for (Variable& variable : variables)
        FreeArray(variable.data);
}

}  // namespace
}  // namespace vorlune
