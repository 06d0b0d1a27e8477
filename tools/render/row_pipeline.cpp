#include "tools/render/row_pipeline.h"

#include <algorithm>
#include <system_error>

namespace vorlune {

namespace {

// Rows in flight: enough that the workers can run ahead while the image is made and no thread
// waits for another's slow row, and few enough to cost little memory next to the image.
constexpr size_t kRingBytes = size_t{1} << 20;
constexpr size_t kFewestSlotsPerThread = 4;

uint16_t SlotCount(const PictureLines& lines, int threads) {
    const size_t fitting = kRingBytes / (lines.PaddedLength() * sizeof(uint16_t));
    const size_t fewest = kFewestSlotsPerThread * static_cast<size_t>(threads);
    return static_cast<uint16_t>(
        std::clamp<size_t>(std::max(fitting, fewest), 1, std::max<size_t>(lines.LineLength(), 1)));
}

}  // namespace

RowPipeline::RowPipeline(const PictureLines& lines, int threads)
    : lines_(lines),
      rows_(lines.LineLength()),
      slots_(SlotCount(lines, threads)),
      codes_(new uint16_t[slots_ * lines.PaddedLength()]),
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
