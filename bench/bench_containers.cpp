// The hash map and the linked list against their standard-library counterparts, side by side in
// one run; the summary at the end gives each pair's time ratio (ours / standard).

#include <benchmark/benchmark.h>

#include <cstdio>
#include <list>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "runtime/core/list.h"
#include "runtime/core/map.h"

namespace {

struct Value {
    int64_t a;
    int64_t b;
};

constexpr int32_t kEventMapBuckets = 1024;  // the bucket count the event bindings use

std::vector<std::u16string> Keys(int64_t count) {
    std::vector<std::u16string> keys;
    for (int64_t i = 0; i < count; ++i) {
        const std::string text = "3:" + std::to_string(i * 7919 % 100003) + ":" + std::to_string(i);
        keys.emplace_back(text.begin(), text.end());
    }
    return keys;
}

// Map: Args are the key count and the bucket count (the standard map sizes itself).

void MapInsert_Vorlune(benchmark::State& state) {
    const std::vector<std::u16string> keys = Keys(state.range(0));
    for (auto _ : state) {
        vorlune::HashMap* map = vorlune::CreateMap(sizeof(Value), 0, nullptr, nullptr,
                                                   static_cast<int32_t>(state.range(1)));
        for (const std::u16string& key : keys)
            static_cast<Value*>(vorlune::PutMapElement(map, key.c_str()))->a = 1;
        benchmark::DoNotOptimize(map->count);
        vorlune::DestroyMap(map);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void MapInsert_Std(benchmark::State& state) {
    const std::vector<std::u16string> keys = Keys(state.range(0));
    for (auto _ : state) {
        std::unordered_map<std::u16string, Value> map;
        for (const std::u16string& key : keys)
            map[key].a = 1;
        benchmark::DoNotOptimize(map.size());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void MapLookup_Vorlune(benchmark::State& state) {
    const std::vector<std::u16string> keys = Keys(state.range(0));
    vorlune::HashMap* map = vorlune::CreateMap(sizeof(Value), 0, nullptr, nullptr,
                                               static_cast<int32_t>(state.range(1)));
    for (const std::u16string& key : keys)
        static_cast<Value*>(vorlune::PutMapElement(map, key.c_str()))->a = 1;
    for (auto _ : state) {
        int64_t sum = 0;
        for (const std::u16string& key : keys)
            sum += static_cast<Value*>(vorlune::FindElement(map, key.c_str()))->a;
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    vorlune::DestroyMap(map);
}

void MapLookup_Std(benchmark::State& state) {
    const std::vector<std::u16string> keys = Keys(state.range(0));
    std::unordered_map<std::u16string, Value> map;
    for (const std::u16string& key : keys)
        map[key].a = 1;
    for (auto _ : state) {
        int64_t sum = 0;
        for (const std::u16string& key : keys)
            sum += map.find(key)->second.a;
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// List: append in order, then visit every element by ascending index.

void ListAppend_Vorlune(benchmark::State& state) {
    for (auto _ : state) {
        vorlune::LinkedList* list = vorlune::CreateList(sizeof(Value), nullptr, nullptr, 0);
        for (int64_t i = 0; i < state.range(0); ++i)
            static_cast<Value*>(vorlune::AddListElement(list))->a = i;
        benchmark::DoNotOptimize(list->count);
        vorlune::DestroyList(list);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void ListAppend_Std(benchmark::State& state) {
    for (auto _ : state) {
        std::list<Value> list;
        for (int64_t i = 0; i < state.range(0); ++i)
            list.push_back(Value{i, 0});
        benchmark::DoNotOptimize(list.size());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void ListWalk_Vorlune(benchmark::State& state) {
    vorlune::LinkedList* list = vorlune::CreateList(sizeof(Value), nullptr, nullptr, 0);
    for (int64_t i = 0; i < state.range(0); ++i)
        static_cast<Value*>(vorlune::AddListElement(list))->a = i;
    for (auto _ : state) {
        int64_t sum = 0;
        for (int64_t i = 0; i < state.range(0); ++i)
            sum += static_cast<Value*>(vorlune::SelectListElement(list, i))->a;
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    vorlune::DestroyList(list);
}

void ListWalk_Std(benchmark::State& state) {
    std::list<Value> list;
    for (int64_t i = 0; i < state.range(0); ++i)
        list.push_back(Value{i, 0});
    for (auto _ : state) {
        int64_t sum = 0;
        for (const Value& value : list)
            sum += value.a;
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void MapArguments(benchmark::internal::Benchmark* benchmark) {
    for (int64_t keys : {1, 1000, 100000})
        benchmark->Args({keys, kEventMapBuckets});
    benchmark->Args({100000, 131072});  // a bucket count grown with the keys, for comparison
}

// Prints the normal console output, then ours / standard for every pair that ran.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    // With repetitions the median stands for the pair; otherwise the single run does.
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const std::string name = run.run_name.str();
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
                times_[name] = run.GetAdjustedRealTime();
                medians_[name] = true;
            } else if (run.run_type == Run::RT_Iteration && !medians_[name]) {
                times_[name] = run.GetAdjustedRealTime();
            }
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("\nRatio ours / standard (time per operation, below 1 is faster):\n");
        for (const auto& [name, time] : times_) {
            const size_t mark = name.find("_Vorlune");
            if (mark == std::string::npos) continue;
            std::string other = name;
            other.replace(mark, 8, "_Std");
            const auto match = times_.find(other);
            if (match == times_.end()) continue;
            std::string label = name;
            label.erase(mark, 8);
            std::printf("  %-28s %6.2f\n", label.c_str(), time / match->second);
        }
    }

  private:
    std::map<std::string, double> times_;
    std::map<std::string, bool> medians_;
};

}  // namespace

BENCHMARK(MapInsert_Vorlune)->Apply(MapArguments);
BENCHMARK(MapInsert_Std)->Apply(MapArguments);
BENCHMARK(MapLookup_Vorlune)->Apply(MapArguments);
BENCHMARK(MapLookup_Std)->Apply(MapArguments);
BENCHMARK(ListAppend_Vorlune)->Arg(1000)->Arg(100000);
BENCHMARK(ListAppend_Std)->Arg(1000)->Arg(100000);
BENCHMARK(ListWalk_Vorlune)->Arg(1000)->Arg(100000);
BENCHMARK(ListWalk_Std)->Arg(1000)->Arg(100000);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
