#pragma once
// Shared by the benchmark programs that print a table of ratios after the usual output.

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace vorlune::bench {

struct Median {
    double wall = 0;
    double cpu = 0;
};

// Keeps the median of every benchmark, by its function name, while printing as usual.
class MedianReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
                medians[run.run_name.function_name] = {run.GetAdjustedRealTime(),
                                                       run.GetAdjustedCPUTime()};
        }
        ConsoleReporter::ReportRuns(runs);
    }

    std::map<std::string, Median> medians;
};

// Runs the registered benchmarks with the repetitions of all of them in random order, so that a
// slow phase of a shared machine does not fall on one of them only. False on a wrong argument.
inline bool RunInterleaved(int argc, char** argv, MedianReporter& reporter) {
    std::vector<char*> arguments(argv, argv + argc);
    char interleaving[] = "--benchmark_enable_random_interleaving=true";
    arguments.insert(arguments.begin() + 1, interleaving);
    argc = static_cast<int>(arguments.size());
    benchmark::Initialize(&argc, arguments.data());
    if (benchmark::ReportUnrecognizedArguments(argc, arguments.data())) return false;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    return true;
}

}  // namespace vorlune::bench
