// The renderer's large picture on 1, 2 and all cores: the picture alone (image 0 made, drawn with
// PlotPixel by DrawPictureOnThreads, the workers started before the image is made, as
// vorlune-render does) and the whole render with the
// 24-bit BMP saved into TMPDIR (or /tmp), for the start values and the corner setting at
// 4096 x 4096. After the usual output a table gives each median and its speed-up over one
// thread, measured in this run.
// Run the Release build: build/release/bench/bench_render
#include <benchmark/benchmark.h>
#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/picture.h"
#include "app/picture_fast.h"
#include "bench/median_reporter.h"
#include "runtime/core/startup.h"
#include "runtime/drawing/context.h"
#include "runtime/images/codecs.h"
#include "runtime/images/image.h"
#include "tools/render/parallel_rows.h"

namespace {

using vorlune::PictureSettings;

constexpr uint16_t kSide = 4096;
constexpr int kRepetitions = 5;

struct Setting {
    const char* name;
    PictureSettings settings;
};

const Setting kSettings[] = {
    {"start colour", {kSide, vorlune::kStartP, vorlune::kStartK, -1, -1}},
    {"corner P 2.5 K 0.05", {kSide, 2.5f, 0.05f, 0, -1}},
};

int AvailableCores() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) return std::max(1, CPU_COUNT(&set));
    return 1;
}

std::string OutputPath() {
    const char* folder = std::getenv("TMPDIR");
    return std::string(folder != nullptr && *folder != '\0' ? folder : "/tmp") + "/bench_render-" +
           std::to_string(getpid()) + ".bmp";
}

bool DrawImage(const PictureSettings& settings, int threads) {
    const vorlune::PictureLines lines(settings, vorlune::BestPicturePath());
    vorlune::RowWorkers workers(lines, threads);
    if (vorlune::CreateImage(0, settings.size, settings.size) == 0) return false;
    if (vorlune::BeginDrawing(vorlune::ImageDrawTarget(0)) == nullptr) return false;
    vorlune::DrawPictureOnThreads(lines, workers);
    vorlune::EndDrawing();
    return true;
}

void RunRender(benchmark::State& state, const PictureSettings& settings, int threads, bool save) {
    const std::string path = OutputPath();
    for (auto _ : state) {
        if (!DrawImage(settings, threads) ||
            (save && vorlune::SaveImage(0, path.c_str(), vorlune::kBmpTag, 24, 0) != 1)) {
            state.SkipWithError("the image could not be made or saved");
            break;
        }
        vorlune::FreeImage(0);
    }
    std::remove(path.c_str());
}

std::string BenchmarkName(const char* phase, const Setting& setting, int threads) {
    return std::string(phase) + "/" + setting.name + "/threads " + std::to_string(threads);
}

std::vector<int> ThreadCounts() {
    std::vector<int> counts{1, 2};
    if (AvailableCores() > 2) counts.push_back(AvailableCores());
    return counts;
}

void PrintSpeedUps(const vorlune::bench::MedianReporter& reporter) {
    std::printf("\n%-10s %-22s %8s %10s %9s\n", "4096^2", "picture", "threads", "wall ms",
                "speed-up");
    for (const char* phase : {"picture", "render"}) {
        for (const Setting& setting : kSettings) {
            const auto one = reporter.medians.find(BenchmarkName(phase, setting, 1));
            if (one == reporter.medians.end()) continue;
            for (int threads : ThreadCounts()) {
                const auto found = reporter.medians.find(BenchmarkName(phase, setting, threads));
                if (found == reporter.medians.end()) continue;
                std::printf("%-10s %-22s %8d %10.1f %8.2fx\n", phase, setting.name, threads,
                            found->second.wall, one->second.wall / found->second.wall);
            }
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    vorlune::InitRuntime();
    for (const char* phase : {"picture", "render"}) {
        for (const Setting& setting : kSettings) {
            for (int threads : ThreadCounts()) {
                const bool save = std::string(phase) == "render";
                benchmark::RegisterBenchmark(BenchmarkName(phase, setting, threads).c_str(),
                                             RunRender, setting.settings, threads, save)
                    ->Unit(benchmark::kMillisecond)
                    ->UseRealTime()
                    ->Iterations(1)
                    ->Repetitions(kRepetitions)
                    ->ReportAggregatesOnly(true);
            }
        }
    }
    vorlune::bench::MedianReporter reporter;
    if (!vorlune::bench::RunInterleaved(argc, argv, reporter)) return 1;
    PrintSpeedUps(reporter);
    benchmark::Shutdown();
    vorlune::EndRuntime();
    return 0;
}
