#pragma once
// Drawing targets over plain buffers in any pixel format, and a counter of painted pixels.

#include <algorithm>
#include <cstdint>
#include <numeric>
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
          bytes_(static_cast<size_t>(pitch_) * height, fill),
          context_(CreateDrawingContext(format)) {
        context_->width = width;
        context_->height = height;
        context_->clipOrigin = bytes_.data();
        context_->pitch = pitch_;
        BeginDrawing(context_);
    }
    ~Canvas() {
        if (CurrentDrawingContext() == context_) EndDrawing();
    }

    DrawingContext* context() const { return context_; }
    std::vector<uint8_t>& bytes() { return bytes_; }
    int32_t bytesPerPixel() const { return bytesPerPixel_; }

    // Output coordinates, top row first whatever the row order; still valid after the end.
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

// Counts how often each pixel goes through the pixel rule, by drawing in filter mode with a
// filter that counts and keeps the pixel. The newest counter counts.
class PaintCounter {
  public:
    PaintCounter(int32_t width, int32_t height, int32_t extraMode = 0)
        : width_(width), counts_(static_cast<size_t>(width) * height, 0) {
        active = this;
        SetDrawingMode(DrawCustomFilter | extraMode);
        SetFilterFunction(Count);
    }
    ~PaintCounter() {
        if (active == this) active = nullptr;
    }

    int At(int32_t x, int32_t y) const { return counts_[static_cast<size_t>(y) * width_ + x]; }
    int Total() const { return std::accumulate(counts_.begin(), counts_.end(), 0); }
    int MaxCount() const { return *std::max_element(counts_.begin(), counts_.end()); }

  private:
    static ColourValue Count(int32_t x, int32_t y, ColourValue, ColourValue target) {
        ++active->counts_[static_cast<size_t>(y) * active->width_ + x];
        return target;
    }

    static inline PaintCounter* active = nullptr;
    int32_t width_;
    std::vector<int> counts_;
};

}  // namespace vorlune::testing
