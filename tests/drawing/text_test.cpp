#include "runtime/drawing/text.h"

#include <gtest/gtest.h>
#include <pango/pangocairo.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "runtime/core/strings.h"
#include "runtime/drawing/modes.h"
#include "runtime/images/image.h"

namespace vorlune {
namespace {

constexpr int32_t kSide = 96;

// Pango's own layout of the text under cr's transform, with Pango's own font description.
PangoLayout* ReferenceLayout(cairo_t* cr, TextFont font, const char* text) {
    PangoLayout* layout = pango_cairo_create_layout(cr);
    PangoFontDescription* description =
        pango_font_description_from_string(TextFontDescription(font));
    pango_layout_set_font_description(layout, description);
    pango_font_description_free(description);
    pango_layout_set_text(layout, text, -1);
    return layout;
}

// Pango's rendering as coverage over a whole image-sized surface.
std::vector<uint8_t> ReferenceCoverage(TextFont font, const char* text, int32_t x, int32_t y,
                                       double radians) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_A8, kSide, kSide);
    cairo_t* cr = cairo_create(surface);
    cairo_translate(cr, x, y);
    cairo_rotate(cr, -radians);
    PangoLayout* layout = ReferenceLayout(cr, font, text);
    pango_cairo_show_layout(cr, layout);
    cairo_surface_flush(surface);
    std::vector<uint8_t> coverage(kSide * kSide);
    for (int32_t row = 0; row < kSide; ++row) {
        const uint8_t* source =
            cairo_image_surface_get_data(surface) + row * cairo_image_surface_get_stride(surface);
        std::copy(source, source + kSide, coverage.begin() + row * kSide);
    }
    g_object_unref(layout);
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    return coverage;
}

class TextTest : public ::testing::Test {
  protected:
    void SetUp() override {
        InitImageSystem();
        CreateImage(kImage, kSide, kSide);
        ASSERT_NE(BeginDrawing(ImageDrawTarget(kImage)), nullptr);
        pixels_ = FindImage(kImage)->bitmap;
    }
    void TearDown() override {
        EndDrawing();
        FreeImage(kImage);
    }
    uint8_t* Pixel(int32_t x, int32_t y) { return pixels_ + (y * kSide + x) * 4; }
    std::vector<uint8_t> Pixels() { return {pixels_, pixels_ + kSide * kSide * 4}; }
    void Clear() { std::fill(pixels_, pixels_ + kSide * kSide * 4, 0); }

    static constexpr int64_t kImage = 7;
    uint8_t* pixels_ = nullptr;
};

TEST_F(TextTest, WidthAndHeightArePangosOwnMeasurement) {
    const char16_t* descriptions[] = {nullptr, u"DejaVu Serif Bold 20px", u"DejaVu Sans Mono",
                                      u"DejaVu Sans Oblique 9"};
    const char* texts[] = {"Hello, world", "P = 1.094001  K = 0.293710", "\u00e9t\u00e9 \u20ac"};
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_A8, 1, 1);
    cairo_t* cr = cairo_create(surface);
    for (const char16_t* description : descriptions) {
        TextFont font = description != nullptr ? LoadFont(description) : nullptr;
        SetFont(font);
        for (const char* text : texts) {
            PangoLayout* layout = ReferenceLayout(cr, font, text);
            int width = 0, height = 0;
            pango_layout_get_size(layout, &width, &height);
            g_object_unref(layout);
            char16_t* units = UTF8ToNewString(text);
            EXPECT_EQ(TextWidth(units), width / PANGO_SCALE) << text;
            EXPECT_EQ(TextHeight(units), height / PANGO_SCALE) << text;
            std::free(units);
        }
        FreeFont(font);  // also unset from the context
        EXPECT_EQ(CurrentDrawingContext()->font, nullptr);
    }
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    EXPECT_EQ(TextWidth(nullptr), 0);
    EXPECT_EQ(DrawText(4, 4, nullptr), 4);
    EXPECT_EQ(LoadFont(u""), nullptr);
    TextFont sized = LoadFont(u"DejaVu Sans Mono");
    EXPECT_STREQ(TextFontDescription(sized), "DejaVu Sans Mono 12px") << "the default size";
    FreeFont(sized);
}

// Neither transparent text nor rotated text, in any mode, paints the visible background box.
TEST_F(TextTest, TextIsPangosCoverageLaidOverThePixels) {
    const double angles[] = {0, 30, 90, -135};
    SetDrawingBackColour(0x3080C0);
    for (const double degrees : angles) {
        Clear();
        SetDrawingColour(0xFFFFFF);
        const int32_t x = 30, y = 40;
        if (degrees == 0) {
            SetDrawingMode(DrawTransparent);
            DrawText(x, y, u"Ag Wave");
        } else {
            SetDrawingMode(0);
            DrawRotatedText(x, y, u"Ag Wave", static_cast<float>(degrees));
        }
        const double radians = static_cast<float>(degrees) * 0.017444444444444446;
        const std::vector<uint8_t> coverage = ReferenceCoverage(nullptr, "Ag Wave", x, y, radians);
        int inked = 0;
        for (int32_t i = 0; i < kSide * kSide; ++i) {
            // White over transparent black: each channel and alpha become the coverage.
            for (int32_t byte = 0; byte < 4; ++byte) {
                ASSERT_EQ(pixels_[i * 4 + byte], coverage[i])
                    << degrees << " pixel " << i % kSide << "," << i / kSide << " byte " << byte;
            }
            inked += coverage[i] != 0;
        }
        EXPECT_GT(inked, 50) << degrees;
    }
}

TEST_F(TextTest, RotatedTextAtZeroIsTheUnrotatedText) {
    SetDrawingBackColour(0x3080C0);  // visible, were either text to paint its box
    const std::vector<uint8_t> initial = Pixels();
    SetDrawingMode(DrawTransparent);
    SetDrawingColour(0x3366CC);
    DrawText(11, 13, u"Rotation 0");
    const std::vector<uint8_t> unrotated = Pixels();
    ASSERT_NE(unrotated, initial);
    std::copy(initial.begin(), initial.end(), pixels_);
    SetDrawingMode(0);  // rotated text never paints a background
    DrawRotatedText(11, 13, u"Rotation 0", 0.0f);
    EXPECT_EQ(Pixels(), unrotated);
}

TEST_F(TextTest, BackgroundBoxIsExactlyTheMeasuredSize) {
    SetDrawingBackColour(0x123456);
    SetDrawingColour(0x123456);  // the text in its own background colour leaves a plain box
    const int32_t w = TextWidth(u"Hello");
    const int32_t h = TextHeight(u"Hello");
    ASSERT_GT(w, 0);
    const int32_t next = DrawText(5, 0, u"Hello");
    EXPECT_EQ(next, 5 + w);
    for (int32_t y = 0; y < kSide; ++y) {
        for (int32_t x = 0; x < kSide; ++x) {
            const bool inBox = x >= 5 && x < 5 + w && y < h;
            const uint8_t* p = Pixel(x, y);
            ASSERT_EQ(p[0] | p[1] << 8 | p[2] << 16, inBox ? 0x123456 : 0) << x << "," << y;
            ASSERT_EQ(p[3], 255);
        }
    }
    Clear();
    SetDrawingMode(DrawTransparent);
    SetDrawingColour(0xFFFFFF);
    DrawText(0, 0, u"Hello");
    int lowestInk = -1;
    for (int32_t y = 0; y < kSide; ++y) {
        for (int32_t x = 0; x < kSide; ++x)
            lowestInk = Pixel(x, y)[0] != 0 ? y : lowestInk;
    }
    EXPECT_GE(lowestInk, h / 2) << "text drawn at y 0 reaches down, not up";
    EXPECT_LT(lowestInk, h);
}

TEST_F(TextTest, TextWritesNothingOutsideTheClipRectangle) {
    std::mt19937 random(5);
    for (int trial = 0; trial < 60; ++trial) {
        for (int32_t i = 0; i < kSide * kSide * 4; ++i)
            pixels_[i] = static_cast<uint8_t>(random());
        const std::vector<uint8_t> before = Pixels();
        const int32_t cx = static_cast<int32_t>(random() % 80) - 10,
                      cy = static_cast<int32_t>(random() % 80) - 10;
        const int32_t cw = static_cast<int32_t>(random() % 60),
                      ch = static_cast<int32_t>(random() % 60);
        ClipDrawing(cx, cy, cw, ch);
        SetDrawingMode(static_cast<int32_t>(random() % 2));
        SetDrawingColour(static_cast<ColourValue>(random()));
        const int32_t x = static_cast<int32_t>(random() % 120) - 20,
                      y = static_cast<int32_t>(random() % 120) - 20;
        if (trial % 2 == 0) {
            DrawText(x, y, u"Clipped text");
        } else {
            DrawRotatedText(x, y, u"Clipped text", static_cast<float>(random() % 720) - 360);
        }
        UnclipDrawing();
        for (int32_t py = 0; py < kSide; ++py) {
            for (int32_t px = 0; px < kSide; ++px) {
                if (px >= cx && px < cx + cw && py >= cy && py < cy + ch) continue;
                for (int byte = 0; byte < 4; ++byte)
                    ASSERT_EQ(Pixel(px, py)[byte], before[(py * kSide + px) * 4 + byte]) << trial;
            }
        }
    }
}

}  // namespace
}  // namespace vorlune
