#include "runtime/drawing/modes.h"

#include <cmath>

#include "runtime/drawing/pixel_rules.h"

namespace vorlune {

namespace {

template <PixelRule rule>
void PlotPenWith(DrawingContext* context, int32_t x, int32_t y) {
    ApplyPen<rule>(PixelAddress(context, x, y), PenOf(*context));
}

template <PixelRule rule>
void PlotColourWith(DrawingContext* context, int32_t x, int32_t y, ColourValue colour) {
    ApplyColour<rule>(PixelAddress(context, x, y), colour);
}

void PlotPenGeneral(DrawingContext* context, int32_t x, int32_t y) {
    PaintGeneralPixel(context, x, y, PixelAddress(context, x, y));
}

void PlotColourGeneral(DrawingContext* context, int32_t x, int32_t y, ColourValue colour) {
    context->drawColour = colour;
    PaintGeneralPixel(context, x, y, PixelAddress(context, x, y));
}

ColourValue ReadFourBytes(DrawingContext* context, int32_t x, int32_t y) {
    return ReadColour(PixelAddress(context, x, y), true);
}

ColourValue ReadThreeChannels(DrawingContext* context, int32_t x, int32_t y) {
    return ReadColour(PixelAddress(context, x, y), false);
}

struct PixelPair {
    void (*plotPen)(DrawingContext*, int32_t, int32_t);
    void (*plotColour)(DrawingContext*, int32_t, int32_t, ColourValue);
};

template <PixelRule rule>
constexpr PixelPair kPair{PlotPenWith<rule>, PlotColourWith<rule>};

PixelPair PairFor(PixelRule rule) {
    switch (rule) {
        case PixelRule::Store:
            return kPair<PixelRule::Store>;
        case PixelRule::Xor:
            return kPair<PixelRule::Xor>;
        case PixelRule::AllChannels:
            return kPair<PixelRule::AllChannels>;
        case PixelRule::AlphaOnly:
            return kPair<PixelRule::AlphaOnly>;
        case PixelRule::Blend:
            return kPair<PixelRule::Blend>;
        case PixelRule::Keep:
            return kPair<PixelRule::Keep>;
        case PixelRule::Blend3:
            return kPair<PixelRule::Blend3>;
        case PixelRule::Nothing:
            return kPair<PixelRule::Nothing>;
    }
    return kPair<PixelRule::Store>;
}

// Normalisation: all channels excludes the alpha modes, and exists only on four-byte pixels.
int32_t NormalisedMode(int32_t mode, int32_t bytesPerPixel) {
    if ((mode & DrawAllChannels) == 0) return mode;
    mode &= ~(DrawAlphaOnly | DrawAlphaBlend | DrawAlphaKeep);
    if (bytesPerPixel != 4) mode &= ~DrawAllChannels;
    return mode;
}

// Gradients -------------------------------------------------------------------------------------

struct Channels {
    int32_t red, green, blue, alpha;
};

Channels ChannelsOf(ColourValue colour) {
    return {static_cast<int32_t>(colour & 0xFF), static_cast<int32_t>((colour >> 8) & 0xFF),
            static_cast<int32_t>((colour >> 16) & 0xFF), static_cast<int32_t>(colour >> 24)};
}

Channels ChannelsOf(const GradientStop& stop) {
    return {stop.red, stop.green, stop.blue, stop.alpha};
}

// The low 8 bits of the truncated value; a factor far outside 0..1 (or not a number) would
// overflow an integer conversion, so the wrap is taken on the double itself.
uint32_t LowByteOfTruncated(double value) {
    const double whole = std::trunc(value);
    if (!std::isfinite(whole)) return 0;
    double low = std::fmod(whole, 256.0);
    if (low < 0) low += 256.0;
    return static_cast<uint32_t>(low);
}

uint32_t MixChannel(int32_t a, int32_t b, float u) {
    const float bPart = static_cast<float>(b) * u;
    return LowByteOfTruncated(a * (1.0 - u) + static_cast<double>(bPart));
}

ColourValue ColourOf(Channels c) {
    return static_cast<ColourValue>(c.red | c.green << 8 | c.blue << 16) |
           static_cast<ColourValue>(c.alpha) << 24;
}

ColourValue Mix(Channels a, Channels b, float u) {
    return MixChannel(a.red, b.red, u) | MixChannel(a.green, b.green, u) << 8 |
           MixChannel(a.blue, b.blue, u) << 16 | MixChannel(a.alpha, b.alpha, u) << 24;
}

void SetPenFromGradient(DrawingContext* context, ColourValue colour) {
    const Channels channels = ChannelsOf(colour);
    context->penAlpha = channels.alpha;
    const bool blends = (context->drawingMode & (DrawAlphaBlend | DrawAlphaKeep)) != 0;
    const int32_t factor = blends ? channels.alpha : 1;
    if (blends) context->penInverseAlpha = 255 - channels.alpha;
    context->penRed = channels.red * factor;
    context->penGreen = channels.green * factor;
    context->penBlue = channels.blue * factor;
}

}  // namespace

void ApplyPenByRule(PixelRule rule, uint8_t* p, const Pen& pen) {
    ApplyPenToRunByRule(rule, p, 1, 0, pen);
}

void ApplyPenToRunByRule(PixelRule rule, uint8_t* p, int64_t count, ptrdiff_t step,
                         const Pen& pen) {
    switch (rule) {
        case PixelRule::Store:
            return ApplyPenToRun<PixelRule::Store>(p, count, step, pen);
        case PixelRule::Xor:
            return ApplyPenToRun<PixelRule::Xor>(p, count, step, pen);
        case PixelRule::AllChannels:
            return ApplyPenToRun<PixelRule::AllChannels>(p, count, step, pen);
        case PixelRule::AlphaOnly:
            return ApplyPenToRun<PixelRule::AlphaOnly>(p, count, step, pen);
        case PixelRule::Blend:
            return ApplyPenToRun<PixelRule::Blend>(p, count, step, pen);
        case PixelRule::Keep:
            return ApplyPenToRun<PixelRule::Keep>(p, count, step, pen);
        case PixelRule::Blend3:
            return ApplyPenToRun<PixelRule::Blend3>(p, count, step, pen);
        case PixelRule::Nothing:
            return;
    }
}

// Slot operations -------------------------------------------------------------------------------

void SetPenComponentsOf(DrawingContext* context, ColourValue colour) {
    const Pen pen = PenFromColour(colour, context->premultiplied != 0);
    context->penRed = pen.red;
    context->penGreen = pen.green;
    context->penBlue = pen.blue;
    context->penAlpha = pen.alpha;
    context->penInverseAlpha = pen.inverseAlpha;
}

void SetPaperComponentsOf(DrawingContext* context, ColourValue colour) {
    const Pen paper = PenFromColour(colour, context->premultiplied != 0);
    context->paperRed = paper.red;
    context->paperGreen = paper.green;
    context->paperBlue = paper.blue;
    context->paperAlpha = paper.alpha;
    context->paperInverseAlpha = paper.inverseAlpha;
}

void SetDrawingModeOf(DrawingContext* context, int32_t mode) {
    const int32_t bytes = context->bytesPerPixel;
    mode = NormalisedMode(mode, bytes);
    context->drawingMode = mode;
    context->premultiplied = (mode & 0x30) != 0 && (mode & 0x1C2) == 0;
    context->gradientOn = mode & DrawGradient;
    context->filterOn = mode & DrawCustomFilter;

    const PixelPair pair = (mode & (DrawGradient | DrawCustomFilter)) != 0
                               ? PixelPair{PlotPenGeneral, PlotColourGeneral}
                               : PairFor(PixelRuleFor(mode, bytes));
    context->plotPen = pair.plotPen;
    context->plotColour = pair.plotColour;
    context->readPixel = bytes == 4 && (mode & 0x1B8) != 0 ? ReadFourBytes : ReadThreeChannels;

    SetPenComponentsOf(context, context->drawColour);
    SetPaperComponentsOf(context, context->drawBackColour);
}

void InstallDefaultPixelRoutines(DrawingContext* context) {
    context->plotPen = kPair<PixelRule::Store>.plotPen;
    context->plotColour = kPair<PixelRule::Store>.plotColour;
    context->readPixel = ReadThreeChannels;
}

bool PlotsPlainColour(const DrawingContext* context) {
    return context->plotColour == kPair<PixelRule::Store>.plotColour;
}

void FreeGradientStops(DrawingContext* context) {
    GradientStop* stop = context->gradientStops;
    context->gradientStops = nullptr;
    while (stop != nullptr) {
        GradientStop* next = stop->next;
        FreeBlock(stop);
        stop = next;
    }
}

ColourValue GradientColourAt(const DrawingContext* context, float t) {
    const GradientStop* stop = context->gradientStops;
    const Channels back = ChannelsOf(context->backColour);
    const Channels front = ChannelsOf(context->frontColour);
    if (stop == nullptr) return Mix(back, front, t);
    if (t < stop->position) {
        // A first stop at 0 leaves only negative positions below it: their factor is -infinity.
        const float u = stop->position > 0.0f ? t / stop->position : -INFINITY;
        return Mix(back, ChannelsOf(*stop), u);
    }
    for (; stop->next != nullptr; stop = stop->next) {
        const GradientStop* next = stop->next;
        if (next->position > t) {
            return Mix(ChannelsOf(*stop), ChannelsOf(*next),
                       (t - stop->position) / (next->position - stop->position));
        }
    }
    if (stop->position == 1.0f) return ColourOf(ChannelsOf(*stop));
    return Mix(ChannelsOf(*stop), front, (t - stop->position) / (1.0f - stop->position));
}

void PaintGeneralPixel(DrawingContext* context, int32_t x, int32_t y, uint8_t* p) {
    if (context->gradientOn || context->filterOn) {
        const ColourValue colour =
            context->gradientOn
                ? GradientColourAt(context, context->gradientFunction(context, x, y))
                : context->drawColour;
        if (context->filterOn) {
            const bool fourBytes = context->bytesPerPixel == 4;
            const ColourValue target =
                fourBytes ? ReadColour(p, true) : ReadColour(p, false) | 0xFF000000u;
            const ColourValue result = context->filterFunction(x, y, colour, target);
            p[0] = static_cast<uint8_t>(result);
            p[1] = static_cast<uint8_t>(result >> 8);
            p[2] = static_cast<uint8_t>(result >> 16);
            if (fourBytes) p[3] = static_cast<uint8_t>(result >> 24);
            return;
        }
        SetPenFromGradient(context, colour);
    }
    ApplyPenByRule(PixelRuleFor(context->drawingMode, context->bytesPerPixel), p, PenOf(*context));
}

float DefaultGradientFunction(DrawingContext*, int32_t, int32_t) {
    return 1.0f;
}

ColourValue DefaultFilterFunction(int32_t, int32_t, ColourValue, ColourValue target) {
    return target;
}

// On the current context --------------------------------------------------------------------

void SetDrawingMode(int32_t mode) {
    if (DrawingContext* context = CurrentDrawingContext()) context->setDrawingMode(context, mode);
}

int32_t DrawingMode() {
    const DrawingContext* context = CurrentDrawingContext();
    return context != nullptr ? context->drawingMode : 0;
}

void SetDrawingColour(ColourValue colour) {
    if (DrawingContext* context = CurrentDrawingContext()) {
        context->drawColour = colour;
        context->setPenComponents(context, colour);
    }
}

void SetDrawingBackColour(ColourValue colour) {
    if (DrawingContext* context = CurrentDrawingContext()) {
        context->drawBackColour = colour;
        context->setPaperComponents(context, colour);
    }
}

bool AddGradientStop(float position, ColourValue colour) {
    DrawingContext* context = CurrentDrawingContext();
    if (context == nullptr || !(position >= 0.0f && position <= 1.0f)) return false;
    auto* stop = static_cast<GradientStop*>(AllocBlock(sizeof(GradientStop)));
    if (stop == nullptr) return false;
    const Channels channels = ChannelsOf(colour);
    stop->position = position;
    stop->red = channels.red;
    stop->green = channels.green;
    stop->blue = channels.blue;
    stop->alpha = channels.alpha;
    // A stop at an existing position goes after it, so stops keep the order they were added in.
    GradientStop** link = &context->gradientStops;
    while (*link != nullptr && (*link)->position <= position)
        link = &(*link)->next;
    stop->next = *link;
    *link = stop;
    return true;
}

void ClearGradientStops() {
    if (DrawingContext* context = CurrentDrawingContext()) FreeGradientStops(context);
}

void SetGradientFunction(GradientFunction function) {
    if (DrawingContext* context = CurrentDrawingContext())
        context->gradientFunction = function != nullptr ? function : DefaultGradientFunction;
}

void SetFilterFunction(FilterFunction function) {
    if (DrawingContext* context = CurrentDrawingContext())
        context->filterFunction = function != nullptr ? function : DefaultFilterFunction;
}

}  // namespace vorlune
