#include "runtime/core/list.h"

#include <gtest/gtest.h>

#include <iterator>
#include <list>
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
    char16_t* text;  // the id as text, so copies and releases have a string to handle
};
const int64_t kItemLayout[] = {8, kLayoutEnd};

int64_t IdOf(const void* element) {
    return element == nullptr ? 0 : static_cast<const Item*>(element)->id;
}

Item* AddItem(LinkedList* list, int64_t id) {
    auto* item = static_cast<Item*>(AddListElement(list));
    if (item == nullptr) return nullptr;
    item->id = id;
    SetText(item->text, std::to_string(id));
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

TEST_F(ListTest, FailedAllocationLeavesTheListUnchanged) {
    ListVariable variable{};
    LinkedList* list = CreateList(sizeof(Item), &variable, kItemLayout, 0);
    for (int64_t id = 1; id <= 3; ++id)
        AddItem(list, id);
    SelectListElement(list, 1);
    const LinkedList before = *list;
    FailAllocationsAfter(0);
    EXPECT_EQ(AddListElement(list), nullptr);
    StopFailing();
    EXPECT_EQ(list->count, before.count);
    EXPECT_EQ(list->currentIndex, 1);
    EXPECT_EQ(variable.currentNode, before.currentNode);
    EXPECT_EQ(Contents(list), (std::vector<int64_t>{1, 2, 3}));
    DestroyList(list);

    for (int64_t allowed = 0; allowed < 3; ++allowed) {
        ListVariable untouched{};
        FailAllocationsAfter(allowed);
        EXPECT_EQ(CreateList(sizeof(Item), allowed == 0 ? &untouched : nullptr, nullptr, 0),
                  nullptr);
        StopFailing();
        EXPECT_EQ(untouched.list, nullptr);
    }
}

TEST_F(ListTest, CopiesAreDeepAndRefuseOtherKinds) {
    LinkedList* source = CreateList(sizeof(Item), nullptr, kItemLayout, 0);
    LinkedList* target = CreateList(sizeof(Item), nullptr, kItemLayout, 0);
    for (int64_t id = 1; id <= 3; ++id)
        AddItem(source, id);
    AddItem(target, 9);
    EXPECT_EQ(CopyList(source, target, 0), 1);
    EXPECT_EQ(Contents(target), (std::vector<int64_t>{9, 1, 2, 3}));
    EXPECT_EQ(CopyListReplacing(source, target), 1);
    ClearList(source);
    EXPECT_EQ(Contents(target), (std::vector<int64_t>{1, 2, 3}));

    EXPECT_EQ(CopyList(target, target, 1), 1);
    EXPECT_EQ(target->count, 3);
    EXPECT_EQ(CopyList(target, nullptr, 0), 0);
    LinkedList* plain = CreateList(sizeof(Item), nullptr, nullptr, 0);
    LinkedList* wider = CreateList(sizeof(Item) + 8, nullptr, kItemLayout, 0);
    EXPECT_EQ(CopyList(target, plain, 0), 0);
    EXPECT_EQ(CopyList(target, wider, 0), 0);
    EXPECT_EQ(plain->count + wider->count, 0);
    for (LinkedList* list : {source, target, plain, wider})
        DestroyList(list);
}

// Two lists against std::list, with the current element kept as an index into the model.
TEST_F(ListTest, RandomOperationsMatchAStandardList) {
    struct Side {
        ListVariable variable{};
        LinkedList* list = nullptr;
        std::list<int64_t> model;
        int64_t current = -1;  // index, -1 for none
    };
    Side sides[2];
    for (Side& side : sides)
        side.list = CreateList(sizeof(Item), &side.variable, kItemLayout, 0);
    std::mt19937 random(20261208u);
    const auto pick = [&](int64_t n) {
        return std::uniform_int_distribution<int64_t>(0, n - 1)(random);
    };
    const auto insertAfterCurrent = [](Side& side, int64_t id) {
        auto at =
            side.current < 0 ? side.model.begin() : std::next(side.model.begin(), side.current + 1);
        side.model.insert(at, id);
        side.current = side.current < 0 ? 0 : side.current + 1;
    };
    int64_t lastId = 0;
    for (int step = 0; step < 6000; ++step) {
        Side& side = sides[pick(2)];
        const int64_t choice = pick(100);
        if (choice < 45) {
            ASSERT_NE(AddItem(side.list, ++lastId), nullptr);
            insertAfterCurrent(side, lastId);
        } else if (choice < 92) {
            const int64_t count = static_cast<int64_t>(side.model.size());
            const int64_t index = pick(count + 4) - 2;
            const bool inside = index >= 0 && index < count;
            const int64_t expected = inside ? *std::next(side.model.begin(), index) : 0;
            ASSERT_EQ(IdOf(SelectListElement(side.list, index)), expected);
            side.current = inside ? index : -1;
        } else if (choice < 99) {
            Side& other = &side == &sides[0] ? sides[1] : sides[0];
            const bool clear = pick(2) == 0 || side.model.size() + other.model.size() > 200;
            ASSERT_EQ(CopyList(other.list, side.list, clear ? 1 : 0), 1);
            if (clear) {
                side.model.clear();
                side.current = -1;
            }
            for (int64_t id : other.model)
                insertAfterCurrent(side, id);
        } else {
            ClearList(side.list);
            side.model.clear();
            side.current = -1;
        }
        for (Side& each : sides) {
            ASSERT_EQ(Contents(each.list),
                      std::vector<int64_t>(each.model.begin(), each.model.end()));
            ASSERT_EQ(each.variable.currentNode, each.list->currentNode);
            ASSERT_EQ(each.list->noCurrent, each.current < 0 ? 1 : 0);
            if (each.current >= 0) {
                ASSERT_EQ(each.list->currentIndex, each.current);
                ASSERT_EQ(IdOf(ListNodeElement(each.list->currentNode)),
                          *std::next(each.model.begin(), each.current));
            }
        }
    }
    for (Side& side : sides)
        DestroyList(side.list);
}

}  // namespace
}  // namespace vorlune
