// Worker threads posting into the event queue while the main thread waits and fetches. Only
// the thread-safe build takes posts from other threads; the ordinary build skips these tests.
#include <gtest/gtest.h>

#include <thread>

#include "platform/headless/control.h"
#include "runtime/core/startup.h"
#include "runtime/events/event_queue.h"
#include "tests/events/events_fixture.h"
#include "tests/support/event_traffic.h"

namespace vorlune {
namespace {

constexpr int kWorkers = 4;
constexpr int kPostsPerWorker = 10000;

class EventThreadsTest : public EventsTest {
  protected:
    void SetUp() override {
        if (!IsThreadSafeBuild())
            GTEST_SKIP() << "posts from worker threads need the thread-safe build";
        EventsTest::SetUp();
        SetHeadlessBlockingWaits(true);
    }
};

TEST_F(EventThreadsTest, WorkersPostWhileTheMainThreadWaits) {
    test::EventTraffic traffic(kWorkers, kPostsPerWorker);
    traffic.Start();
    traffic.Drain();
    traffic.Join();
    EXPECT_EQ(traffic.Faults(), "");
    RecordProperty("merged", static_cast<int>(traffic.Merged()));
}

TEST_F(EventThreadsTest, APostFromAWorkerEndsABlockedWait) {
    std::thread worker([] {
        while (BlockedPlatformWaitCount() == 0)
            std::this_thread::yield();
        PostEvent(test::kTrafficDone, 9, test::kTrafficWindow, 0);
    });
    EXPECT_EQ(WaitForEvent(), test::kTrafficDone);
    EXPECT_EQ(EventMenuID(), 9);
    worker.join();
}

}  // namespace
}  // namespace vorlune
