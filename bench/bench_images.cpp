// Resampling a 512 x 512 image up to 1024 and down to 256, drawing it scaled, and BMP decoding
// and encoding at 24 and 8 bits. Each codec benchmark quotes its time as a ratio to a memcpy of
// the same number of bytes measured in the same run (memcpy_ratio; the aim at 24 bits is 4 or
// less).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <vector>

#include "app/picture.h"
#include "runtime/core/memory.h"
#include "runtime/drawing/context.h"
#include "runtime/drawing/image_drawing.h"
#include "runtime/images/bmp.h"
#include "runtime/images/codecs.h"
#include "runtime/images/image.h"
#include "runtime/images/resample.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int32_t kSide = 512;
constexpr int kBaselineRuns = 200;

// The program's picture as 32-bit pixels, a realistic mix of flat areas and fine detail.
const std::vector<uint8_t>& PicturePixels() {
    static const std::vector<uint8_t> pixels = [] {
        std::vector<uint8_t> rgba(static_cast<size_t>(kSide) * kSide * 4, 255);
        vorlune::PictureSettings settings = vorlune::kStartSettings;
        settings.size = kSide;
        vorlune::ComputePicture(
            settings,
            [](void* context, uint16_t x, uint16_t y, int red, int green, int blue) {
                uint8_t* p = static_cast<uint8_t*>(context) + (y * kSide + x) * 4;
                p[0] = static_cast<uint8_t>(red);
                p[1] = static_cast<uint8_t>(green);
                p[2] = static_cast<uint8_t>(blue);
            },
            rgba.data());
        return rgba;
    }();
    return pixels;
}

void StartCodecs() {
    static const bool started = [] {
        vorlune::InitImageCodecs();
        vorlune::RegisterBmpCodec();
        vorlune::InitImageSystem();
        return true;
    }();
    (void)started;
}

// Mean seconds of one memcpy of `bytes` bytes between warm buffers.
double MemcpySeconds(size_t bytes) {
    std::vector<uint8_t> from(bytes, 1), to(bytes, 0);
    std::memcpy(to.data(), from.data(), bytes);
    const auto start = Clock::now();
    for (int i = 0; i < kBaselineRuns; ++i) {
        from[static_cast<size_t>(i) % bytes] = static_cast<uint8_t>(i);
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    return std::chrono::duration<double>(Clock::now() - start).count() / kBaselineRuns;
}

// Runs body once per iteration and reports its mean time against the memcpy baseline.
template <typename Body>
void TimedAgainstMemcpy(benchmark::State& state, size_t bytes, Body body) {
    const double baseline = MemcpySeconds(bytes);
    double total = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        body();
        total += std::chrono::duration<double>(Clock::now() - start).count();
    }
    state.counters["memcpy_ratio"] = total / static_cast<double>(state.iterations()) / baseline;
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes));
}

std::vector<uint8_t> EncodedPicture(int32_t depth) {
    const int64_t block = vorlune::EncodeBmpFrom32(nullptr, PicturePixels().data(), kSide, kSide,
                                                   kSide * 4, 0, 0, depth);
    const auto* bytes = reinterpret_cast<const uint8_t*>(block);
    std::vector<uint8_t> file(bytes, bytes + vorlune::BlockLength(bytes));
    vorlune::FreeBlock(reinterpret_cast<void*>(block));
    return file;
}

// Both passes, smaller intermediate first, as scaled drawing runs them.
void BM_Resample(benchmark::State& state) {
    const int32_t side = static_cast<int32_t>(state.range(0));
    const std::vector<uint8_t>& source = PicturePixels();
    std::vector<uint8_t> middle(static_cast<size_t>(side) * kSide * 4);
    std::vector<uint8_t> result(static_cast<size_t>(side) * side * 4);
    for (auto _ : state) {
        vorlune::ResampleHorizontally(source.data(), kSide, middle.data(), side, kSide);
        vorlune::ResampleVertically(middle.data(), side, kSide, result.data(), side, side);
        benchmark::DoNotOptimize(result.data());
    }
    state.SetItemsProcessed(state.iterations() * side * side);
}

void BM_DrawImageSized(benchmark::State& state) {
    StartCodecs();
    const int32_t side = static_cast<int32_t>(state.range(0));
    vorlune::CreateImage(1, kSide, kSide);
    std::memcpy(vorlune::FindImage(1)->bitmap, PicturePixels().data(), PicturePixels().size());
    vorlune::CreateImage(2, side, side);
    vorlune::BeginDrawing(vorlune::ImageDrawTarget(2));
    for (auto _ : state) {
        vorlune::DrawImageSized(vorlune::ImageHandle(1), 0, 0, side, side);
        benchmark::ClobberMemory();
    }
    vorlune::EndDrawing();
    vorlune::FreeImage(vorlune::AnyNumber);
    state.SetItemsProcessed(state.iterations() * side * side);
}

void BM_BmpDecode(benchmark::State& state) {
    StartCodecs();
    const std::vector<uint8_t> file = EncodedPicture(static_cast<int32_t>(state.range(0)));
    std::vector<uint8_t> rgb(static_cast<size_t>(kSide) * kSide * 3);
    TimedAgainstMemcpy(state, rgb.size(), [&] {
        vorlune::IdentifyImage(file.data(), static_cast<int64_t>(file.size()));
        vorlune::DecodeImage(rgb.data(), kSide * 3, 0);
        vorlune::EndImageDecoding();
        benchmark::DoNotOptimize(rgb.data());
    });
}

void BM_BmpEncode(benchmark::State& state) {
    StartCodecs();
    const int32_t depth = static_cast<int32_t>(state.range(0));
    const size_t bytes = static_cast<size_t>(vorlune::BmpRowBytes(kSide, depth)) * kSide;
    TimedAgainstMemcpy(state, bytes, [&] {
        const int64_t block = vorlune::EncodeBmpFrom32(nullptr, PicturePixels().data(), kSide,
                                                       kSide, kSide * 4, 0, 0, depth);
        benchmark::DoNotOptimize(block);
        vorlune::FreeBlock(reinterpret_cast<void*>(block));
    });
}

}  // namespace

BENCHMARK(BM_Resample)->Arg(1024)->Arg(256)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DrawImageSized)->Arg(1024)->Arg(256)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BmpDecode)->Arg(24)->Arg(8)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BmpEncode)->Arg(24)->Arg(8)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
