// The renderer against Wine's software Direct2D: display lists drawn into DIB sections and
// checked pixel by pixel, and window targets kept in DIPs. Needs an X display.

#include "win/ui/d2d.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>
#include <vector>

#include "test_util.h"

namespace torvane {
namespace {

constexpr Color opaque_white = rgb(0xFFFFFF), opaque_red = rgb(0xFF0000),
                opaque_green = rgb(0x00FF00), opaque_blue = rgb(0x0000FF),
                opaque_black = rgb(0x000000);
// The same read back from an image, as 0xAARRGGBB.
constexpr uint32_t W = 0xFFFFFFFF, R = 0xFFFF0000, G = 0xFF00FF00, B = 0xFF0000FF, K = 0xFF000000;

class D2dTest : public RendererTest {
protected:
    // Draws `commands` on white into a fresh image.
    static OffscreenImage draw(int width, int height, const std::vector<DrawCommand>& commands) {
        auto image = renderer_->offscreen(width, height);
        EXPECT_TRUE(image.ok());
        EXPECT_EQ(renderer_->draw(image.value().target(), opaque_white, commands), S_OK);
        return std::move(image.value());
    }
};

TEST_F(D2dTest, TextFormatsFollowTheirStyleAndAreCached) {
    IDWriteTextFormat* body = renderer_->text_format({130});
    ASSERT_NE(body, nullptr);
    EXPECT_EQ(renderer_->text_format({130}), body);
    // The baseline at 8.5 + 4.55 in lines of 17 DIPs (whose height the measuring case shows).
    DWRITE_LINE_SPACING_METHOD method{};
    float spacing = 0, baseline = 0;
    ASSERT_EQ(body->GetLineSpacing(&method, &spacing, &baseline), S_OK);
    EXPECT_NEAR(baseline, 13.05, 1e-4);

    // Glyphs come from the icon font.
    IDWriteTextFormat* glyphs =
        renderer_->text_format({140, TextAlign::right, true, true, true, true});
    ASSERT_NE(glyphs, nullptr);
    EXPECT_EQ(glyphs->GetTextAlignment(), DWRITE_TEXT_ALIGNMENT_TRAILING);
    wchar_t name[64] = {};
    ASSERT_EQ(glyphs->GetFontFamilyName(name, 64), S_OK);
    EXPECT_TRUE(std::wstring(name) == L"Segoe Fluent Icons" ||
                std::wstring(name) == L"Segoe MDL2 Assets")
        << name;
}

TEST_F(D2dTest, MeasuresTrailingBlanksAndWholeLines) {
    // Trailing blanks count.
    EXPECT_GT(renderer_->text_width("Versión  ", 13, false),
              renderer_->text_width("Versión", 13, false) + 4);
    TextStyle wrapping{130};
    wrapping.wrap = true;
    EXPECT_FLOAT_EQ(renderer_->measure("Versión", wrapping, 300).height, 17);
    const char* sentence = "Mantiene la computadora despierta mientras trabajás desde otro lugar";
    const float wrapped = renderer_->measure(sentence, wrapping, 90).height;
    EXPECT_GE(wrapped, 3 * 17);
    EXPECT_FLOAT_EQ(wrapped / 17, std::round(wrapped / 17));
}

TEST_F(D2dTest, DrawsShapesIntoAnImage) {
    const OffscreenImage image =
        draw(160, 120,
             {{FillRectangle{{4, 4, 40, 30}, 10}, opaque_red},
              {StrokeRectangle{{50, 4, 30, 30}, 0, 1}, opaque_blue},
              {StrokeRectangle{{90, 4, 30, 30}, 8, 1}, opaque_green},
              {FillRectangle{{124, 4, 30, 30}, 0}, opaque_red, 0.5f},
              {StatusGlyph{GlyphKind::pointer, {0, 40}, 48}, opaque_black},
              {StatusGlyph{GlyphKind::pointer_with_motion_lines, {48, 40}, 48}, opaque_black},
              {StatusGlyph{GlyphKind::check_mark, {96, 40}, 48}, opaque_black},
              {FillCircle{{150, 100}, 6}, opaque_blue},
              {PushClip{{0, 100, 40, 10}}, opaque_black},
              {FillRectangle{{0, 90, 100, 30}, 0}, opaque_red},
              {PopClip{}, opaque_black},
              {Line{{60, 112}, {130, 112}, 2}, opaque_green}});
    // Rounded fill: the square's corners lie outside the radius.
    expect_at(image, R, {{4, 19}});
    expect_at(image, W, {{4, 4}, {43, 33}});
    // A 1-DIP stroke sits on the outermost pixel ring, inside the rectangle.
    expect_at(image, B, {{50, 19}, {79, 19}, {65, 33}, {50, 4}});
    expect_at(image, W, {{49, 19}, {80, 19}, {51, 19}});
    // With a radius the stroke rounds its corners.
    expect_at(image, G, {{90, 19}, {105, 4}});
    expect_at(image, W, {{90, 4}});
    expect_at(image, 0xFFFF8080, {{139, 19}});  // half-opaque red over white
    // Glyphs at twice the design size. Inked: the arrow, the second's motion lines, the check's
    // corner. Blank: above the arrow's slope, motion lines by the plain arrow, an arrow in a check.
    expect_at(image, K, {{18, 64}, {54, 65}, {115, 74}});
    expect_at(image, W, {{32, 52}, {6, 65}, {114, 64}});
    // Later commands are back in untransformed DIPs.
    expect_at(image, B, {{150, 100}});
    // The clip keeps the fill to its rectangle, and ends with its pop.
    expect_at(image, R, {{20, 105}});
    expect_at(image, W, {{20, 95}, {60, 105}});
    expect_at(image, G, {{100, 111}});
}

TEST_F(D2dTest, DrawsTextBelowItsOrigin) {
    const ComPtr<IDWriteTextLayout> layout =
        renderer_->layout("Versión · …", TextStyle{130}, 200, line_height(13));
    ASSERT_NE(layout, nullptr);
    const OffscreenImage image = draw(200, 40, {{TextRun{layout, {4, 12}}, opaque_black}});
    // Inked, but nothing in the rows above the origin.
    const auto pixels = pixels_of(image);
    EXPECT_GT(
        std::count_if(pixels.begin(), pixels.end(), [](uint32_t p) { return p < 0xFF404040; }), 10);
    EXPECT_EQ(std::count(pixels.begin(), pixels.begin() + 12 * 200, W), 12 * 200);
}

TEST_F(D2dTest, ImagesStartTransparent) {
    auto image = renderer_->offscreen(0, 3);
    ASSERT_TRUE(image.ok());
    ASSERT_EQ(pixels_of(image.value()).size(), 3u);  // at least one pixel wide
    for (uint32_t p : pixels_of(image.value()))
        EXPECT_EQ(p, 0u);
    // Clearing to the color word 0 keeps them transparent; premultiplied color follows alpha.
    const std::vector<DrawCommand> half_red = {{FillRectangle{{0, 0, 1, 1}, 0}, opaque_red, 0.5f}};
    ASSERT_EQ(renderer_->draw(image.value().target(), 0, half_red), S_OK);
    expect_at(image.value(), 0x80800000, {{0, 0}});
    EXPECT_EQ(pixels_of(image.value())[2], 0u);
}

TEST_F(D2dTest, WindowTargetsLayOutInDipsOverTheWholeClientArea) {
    HWND window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 120, 80, nullptr, nullptr,
                                  nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    HDC dc = GetDC(window);
    WindowTarget surface{window, 1.5f, nullptr};
    renderer_->render(surface, dc, opaque_white, {});
    ASSERT_NE(surface.target, nullptr);
    float dpi_x = 0, dpi_y = 0;
    surface.target->GetDpi(&dpi_x, &dpi_y);
    EXPECT_FLOAT_EQ(dpi_x, 144);
    EXPECT_EQ(surface.target->GetPixelSize().width, 120u);

    // The next paint follows a resize and a change of scale.
    SetWindowPos(window, nullptr, 0, 0, 200, 100, SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
    set_target_scale(surface, 2);
    renderer_->render(surface, dc, opaque_white, {});
    EXPECT_EQ(surface.target->GetPixelSize().width, 200u);
    EXPECT_EQ(surface.target->GetPixelSize().height, 100u);
    surface.target->GetDpi(&dpi_x, &dpi_y);
    EXPECT_FLOAT_EQ(dpi_y, 192);

    // A dropped target (a hidden panel, a lost device) comes back on the next paint.
    surface.target.Reset();
    renderer_->render(surface, dc, opaque_white, {});
    EXPECT_NE(surface.target, nullptr);
    surface.target.Reset();
    ReleaseDC(window, dc);
    DestroyWindow(window);
}

}  // namespace
}  // namespace torvane
