// The renderer against Wine's software Direct2D: display lists drawn into DIB sections and
// checked pixel by pixel, and window targets kept in DIPs. Needs an X display.

#include "win/ui/d2d.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace torvane {
namespace {

constexpr Color kWhite = rgb(0xFFFFFF);
constexpr Color kRed = rgb(0xFF0000);
constexpr Color kGreen = rgb(0x00FF00);
constexpr Color kBlue = rgb(0x0000FF);
constexpr Color kBlack = rgb(0x000000);

// Pixels read back as 0xAARRGGBB.
constexpr uint32_t kWhitePixel = 0xFFFFFFFF;
constexpr uint32_t kRedPixel = 0xFFFF0000;
constexpr uint32_t kGreenPixel = 0xFF00FF00;
constexpr uint32_t kBluePixel = 0xFF0000FF;
constexpr uint32_t kBlackPixel = 0xFF000000;

// Within a few steps per channel, to allow for rounding in the rasteriser.
::testing::AssertionResult looks_like(uint32_t expected, uint32_t actual) {
    for (int shift = 0; shift < 32; shift += 8) {
        const int a = static_cast<int>((expected >> shift) & 0xFF);
        const int b = static_cast<int>((actual >> shift) & 0xFF);
        if (std::abs(a - b) > 6) {
            return ::testing::AssertionFailure()
                   << std::hex << "expected 0x" << expected << ", got 0x" << actual;
        }
    }
    return ::testing::AssertionSuccess();
}

DrawCommand command(DrawShape shape, Color color, float opacity = 1) {
    return {std::move(shape), color, opacity};
}

class D2dTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        auto created = Renderer::create();
        ASSERT_TRUE(created.ok()) << created.error().message << " " << created.error().code;
        renderer_ = created.value();
    }
    static void TearDownTestSuite() {
        renderer_.reset();
        CoUninitialize();
    }

    // Draws `commands` on white into a fresh image.
    static OffscreenImage draw(int width, int height, const std::vector<DrawCommand>& commands) {
        auto image = renderer_->offscreen(width, height);
        EXPECT_TRUE(image.ok());
        EXPECT_EQ(renderer_->draw(image.value().target(), kWhite, commands), S_OK);
        return std::move(image.value());
    }

    static uint32_t at(const OffscreenImage& image, int x, int y) {
        return image.pixels()[static_cast<size_t>(y * image.width() + x)];
    }

    static std::shared_ptr<Renderer> renderer_;
};

std::shared_ptr<Renderer> D2dTest::renderer_;

TEST(D2dColor, WordsAndConversion) {
    EXPECT_EQ(rgb(0x2E9E48), 0x489E2EFFu);
    EXPECT_EQ(rgb(0x000000, 15), 0x0000000Fu);
    // The DWM stores 0xAABBGGRR; its alpha byte does not survive.
    EXPECT_EQ(from_dwm_color(0x40C06700), rgb(0x0067C0));

    const D2D1_COLOR_F c = to_d2d_color(rgb(0x336699, 0x80), 0.5f);
    EXPECT_FLOAT_EQ(c.r, 0x33 / 255.0f);
    EXPECT_FLOAT_EQ(c.g, 0x66 / 255.0f);
    EXPECT_FLOAT_EQ(c.b, 0x99 / 255.0f);
    EXPECT_FLOAT_EQ(c.a, 0x80 / 255.0f * 0.5f);
    EXPECT_FLOAT_EQ(to_d2d_color(rgb(0x123456)).a, 1.0f);
}

TEST(D2dText, LineHeightsAndSizes) {
    EXPECT_EQ(line_height(13), 17);
    EXPECT_EQ(line_height(12), 16);
    EXPECT_EQ(line_height(14), 19);
    EXPECT_EQ(line_height(11), 15);
    EXPECT_EQ(line_height(15), 20);  // 19.995
    EXPECT_EQ(size_tenths(13), 130u);
    EXPECT_EQ(size_tenths(12.96f), 130u);
    EXPECT_EQ(size_tenths(-2), 0u);
}

TEST_F(D2dTest, FontFamiliesFallBackAndFormatsAreCached) {
    const std::wstring& text = renderer_->text_family();
    const std::wstring& icon = renderer_->icon_family();
    EXPECT_TRUE(text == L"Segoe UI Variable Text" || text == L"Segoe UI");
    EXPECT_TRUE(icon == L"Segoe Fluent Icons" || icon == L"Segoe MDL2 Assets");

    const TextStyle body{130};
    IDWriteTextFormat* format = renderer_->text_format(body);
    ASSERT_NE(format, nullptr);
    EXPECT_EQ(renderer_->text_format(TextStyle{130}), format);
    EXPECT_FLOAT_EQ(format->GetFontSize(), 13);
    EXPECT_EQ(format->GetFontWeight(), DWRITE_FONT_WEIGHT_NORMAL);
    EXPECT_EQ(format->GetWordWrapping(), DWRITE_WORD_WRAPPING_NO_WRAP);
    wchar_t name[64] = {};
    ASSERT_EQ(format->GetFontFamilyName(name, 64), S_OK);
    EXPECT_EQ(name, text);
    ASSERT_EQ(format->GetLocaleName(name, 64), S_OK);
    EXPECT_EQ(_wcsicmp(name, L"es-AR"), 0) << name;
    // Uniform lines of 17 DIPs with the baseline at 8.5 + 4.55.
    DWRITE_LINE_SPACING_METHOD method{};
    float spacing = 0, baseline = 0;
    ASSERT_EQ(format->GetLineSpacing(&method, &spacing, &baseline), S_OK);
    EXPECT_EQ(method, DWRITE_LINE_SPACING_METHOD_UNIFORM);
    EXPECT_FLOAT_EQ(spacing, 17);
    EXPECT_NEAR(baseline, 13.05, 1e-4);

    TextStyle heading{140, TextAlign::center, true, false, true, true};
    IDWriteTextFormat* other = renderer_->text_format(heading);
    ASSERT_NE(other, nullptr);
    EXPECT_NE(other, format);
    EXPECT_EQ(renderer_->text_format(heading), other);
    EXPECT_EQ(other->GetFontWeight(), DWRITE_FONT_WEIGHT_SEMI_BOLD);
    EXPECT_EQ(other->GetTextAlignment(), DWRITE_TEXT_ALIGNMENT_CENTER);
    EXPECT_EQ(other->GetWordWrapping(), DWRITE_WORD_WRAPPING_WRAP);
    DWRITE_TRIMMING trimming{};
    ComPtr<IDWriteInlineObject> sign;
    ASSERT_EQ(other->GetTrimming(&trimming, &sign), S_OK);
    EXPECT_EQ(trimming.granularity, DWRITE_TRIMMING_GRANULARITY_CHARACTER);
    EXPECT_NE(sign, nullptr);

    heading.alignment = TextAlign::right;
    heading.icon_font = true;
    IDWriteTextFormat* glyphs = renderer_->text_format(heading);
    ASSERT_NE(glyphs, nullptr);
    EXPECT_NE(glyphs, other);
    EXPECT_EQ(glyphs->GetTextAlignment(), DWRITE_TEXT_ALIGNMENT_TRAILING);
    ASSERT_EQ(glyphs->GetFontFamilyName(name, 64), S_OK);
    EXPECT_EQ(name, icon);
}

TEST_F(D2dTest, MeasuresText) {
    const float word = renderer_->text_width("Versión", 13, false);
    EXPECT_GT(word, 20);
    EXPECT_GT(renderer_->text_width("Versión · …", 13, false), word);
    EXPECT_GT(renderer_->text_width("Versión", 20, false), word);
    // Trailing blanks count.
    EXPECT_GT(renderer_->text_width("Versión  ", 13, false), word + 4);

    EXPECT_FLOAT_EQ(renderer_->wrapped_height("Versión", 13, 300), 17);
    const float wrapped = renderer_->wrapped_height(
        "Mantiene la computadora despierta mientras trabajás desde otro lugar", 13, 90);
    EXPECT_GE(wrapped, 3 * 17);
    EXPECT_FLOAT_EQ(wrapped / 17, std::round(wrapped / 17));
}

TEST_F(D2dTest, DrawsShapesIntoAnImage) {
    const std::vector<DrawCommand> commands = {
        command(FillRectangle{{4, 4, 40, 30}, 10}, kRed),
        command(StrokeRectangle{{50, 4, 30, 30}, 0, 1}, kBlue),
        command(StrokeRectangle{{90, 4, 30, 30}, 8, 1}, kGreen),
        command(FillRectangle{{124, 4, 30, 30}, 0}, kRed, 0.5f),
        command(StatusGlyph{GlyphKind::pointer, {0, 40}, 48}, kBlack),
        command(StatusGlyph{GlyphKind::pointerWithMotionLines, {48, 40}, 48}, kBlack),
        command(StatusGlyph{GlyphKind::checkMark, {96, 40}, 48}, kBlack),
        command(FillCircle{{150, 100}, 6}, kBlue),
        command(NoOp{}, kRed),
        command(PushClip{{0, 100, 40, 10}}, kBlack),
        command(FillRectangle{{0, 90, 100, 30}, 0}, kRed),
        command(PopClip{}, kBlack),
        command(Line{{60, 112}, {130, 112}, 2}, kGreen),
    };
    const OffscreenImage image = draw(160, 120, commands);

    // Rounded fill: the square's corner lies outside the radius.
    EXPECT_TRUE(looks_like(kRedPixel, at(image, 24, 19)));
    EXPECT_TRUE(looks_like(kRedPixel, at(image, 4, 19)));
    EXPECT_TRUE(looks_like(kWhitePixel, at(image, 4, 4)));
    EXPECT_TRUE(looks_like(kWhitePixel, at(image, 5, 5)));
    EXPECT_TRUE(looks_like(kWhitePixel, at(image, 43, 33)));

    // A 1-DIP stroke sits on the outermost pixel ring, inside the rectangle.
    EXPECT_TRUE(looks_like(kBluePixel, at(image, 50, 19)));
    EXPECT_TRUE(looks_like(kBluePixel, at(image, 79, 19)));
    EXPECT_TRUE(looks_like(kBluePixel, at(image, 65, 4)));
    EXPECT_TRUE(looks_like(kBluePixel, at(image, 65, 33)));
    EXPECT_TRUE(looks_like(kWhitePixel, at(image, 49, 19)));
    EXPECT_TRUE(looks_like(kWhitePixel, at(image, 80, 19)));
    EXPECT_TRUE(looks_like(kWhitePixel, at(image, 51, 19)));
    EXPECT_TRUE(looks_like(kWhitePixel, at(image, 65, 19)));
    EXPECT_TRUE(looks_like(kBluePixel, at(image, 50, 4)));

    // With a radius the stroke rounds its corners.
    EXPECT_TRUE(looks_like(kGreenPixel, at(image, 90, 19)));
    EXPECT_TRUE(looks_like(kGreenPixel, at(image, 105, 4)));
    EXPECT_TRUE(looks_like(kWhitePixel, at(image, 90, 4)));
    EXPECT_TRUE(looks_like(kWhitePixel, at(image, 105, 19)));

    // Half-opaque red over white.
    EXPECT_TRUE(looks_like(0xFFFF8080, at(image, 139, 19)));

    // Glyphs at twice the design size: inside the arrow, beside it, above its slope.
    EXPECT_TRUE(looks_like(kBlackPixel, at(image, 18, 64)));
    EXPECT_TRUE(looks_like(kWhitePixel, at(image, 10, 64)));
    EXPECT_TRUE(looks_like(kWhitePixel, at(image, 32, 52)));
    EXPECT_TRUE(looks_like(kWhitePixel, at(image, 6, 65)));  // no motion lines on the plain pointer
    EXPECT_TRUE(looks_like(kBlackPixel, at(image, 48 + 18, 64)));
    EXPECT_TRUE(looks_like(kBlackPixel, at(image, 48 + 6, 65)));
    EXPECT_TRUE(looks_like(kBlackPixel, at(image, 96 + 19, 40 + 34)));  // corner of the check
    EXPECT_TRUE(looks_like(kWhitePixel, at(image, 96 + 18, 64)));       // no arrow in a check
    EXPECT_TRUE(looks_like(kWhitePixel, at(image, 96 + 10, 40 + 10)));

    // Later commands are back in untransformed DIPs.
    EXPECT_TRUE(looks_like(kBluePixel, at(image, 150, 100)));

    // The clip keeps the fill to its rectangle, and ends with its pop.
    EXPECT_TRUE(looks_like(kRedPixel, at(image, 20, 105)));
    EXPECT_TRUE(looks_like(kWhitePixel, at(image, 20, 95)));
    EXPECT_TRUE(looks_like(kWhitePixel, at(image, 60, 105)));
    EXPECT_TRUE(looks_like(kGreenPixel, at(image, 100, 111)));
    EXPECT_TRUE(looks_like(kWhitePixel, at(image, 100, 114)));
}

TEST_F(D2dTest, DrawsText) {
    const ComPtr<IDWriteTextLayout> layout =
        renderer_->layout("Versión · …", TextStyle{130}, 200, line_height(13));
    ASSERT_NE(layout, nullptr);
    const OffscreenImage image = draw(200, 40, {command(TextRun{layout, {4, 12}}, kBlack)});

    int inked = 0, dark = 0, above = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const uint32_t p = at(image, x, y);
            if (p == kWhitePixel) continue;
            ++inked;
            if ((p & 0xFF) < 0x40) ++dark;
            if (y < 12) ++above;
        }
    }
    EXPECT_GT(inked, 40);
    EXPECT_GT(dark, 10);
    EXPECT_EQ(above, 0);
}

TEST_F(D2dTest, ImagesStartTransparent) {
    auto image = renderer_->offscreen(0, 3);
    ASSERT_TRUE(image.ok());
    EXPECT_EQ(image.value().width(), 1);
    EXPECT_EQ(image.value().height(), 3);
    for (uint32_t p : image.value().pixels())
        EXPECT_EQ(p, 0u);
    // Clearing to the colour word 0 keeps them transparent; premultiplied colour follows alpha.
    const std::vector<DrawCommand> half_red = {command(FillRectangle{{0, 0, 1, 1}, 0}, kRed, 0.5f)};
    ASSERT_EQ(renderer_->draw(image.value().target(), 0, half_red), S_OK);
    EXPECT_TRUE(looks_like(0x80800000, image.value().pixels()[0]));
    EXPECT_EQ(image.value().pixels()[2], 0u);
}

LRESULT CALLBACK plain_window(HWND window, UINT message, WPARAM w, LPARAM l) {
    return DefWindowProcW(window, message, w, l);
}

TEST_F(D2dTest, WindowTargetsLayOutInDips) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = plain_window;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"TorvaneD2dTest";
    RegisterClassW(&wc);
    HWND window = CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP, 0, 0, 120, 80, nullptr,
                                  nullptr, wc.hInstance, nullptr);
    ASSERT_NE(window, nullptr);

    WindowTarget surface{window, 1.5f, nullptr};
    const std::vector<DrawCommand> commands = {command(FillRectangle{{0, 0, 40, 20}, 0}, kRed)};
    renderer_->render(surface, kWhite, commands);
    ASSERT_NE(surface.target, nullptr);
    float dpi_x = 0, dpi_y = 0;
    surface.target->GetDpi(&dpi_x, &dpi_y);
    EXPECT_FLOAT_EQ(dpi_x, 144);
    EXPECT_FLOAT_EQ(dpi_y, 144);
    D2D1_SIZE_U size = surface.target->GetPixelSize();
    EXPECT_EQ(size.width, 120u);
    EXPECT_EQ(size.height, 80u);

    SetWindowPos(window, nullptr, 0, 0, 200, 100, SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
    resize_target(surface);
    set_target_scale(surface, 2);
    ID2D1HwndRenderTarget* kept = surface.target.Get();
    renderer_->render(surface, kWhite, commands);
    EXPECT_EQ(surface.target.Get(), kept);
    size = surface.target->GetPixelSize();
    EXPECT_EQ(size.width, 200u);
    EXPECT_EQ(size.height, 100u);
    surface.target->GetDpi(&dpi_x, &dpi_y);
    EXPECT_FLOAT_EQ(dpi_x, 192);

    // A dropped target (a hidden panel, a lost device) comes back on the next paint.
    surface.target.Reset();
    renderer_->render(surface, kWhite, commands);
    EXPECT_NE(surface.target, nullptr);

    surface.target.Reset();
    DestroyWindow(window);
    UnregisterClassW(wc.lpszClassName, wc.hInstance);
}

}  // namespace
}  // namespace torvane
