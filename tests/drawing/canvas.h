#pragma once
// Drawing targets over plain buffers in any pixel format, and a counter of painted pixels.

#include <cstdint>
#include <vector>

#include "runtime/drawing/context.h"
#include "runtime/drawing/modes.h"

namespace vorlune::testing {

// A started drawing context over its own bytes; ended when the canvas goes.
class Canvas {
  public:
    Canvas(int32_t width, int32_t height, int32_t format = kImagePixelFormat, uint8_t fill = 0,
           int32_t padding = 0)
        : height_(height),
          bottomUp_((format & kPixelBottomUp) != 0),
          bytesPerPixel_((format & 0x60) != 0 ? 4 : 3),
          pitch_(width * bytesPerPixel_ + padding),
          bytes_(static_cast<size_t>(pitch_) * height, fill) {
        context_ = CreateDrawingContext(format);
        context_->width = width;
        context_->height = height;
        context_->depth = bytesPerPixel_ * 8;
        context_->clipOrigin = bytes_.data();
        context_->pitch = pitch_;
        BeginDrawing(context_);
    }
    ~Canvas() {
        if (CurrentDrawingContext() == context_) EndDrawing();
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    DrawingContext* context() const { return context_; }
    std::vector<uint8_t>& bytes() { return bytes_; }
    int32_t bytesPerPixel() const { return bytesPerPixel_; }

    // Output coordinates, top row first whatever the row order in memory; valid after the end.
    uint8_t* At(int32_t x, int32_t y) {
        const int32_t row = bottomUp_ ? height_ - 1 - y : y;
        return bytes_.data() + static_cast<size_t>(row) * pitch_ + x * bytesPerPixel_;
    }
    ColourValue Colour(int32_t x, int32_t y) {
        const uint8_t* p = At(x, y);
        return p[0] | p[1] << 8 | p[2] << 16 | (bytesPerPixel_ == 4 ? p[3] << 24 : 0u);
    }

  private:
    int32_t height_;
    bool bottomUp_;
    int32_t bytesPerPixel_;
    int32_t pitch_;
    std::vector<uint8_t> bytes_;
    DrawingContext* context_;
};

// Counts how often each pixel goes through the current context's pixel rule, by drawing in
// filter mode with a filter that counts and keeps the pixel. The newest counter counts.
class PaintCounter {
  public:
    PaintCounter(int32_t width, int32_t height, int32_t extraMode = 0)
        : width_(width), counts_(static_cast<size_t>(width) * height, 0) {
        active() = this;
        SetDrawingMode(DrawCustomFilter | extraMode);
        SetFilterFunction(Count);
    }
    ~PaintCounter() {
        if (active() == this) active() = nullptr;
    }
    PaintCounter(const PaintCounter&) = delete;
    PaintCounter& operator=(const PaintCounter&) = delete;

    int At(int32_t x, int32_t y) const { return counts_[static_cast<size_t>(y) * width_ + x]; }
    int Total() const {
        int total = 0;
        for (int count : counts_)
            total += count;
        return total;
    }
    int MaxCount() const {
        int most = 0;
        for (int count : counts_)
            most = count > most ? count : most;
        return most;
    }

  private:
    static PaintCounter*& active() {
        static PaintCounter* counter = nullptr;
        return counter;
    }
    static ColourValue Count(int32_t x, int32_t y, ColourValue, ColourValue target) {
        ++active()->counts_[static_cast<size_t>(y) * active()->width_ + x];
        return target;
    }

    int32_t width_;
    std::vector<int> counts_;
};

}  // namespace vorlune::testing
