#pragma once
// The pixel rule of each drawing mode, in one place for single pixels, spans and shapes.

#include <cstddef>
#include <cstdint>

#include "runtime/drawing/context.h"

namespace vorlune {

enum class PixelRule { Store, Xor, AllChannels, AlphaOnly, Blend, Keep, Blend3, Nothing };

// The pen cache as one value; blend rules expect channels multiplied by alpha.
struct Pen {
    int32_t red, green, blue, alpha, inverseAlpha;
};

// Choice of rule (first match wins) -----------------------------------------------------------
constexpr PixelRule PixelRuleFor(int32_t mode, int32_t bytesPerPixel) {
    const bool fourBytes = bytesPerPixel == 4;
    if (mode & 0x02) return PixelRule::Xor;
    if (mode & 0x100) return fourBytes ? PixelRule::AllChannels : PixelRule::Store;
    if (mode & 0x08) return fourBytes ? PixelRule::AlphaOnly : PixelRule::Nothing;
    if (mode & 0x10) return fourBytes ? PixelRule::Blend : PixelRule::Blend3;
    if (mode & 0x20) return fourBytes ? PixelRule::Keep : PixelRule::Blend3;
    return PixelRule::Store;
}

constexpr bool IsBlendRule(PixelRule rule) {
    return rule == PixelRule::Blend || rule == PixelRule::Keep || rule == PixelRule::Blend3;
}

// Pens ----------------------------------------------------------------------------------------
inline Pen PenOf(const DrawingContext& context) {
    return {context.penRed, context.penGreen, context.penBlue, context.penAlpha,
            context.penInverseAlpha};
}

inline Pen PenFromColour(ColourValue colour, bool premultiplied) {
    const int32_t alpha = static_cast<int32_t>(colour >> 24);
    const int32_t factor = premultiplied ? alpha : 1;
    return {static_cast<int32_t>(colour & 0xFF) * factor,
            static_cast<int32_t>((colour >> 8) & 0xFF) * factor,
            static_cast<int32_t>((colour >> 16) & 0xFF) * factor, alpha, alpha ^ 255};
}

// Addresses -----------------------------------------------------------------------------------
inline uint8_t* PixelAddress(const DrawingContext* context, int64_t x, int64_t y) {
    const int64_t row = context->bottomUp ? context->height - 1 - y : y;
    return context->clipOrigin + static_cast<ptrdiff_t>(row * context->pitch) +
           static_cast<ptrdiff_t>(x * context->bytesPerPixel);
}

// One step down the picture: back in memory for bottom-up buffers.
inline ptrdiff_t RowStep(const DrawingContext* context) {
    return context->bottomUp ? -static_cast<ptrdiff_t>(context->pitch) : context->pitch;
}

inline ColourValue ReadColour(const uint8_t* p, bool withAlpha) {
    const ColourValue colour = p[0] | p[1] << 8 | p[2] << 16;
    return withAlpha ? colour | static_cast<ColourValue>(p[3]) << 24 : colour;
}

// The rules (integer divisions truncate) ------------------------------------------------------
// Over a pixel of alpha Ad: W = (255 - A) x Ad, channel = (C x A x 255 + P x W) / (A x 255 + W).
template <bool writeAlpha>
inline void BlendFourBytes(uint8_t* p, const Pen& pen) {
    if (pen.alpha == 0) return;
    const int32_t pixelAlpha = p[3];
    if (pixelAlpha == 0) {
        p[0] = static_cast<uint8_t>(pen.red / pen.alpha);
        p[1] = static_cast<uint8_t>(pen.green / pen.alpha);
        p[2] = static_cast<uint8_t>(pen.blue / pen.alpha);
        if (writeAlpha) p[3] = static_cast<uint8_t>(pen.alpha);
        return;
    }
    const int32_t weight = pixelAlpha * pen.inverseAlpha;
    const int32_t divisor = pen.alpha * 255 + weight;
    p[0] = static_cast<uint8_t>((pen.red * 255 + p[0] * weight) / divisor);
    p[1] = static_cast<uint8_t>((pen.green * 255 + p[1] * weight) / divisor);
    p[2] = static_cast<uint8_t>((pen.blue * 255 + p[2] * weight) / divisor);
    if (writeAlpha) p[3] = static_cast<uint8_t>((pen.alpha * 255 + weight) / 255);
}

template <PixelRule rule>
inline void ApplyPen(uint8_t* p, const Pen& pen) {
    if constexpr (rule == PixelRule::Store) {
        p[0] = static_cast<uint8_t>(pen.red);
        p[1] = static_cast<uint8_t>(pen.green);
        p[2] = static_cast<uint8_t>(pen.blue);
    } else if constexpr (rule == PixelRule::Xor) {
        p[0] ^= static_cast<uint8_t>(pen.red);
        p[1] ^= static_cast<uint8_t>(pen.green);
        p[2] ^= static_cast<uint8_t>(pen.blue);
    } else if constexpr (rule == PixelRule::AllChannels) {
        p[0] = static_cast<uint8_t>(pen.red);
        p[1] = static_cast<uint8_t>(pen.green);
        p[2] = static_cast<uint8_t>(pen.blue);
        p[3] = static_cast<uint8_t>(pen.alpha);
    } else if constexpr (rule == PixelRule::AlphaOnly) {
        p[3] = static_cast<uint8_t>(pen.alpha);
    } else if constexpr (rule == PixelRule::Blend) {
        BlendFourBytes<true>(p, pen);
    } else if constexpr (rule == PixelRule::Keep) {
        BlendFourBytes<false>(p, pen);
    } else if constexpr (rule == PixelRule::Blend3) {
        p[0] = static_cast<uint8_t>((p[0] * pen.inverseAlpha + pen.red) / 255);
        p[1] = static_cast<uint8_t>((p[1] * pen.inverseAlpha + pen.green) / 255);
        p[2] = static_cast<uint8_t>((p[2] * pen.inverseAlpha + pen.blue) / 255);
    }
}

// The colour form: the same rule with a pen made from the colour.
template <PixelRule rule>
inline void ApplyColour(uint8_t* p, ColourValue colour) {
    ApplyPen<rule>(p, PenFromColour(colour, IsBlendRule(rule)));
}

// A run of count pixels, step bytes apart, all with the same pen.
template <PixelRule rule>
inline void ApplyPenToRun(uint8_t* p, int64_t count, ptrdiff_t step, const Pen& pen) {
    for (int64_t i = 0; i < count; ++i, p += step)
        ApplyPen<rule>(p, pen);
}

void ApplyPenByRule(PixelRule rule, uint8_t* p, const Pen& pen);
void ApplyPenToRunByRule(PixelRule rule, uint8_t* p, int64_t count, ptrdiff_t step, const Pen& pen);

}  // namespace vorlune
