#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "runtime/events/event_queue.h"
#include "runtime/events/windows.h"
#include "tests/events/events_fixture.h"

namespace vorlune {
namespace {

std::vector<int> calls;
std::vector<QueuedEvent> currentDuringCall;

template <int Id>
void Record() {
    calls.push_back(Id);
    currentDuringCall.push_back({EventType(), EventMenuID(), EventWindow(), EventSubtype()});
}

class EventBindingsTest : public EventsTest {
  protected:
    void SetUp() override {
        EventsTest::SetUp();
        calls.clear();
        currentDuringCall.clear();
    }
    void TearDown() override {
        for (EventCallback callback : {Record<1>, Record<2>, Record<3>, Record<4>, Record<5>}) {
            for (int32_t type : {1, 3, 5, 9}) {
                for (int64_t window : {-1, 1, 2, 7}) {
                    for (int64_t object : {-1, -4, 1, 2, 8}) {
                        while (RemoveEventBinding(type, callback, window, object) != 0) {
                        }
                    }
                }
            }
        }
        EventsTest::TearDown();
    }
};

TEST_F(EventBindingsTest, CallbacksRunInKeyOrderWithThePostedEventCurrent) {
    ASSERT_EQ(BindEvent(3, Record<3>), 1);
    ASSERT_EQ(BindEvent(3, Record<4>, -1, 8), 1);
    ASSERT_EQ(BindEvent(3, Record<1>, 7, 8), 1);
    ASSERT_EQ(BindEvent(3, Record<2>, 7), 1);
    ASSERT_EQ(BindEvent(3, Record<5>, 7, 8), 1);
    BindEvent(5, Record<5>);
    PostEvent(kEventMoveWindow, 1, 1, 0);
    FetchEvent();
    calls.clear();
    currentDuringCall.clear();

    PostEvent(3, 8, 7, 2);
    EXPECT_EQ(calls, (std::vector<int>{1, 5, 2, 3, 4})) << "within a list from its head";
    for (const QueuedEvent& event : currentDuringCall)
        EXPECT_EQ(event, (QueuedEvent{3, 8, 7, 2}));
    EXPECT_EQ(EventType(), kEventMoveWindow) << "the current event comes back afterwards";
    EXPECT_EQ(EventMenuID(), 1);

    calls.clear();
    PostEvent(3, 9, 6, 0);
    EXPECT_EQ(calls, std::vector<int>{3}) << "only the key of any window and object matches";
}

TEST_F(EventBindingsTest, SubtypeFiltersApplyToKeysNamingTheObject) {
    BindEvent(3, Record<1>, 7, 8, 5);
    BindEvent(3, Record<2>, 7, -1, 5);
    BindEvent(3, Record<3>, -1, -1, 5);
    BindEvent(3, Record<4>, -1, 8, 5);
    struct Case {
        int64_t subtype;
        std::vector<int> expected;
    };
    for (const Case& c : std::vector<Case>{{5, {1, 2, 3, 4}}, {6, {2, 3}}, {-1, {1, 2, 3, 4}}}) {
        calls.clear();
        PostEventEx(3, 8, 7, c.subtype, nullptr, nullptr, kPostNoMerge);
        EXPECT_TRUE(calls.empty()) << "no-merge posts run their callbacks when fetched";
        while (FetchEvent() != 0) {
        }
        EXPECT_EQ(calls, c.expected) << "subtype " << c.subtype;
    }
}

TEST_F(EventBindingsTest, ExtremeNumbersMakeKeysOfTheirOwn) {
    constexpr int64_t kLowest = INT64_MIN;
    constexpr int64_t kHighest = INT64_MAX;
    BindEvent(INT32_MIN, Record<1>, kLowest, kHighest);
    BindEvent(INT32_MIN, Record<2>, kHighest, kLowest);
    PostEventEx(INT32_MIN, kHighest, kLowest, 0, nullptr, nullptr, 0);
    PostEventEx(INT32_MIN, kLowest, kHighest, 0, nullptr, nullptr, 0);
    EXPECT_EQ(calls, (std::vector<int>{1, 2}));
    RemoveEventBinding(INT32_MIN, nullptr, kLowest, kHighest);
    RemoveEventBinding(INT32_MIN, nullptr, kHighest, kLowest);
}

TEST_F(EventBindingsTest, KeysThatCoincideRunTheirListOnce) {
    BindEvent(kEventMenu, Record<1>);
    BindEvent(kEventMenu, Record<2>, -1, kMenuItemQuit);
    PostEvent(kEventMenu, kMenuItemQuit, -1, 0);
    EXPECT_EQ(calls, (std::vector<int>{2, 1}));
}

// With window or object -1 some of the four keys are one key: its entries run once, and for
// every subtype when any of the coinciding keys takes every entry.
TEST_F(EventBindingsTest, CoincidingKeysRunEachEntryOnceFilteredOnlyWhenAllAre) {
    struct Case {
        int64_t boundWindow, boundObject;  // the entry filters subtype 5
        int64_t window, object, subtype;   // the event
        size_t runs;
    };
    const std::vector<Case> cases = {
        {7, -1, 7, -1, 6, 1},   {7, -1, 7, -1, 5, 1},   {7, -1, 7, 8, 6, 1},
        {-1, -1, -1, -1, 6, 1}, {-1, -1, -1, -1, 5, 1}, {-1, -1, 7, -1, 6, 1},
        {-1, -1, -1, 8, 6, 1},  {-1, 8, -1, 8, 6, 0},   {-1, 8, -1, 8, 5, 1},
        {-1, 8, -1, 8, -1, 1},  {7, 8, 7, 8, 6, 0},     {7, 8, 7, 8, 5, 1},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(BindEvent(3, Record<1>, c.boundWindow, c.boundObject, 5), 1);
        calls.clear();
        PostEvent(3, c.object, c.window, c.subtype);
        EXPECT_EQ(calls.size(), c.runs)
            << "bound to (" << c.boundWindow << ", " << c.boundObject << "), event (" << c.window
            << ", " << c.object << ", " << c.subtype << ")";
        RemoveEventBinding(3, Record<1>, c.boundWindow, c.boundObject);
        RemoveEvents(-1, -1, -1, -1);
    }
}

TEST_F(EventBindingsTest, MergedPostsRunCallbacksAndSuspendedOnesDoNot) {
    BindEvent(5, Record<1>, 1, 1);
    PostEvent(5, 1, 1, 0);
    PostEvent(5, 1, 1, 0);
    SuspendEvents();
    PostEvent(5, 1, 1, 0);
    ResumeEvents();
    EXPECT_EQ(calls, (std::vector<int>{1, 1}));
    EXPECT_EQ(DrainTypes().size(), 1u);
}

TEST_F(EventBindingsTest, RemovalInEveryForm) {
    struct Case {
        const char* name;
        int32_t (*remove)();
        int32_t result;
        std::vector<int> left;  // what runs afterwards for (3, 8, 7, 5)
    };
    const std::vector<Case> cases = {
        {"type and callback", [] { return RemoveEventBinding(3, Record<3>); }, 1, {1, 4, 2}},
        {"with window", [] { return RemoveEventBinding(3, Record<2>, 7); }, 1, {1, 4, 3}},
        {"with object", [] { return RemoveEventBinding(3, Record<1>, 7, 8); }, 1, {4, 2, 3}},
        {"any subtype takes the first whatever its filter",
         [] { return RemoveEventBinding(3, Record<4>, 7, 8, -1); },
         1,
         {1, 2, 3}},
        {"a subtype leaves an entry for every subtype",
         [] { return RemoveEventBinding(3, Record<1>, 7, 8, 5); },
         0,
         {1, 4, 2, 3}},
        {"a subtype takes its own filter",
         [] { return RemoveEventBinding(3, Record<4>, 7, 8, 5); },
         1,
         {1, 2, 3}},
        {"another subtype takes nothing",
         [] { return RemoveEventBinding(3, Record<4>, 7, 8, 6); },
         0,
         {1, 4, 2, 3}},
        {"no callback takes the whole key",
         [] { return RemoveEventBinding(3, nullptr, 7, 8); },
         0,
         {2, 3}},
        {"an unknown key", [] { return RemoveEventBinding(3, Record<1>, 2, 2); }, 0, {1, 4, 2, 3}},
        {"a callback not bound there",
         [] { return RemoveEventBinding(3, Record<3>, 7); },
         0,
         {1, 4, 2, 3}},
    };
    for (const Case& c : cases) {
        BindEvent(3, Record<1>, 7, 8);
        BindEvent(3, Record<4>, 7, 8, 5);
        BindEvent(3, Record<2>, 7);
        BindEvent(3, Record<3>);
        EXPECT_EQ(c.remove(), c.result) << c.name;
        calls.clear();
        PostEvent(3, 8, 7, 5);
        EXPECT_EQ(calls, c.left) << c.name;
        for (EventCallback callback : {Record<1>, Record<2>, Record<3>, Record<4>}) {
            RemoveEventBinding(3, callback, 7, 8);
            RemoveEventBinding(3, callback, 7);
            RemoveEventBinding(3, callback);
        }
        RemoveEvents(-1, -1, -1, -1);
    }
    EXPECT_EQ(BindEvent(3, nullptr), 0);
}

TEST_F(EventBindingsTest, AWindowsBindingsGoWithIt) {
    CreateWindow(1, 0, 0, 50, 50, u"a", 0);
    CreateWindow(2, 0, 0, 50, 50, u"b", 0);
    BindEvent(5, Record<1>, 1);
    BindEvent(3, Record<2>, 1, 4);
    BindEvent(5, Record<3>, 2);
    BindEvent(5, Record<4>);
    CloseWindow(1);
    calls.clear();
    PostEvent(5, 1, 1, 0);
    PostEvent(3, 4, 1, 0);
    PostEvent(5, 2, 2, 0);
    EXPECT_EQ(calls, (std::vector<int>{4, 3, 4}));

    RemoveWindowEventBindings(2);
    RemoveWindowEventBindings(-1);
    calls.clear();
    PostEvent(5, 2, 2, 0);
    EXPECT_TRUE(calls.empty());
}

TEST_F(EventBindingsTest, ACallbackMayUnbindOthersOfTheListBeingRun) {
    struct Callbacks {
        static void First() {
            calls.push_back(1);
            RemoveEventBinding(9, Second);
            RemoveEventBinding(9, nullptr, 2);
        }
        static void Second() { calls.push_back(2); }
    };
    BindEvent(9, Callbacks::First);
    BindEvent(9, Callbacks::Second);
    BindEvent(9, Record<3>, 2);
    PostEvent(9, 0, 2, 0);
    PostEvent(9, 1, 2, 0);
    EXPECT_EQ(calls, (std::vector<int>{3, 1, 1}));
    RemoveEventBinding(9, Callbacks::First);
}

}  // namespace
}  // namespace vorlune
