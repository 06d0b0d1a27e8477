// Worker threads posting into the event queue while the main thread waits in the GTK event
// loop under X. Only the thread-safe build takes posts from other threads; the ordinary build
// skips these tests.
#include <glib.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/application.h"
#include "platform/events.h"
#include "runtime/core/startup.h"
#include "runtime/events/application.h"
#include "runtime/events/event_queue.h"
#include "tests/support/event_traffic.h"

namespace vorlune {
namespace {

constexpr int kWorkers = 4;
constexpr int kPostsPerWorker = 10000;
constexpr guint kWatchdogSeconds = 10;

// Wakes the wait from the main thread every few seconds, so that a lost wake-up from a worker
// ends in a failed test instead of a hung one.
class Watchdog {
  public:
    Watchdog() : source_(g_timeout_add_seconds(kWatchdogSeconds, Fire, this)) {}
    ~Watchdog() { g_source_remove(source_); }
    int Firings() const { return firings_; }

  private:
    static gboolean Fire(gpointer self) {
        ++static_cast<Watchdog*>(self)->firings_;
        PostWakeUpEvent();
        return G_SOURCE_CONTINUE;
    }
    guint source_;
    int firings_ = 0;
};

class GtkEventThreadsTest : public testing::Test {
  protected:
    void SetUp() override {
        if (!IsThreadSafeBuild())
            GTEST_SKIP() << "posts from worker threads need the thread-safe build";
        StartApplication();
        InitEventQueue();
        ASSERT_TRUE(IsPlatformApplicationRunning()) << "no display";
        while (PollWindowEvent() != 0) {
        }
    }
};

TEST_F(GtkEventThreadsTest, WorkersPostWhileTheMainThreadWaits) {
    const Watchdog watchdog;
    test::EventTraffic traffic(kWorkers, kPostsPerWorker);
    traffic.Start();
    traffic.Drain();
    traffic.Join();
    EXPECT_EQ(traffic.Faults(), "");
    RecordProperty("merged", static_cast<int>(traffic.Merged()));
    RecordProperty("watchdog", watchdog.Firings());
}

// The worker posts only once the main thread is inside the wait's loop of the main context.
TEST_F(GtkEventThreadsTest, APostFromAWorkerEndsABlockedWait) {
    static std::atomic<bool> waiting{false};
    waiting = false;
    g_idle_add(
        [](gpointer) {
            waiting = true;
            return G_SOURCE_REMOVE;
        },
        nullptr);
    std::thread worker([] {
        while (!waiting)
            std::this_thread::yield();
        PostEvent(test::kTrafficDone, 9, test::kTrafficWindow, 0);
    });
    const Watchdog watchdog;
    int64_t type = 0;
    while ((type = WaitForEvent()) == -1 && watchdog.Firings() == 0) {
    }
    worker.join();
    EXPECT_EQ(type, test::kTrafficDone);
    EXPECT_EQ(watchdog.Firings(), 0) << "only the watchdog ended the wait";
}

}  // namespace
}  // namespace vorlune
