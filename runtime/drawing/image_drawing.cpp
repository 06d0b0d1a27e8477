#include "runtime/drawing/image_drawing.h"

#include <algorithm>
#include <cstring>

#include "runtime/drawing/modes.h"
#include "runtime/drawing/pixel_rules.h"
#include "runtime/images/image.h"
#include "runtime/images/resample.h"

namespace vorlune {

namespace {

// The part of a w x h source that lands inside the clip rectangle.
struct BlitArea {
    int64_t column;        // first destination column, clip-relative
    int64_t count;         // columns drawn
    int64_t memoryRow;     // first destination row in memory
    int64_t rows;          // rows drawn
    int64_t sourceColumn;  // first source column
    int64_t sourceRow;     // source row of the first destination row
    int64_t sourceStep;    // +1, or -1 for bottom-up outputs
};

bool ClipBlit(const DrawingContext* context, int64_t x, int64_t y, int64_t w, int64_t h,
              BlitArea* area) {
    area->column = std::max<int64_t>(x, 0);
    area->count = w + std::min<int64_t>(x, 0);
    if (area->column + area->count > context->width) area->count = context->width - area->column;
    const int64_t v = context->bottomUp ? context->height - y - h : y;
    area->memoryRow = std::max<int64_t>(v, 0);
    area->rows = h + std::min<int64_t>(v, 0);
    if (area->memoryRow + area->rows > context->height)
        area->rows = context->height - area->memoryRow;
    if (area->count < 1 || area->rows < 1) return false;
    area->sourceColumn = std::max<int64_t>(-x, 0);
    area->sourceRow =
        context->bottomUp ? h - 1 - std::max<int64_t>(-v, 0) : std::max<int64_t>(-y, 0);
    area->sourceStep = context->bottomUp ? -1 : 1;
    return true;
}

inline int32_t EffectiveAlpha(int32_t sourceAlpha, int32_t opacity) {
    return opacity == 255 ? sourceAlpha : opacity * sourceAlpha / 255;
}

inline ColourValue SourceColour(const uint8_t* s, int32_t alpha) {
    return s[0] | s[1] << 8 | s[2] << 16 | static_cast<ColourValue>(alpha) << 24;
}

template <PixelRule rule>
void BlitRow(uint8_t* d, const uint8_t* s, int64_t count, int32_t bytesPerPixel, int32_t opacity) {
    if constexpr (rule == PixelRule::AllChannels) {
        if (opacity == 255) {
            std::memcpy(d, s, static_cast<size_t>(count) * 4);
            return;
        }
    }
    if constexpr (rule == PixelRule::Store) {
        for (int64_t i = 0; i < count; ++i, d += bytesPerPixel, s += 4) {
            d[0] = s[0];
            d[1] = s[1];
            d[2] = s[2];
        }
        return;
    }
    for (int64_t i = 0; i < count; ++i, d += bytesPerPixel, s += 4) {
        const ColourValue colour = SourceColour(s, EffectiveAlpha(s[3], opacity));
        ApplyPen<rule>(d, PenFromColour(colour, IsBlendRule(rule)));
    }
}

using RowBlitter = void (*)(uint8_t*, const uint8_t*, int64_t, int32_t, int32_t);

RowBlitter RowBlitterFor(PixelRule rule) {
    switch (rule) {
        case PixelRule::Store:
            return BlitRow<PixelRule::Store>;
        case PixelRule::Xor:
            return BlitRow<PixelRule::Xor>;
        case PixelRule::AllChannels:
            return BlitRow<PixelRule::AllChannels>;
        case PixelRule::AlphaOnly:
            return BlitRow<PixelRule::AlphaOnly>;
        case PixelRule::Blend:
            return BlitRow<PixelRule::Blend>;
        case PixelRule::Keep:
            return BlitRow<PixelRule::Keep>;
        case PixelRule::Blend3:
            return BlitRow<PixelRule::Blend3>;
        case PixelRule::Nothing:
            return nullptr;
    }
    return nullptr;
}

// The mode's pixel rule, except that the alpha flag turns a plain store into the over rule.
PixelRule BlitRuleFor(const DrawingContext* context, int32_t alphaFlag) {
    const PixelRule rule = PixelRuleFor(context->drawingMode, context->bytesPerPixel);
    if (rule != PixelRule::Store || alphaFlag == 0) return rule;
    return context->bytesPerPixel == 4 ? PixelRule::Blend : PixelRule::Blend3;
}

void FilterRow(DrawingContext* context, uint8_t* d, const uint8_t* s, int64_t column,
               int64_t visualRow, int64_t count, int32_t opacity) {
    const bool fourBytes = context->bytesPerPixel == 4;
    const FilterFunction filter =
        context->filterFunction != nullptr ? context->filterFunction : DefaultFilterFunction;
    for (int64_t i = 0; i < count; ++i, d += context->bytesPerPixel, s += 4) {
        const ColourValue colour = SourceColour(s, EffectiveAlpha(s[3], opacity));
        const ColourValue target =
            fourBytes ? ReadColour(d, true) : ReadColour(d, false) | 0xFF000000u;
        const ColourValue result = filter(static_cast<int32_t>(column + i),
                                          static_cast<int32_t>(visualRow), colour, target);
        d[0] = static_cast<uint8_t>(result);
        d[1] = static_cast<uint8_t>(result >> 8);
        d[2] = static_cast<uint8_t>(result >> 16);
        if (fourBytes) d[3] = static_cast<uint8_t>(result >> 24);
    }
}

uint8_t* DestinationRow(const DrawingContext* context, const BlitArea& area, int64_t i) {
    return context->clipOrigin + (area.memoryRow + i) * context->pitch +
           area.column * context->bytesPerPixel;
}

bool Overlaps(const uint8_t* aLow, const uint8_t* aHigh, const uint8_t* bLow,
              const uint8_t* bHigh) {
    const auto lowA = reinterpret_cast<uintptr_t>(aLow), highA = reinterpret_cast<uintptr_t>(aHigh);
    const auto lowB = reinterpret_cast<uintptr_t>(bLow), highB = reinterpret_cast<uintptr_t>(bHigh);
    return lowA < highB && lowB < highA;
}

// Drawing an image onto its own pixels reads them as they were before the draw: the source rows
// that overlap the destination are copied aside first. Null when that copy cannot be made.
uint8_t* CopySourceIfOverlapping(const DrawingContext* context, const uint8_t*& source,
                                 int64_t& sourcePitch, BlitArea& area, bool* failed) {
    *failed = false;
    const int64_t lastSourceRow = area.sourceRow + (area.rows - 1) * area.sourceStep;
    const int64_t lowRow = std::min(area.sourceRow, lastSourceRow);
    const uint8_t* sourceLow = source + lowRow * sourcePitch + area.sourceColumn * 4;
    const uint8_t* sourceHigh = sourceLow + (area.rows - 1) * sourcePitch + area.count * 4;
    const int64_t highMemoryRow = area.memoryRow + area.rows - 1;
    const uint8_t* destinationLow = DestinationRow(context, area, 0);
    const uint8_t* destinationHigh = context->clipOrigin + highMemoryRow * context->pitch +
                                     (area.column + area.count) * context->bytesPerPixel;
    if (!Overlaps(sourceLow, sourceHigh, destinationLow, destinationHigh)) return nullptr;
    const int64_t rowBytes = area.count * 4;
    auto* copy = static_cast<uint8_t*>(AllocRaw(static_cast<uint64_t>(rowBytes * area.rows)));
    if (copy == nullptr) {
        *failed = true;
        return nullptr;
    }
    for (int64_t row = 0; row < area.rows; ++row)
        std::memcpy(copy + row * rowBytes, sourceLow + row * sourcePitch,
                    static_cast<size_t>(rowBytes));
    source = copy;
    sourcePitch = rowBytes;
    area.sourceRow -= lowRow;
    area.sourceColumn = 0;
    return copy;
}

bool DrawableImage(NativeImage image) {
    return NativeImagePixels(image) != nullptr && NativeImageWidth(image) > 0 &&
           NativeImageHeight(image) > 0;
}

}  // namespace

// The blitter -------------------------------------------------------------------------------------

void BlitPixels(DrawingContext* context, const uint8_t* source, int64_t sourcePitch, int32_t x,
                int32_t y, int32_t w, int32_t h, int32_t opacity, int32_t alphaFlag) {
    BlitArea area;
    if (context == nullptr || source == nullptr || sourcePitch < int64_t{w} * 4) return;
    if (!ClipBlit(context, x, y, w, h, &area)) return;
    opacity = std::clamp(opacity, 0, 255);
    const bool filtered = context->filterOn != 0;
    const PixelRule rule = BlitRuleFor(context, alphaFlag);
    const RowBlitter blitRow = filtered ? nullptr : RowBlitterFor(rule);
    if (!filtered && blitRow == nullptr) return;

    bool failed = false;
    uint8_t* copy = CopySourceIfOverlapping(context, source, sourcePitch, area, &failed);
    if (failed) return;
    for (int64_t i = 0; i < area.rows; ++i) {
        uint8_t* d = DestinationRow(context, area, i);
        const uint8_t* s =
            source + (area.sourceRow + i * area.sourceStep) * sourcePitch + area.sourceColumn * 4;
        if (filtered) {
            const int64_t memoryRow = area.memoryRow + i;
            const int64_t visualRow =
                context->bottomUp ? context->height - 1 - memoryRow : memoryRow;
            FilterRow(context, d, s, area.column, visualRow, area.count, opacity);
        } else {
            blitRow(d, s, area.count, context->bytesPerPixel, opacity);
        }
    }
    FreeMemory(copy);
}

// Slot operations ---------------------------------------------------------------------------------

void DrawImageOf(DrawingContext* context, NativeImage image, int32_t x, int32_t y) {
    if (!DrawableImage(image)) return;
    BlitPixels(context, NativeImagePixels(image), NativeImageBytesPerRow(image), x, y,
               NativeImageWidth(image), NativeImageHeight(image), 255, 0);
}

// The smaller of the two possible intermediate images is made first.
void DrawImageSizedOf(DrawingContext* context, NativeImage image, int32_t x, int32_t y, int32_t w,
                      int32_t h) {
    if (!DrawableImage(image)) return;
    const int32_t imageWidth = NativeImageWidth(image);
    const int32_t imageHeight = NativeImageHeight(image);
    const uint8_t* pixels = NativeImagePixels(image);
    if (w == imageWidth && h == imageHeight) {
        BlitPixels(context, pixels, NativeImageBytesPerRow(image), x, y, w, h, 255, 0);
        return;
    }
    if (w < 1 || h < 1 || w > kMaxImageSide || h > kMaxImageSide) return;
    const bool rowsFirst = int64_t{h} * imageWidth < int64_t{w} * imageHeight;
    const uint64_t intermediatePixels =
        rowsFirst ? uint64_t(imageWidth) * uint64_t(h) : uint64_t(w) * uint64_t(imageHeight);
    auto* scaled = static_cast<uint8_t*>(AllocRaw(uint64_t(w) * uint64_t(h) * 4));
    auto* intermediate = static_cast<uint8_t*>(AllocRaw(intermediatePixels * 4));
    bool resampled = false;
    if (scaled != nullptr && intermediate != nullptr) {
        if (rowsFirst) {
            resampled =
                ResampleVertically(pixels, imageWidth, imageHeight, intermediate, imageWidth, h) &&
                ResampleHorizontally(intermediate, imageWidth, scaled, w, h);
        } else {
            resampled = ResampleHorizontally(pixels, imageWidth, intermediate, w, imageHeight) &&
                        ResampleVertically(intermediate, w, imageHeight, scaled, w, h);
        }
    }
    if (resampled) BlitPixels(context, scaled, int64_t{w} * 4, x, y, w, h, 255, 0);
    FreeMemory(intermediate);
    FreeMemory(scaled);
}

void DrawImageAlphaOf(DrawingContext* context, NativeImage image, int32_t x, int32_t y,
                      int32_t opacity) {
    if (!DrawableImage(image)) return;
    BlitPixels(context, NativeImagePixels(image), NativeImageBytesPerRow(image), x, y,
               NativeImageWidth(image), NativeImageHeight(image), opacity, 1);
}

// Three-byte outputs are grabbed as opaque four-byte pixels, so the image is always correct.
int64_t GrabImageOf(DrawingContext* context, int64_t number, int32_t x, int32_t y, int32_t w,
                    int32_t h) {
    ImageRecord* record = NewImageRecord(number, w, h, kImageFillNone, 0);
    if (record == nullptr) return 0;
    const int64_t column = std::max<int32_t>(x, 0);
    int64_t count = int64_t{w} + std::min<int32_t>(x, 0);
    if (column + count > context->width) count = context->width - column;
    const int64_t top = std::max<int32_t>(y, 0);
    int64_t rows = int64_t{h} + std::min<int32_t>(y, 0);
    if (top + rows > context->height) rows = context->height - top;
    if (count >= 1 && rows >= 1 && record->bitmap != nullptr) {
        const int64_t destinationPitch = int64_t{w} * 4;
        uint8_t* d = record->bitmap + std::max<int64_t>(-int64_t{y}, 0) * destinationPitch +
                     std::max<int64_t>(-int64_t{x}, 0) * 4;
        const int64_t memoryRow = context->bottomUp ? context->height - 1 - top : top;
        const uint8_t* s =
            context->clipOrigin + memoryRow * context->pitch + column * context->bytesPerPixel;
        const ptrdiff_t step = RowStep(context);
        for (int64_t row = 0; row < rows; ++row, d += destinationPitch, s += step) {
            if (context->bytesPerPixel == 4) {
                std::memcpy(d, s, static_cast<size_t>(count) * 4);
                continue;
            }
            for (int64_t i = 0; i < count; ++i) {
                d[i * 4] = s[i * 3];
                d[i * 4 + 1] = s[i * 3 + 1];
                d[i * 4 + 2] = s[i * 3 + 2];
                d[i * 4 + 3] = 0xFF;
            }
        }
    }
    if (number == AnyNumber) return static_cast<int64_t>(reinterpret_cast<intptr_t>(record));
    return static_cast<int64_t>(reinterpret_cast<intptr_t>(record->image));
}

// On the current context --------------------------------------------------------------------------

void DrawImage(NativeImage image, int32_t x, int32_t y) {
    if (DrawingContext* context = CurrentDrawingContext()) context->drawImage(context, image, x, y);
}

void DrawImageSized(NativeImage image, int32_t x, int32_t y, int32_t w, int32_t h) {
    if (DrawingContext* context = CurrentDrawingContext())
        context->drawImageSized(context, image, x, y, w, h);
}

void DrawImageAlpha(NativeImage image, int32_t x, int32_t y, int32_t opacity) {
    if (DrawingContext* context = CurrentDrawingContext())
        context->drawImageAlpha(context, image, x, y, opacity);
}

int64_t GrabImage(int64_t number, int32_t x, int32_t y, int32_t w, int32_t h) {
    DrawingContext* context = CurrentDrawingContext();
    return context != nullptr ? context->grabImage(context, number, x, y, w, h) : 0;
}

}  // namespace vorlune
