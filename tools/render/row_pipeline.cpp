#include "tools/render/row_pipeline.h"

#include <algorithm>
#include <system_error>

namespace vorlune {

namespace {

// Enough rows in flight that no thread waits for another's slow row, and few enough to cost
// little memory next to the image.
constexpr int kSlotsPerThread = 8;

}  // namespace

RowPipeline::RowPipeline(const PictureLines& lines, int threads)
    : lines_(lines),
      rows_(lines.LineLength()),
      slots_(static_cast<uint16_t>(std::clamp(threads * kSlotsPerThread, 2, 1024))),
      codes_(slots_ * lines.PaddedLength()),
      ready_(slots_, 0) {
    for (int i = 1; i < threads; ++i) {
        try {
            workers_.emplace_back([this] { Work(); });
        } catch (const std::system_error&) {
            break;  // the threads that did start, and this one, do the work
        }
    }
}

RowPipeline::~RowPipeline() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        next_ = rows_;  // nothing more to claim
    }
    changed_.notify_all();
    for (std::thread& worker : workers_)
        worker.join();
}

// Called with the lock held; computes the next row without it.
void RowPipeline::ComputeClaimed(std::unique_lock<std::mutex>& lock) {
    const uint16_t row = next_++;
    lock.unlock();
    lines_.ComputeRow(row, Slot(row));
    lock.lock();
    ready_[row % slots_] = 1;
    changed_.notify_all();
}

void RowPipeline::Work() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (true) {
        changed_.wait(lock, [this] { return next_ >= rows_ || MayClaim(); });
        if (next_ >= rows_) return;
        ComputeClaimed(lock);
    }
}

const uint16_t* RowPipeline::TakeNextRow() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (taken_ > released_) {  // the row handed out last is done with: its slot takes a later row
        ready_[released_++ % slots_] = 0;
        changed_.notify_all();
    }
    const uint16_t row = taken_;
    while (ready_[row % slots_] == 0) {
        if (MayClaim())
            ComputeClaimed(lock);
        else
            changed_.wait(lock);
    }
    ++taken_;
    return Slot(row);
}

}  // namespace vorlune
