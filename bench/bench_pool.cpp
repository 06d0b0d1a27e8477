// Pool elements against the system allocator, measured side by side in one run.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <vector>

#include "runtime/core/memory.h"

namespace {

constexpr uint64_t kElementBytes = 48;  // about one event record

// A batch allocated and then freed newest first, as a queue drained from its tail would.
void BM_BatchMalloc(benchmark::State& state) {
    std::vector<void*> held(static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        for (void*& element : held)
            element = std::malloc(kElementBytes);
        benchmark::DoNotOptimize(held.data());
        for (auto it = held.rbegin(); it != held.rend(); ++it)
            std::free(*it);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_BatchPool(benchmark::State& state) {
    vorlune::Pool* pool = vorlune::CreatePool(kElementBytes, 16, 256, vorlune::kPoolPrivate);
    std::vector<void*> held(static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        for (void*& element : held)
            element = vorlune::PoolAlloc(pool);
        benchmark::DoNotOptimize(held.data());
        for (auto it = held.rbegin(); it != held.rend(); ++it)
            vorlune::PoolFree(pool, *it);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    vorlune::DestroyPool(pool);
}

// One element in and out while others stay alive, so the pool keeps its block.
void BM_PairMalloc(benchmark::State& state) {
    void* anchor = std::malloc(kElementBytes);
    for (auto _ : state) {
        void* element = std::malloc(kElementBytes);
        benchmark::DoNotOptimize(element);
        std::free(element);
    }
    std::free(anchor);
}

void BM_PairPool(benchmark::State& state) {
    vorlune::Pool* pool = vorlune::CreatePool(kElementBytes, 16, 256, vorlune::kPoolPrivate);
    void* anchor = vorlune::PoolAlloc(pool);
    for (auto _ : state) {
        void* element = vorlune::PoolAlloc(pool);
        benchmark::DoNotOptimize(element);
        vorlune::PoolFree(pool, element);
    }
    vorlune::PoolFree(pool, anchor);
    vorlune::DestroyPool(pool);
}

}  // namespace

BENCHMARK(BM_BatchMalloc)->Arg(64)->Arg(4096);
BENCHMARK(BM_BatchPool)->Arg(64)->Arg(4096);
BENCHMARK(BM_PairMalloc);
BENCHMARK(BM_PairPool);

BENCHMARK_MAIN();
