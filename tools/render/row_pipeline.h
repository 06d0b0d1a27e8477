#pragma once
// The picture's source rows computed on several threads into a ring of row buffers and handed to
// one thread, the one that draws, in order. Only the picture's own code runs on the workers: the
// runtime is used by the drawing thread alone.

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "app/picture_fast.h"

namespace vorlune {

class RowPipeline {
  public:
    // threads - 1 workers start at once and run ahead as far as the ring of rows lets them; the
    // drawing thread computes rows too while it waits.
    RowPipeline(const PictureLines& lines, int threads);
    ~RowPipeline();
    RowPipeline(const RowPipeline&) = delete;
    RowPipeline& operator=(const RowPipeline&) = delete;

    // The codes of source row 0, then 1, 2 and so on up to LineLength() - 1, each valid until the
    // next call.
    const uint16_t* TakeNextRow();
    int WorkerCount() const { return static_cast<int>(workers_.size()); }

  private:
    uint16_t* Slot(uint16_t row) { return &codes_[row % slots_ * lines_.PaddedLength()]; }
    bool MayClaim() const { return next_ < rows_ && next_ < released_ + slots_; }
    void ComputeClaimed(std::unique_lock<std::mutex>& lock);
    void Work();

    const PictureLines& lines_;
    const uint16_t rows_;
    const uint16_t slots_;
    std::unique_ptr<uint16_t[]> codes_;  // slots_ rows of PaddedLength() codes, not cleared
    std::vector<uint8_t> ready_;         // per slot; the mutex guards it and the counters
    std::mutex mutex_;
    std::condition_variable changed_;
    uint16_t next_ = 0;      // the next row to claim
    uint16_t taken_ = 0;     // rows handed out
    uint16_t released_ = 0;  // rows whose slots are free again: all but the last handed out
    std::vector<std::thread> workers_;
};

}  // namespace vorlune
