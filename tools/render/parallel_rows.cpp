#include "tools/render/parallel_rows.h"

#include <algorithm>
#include <memory>
#include <system_error>
#include <thread>
#include <vector>

#include "app/picture_rows.h"
#include "runtime/drawing/context.h"

namespace vorlune {

namespace {

// Rows a worker computes before the task is there: enough to cover a slow start (making a large
// image can take 100 ms when the kernel must gather huge pages), little next to the image.
constexpr size_t kAheadBytesPerWorker = size_t{1} << 20;

}  // namespace

RowWorkers::RowWorkers(const PictureLines& lines, int threads)
    : lines_(lines),
      rowsAhead_(std::max<size_t>(1, kAheadBytesPerWorker / (lines.PaddedLength() * 2))) {
    for (int i = 1; i < threads; ++i) {
        try {
            workers_.emplace_back([this] { Work(); });
        } catch (const std::system_error&) {
            break;  // the threads that did start, and this one, do the work
        }
    }
}

RowWorkers::~RowWorkers() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    started_.notify_all();
    for (std::thread& worker : workers_)
        worker.join();
}

std::unique_ptr<uint16_t[]> RowWorkers::NewCodes() const {
    return std::unique_ptr<uint16_t[]>(new uint16_t[lines_.PaddedLength()]);
}

bool RowWorkers::ClaimRow(uint16_t* row) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (stopping_ || nextRow_ >= lines_.LineLength()) return false;
    *row = static_cast<uint16_t>(nextRow_++);
    return true;
}

// Until the task is there, as long as the worker may run ahead.
void RowWorkers::ComputeAhead(std::vector<ComputedRow>* ahead) {
    uint16_t row = 0;
    while (ahead->size() < rowsAhead_) {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            if (task_ != nullptr) return;
        }
        if (!ClaimRow(&row)) return;
        ahead->push_back({row, NewCodes()});
        lines_.ComputeRow(row, ahead->back().codes.get());
    }
}

void RowWorkers::Work() {
    std::vector<ComputedRow> ahead;
    ComputeAhead(&ahead);
    {
        std::unique_lock<std::mutex> lock(mutex_);
        started_.wait(lock, [this] { return task_ != nullptr || stopping_; });
        if (task_ == nullptr) return;
    }
    for (const ComputedRow& computed : ahead)
        (*task_)(computed.row, computed.codes.get());
    RunRows(ahead.empty() ? NewCodes() : std::move(ahead.front().codes));
}

void RowWorkers::RunRows(std::unique_ptr<uint16_t[]> codes) {
    uint16_t row = 0;
    while (ClaimRow(&row)) {
        lines_.ComputeRow(row, codes.get());
        (*task_)(row, codes.get());
    }
}

void RowWorkers::Run(const SourceRowTask& task) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        task_ = &task;
    }
    started_.notify_all();
    RunRows(NewCodes());
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    for (std::thread& worker : workers_)
        worker.join();
    workers_.clear();
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

void DrawPictureOnThreads(const PictureLines& lines, RowWorkers& workers) {
    const PixelPlotter plotter(CurrentDrawingContext());
    const uint16_t size = lines.Settings().size;
    if (plotter.StoresInLine(size, size)) {
        workers.Run([&lines, &plotter](uint16_t source, const uint16_t* codes) {
            DrawSourceRow<true>(lines, plotter, source, codes);
        });
        return;
    }
    std::mutex plotting;  // the context's own routine, one row at a time
    workers.Run([&lines, &plotter, &plotting](uint16_t source, const uint16_t* codes) {
        const std::lock_guard<std::mutex> lock(plotting);
        DrawSourceRow<false>(lines, plotter, source, codes);
    });
}

}  // namespace vorlune
