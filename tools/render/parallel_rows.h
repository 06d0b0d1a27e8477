#pragma once
// The picture's source rows shared out among threads. Each thread claims one row at a time, so
// the slow rows of an exact picture spread evenly, and computes it into a buffer of its own.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "app/picture_fast.h"

namespace vorlune {

// task(row, codes) with row's codes just computed, once for every source row 0 to
// LineLength() - 1, in no fixed order. The task must be safe to run on several threads at once.
using SourceRowTask = std::function<void(uint16_t row, const uint16_t* codes)>;

class RowWorkers {
  public:
    // threads - 1 workers start at once (fewer when the system will not start more) and compute
    // rows ahead, up to about a megabyte each, until Run gives them the task.
    RowWorkers(const PictureLines& lines, int threads);
    ~RowWorkers();  // without Run, the rows computed ahead are dropped
    RowWorkers(const RowWorkers&) = delete;
    RowWorkers& operator=(const RowWorkers&) = delete;

    // Runs the task for every row, the rows computed ahead first, on the workers and this
    // thread; returns when all are done. Once only.
    void Run(const SourceRowTask& task);

  private:
    struct ComputedRow {
        uint16_t row;
        std::unique_ptr<uint16_t[]> codes;
    };

    std::unique_ptr<uint16_t[]> NewCodes() const;
    bool ClaimRow(uint16_t* row);
    void ComputeAhead(std::vector<ComputedRow>* ahead);
    void Work();
    void RunRows(std::unique_ptr<uint16_t[]> codes);

    const PictureLines& lines_;
    const size_t rowsAhead_;  // per worker
    std::mutex mutex_;
    std::condition_variable started_;
    const SourceRowTask* task_ = nullptr;  // set once by Run; the mutex guards it
    bool stopping_ = false;
    uint32_t nextRow_ = 0;  // the mutex guards it
    std::vector<std::thread> workers_;
};

// The picture of lines on the current drawing target with PlotPixel, its rows computed by the
// workers and this thread. Where the picture lies inside the target and is stored in line, each
// thread plots the rows it computes; otherwise PlotPixel's own routine runs, on this thread, from
// rows the workers computed.
void DrawPictureOnThreads(const PictureLines& lines, RowWorkers& workers);

}  // namespace vorlune
