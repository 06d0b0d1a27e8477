// Posting and fetching runtime events, with and without merging, and round trips of the wait
// through the headless platform, against a standard deque measured in the same run.

#include <benchmark/benchmark.h>

#include <deque>

#include "platform/headless/control.h"
#include "runtime/core/startup.h"
#include "runtime/events/event_queue.h"
#include "runtime/events/windows.h"

namespace {

using namespace vorlune;

void StartOnce() {
    static bool started = false;
    if (started) return;
    started = true;
    InitRuntime();
}

// The baseline: the same records through a deque, oldest out first.
void BM_DequeBaseline(benchmark::State& state) {
    std::deque<EventRecord> queue;
    const int64_t count = state.range(0);
    for (auto _ : state) {
        for (int64_t i = 0; i < count; ++i)
            queue.push_back(EventRecord{nullptr, 3, 0, i, 1, 0, nullptr, nullptr});
        while (!queue.empty()) {
            benchmark::DoNotOptimize(queue.front().object);
            queue.pop_front();
        }
    }
    state.SetItemsProcessed(state.iterations() * count);
}

// Distinct events: every post takes a node and runs the (empty) binding lookup.
void BM_PostAndFetch(benchmark::State& state) {
    StartOnce();
    const int64_t count = state.range(0);
    for (auto _ : state) {
        for (int64_t i = 0; i < count; ++i)
            PostEvent(kEventGadget, i, 1, 0);
        while (FetchEvent() != 0) {
        }
    }
    state.SetItemsProcessed(state.iterations() * count);
}

// As above with one binding elsewhere: every post then looks up its four keys.
void BM_PostAndFetchWithBindings(benchmark::State& state) {
    StartOnce();
    BindEvent(99, [] {});
    const int64_t count = state.range(0);
    for (auto _ : state) {
        for (int64_t i = 0; i < count; ++i)
            PostEvent(kEventGadget, i, 1, 0);
        while (FetchEvent() != 0) {
        }
    }
    RemoveEventBinding(99, nullptr);
    state.SetItemsProcessed(state.iterations() * count);
}

// Identical events: all but the first merge with the youngest one.
void BM_PostMergedAndFetch(benchmark::State& state) {
    StartOnce();
    const int64_t count = state.range(0);
    for (auto _ : state) {
        for (int64_t i = 0; i < count; ++i)
            PostEvent(kEventRepaint, 1, 1, 0);
        while (FetchEvent() != 0) {
        }
    }
    state.SetItemsProcessed(state.iterations() * count);
}

// A key press through the wait: taken from the platform, offered to the hooks, sent on.
void BM_WaitRoundTripKey(benchmark::State& state) {
    StartOnce();
    CreateWindow(1, 0, 0, 64, 64, u"bench", 0xC0);
    const NativeWindow window = WindowID(1);
    int64_t count = 0;
    for (auto _ : state) {
        InjectKeyEvent(window, kKeyDown, u"a", 0);
        benchmark::DoNotOptimize(PollWindowEvent());
        if (++count % 1024 == 0) ClearSentEvents();
    }
    ClearSentEvents();
    CloseWindow(AnyNumber);
    state.SetItemsProcessed(state.iterations());
}

// A notification during the wait posts a resize, whose wake-up ends the wait with it.
void BM_WaitRoundTripNotification(benchmark::State& state) {
    StartOnce();
    CreateWindow(1, 0, 0, 64, 64, u"bench", kWindowResizable);
    while (PollWindowEvent() != 0) {
    }
    double width = 64;
    for (auto _ : state) {
        RunDuringNextWait(
            [](void* size) {
                double& width = *static_cast<double*>(size);
                width = width == 64 ? 65 : 64;
                UserResizeWindow(WindowID(1), width, 64);
            },
            &width);
        benchmark::DoNotOptimize(WaitForEvent());
    }
    CloseWindow(AnyNumber);
    state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK(BM_DequeBaseline)->Arg(16)->Arg(1024);
BENCHMARK(BM_PostAndFetch)->Arg(16)->Arg(1024);
BENCHMARK(BM_PostAndFetchWithBindings)->Arg(16)->Arg(1024);
BENCHMARK(BM_PostMergedAndFetch)->Arg(16)->Arg(1024);
BENCHMARK(BM_WaitRoundTripKey);
BENCHMARK(BM_WaitRoundTripNotification);

BENCHMARK_MAIN();
