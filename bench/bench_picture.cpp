// One full picture, the literal formula against the fast picture and each of its code paths, for
// the start values in colour and in black and white and for a corner-origin picture; and the
// program's whole repaint (PaintImage on the in-memory platform: image 0 created, drawn with
// PlotPixel, gadget 0 replaced so that its view holds the new picture) for the same settings.
// The fast picture is timed as the repaint runs it, by rows with the writer called in line; the
// literal one hands its pixels to a writer through a pointer, which costs it under 1 %.
// After the usual output a table gives the medians and the ratios to the literal picture, all
// measured in this run (wall-clock and CPU time; the CPU time is steadier on a shared machine).
// Run the Release build: build/release/bench/bench_picture
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/picture.h"
#include "app/picture_fast.h"
#include "app/picture_rows.h"
#include "app/program.h"
#include "bench/median_reporter.h"
#include "platform/image_view.h"
#include "runtime/core/startup.h"
#include "runtime/gadgets/gadgets.h"
#include "runtime/images/image.h"

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

enum class Code { Literal, Fast, ForcedPath, Paint };

struct Variant {
    const char* name;
    Code code;
    PicturePath path;  // of a forced path

    PicturePath Path() const {
        return code == Code::Fast || code == Code::Paint ? vorlune::BestPicturePath() : path;
    }
};

const Variant kVariants[] = {
    {"literal", Code::Literal, PicturePath::Scalar},
    {"fast", Code::Fast, PicturePath::Scalar},
    {"scalar", Code::ForcedPath, PicturePath::Scalar},
    {"avx2", Code::ForcedPath, PicturePath::Avx2},
    {"avx512", Code::ForcedPath, PicturePath::Avx512},
    {"paint", Code::Paint, PicturePath::Scalar},
};

// The cheapest writer that still takes every pixel: summing into memory would chain every
// call to the previous one through a store and a load, and time that chain instead.
void TakePixel(void*, uint16_t x, uint16_t y, int red, int green, int blue) {
    benchmark::DoNotOptimize(x + y + red + green + blue);
}

struct TakePixelInLine {
    void operator()(uint16_t x, uint16_t y, int red, int green, int blue) const {
        TakePixel(nullptr, x, y, red, green, blue);
    }
};

void StorePixel(void* context, uint16_t x, uint16_t y, int red, int green, int blue) {
    uint8_t* pixel = static_cast<uint8_t*>(context) + (size_t{y} * vorlune::kStartSize + x) * 4;
    pixel[0] = static_cast<uint8_t>(red);
    pixel[1] = static_cast<uint8_t>(green);
    pixel[2] = static_cast<uint8_t>(blue);
}

// The literal picture over opaque black, as the view must show it after a repaint.
bool ViewShowsLiteralPicture(const PictureSettings& settings) {
    std::vector<uint8_t> expected(size_t{settings.size} * settings.size * 4, 0);
    for (size_t i = 3; i < expected.size(); i += 4)
        expected[i] = 255;
    vorlune::ComputePictureLiteral(settings, StorePixel, expected.data());
    const vorlune::NativeImage shown = vorlune::ImageViewImage(vorlune::GadgetID(0));
    return shown != nullptr && shown == vorlune::ImageHandle(0) &&
           std::memcmp(vorlune::NativeImagePixels(shown), expected.data(), expected.size()) == 0;
}

// The program started on the in-memory platform once: window 0, the keyboard and the screen.
bool StartProgramOnce() {
    static const bool started = [] {
        vorlune::InitRuntime();
        return vorlune::StartProgram();
    }();
    return started;
}

void RunPaint(benchmark::State& state, const PictureSettings& settings) {
    if (!StartProgramOnce()) {
        state.SkipWithError("the program did not start on the in-memory platform");
        return;
    }
    vorlune::ProgramState& program = vorlune::Program();
    program.P = settings.p;
    program.K = settings.k;
    program.Origin = settings.origin;
    program.Colour = settings.colour;
    for (auto _ : state)
        vorlune::PaintImage();
    if (!ViewShowsLiteralPicture(settings))
        state.SkipWithError("gadget 0 does not show the literal picture");
}

void RunPicture(benchmark::State& state, const Variant& variant, const PictureSettings& settings) {
    if (variant.code == Code::Paint) {
        RunPaint(state, settings);
        return;
    }
    const bool literal = variant.code == Code::Literal;
    for (auto _ : state) {
        if (literal)
            vorlune::ComputePictureLiteral(settings, TakePixel, nullptr);
        else
            vorlune::ComputePictureByRowsOn(variant.Path(), settings, TakePixelInLine{});
    }
    if (!literal)
        state.counters["scalar_powers"] = static_cast<double>(
            vorlune::ComputePictureByRowsOn(variant.Path(), settings, TakePixelInLine{}));
}

std::string BenchmarkName(const Variant& variant, const Setting& setting) {
    return std::string(variant.name) + "/" + setting.name;
}

void PrintRatios(const vorlune::bench::MedianReporter& reporter) {
    std::printf("\n%-24s %-8s %12s %9s %12s %9s\n", "picture (512 x 512)", "code", "wall ms",
                "ratio", "cpu ms", "ratio");
    for (const Setting& setting : kSettings) {
        const auto literal = reporter.medians.find(BenchmarkName(kVariants[0], setting));
        if (literal == reporter.medians.end()) continue;
        for (const Variant& variant : kVariants) {
            const auto found = reporter.medians.find(BenchmarkName(variant, setting));
            if (found == reporter.medians.end()) continue;
            const vorlune::bench::Median& m = found->second;
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
    vorlune::bench::MedianReporter reporter;
    if (!vorlune::bench::RunInterleaved(argc, argv, reporter)) return 1;
    PrintRatios(reporter);
    benchmark::Shutdown();
    return 0;
}
