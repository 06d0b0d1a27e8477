// Time of one full picture at the start values, colour and black and white, against a
// baseline of the bare power and sine calls the picture cannot avoid.
#include <benchmark/benchmark.h>

#include <cmath>

#include "app/picture.h"

namespace {

void CountPixel(void* context, uint16_t, uint16_t, int red, int, int) {
    *static_cast<int64_t*>(context) += red;
}

void RunPicture(benchmark::State& state, vorlune::PictureSettings settings) {
    int64_t sink = 0;
    for (auto _ : state) {
        vorlune::ComputePicture(settings, CountPixel, &sink);
        benchmark::DoNotOptimize(sink);
    }
    state.SetItemsProcessed(state.iterations() * settings.size * settings.size);
}

// The same number of pow and long double sine calls over similar arguments, nothing else.
void BM_BaselinePowerAndSine(benchmark::State& state) {
    const int size = vorlune::kStartSize;
    for (auto _ : state) {
        long double sum = 0;
        for (int x = 0; x < size; ++x)
            for (int y = 0; y < size; ++y)
                sum += std::sin(static_cast<long double>(std::pow(x + y * 0.5 + 1, 1.094001)));
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * size * size);
}

void BM_PictureColour(benchmark::State& state) {
    RunPicture(state, vorlune::kStartSettings);
}

void BM_PictureBlackAndWhite(benchmark::State& state) {
    vorlune::PictureSettings settings = vorlune::kStartSettings;
    settings.colour = 0;
    RunPicture(state, settings);
}

}  // namespace

BENCHMARK(BM_BaselinePowerAndSine)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PictureColour)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PictureBlackAndWhite)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
