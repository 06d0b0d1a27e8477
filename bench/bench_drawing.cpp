// PlotPixel over a 512 x 512 image, column by column as the picture is drawn, against storing
// the same pixels in the same order straight into the buffer; and the costlier shapes.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "runtime/drawing/context.h"
#include "runtime/drawing/modes.h"
#include "runtime/drawing/shapes.h"
#include "runtime/images/image.h"

namespace {

constexpr int32_t kSide = 512;

vorlune::ColourValue ColourAt(int32_t x, int32_t y) {
    return static_cast<vorlune::ColourValue>(x * 0x010203 + y * 0x030201);
}

// An image with a started drawing context for the length of one benchmark.
class ImageDrawing {
  public:
    ImageDrawing() {
        vorlune::InitImageSystem();
        vorlune::CreateImage(0, kSide, kSide);
        vorlune::BeginDrawing(vorlune::ImageDrawTarget(0));
    }
    ~ImageDrawing() {
        vorlune::EndDrawing();
        vorlune::FreeImage(0);
    }
};

// Visits every pixel of the image, column by column (as the picture is drawn) or row by row.
template <typename Visit>
void ForEachPixel(bool columns, Visit visit) {
    for (int32_t outer = 0; outer < kSide; ++outer) {
        for (int32_t inner = 0; inner < kSide; ++inner) {
            if (columns) {
                visit(outer, inner);
            } else {
                visit(inner, outer);
            }
        }
    }
}

// The same bytes into the same image's pixels, without the drawing layer.
void BM_DirectStore(benchmark::State& state) {
    ImageDrawing drawing;
    uint8_t* pixels = vorlune::FindImage(0)->bitmap;
    for (auto _ : state) {
        ForEachPixel(state.range(0) != 0, [pixels](int32_t x, int32_t y) {
            const vorlune::ColourValue colour = ColourAt(x, y);
            uint8_t* p = pixels + (y * kSide + x) * 4;
            p[0] = static_cast<uint8_t>(colour);
            p[1] = static_cast<uint8_t>(colour >> 8);
            p[2] = static_cast<uint8_t>(colour >> 16);
        });
        benchmark::DoNotOptimize(pixels);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kSide * kSide);
}

void BM_PlotPixel(benchmark::State& state) {
    ImageDrawing drawing;
    for (auto _ : state) {
        ForEachPixel(state.range(0) != 0,
                     [](int32_t x, int32_t y) { vorlune::PlotPixel(x, y, ColourAt(x, y)); });
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kSide * kSide);
}

// Mode 0 and the blend mode, whose rule divides per channel.
void BM_FilledEllipse(benchmark::State& state) {
    ImageDrawing drawing;
    vorlune::SetDrawingMode(static_cast<int32_t>(state.range(0)));
    vorlune::SetDrawingColour(0x80FF8040);
    for (auto _ : state) {
        vorlune::DrawEllipse(kSide / 2, kSide / 2, 250, 180);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * 141372);  // about pi x 250 x 180 pixels
}

// The fill of the whole image, alternately to one colour and back, so it always has work.
void BM_FloodFill(benchmark::State& state) {
    ImageDrawing drawing;
    vorlune::SetDrawingColour(0x000000);
    vorlune::DrawBox(100, 0, 2, 400);  // a wall the fill has to go around
    int pass = 0;
    for (auto _ : state) {
        vorlune::SetDrawingColour(++pass % 2 != 0 ? 0x336699 : 0x000000);
        vorlune::FillArea(0, 0, vorlune::kFillRegion);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * (kSide * kSide - 800));
}

// 256 lines from the centre to every fourth pixel of the border.
void BM_LineFan(benchmark::State& state) {
    ImageDrawing drawing;
    vorlune::SetDrawingColour(0xFFFFFF);
    for (auto _ : state) {
        for (int32_t i = 0; i < kSide; i += 8) {
            vorlune::DrawLine(kSide / 2, kSide / 2, i, 0);
            vorlune::DrawLine(kSide / 2, kSide / 2, i, kSide - 1);
            vorlune::DrawLine(kSide / 2, kSide / 2, 0, i);
            vorlune::DrawLine(kSide / 2, kSide / 2, kSide - 1, i);
        }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * 256 * 256);
}

}  // namespace

// Argument 1: column by column; 0: row by row.
BENCHMARK(BM_DirectStore)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlotPixel)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FilledEllipse)->Arg(0)->Arg(vorlune::DrawAlphaBlend)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FloodFill)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LineFan)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
