#include <cstring>

#include "runtime/drawing/modes.h"
#include "runtime/drawing/pixel_rules.h"
#include "runtime/drawing/shapes.h"

namespace vorlune {

namespace {

constexpr int32_t kFillSpanBytes = 16;
constexpr int32_t kFillMinBlockSlots = 128;
constexpr int32_t kFillMaxBlockSlots = 1024;
constexpr uint64_t kFirstFrameCapacity = 64;

static_assert(sizeof(FillSpan) == kFillSpanBytes);

// One seeded run whose neighbour rows are being walked: the state a recursive seed would keep
// on the machine stack. Walking above first, then below, reproduces the recursive order.
struct SeedFrame {
    int32_t y;
    int32_t left;  // exclusive bounds of the painted run
    int32_t right;
    int32_t neighbour;  // 0: the row above, 1: the row below, 2: done
    int32_t position;   // next pixel of the walk
    bool previousStopped;
};

struct FillState {
    DrawingContext* context;
    bool regionMode;     // fill the colour found at the seed, else up to the border colour
    ColourValue colour;  // red, green and blue only
    SeedFrame* frames;
    uint64_t frameCount;
    uint64_t frameCapacity;
    bool failed;

    bool Continues(int32_t x, int32_t y) const {
        const bool same = ReadColour(PixelAddress(context, x, y), false) == colour;
        return regionMode ? same : !same;
    }

    void Paint(int32_t x, int32_t y) {
        PaintGeneralPixel(context, x, y, PixelAddress(context, x, y));
    }

    bool Covered(int32_t x, int32_t y) const {
        for (const FillSpan* span = context->fillRows[y]; span != nullptr; span = span->next) {
            if (span->left < x && x < span->right) return true;
        }
        return false;
    }

    bool PushFrame(const SeedFrame& frame) {
        if (frameCount == frameCapacity) {
            const uint64_t capacity = frameCapacity == 0 ? kFirstFrameCapacity : frameCapacity * 2;
            const uint64_t bytes = capacity * sizeof(SeedFrame);
            void* grown = frames == nullptr ? AllocBlock(bytes) : ResizeBlock(frames, bytes);
            if (grown == nullptr) return false;
            frames = static_cast<SeedFrame*>(grown);
            frameCapacity = capacity;
        }
        frames[frameCount++] = frame;
        return true;
    }

    // Paints the run through (x, y), records it and queues the walk of its neighbour rows.
    void Seed(int32_t x, int32_t y) {
        int32_t left = x - 1;
        for (; left >= 0 && Continues(left, y); --left)
            Paint(left, y);
        int32_t right = x;
        for (; right < context->width && Continues(right, y); ++right)
            Paint(right, y);
        auto* span = static_cast<FillSpan*>(PoolAlloc(context->fillPool));
        if (span == nullptr || !PushFrame({y, left, right, 0, left + 1, false})) {
            failed = true;
            return;
        }
        span->left = left;
        span->right = right;
        span->next = context->fillRows[y];
        context->fillRows[y] = span;
    }

    // Advances the top frame by one pixel of its walk, seeding where a new run starts.
    void Step() {
        SeedFrame& frame = frames[frameCount - 1];
        const int32_t row = frame.neighbour == 0 ? frame.y - 1 : frame.y + 1;
        if (frame.neighbour > 1) {
            --frameCount;
            return;
        }
        if (row < 0 || row >= context->height || frame.position >= frame.right) {
            ++frame.neighbour;
            frame.position = frame.left + 1;
            frame.previousStopped = false;
            return;
        }
        const int32_t x = frame.position++;
        const bool continues = Continues(x, row);
        const bool startsRun = x == frame.left + 1 || frame.previousStopped;
        frame.previousStopped = !continues;
        // Seed may grow the frame table: frame is not used after it.
        if (continues && startsRun && !Covered(x, row)) Seed(x, row);
    }
};

// The span pool and a row table of at least height entries, all heads cleared.
bool PrepareFill(DrawingContext* context) {
    if (context->fillPool == nullptr) {
        context->fillPool =
            CreatePool(kFillSpanBytes, kFillMinBlockSlots, kFillMaxBlockSlots, kPoolPrivate);
        if (context->fillPool == nullptr) return false;
    }
    const uint64_t rows = static_cast<uint64_t>(context->height);
    if (BlockLength(context->fillRows) < rows * sizeof(FillSpan*)) {
        // The clip rectangle may have grown since the table was made.
        FreeBlock(context->fillRows);
        context->fillRows = static_cast<FillSpan**>(AllocBlock(rows * sizeof(FillSpan*)));
        if (context->fillRows == nullptr) return false;
    }
    std::memset(context->fillRows, 0, rows * sizeof(FillSpan*));
    return true;
}

}  // namespace

void FillAreaOf(DrawingContext* context, int32_t x, int32_t y, int64_t border) {
    if (x < 0 || y < 0 || x >= context->width || y >= context->height) return;
    if (!PrepareFill(context)) return;
    FillState state{context, border == kFillRegion, 0, nullptr, 0, 0, false};
    state.colour = state.regionMode ? ReadColour(PixelAddress(context, x, y), false)
                                    : static_cast<ColourValue>(border) & 0xFFFFFF;
    state.Seed(x, y);
    while (state.frameCount > 0 && !state.failed)
        state.Step();
    FreeBlock(state.frames);
    PoolFreeAll(context->fillPool);
}

}  // namespace vorlune
