// One full picture, the literal formula against the fast ComputePicture and each of its code
// paths, for the start values in colour and in black and white and for a corner-origin picture.
// After the usual output a table gives the medians and the ratios to the literal picture, all
// measured in this run (wall-clock and CPU time; the CPU time is steadier on a shared machine).
// Run the Release build: build/rel/bench/bench_picture
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "app/picture.h"

namespace {

using vorlune::PicturePath;
using vorlune::PictureSettings;

constexpr int kRepetitions = 15;
constexpr double kSecondsPerRepetition = 0.1;

struct Setting {
    const char* name;
    PictureSettings settings;
};

const Setting kSettings[] = {
    {"start colour", vorlune::kStartSettings},
    {"corner P 2.5 K 0.05", {vorlune::kStartSize, 2.5f, 0.05f, 0, -1}},
    {"start black and white", {vorlune::kStartSize, vorlune::kStartP, vorlune::kStartK, -1, 0}},
};

enum class Code { Literal, Fast, ForcedPath };

struct Variant {
    const char* name;
    Code code;
    PicturePath path;  // of a forced path

    PicturePath Path() const { return code == Code::Fast ? vorlune::BestPicturePath() : path; }
};

const Variant kVariants[] = {
    {"literal", Code::Literal, PicturePath::Scalar},
    {"fast", Code::Fast, PicturePath::Scalar},
    {"scalar", Code::ForcedPath, PicturePath::Scalar},
    {"avx2", Code::ForcedPath, PicturePath::Avx2},
    {"avx512", Code::ForcedPath, PicturePath::Avx512},
};

// The cheapest writer that still takes every pixel: summing into memory would chain every
// call to the previous one through a store and a load, and time that chain instead.
void TakePixel(void*, uint16_t x, uint16_t y, int red, int green, int blue) {
    benchmark::DoNotOptimize(x + y + red + green + blue);
}

void RunPicture(benchmark::State& state, const Variant& variant, const PictureSettings& settings) {
    const bool literal = variant.code == Code::Literal;
    for (auto _ : state) {
        if (literal)
            vorlune::ComputePictureLiteral(settings, TakePixel, nullptr);
        else
            vorlune::ComputePictureOn(variant.Path(), settings, TakePixel, nullptr);
    }
    if (!literal)
        state.counters["exact_pixels"] = static_cast<double>(
            vorlune::ComputePictureOn(variant.Path(), settings, TakePixel, nullptr));
}

struct Median {
    double wall = 0;
    double cpu = 0;
};

// Keeps the median of every benchmark while printing as usual.
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

std::string BenchmarkName(const Variant& variant, const Setting& setting) {
    return std::string(variant.name) + "/" + setting.name;
}

void PrintRatios(const MedianReporter& reporter) {
    std::printf("\n%-24s %-8s %12s %9s %12s %9s\n", "picture (512 x 512)", "code", "wall ms",
                "ratio", "cpu ms", "ratio");
    for (const Setting& setting : kSettings) {
        const auto literal = reporter.medians.find(BenchmarkName(kVariants[0], setting));
        if (literal == reporter.medians.end()) continue;
        for (const Variant& variant : kVariants) {
            const auto found = reporter.medians.find(BenchmarkName(variant, setting));
            if (found == reporter.medians.end()) continue;
            const Median& m = found->second;
            std::printf("%-24s %-8s %12.3f %8.1fx %12.3f %8.1fx\n", setting.name, variant.name,
                        m.wall, literal->second.wall / m.wall, m.cpu, literal->second.cpu / m.cpu);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    for (const Setting& setting : kSettings) {
        for (const Variant& variant : kVariants) {
            if (!vorlune::PicturePathSupported(variant.Path())) continue;
            benchmark::RegisterBenchmark(BenchmarkName(variant, setting).c_str(), RunPicture,
                                         variant, setting.settings)
                ->Unit(benchmark::kMillisecond)
                ->MinTime(kSecondsPerRepetition)
                ->Repetitions(kRepetitions)
                ->ReportAggregatesOnly(true);
        }
    }
    // Repetitions of all benchmarks run in random order, so that a slow phase of a shared
    // machine does not fall on one of them only.
    std::vector<char*> arguments(argv, argv + argc);
    char interleaving[] = "--benchmark_enable_random_interleaving=true";
    arguments.insert(arguments.begin() + 1, interleaving);
    argc = static_cast<int>(arguments.size());
    argv = arguments.data();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    PrintRatios(reporter);
    benchmark::Shutdown();
    return 0;
}
