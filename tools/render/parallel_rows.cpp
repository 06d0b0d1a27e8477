#include "tools/render/parallel_rows.h"

#include <atomic>
#include <memory>
#include <system_error>
#include <thread>
#include <vector>

#include "app/picture_rows.h"
#include "runtime/drawing/context.h"

namespace vorlune {

void ForEachSourceRow(const PictureLines& lines, int threads, const SourceRowTask& task) {
    std::atomic<uint32_t> nextRow{0};
    const auto work = [&lines, &task, &nextRow] {
        const std::unique_ptr<uint16_t[]> codes(new uint16_t[lines.PaddedLength()]);
        for (uint32_t row = nextRow++; row < lines.LineLength(); row = nextRow++) {
            lines.ComputeRow(static_cast<uint16_t>(row), codes.get());
            task(static_cast<uint16_t>(row), codes.get());
        }
    };
    std::vector<std::thread> workers;
    for (int i = 1; i < threads; ++i) {
        try {
            workers.emplace_back(work);
        } catch (const std::system_error&) {
            break;  // the threads that did start, and this one, do the work
        }
    }
    work();
    for (std::thread& worker : workers)
        worker.join();
}

namespace {

// One row with the program's pixel writer, PlotPixel, without the test of each pixel where the
// whole picture was found inside at once. PlotInside only stores the pixel: rows are plotted on
// several threads at once.
template <bool kInside>
void PlotRow(const PictureLines& lines, const PixelPlotter& plotter, uint16_t y,
             const uint16_t* codes) {
    const auto write = [&plotter, y](uint16_t x, int red, int green, int blue) {
        const auto colour = static_cast<ColourValue>(MakeRGB(red, green, blue));
        if constexpr (kInside)
            plotter.PlotInside(x, y, colour);
        else
            plotter.Plot(x, y, colour);
    };
    EmitLine(lines, codes, write);
}

// A source row and the row that mirrors it below the centre: the picture ComputePictureByRows
// gives, with the rows in another order.
template <bool kInside>
void DrawSourceRow(const PictureLines& lines, const PixelPlotter& plotter, uint16_t source,
                   const uint16_t* codes) {
    PlotRow<kInside>(lines, plotter, source, codes);
    const auto mirror = static_cast<uint16_t>(lines.Settings().size - 1 - source);
    if (mirror != source && lines.SourceOf(mirror) == source)
        PlotRow<kInside>(lines, plotter, mirror, codes);
}

}  // namespace

void DrawPictureOnThreads(const PictureLines& lines, int threads) {
    const PixelPlotter plotter(CurrentDrawingContext());
    const uint16_t size = lines.Settings().size;
    const bool inside = plotter.StoresInLine(size, size);
    ForEachSourceRow(lines, inside ? threads : 1,
                     [&lines, &plotter, inside](uint16_t source, const uint16_t* codes) {
                         if (inside)
                             DrawSourceRow<true>(lines, plotter, source, codes);
                         else
                             DrawSourceRow<false>(lines, plotter, source, codes);
                     });
}

}  // namespace vorlune
