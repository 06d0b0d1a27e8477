#include "runtime/core/array.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/core/container_test_support.h"

namespace vorlune {
namespace {

using model::Item;
using model::kItemLayout;
using test::Ascii;
using test::ContainerTest;
using test::SetText;

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

// Creation (some with the allocator failing), writes, copies and releases of two array
// variables, against std::vector (tests/core/container_models.h).
TEST_F(ArrayTest, RandomOperationsMatchAStandardVector) {
    model::RandomBytes bytes(20261208u);
    model::ArrayModel arrays;
    ASSERT_NO_THROW(for (int step = 0; step < 5000; ++step) arrays.Step(bytes));
}

}  // namespace
}  // namespace vorlune
