#include "runtime/events/event_queue.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/headless/control.h"
#include "runtime/core/memory.h"
#include "tests/events/events_fixture.h"

namespace vorlune {
namespace {

std::vector<int> freedPayloads;

void RecordFree(void* payload) {
    freedPayloads.push_back(*static_cast<int*>(payload));
}

class EventQueueTest : public EventsTest {
  protected:
    void SetUp() override {
        EventsTest::SetUp();
        freedPayloads.clear();
    }
};

TEST_F(EventQueueTest, IdenticalPostsMergeOnlyWithTheYoungestEvent) {
    struct Post {
        int32_t type;
        int64_t object, window, subtype;
        uint32_t flags;
    };
    struct Case {
        const char* name;
        std::vector<Post> posts;
        size_t queued;
    };
    const std::vector<Case> cases = {
        {"two identical", {{5, 1, 1, 0, 0}, {5, 1, 1, 0, 0}}, 1},
        {"separated by another", {{5, 1, 1, 0, 0}, {6, 1, 1, 0, 0}, {5, 1, 1, 0, 0}}, 3},
        {"other object", {{3, 1, 1, 0, 0}, {3, 2, 1, 0, 0}}, 2},
        {"other window", {{3, 1, 1, 0, 0}, {3, 1, 2, 0, 0}}, 2},
        {"other subtype", {{3, 1, 1, 0, 0}, {3, 1, 1, 7, 0}}, 2},
        {"no-merge option on the second", {{5, 1, 1, 0, 0}, {5, 1, 1, 0, kPostNoMerge}}, 2},
        {"no-merge option on the first", {{5, 1, 1, 0, kPostNoMerge}, {5, 1, 1, 0, 0}}, 1},
        {"type above 65535", {{65536, 1, 1, 0, 0}, {65536, 1, 1, 0, 0}}, 2},
        {"type 65535", {{65535, 1, 1, 0, 0}, {65535, 1, 1, 0, 0}}, 1},
        {"three in a row", {{4, 9, 9, 0, 0}, {4, 9, 9, 0, 0}, {4, 9, 9, 0, 0}}, 1},
    };
    for (const Case& c : cases) {
        for (const Post& p : c.posts) {
            PostEventEx(p.type, p.object, p.window, p.subtype, nullptr, nullptr, p.flags);
        }
        EXPECT_EQ(DrainTypes().size(), c.queued) << c.name;
    }
}

TEST_F(EventQueueTest, EventsComeOutOldestFirstWithTheirNumbers) {
    PostEvent(3, 11, 2, 5);
    PostEvent(kEventCloseWindow, 2, 2, 0);
    int64_t object = 0, window = 0, subtype = 0;
    EXPECT_EQ(PeekEventType(), 3);
    EXPECT_EQ(PeekEvent(&object, &window, &subtype), 3);
    EXPECT_EQ(object, 11);
    EXPECT_EQ(window, 2);
    EXPECT_EQ(subtype, 5);
    EXPECT_EQ(Drain(), (std::vector<QueuedEvent>{{3, 11, 2, 5}, {2, 2, 2, 0}}));

    object = window = subtype = 42;
    EXPECT_EQ(PeekEvent(&object, &window, &subtype), 0);
    EXPECT_EQ(object, 42);
    EXPECT_EQ(window, 42);
    EXPECT_EQ(subtype, 42);
    EXPECT_EQ(PeekEventType(), 0);
}

TEST_F(EventQueueTest, AccessorsAfterTheQueueRunsDryKeepThePreviousNumbers) {
    PostEvent(kEventMenu, kMenuItemQuit, -1, 3);
    ASSERT_EQ(FetchEvent(), kEventMenu);
    EXPECT_EQ(EventType(), kEventMenu);
    EXPECT_EQ(EventSubtype(), 3);
    EXPECT_EQ(FetchEvent(), 0);
    EXPECT_EQ(EventType(), 0);
    EXPECT_EQ(EventMenuID(), kMenuItemQuit);
    EXPECT_EQ(EventWindow(), -1);
    EXPECT_EQ(EventSubtype(), -1);
}

TEST_F(EventQueueTest, SuspendedPostsLeaveNoTrace) {
    SuspendEvents();
    SuspendEvents();
    PostEvent(kEventMoveWindow, 1, 1, 0);
    ResumeEvents();
    int payload = 7;
    PostEventWithPayload(kEventMenu, 1, 1, 0, &payload, RecordFree);
    EXPECT_EQ(PeekEventType(), 0);
    EXPECT_EQ(WakeUpEventsPosted(), 0);
    EXPECT_EQ(PendingPlatformEventCount(), 0);
    EXPECT_EQ(freedPayloads, std::vector<int>{7}) << "a dropped post still frees its payload";

    PostEventEx(kEventMoveWindow, 2, 2, 0, nullptr, nullptr, kPostWhileSuspended);
    ResumeEvents();
    PostEvent(kEventSizeWindow, 2, 2, 0);
    EXPECT_EQ(DrainTypes(), (std::vector<int32_t>{kEventMoveWindow, kEventSizeWindow}));
}

TEST_F(EventQueueTest, WakeUpRule) {
    struct Case {
        int32_t type;
        uint32_t flags;
        bool platformEventPending;
        bool wakes;
    };
    const std::vector<Case> cases = {
        {kEventMenu, 0, true, true},
        {kEventMenu, 0, false, true},
        {kEventRepaint, 0, false, false},
        {kEventRepaint, kPostAlwaysWake, false, false},
        {kEventMoveWindow, 0, false, true},
        {kEventMoveWindow, 0, true, false},
        {kEventMoveWindow, kPostAlwaysWake, true, true},
        {kEventGadget, 0, true, false},
    };
    for (const Case& c : cases) {
        ResetHeadlessPlatform();
        if (c.platformEventPending) InjectKeyEvent(nullptr, kKeyDown, u"a", 0);
        PostEventEx(c.type, 1, 1, 0, nullptr, nullptr, c.flags);
        EXPECT_EQ(WakeUpEventsPosted(), c.wakes ? 1 : 0) << "type " << c.type;
        if (c.wakes) {
            ASSERT_GE(PendingPlatformEventCount(), 1);
            EXPECT_EQ(PendingPlatformEventAt(0)->type, kApplicationDefined)
                << "the wake-up goes to the front";
        }
        RemoveEvents(-1, -1, -1, -1);
    }
}

TEST_F(EventQueueTest, MergedPostsStillWake) {
    PostEvent(kEventMoveWindow, 1, 1, 0);
    ASSERT_EQ(WakeUpEventsPosted(), 1);
    ResetHeadlessPlatform();
    PostEvent(kEventMoveWindow, 1, 1, 0);
    EXPECT_EQ(WakeUpEventsPosted(), 1);
    EXPECT_EQ(DrainTypes().size(), 1u);
}

TEST_F(EventQueueTest, WaitReturnsAQueuedEventWithoutAskingThePlatform) {
    PostEvent(kEventCloseWindow, 3, 3, 0);
    const int32_t waits = PlatformWaitCount();
    EXPECT_EQ(WaitForEvent(), kEventCloseWindow);
    EXPECT_EQ(PlatformWaitCount(), waits);
}

TEST_F(EventQueueTest, WaitResultsTellNothingFromAnEventWithoutRuntimeEvent) {
    ResetHeadlessPlatform();
    SetKeyboardPolled(1);
    EXPECT_EQ(PollWindowEvent(), 0) << "nothing arrived";
    EXPECT_EQ(KeyboardPolled(), 0) << "a wait that got nothing clears the polled flag";

    SetKeyboardPolled(1);
    InjectKeyEvent(nullptr, kKeyDown, u"x", 0);
    EXPECT_EQ(WaitForEvent(), -1) << "an event arrived but left no runtime event";
    EXPECT_EQ(KeyboardPolled(), 1);
    EXPECT_EQ(SentEventCount(), 1) << "the unclaimed event went on to the toolkit";

    // A notification during the wait posts a runtime event, whose wake-up ends the wait.
    RunDuringNextWait([](void*) { PostEvent(kEventSizeWindow, 4, 4, 0); }, nullptr);
    EXPECT_EQ(WaitForEvent(), kEventSizeWindow);
    EXPECT_EQ(PendingPlatformEventCount(), 0);

    // A repaint does not wake: it rides along with the next input.
    RunDuringNextWait([](void*) { PostEvent(kEventRepaint, 4, 4, 0); }, nullptr);
    EXPECT_EQ(PollWindowEvent(), 0);
    EXPECT_EQ(PeekEventType(), kEventRepaint);
}

int32_t hookCalls[3];
int32_t hookAnswers[3];

int32_t KeyboardHook(const PlatformEvent&) {
    return ++hookCalls[0], hookAnswers[0];
}
int32_t MouseHook(const PlatformEvent&) {
    return ++hookCalls[1], hookAnswers[1];
}
int32_t ListHook(const PlatformEvent&, void* data) {
    ++hookCalls[2];
    static_cast<std::vector<int>*>(data)->push_back(hookCalls[2]);
    return hookAnswers[2];
}

TEST_F(EventQueueTest, HooksSeeEveryEventAndAClaimKeepsItFromTheToolkit) {
    struct Case {
        int32_t keyboard, mouse, list, polled;
        bool passedOn;
    };
    const std::vector<Case> cases = {
        {0, 0, 0, 1, true},  {1, 0, 0, 1, false}, {1, 0, 0, 0, true},
        {0, 1, 0, 0, false}, {0, 0, 1, 0, false}, {1, 1, 1, 1, false},
    };
    std::vector<int> listCalls;
    ASSERT_EQ(AddEventHook(ListHook, &listCalls), 1);
    SetKeyboardHook(KeyboardHook);
    SetMouseHook(MouseHook);
    for (const Case& c : cases) {
        hookAnswers[0] = c.keyboard;
        hookAnswers[1] = c.mouse;
        hookAnswers[2] = c.list;
        std::fill(std::begin(hookCalls), std::end(hookCalls), 0);
        ClearSentEvents();
        SetKeyboardPolled(c.polled);
        InjectKeyEvent(nullptr, kKeyDown, u"q", 0);
        EXPECT_EQ(WaitForEvent(), -1);
        EXPECT_EQ(hookCalls[0] + hookCalls[1] + hookCalls[2], 3) << "every hook is asked";
        EXPECT_EQ(SentEventCount(), c.passedOn ? 1 : 0);
    }
    RemoveEventHook(ListHook);
    SetKeyboardHook(nullptr);
    SetMouseHook(nullptr);
    InjectKeyEvent(nullptr, kKeyDown, u"q", 0);
    WaitForEvent();
    EXPECT_EQ(listCalls.size(), cases.size()) << "a removed hook is not asked";
}

TEST_F(EventQueueTest, AHookMayRemoveItselfAndOthersWhileBeingAsked) {
    static int32_t secondCalls = 0;
    struct Hooks {
        static int32_t First(const PlatformEvent&, void*) {
            RemoveEventHook(First);
            RemoveEventHook(Second);
            return 0;
        }
        static int32_t Second(const PlatformEvent&, void*) { return ++secondCalls, 0; }
    };
    AddEventHook(Hooks::First, nullptr);
    AddEventHook(Hooks::Second, nullptr);
    InjectKeyEvent(nullptr, kKeyDown, u"a", 0);
    InjectKeyEvent(nullptr, kKeyDown, u"b", 0);
    WaitForEvent();
    WaitForEvent();
    EXPECT_EQ(secondCalls, 0);
}

TEST_F(EventQueueTest, PayloadLivesUntilTheFetchAfterTheOneThatMadeItCurrent) {
    int first = 1, second = 2;
    PostEventWithPayload(kEventWindowDrop, 1, 1, 0, &first, RecordFree);
    PostEventWithPayload(kEventWindowDrop, 2, 2, 0, &second, RecordFree);
    ASSERT_EQ(FetchEvent(), kEventWindowDrop);
    EXPECT_EQ(EventPayload(), &first);
    EXPECT_TRUE(freedPayloads.empty());
    ASSERT_EQ(FetchEvent(), kEventWindowDrop);
    EXPECT_EQ(freedPayloads, std::vector<int>{1});
    EXPECT_EQ(FetchEvent(), 0);
    EXPECT_EQ(freedPayloads, (std::vector<int>{1, 2}));
    EXPECT_EQ(EventPayload(), nullptr);
}

// A bound callback that pumps events must not free the payload of the event being posted,
// which its queued node still owns: every payload goes exactly once, whoever fetches it.
TEST_F(EventQueueTest, ACallbackThatPumpsFreesEachPayloadOnce) {
    struct Case {
        const char* name;
        EventCallback pump;
        int32_t currentAfter;            // the event the pump fetched stays current
        std::vector<int32_t> typesLeft;  // what the queue still holds after the post
    };
    const std::vector<Case> cases = {
        {"a fetch", [] { FetchEvent(); }, kEventGadgetDrop, {kEventWindowDrop}},
        {"fetches past the posted event",
         [] {
             for (int i = 0; i < 3; ++i)
                 FetchEvent();
         },
         0,
         {}},
        {"a poll", [] { PollWindowEvent(); }, kEventGadgetDrop, {kEventWindowDrop}},
        {"a wait", [] { WaitForEvent(); }, kEventGadgetDrop, {kEventWindowDrop}},
    };
    static void* payloadSeen = nullptr;
    const EventCallback seePayload = [] { payloadSeen = EventPayload(); };
    for (const Case& c : cases) {
        freedPayloads.clear();
        ASSERT_EQ(BindEvent(kEventWindowDrop, seePayload), 1);
        ASSERT_EQ(BindEvent(kEventWindowDrop, c.pump), 1);
        int older = 1, posted = 2;
        PostEventWithPayload(kEventGadgetDrop, 1, 1, 0, &older, RecordFree);
        PostEventWithPayload(kEventWindowDrop, 1, 1, 0, &posted, RecordFree);
        RemoveEventBinding(kEventWindowDrop, seePayload);
        RemoveEventBinding(kEventWindowDrop, c.pump);
        EXPECT_EQ(payloadSeen, &posted) << c.name << ": callbacks see the posted payload";
        EXPECT_EQ(EventType(), c.currentAfter) << c.name;
        EXPECT_EQ(DrainTypes(), c.typesLeft) << c.name;
        EXPECT_EQ(freedPayloads, (std::vector<int>{1, 2})) << c.name;
    }
}

TEST_F(EventQueueTest, PayloadsThatFindNoNodeAreFreed) {
    int queued = 1, merged = 2, same = 3;
    PostEventWithPayload(kEventWindowDrop, 1, 1, 0, &queued, RecordFree);
    PostEventWithPayload(kEventWindowDrop, 1, 1, 0, &merged, RecordFree);
    EXPECT_EQ(freedPayloads, std::vector<int>{2}) << "the merged twin's payload";
    PostEventWithPayload(kEventWindowDrop, 1, 1, 0, &queued, RecordFree);
    EXPECT_EQ(freedPayloads, std::vector<int>{2}) << "the same payload again is still queued";

    // The pool refuses every node from here on.
    SetAllocationFailureHook([](uint64_t size) { return size == sizeof(EventRecord); });
    PostEventWithPayload(kEventGadgetDrop, 3, 3, 0, &same, RecordFree);
    SetAllocationFailureHook(nullptr);
    EXPECT_EQ(freedPayloads, (std::vector<int>{2, 3})) << "a post without a node is dropped";
    EXPECT_EQ(DrainTypes(), std::vector<int32_t>{kEventWindowDrop});
}

TEST_F(EventQueueTest, RemovalMatchesWithWildcardsFreesPayloadsAndKeepsTheTail) {
    struct Case {
        int32_t type;
        int64_t object, window, subtype;
        std::vector<int32_t> left;
    };
    const std::vector<Case> cases = {
        {-1, -1, -1, -1, {}},         {3, -1, -1, -1, {5, 6, 5}},   {-1, -1, 2, -1, {5, 3, 5}},
        {3, 7, -1, -1, {5, 3, 6, 5}}, {3, -1, -1, 9, {5, 3, 6, 5}}, {5, 1, 1, 0, {3, 3, 6}},
    };
    for (const Case& c : cases) {
        PostEvent(3, 7, 2, 9);
        PostEvent(5, 1, 1, 0);
        PostEvent(3, 8, 1, 0);
        PostEvent(6, 1, 2, 0);
        PostEvent(5, 1, 1, 0);
        RemoveEvents(c.type, c.object, c.window, c.subtype);
        // A post after the removal must link to the kept tail, and merge only with it.
        PostEvent(100, 0, 0, 0);
        std::vector<int32_t> expected = c.left;
        expected.push_back(100);
        EXPECT_EQ(DrainTypes(), expected);
    }

    int payload = 5;
    PostEventWithPayload(kEventWindowDrop, 1, 4, 0, &payload, RecordFree);
    PostEvent(kEventMoveWindow, 3, 3, 0);
    RemoveWindowEvents(4);
    EXPECT_EQ(freedPayloads, std::vector<int>{5});
    EXPECT_EQ(DrainTypes(), std::vector<int32_t>{kEventMoveWindow});
}

}  // namespace
}  // namespace vorlune
