#include "runtime/core/list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/core/container_test_support.h"

namespace vorlune {
namespace {

using model::Item;  // the id also as text, so copies and releases have a string to handle
using model::kItemLayout;
using test::Ascii;
using test::ContainerTest;

int64_t IdOf(const void* element) {
    return element == nullptr ? 0 : static_cast<const Item*>(element)->id;
}

Item* AddItem(LinkedList* list, int64_t id) {
    auto* item = static_cast<Item*>(AddListElement(list));
    if (item != nullptr) model::Stamp(item, id);
    return item;
}

// Ids front to back, checked against the back-to-front walk and the ends.
std::vector<int64_t> Contents(const LinkedList* list) {
    std::vector<int64_t> ids;
    const LinkedListNode* previous = nullptr;
    for (LinkedListNode* node = list->first; node != nullptr; node = node->next) {
        EXPECT_EQ(node->prev, previous);
        const auto* item = static_cast<const Item*>(ListNodeElement(node));
        EXPECT_EQ(Ascii(item->text), std::to_string(item->id));
        ids.push_back(item->id);
        previous = node;
    }
    EXPECT_EQ(list->last, previous);
    EXPECT_EQ(static_cast<int64_t>(ids.size()), list->count);
    return ids;
}

using ListTest = ContainerTest;

TEST_F(ListTest, AddsGoAfterTheCurrentElementOrInFront) {
    ListVariable variable{};
    LinkedList* list = CreateList(sizeof(Item), &variable, kItemLayout, 0);
    ASSERT_EQ(variable.list, list);
    for (int64_t id = 1; id <= 3; ++id)
        AddItem(list, id);
    EXPECT_EQ(Contents(list), (std::vector<int64_t>{1, 2, 3}));
    EXPECT_EQ(list->currentIndex, 2);

    SelectListElement(list, 0);
    AddItem(list, 4);
    EXPECT_EQ(Contents(list), (std::vector<int64_t>{1, 4, 2, 3}));
    EXPECT_EQ(list->currentIndex, 1);
    EXPECT_EQ(IdOf(ListNodeElement(variable.currentNode)), 4);

    EXPECT_EQ(SelectListElement(list, list->count), nullptr);
    EXPECT_EQ(variable.currentNode, nullptr);
    AddItem(list, 5);
    EXPECT_EQ(Contents(list), (std::vector<int64_t>{5, 1, 4, 2, 3}));

    ClearList(list);
    EXPECT_EQ(variable.currentNode, nullptr);
    AddItem(list, 6);
    EXPECT_EQ(list->currentIndex, 0);
    EXPECT_EQ(Contents(list), (std::vector<int64_t>{6}));
    DestroyList(list);
    EXPECT_EQ(variable.list, nullptr);

    LinkedList* own = CreateList(sizeof(Item), nullptr, kItemLayout, 0);
    ASSERT_NE(own, nullptr);
    EXPECT_EQ(own->ownsVariable, 1);
    AddItem(own, 1);
    DestroyList(own);
}

TEST_F(ListTest, SelectionWalksFromTheNearestKnownNode) {
    constexpr int64_t kNone = -1;
    using S = ListWalkStart;
    struct Case {
        int64_t count, current, index;
        ListWalk walk;
    };
    const Case cases[] = {
        {10, kNone, 3, {S::kFirst, true, 3}}, {10, kNone, 4, {S::kFirst, true, 4}},
        {10, kNone, 5, {S::kLast, false, 4}}, {10, 2, 8, {S::kLast, false, 1}},
        {10, 2, 4, {S::kCurrent, true, 2}},   {10, 2, 5, {S::kCurrent, true, 3}},
        {10, 2, 6, {S::kLast, false, 3}},     {10, 7, 5, {S::kCurrent, false, 2}},
        {10, 7, 3, {S::kFirst, true, 3}},     {10, 7, 7, {S::kCurrent, false, 0}},
        {10, 0, 0, {S::kFirst, true, 0}},     {1, kNone, 0, {S::kLast, false, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.count << " " << c.current << " " << c.index);
        LinkedList* list = CreateList(sizeof(Item), nullptr, kItemLayout, 0);
        for (int64_t id = 0; id < c.count; ++id)
            AddItem(list, id);
        SelectListElement(list, c.current);
        const ListWalk walk = PlanListWalk(list, c.index);
        EXPECT_EQ(walk.start, c.walk.start);
        EXPECT_EQ(walk.forward, c.walk.forward);
        EXPECT_EQ(walk.steps, c.walk.steps);
        EXPECT_EQ(IdOf(SelectListElement(list, c.index)), c.index);
        DestroyList(list);
    }
}

// Creation fails at each of its allocations in turn (how many it needs depends on the shared
// pools made before) and then leaves the given variable alone and frees what it took.
TEST_F(ListTest, FailedCreationLeavesTheVariableAlone) {
    for (const bool givenVariable : {true, false}) {
        int64_t allowed = 0;
        for (;; ++allowed) {
            ListVariable untouched{};
            FailAllocationsAfter(allowed);
            LinkedList* list =
                CreateList(sizeof(Item), givenVariable ? &untouched : nullptr, nullptr, 0);
            StopFailing();
            if (list != nullptr) {
                DestroyList(list);
                break;
            }
            EXPECT_EQ(untouched.list, nullptr);
        }
        EXPECT_GT(allowed, 0) << "creation took no memory";
    }
}

TEST_F(ListTest, CopiesRefuseOtherKindsAndIgnoreThemselves) {
    LinkedList* target = CreateList(sizeof(Item), nullptr, kItemLayout, 0);
    for (int64_t id = 1; id <= 3; ++id)
        AddItem(target, id);
    EXPECT_EQ(CopyList(target, target, 1), 1);
    EXPECT_EQ(target->count, 3);
    EXPECT_EQ(CopyList(target, nullptr, 0), 0);
    LinkedList* plain = CreateList(sizeof(Item), nullptr, nullptr, 0);
    LinkedList* wider = CreateList(sizeof(Item) + 8, nullptr, kItemLayout, 0);
    EXPECT_EQ(CopyList(target, plain, 0), 0);
    EXPECT_EQ(CopyList(target, wider, 0), 0);
    EXPECT_EQ(plain->count + wider->count, 0);
    for (LinkedList* list : {target, plain, wider})
        DestroyList(list);
}

// Adds (some with the allocator failing), selections, copies both ways and clears, against
// std::list (tests/core/container_models.h).
TEST_F(ListTest, RandomOperationsMatchAStandardList) {
    model::RandomBytes bytes(20261208u);
    model::ListModel lists;
    ASSERT_NO_THROW(for (int step = 0; step < 6000; ++step) lists.Step(bytes));
}

}  // namespace
}  // namespace vorlune
