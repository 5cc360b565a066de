#include "win/ui/d2d.h"

#include <shellscalingapi.h>

#include <algorithm>
#include <cmath>
#include <iterator>

#include "win/last_error.h"
#include "win/wtext.h"

namespace torvane {

namespace {

using Figure = std::span<const D2D1_POINT_2F>;
struct ShapeOutline {
    std::array<Figure, 3> figures;  // unused ones are empty
    bool closed;                    // closed figures are filled, open ones hollow
};

// The fixed shapes on their 24 × 24 grid.
constexpr D2D1_POINT_2F pointer_points[] = {
    {7, 3}, {7, 19}, {10.6f, 15.6f}, {13.1f, 21.2f}, {15.6f, 20.1f}, {13.1f, 14.6f}, {18, 14.6f}};
constexpr D2D1_POINT_2F motion1_points[] = {{1.5f, 9}, {4.5f, 9}};
constexpr D2D1_POINT_2F motion2_points[] = {{1, 12.5f}, {5, 12.5f}};
constexpr D2D1_POINT_2F motion3_points[] = {{1.5f, 16}, {4.5f, 16}};
constexpr D2D1_POINT_2F check_points[] = {{5, 12.5f}, {9.5f, 17}, {19, 7}};
constexpr D2D1_POINT_2F tray_pointer_points[] = {{10, 5},        {10, 17.6f},    {12.8f, 14.9f},
                                                 {14.7f, 19.3f}, {16.7f, 18.4f}, {14.8f, 14.1f},
                                                 {18.6f, 14.1f}};
constexpr D2D1_POINT_2F tray_motion1_points[] = {{4.6f, 9.2f}, {7.4f, 9.2f}};
constexpr D2D1_POINT_2F tray_motion2_points[] = {{4.2f, 12.2f}, {7.6f, 12.2f}};
constexpr D2D1_POINT_2F tray_motion3_points[] = {{4.6f, 15.2f}, {7.4f, 15.2f}};

// In the order of `Shape`.
const ShapeOutline shape_outlines[] = {
    {{pointer_points}, true},
    {{motion1_points, motion2_points, motion3_points}, false},
    {{check_points}, false},
    {{tray_pointer_points}, true},
    {{tray_motion1_points, tray_motion2_points, tray_motion3_points}, false},
};

bool has_family(IDWriteFontCollection* fonts, const wchar_t* name) {
    UINT32 index = 0;
    BOOL exists = FALSE;
    return fonts && SUCCEEDED(fonts->FindFamilyName(name, &index, &exists)) && exists;
}

HRESULT make_shape(ID2D1Factory* factory, const ShapeOutline& outline,
                   ComPtr<ID2D1PathGeometry>& out) {
    HRESULT hr = factory->CreatePathGeometry(&out);
    if (FAILED(hr)) return hr;
    ComPtr<ID2D1GeometrySink> sink;
    hr = out->Open(&sink);
    if (FAILED(hr)) return hr;
    for (const Figure& figure : outline.figures) {
        if (figure.empty()) continue;
        sink->BeginFigure(figure[0],
                          outline.closed ? D2D1_FIGURE_BEGIN_FILLED : D2D1_FIGURE_BEGIN_HOLLOW);
        for (const D2D1_POINT_2F& p : figure.subspan(1)) {
            sink->AddLine(p);
        }
        sink->EndFigure(outline.closed ? D2D1_FIGURE_END_CLOSED : D2D1_FIGURE_END_OPEN);
    }
    return sink->Close();
}

D2D1_RECT_F to_d2d_rect(const Rect& r) {
    return D2D1::RectF(r.x, r.y, r.x + r.w, r.y + r.h);
}

D2D1_POINT_2F to_d2d_point(Point p) {
    return D2D1::Point2F(p.x, p.y);
}

D2D1_SIZE_U client_pixels(HWND window) {
    RECT client{};
    GetClientRect(window, &client);
    return D2D1::SizeU(static_cast<UINT32>(std::max<LONG>(client.right - client.left, 1)),
                       static_cast<UINT32>(std::max<LONG>(client.bottom - client.top, 1)));
}

DWRITE_TEXT_ALIGNMENT to_dwrite(TextAlign align) {
    switch (align) {
        case TextAlign::center:
            return DWRITE_TEXT_ALIGNMENT_CENTER;
        case TextAlign::right:
            return DWRITE_TEXT_ALIGNMENT_TRAILING;
        case TextAlign::left:
            break;
    }
    return DWRITE_TEXT_ALIGNMENT_LEADING;
}

// Replays one display-list entry with the brush already set to its color.
struct Painter {
    const Renderer& renderer;
    ID2D1RenderTarget* target;
    ID2D1SolidColorBrush* brush;

    void operator()(const FillRectangle& c) const {
        const D2D1_RECT_F r = to_d2d_rect(c.rect);
        if (c.radius > 0) {
            target->FillRoundedRectangle(D2D1::RoundedRect(r, c.radius, c.radius), brush);
        } else {
            target->FillRectangle(r, brush);
        }
    }
    // Inset by half the width so the stroke stays inside the rectangle.
    void operator()(const StrokeRectangle& c) const {
        const float t = c.width, half = t / 2;
        const Rect inset{c.rect.x + half, c.rect.y + half, std::max(c.rect.w - t, 0.0f),
                         std::max(c.rect.h - t, 0.0f)};
        const float radius = std::max(c.radius - half, 0.0f);
        if (radius > 0) {
            target->DrawRoundedRectangle(D2D1::RoundedRect(to_d2d_rect(inset), radius, radius),
                                         brush, t);
        } else {
            target->DrawRectangle(to_d2d_rect(inset), brush, t);
        }
    }
    void operator()(const FillCircle& c) const {
        target->FillEllipse(D2D1::Ellipse(to_d2d_point(c.center), c.radius, c.radius), brush);
    }
    void operator()(const StrokeCircle& c) const {
        target->DrawEllipse(D2D1::Ellipse(to_d2d_point(c.center), c.radius, c.radius), brush,
                            c.width);
    }
    void operator()(const TextRun& c) const {
        if (c.layout) {
            target->DrawTextLayout(to_d2d_point(c.origin), c.layout.Get(), brush,
                                   D2D1_DRAW_TEXT_OPTIONS_NONE);
        }
    }
    void operator()(const StatusGlyph& c) const {
        const float k = c.size / 24;
        target->SetTransform(D2D1::Matrix3x2F::Scale(k, k) *
                             D2D1::Matrix3x2F::Translation(c.top_left.x, c.top_left.y));
        ID2D1StrokeStyle* round = renderer.round_stroke();
        if (c.kind == GlyphKind::check_mark) {
            target->DrawGeometry(renderer.geometry(Shape::check_mark), brush, 2.6f, round);
        } else {
            ID2D1PathGeometry* pointer = renderer.geometry(Shape::pointer);
            target->FillGeometry(pointer, brush);
            target->DrawGeometry(pointer, brush, 1.0f, round);
            if (c.kind == GlyphKind::pointer_with_motion_lines) {
                target->DrawGeometry(renderer.geometry(Shape::motion_lines), brush, 1.8f, round);
            }
        }
        target->SetTransform(D2D1::Matrix3x2F::Identity());
    }
    void operator()(const Line& c) const {
        target->DrawLine(to_d2d_point(c.from), to_d2d_point(c.to), brush, c.width,
                         renderer.round_stroke());
    }
    void operator()(const PushClip& c) const {
        target->PushAxisAlignedClip(to_d2d_rect(c.rect), D2D1_ANTIALIAS_MODE_ALIASED);
    }
    void operator()(const PopClip&) const { target->PopAxisAlignedClip(); }
    void operator()(const NoOp&) const {}
};

}  // namespace

D2D1_COLOR_F to_d2d_color(Color color, float opacity) {
    auto channel = [&](int shift) { return static_cast<float>((color >> shift) & 0xFF) / 255; };
    return D2D1::ColorF(channel(8), channel(16), channel(24), channel(0) * opacity);
}

uint32_t size_tenths(float size) {
    return static_cast<uint32_t>(std::lround(std::max(size, 0.0f) * 10));
}

float line_height(float size) {
    return static_cast<float>(std::round(1.333 * size));
}

float monitor_scale_at(POINT p) {
    UINT dpi_x = 0, dpi_y = 0;
    const HMONITOR monitor = MonitorFromPoint(p, MONITOR_DEFAULTTONEAREST);
    if (!monitor || FAILED(GetDpiForMonitor(monitor, MDT_EFFECTIVE_DPI, &dpi_x, &dpi_y)) ||
        dpi_x == 0)
        return 1;
    return static_cast<float>(dpi_x) / 96;
}

void set_target_scale(WindowTarget& window, float scale) {
    window.scale = scale;
    if (window.target) window.target->SetDpi(96 * scale, 96 * scale);
}

Result<std::shared_ptr<Renderer>> Renderer::create() {
    std::shared_ptr<Renderer> r(new Renderer);
    HRESULT hr = DWriteCreateFactory(DWRITE_FACTORY_TYPE_SHARED, __uuidof(IDWriteFactory),
                                     reinterpret_cast<IUnknown**>(r->dwrite_.GetAddressOf()));
    if (FAILED(hr)) return Error{"DWriteCreateFactory", hr};

    ComPtr<IDWriteFontCollection> fonts;
    r->dwrite_->GetSystemFontCollection(&fonts, FALSE);
    r->text_family_ = has_family(fonts.Get(), L"Segoe UI Variable Text") ? L"Segoe UI Variable Text"
                                                                         : L"Segoe UI";
    r->icon_family_ = has_family(fonts.Get(), L"Segoe Fluent Icons") ? L"Segoe Fluent Icons"
                                                                     : L"Segoe MDL2 Assets";
    if (Status device = r->make_device(); !device) return device.error();
    return r;
}

Status Renderer::make_device() {
    if (factory_) return success();
    HRESULT hr = D2D1CreateFactory(D2D1_FACTORY_TYPE_SINGLE_THREADED, __uuidof(ID2D1Factory),
                                   nullptr, reinterpret_cast<void**>(factory_.GetAddressOf()));
    if (FAILED(hr)) return Error{"D2D1CreateFactory", hr};
    const D2D1_STROKE_STYLE_PROPERTIES round = D2D1::StrokeStyleProperties(
        D2D1_CAP_STYLE_ROUND, D2D1_CAP_STYLE_ROUND, D2D1_CAP_STYLE_ROUND, D2D1_LINE_JOIN_ROUND,
        10.0f, D2D1_DASH_STYLE_SOLID, 0.0f);
    hr = factory_->CreateStrokeStyle(&round, nullptr, 0, &round_stroke_);
    static_assert(std::size(shape_outlines) == std::tuple_size_v<decltype(shapes_)>);
    for (size_t i = 0; SUCCEEDED(hr) && i < std::size(shape_outlines); ++i)
        hr = make_shape(factory_.Get(), shape_outlines[i], shapes_[i]);
    if (FAILED(hr)) {
        const char* what = round_stroke_ ? "CreatePathGeometry" : "CreateStrokeStyle";
        release_device();
        return Error{what, hr};
    }
    return success();
}

void Renderer::release_device() {
    shapes_ = {};
    round_stroke_.Reset();
    factory_.Reset();
}

IDWriteTextFormat* Renderer::text_format(const TextStyle& style) {
    for (const auto& [key, format] : formats_) {
        if (key == style) return format.Get();
    }
    const float size = static_cast<float>(style.size) / 10;
    ComPtr<IDWriteTextFormat> format;
    const HRESULT hr = dwrite_->CreateTextFormat(
        (style.icon_font ? icon_family_ : text_family_).c_str(), nullptr,
        style.semibold ? DWRITE_FONT_WEIGHT_SEMI_BOLD : DWRITE_FONT_WEIGHT_NORMAL,
        DWRITE_FONT_STYLE_NORMAL, DWRITE_FONT_STRETCH_NORMAL, size, L"es-AR", &format);
    if (FAILED(hr)) return nullptr;

    format->SetTextAlignment(to_dwrite(style.alignment));
    format->SetParagraphAlignment(DWRITE_PARAGRAPH_ALIGNMENT_NEAR);
    format->SetWordWrapping(style.wrap ? DWRITE_WORD_WRAPPING_WRAP : DWRITE_WORD_WRAPPING_NO_WRAP);
    // Every line exactly one line height, the baseline 0.35 size below its middle.
    const float line = line_height(size);
    format->SetLineSpacing(DWRITE_LINE_SPACING_METHOD_UNIFORM, line, 0.5f * line + 0.35f * size);
    if (style.ellipsis) {
        ComPtr<IDWriteInlineObject> sign;
        if (SUCCEEDED(dwrite_->CreateEllipsisTrimmingSign(format.Get(), &sign))) {
            const DWRITE_TRIMMING trimming{DWRITE_TRIMMING_GRANULARITY_CHARACTER, 0, 0};
            format->SetTrimming(&trimming, sign.Get());
        }
    }
    formats_.emplace_back(style, std::move(format));
    return formats_.back().second.Get();
}

ComPtr<IDWriteTextLayout> Renderer::layout(std::string_view text, const TextStyle& style,
                                           float max_width, float max_height) {
    max_width = std::max(max_width, 1.0f);
    max_height = std::max(max_height, 1.0f);
    ++layout_clock_;
    for (CachedLayout& cached : layouts_) {
        if (cached.style == style && cached.width == max_width && cached.height == max_height &&
            cached.text == text) {
            cached.used = layout_clock_;
            return cached.layout;
        }
    }
    IDWriteTextFormat* format = text_format(style);
    if (!format) return nullptr;
    const std::wstring wide = widen(text);
    ComPtr<IDWriteTextLayout> out;
    if (FAILED(dwrite_->CreateTextLayout(wide.data(), static_cast<UINT32>(wide.size()), format,
                                         max_width, max_height, &out))) {
        return nullptr;
    }
    // Full: the entry unused for longest makes room (a countdown's old texts, say).
    if (layouts_.size() >= layout_cache_size) {
        auto oldest = std::min_element(
            layouts_.begin(), layouts_.end(),
            [](const CachedLayout& a, const CachedLayout& b) { return a.used < b.used; });
        *oldest = std::move(layouts_.back());
        layouts_.pop_back();
    }
    layouts_.push_back({std::string(text), style, max_width, max_height, out, layout_clock_});
    return out;
}

TextSize Renderer::measure(std::string_view text, const TextStyle& style, float max_width) {
    const ComPtr<IDWriteTextLayout> l = layout(text, style, max_width, 10000);
    DWRITE_TEXT_METRICS metrics{};
    if (!l || FAILED(l->GetMetrics(&metrics))) return {};
    return {metrics.widthIncludingTrailingWhitespace, metrics.height};
}

float Renderer::text_width(std::string_view text, float size, bool semibold) {
    return measure(text, {size_tenths(size), TextAlign::left, semibold}, 10000).width;
}

HRESULT Renderer::draw(ID2D1RenderTarget* target, Color background,
                       std::span<const DrawCommand> commands) {
    target->BeginDraw();
    const D2D1_COLOR_F clear = to_d2d_color(background);
    target->Clear(&clear);
    ComPtr<ID2D1SolidColorBrush> brush;
    const HRESULT hr = target->CreateSolidColorBrush(&clear, nullptr, &brush);
    if (FAILED(hr)) {
        target->EndDraw();
        return hr;
    }
    const Painter paint{*this, target, brush.Get()};
    for (const DrawCommand& command : commands) {
        const D2D1_COLOR_F color = to_d2d_color(command.color, command.opacity);
        brush->SetColor(&color);
        std::visit(paint, command.shape);
    }
    brush.Reset();
    return target->EndDraw();
}

bool Renderer::render(WindowTarget& window, HDC dc, Color background,
                      std::span<const DrawCommand> commands) {
    if (!window.target) {
        if (!make_device()) return false;
        const float dpi = 96 * window.scale;
        const D2D1_RENDER_TARGET_PROPERTIES props = D2D1::RenderTargetProperties(
            D2D1_RENDER_TARGET_TYPE_SOFTWARE,
            D2D1::PixelFormat(DXGI_FORMAT_B8G8R8A8_UNORM, D2D1_ALPHA_MODE_IGNORE), dpi, dpi);
        if (FAILED(factory_->CreateDCRenderTarget(&props, &window.target))) return false;
    }
    const D2D1_SIZE_U size = client_pixels(window.window);
    const RECT area{0, 0, static_cast<LONG>(size.width), static_cast<LONG>(size.height)};
    if (FAILED(window.target->BindDC(dc, &area))) return false;
    const HRESULT hr = draw(window.target.Get(), background, commands);
    if (hr == static_cast<HRESULT>(D2DERR_RECREATE_TARGET)) {
        window.target.Reset();
        InvalidateRect(window.window, nullptr, FALSE);
    }
    return SUCCEEDED(hr);
}

Result<OffscreenImage> Renderer::offscreen(int width, int height) {
    if (Status device = make_device(); !device) return device.error();
    OffscreenImage image;
    image.width_ = std::max(width, 1);
    image.height_ = std::max(height, 1);
    image.dc_.reset(CreateCompatibleDC(nullptr));
    if (!image.dc_.get()) return last_error("CreateCompatibleDC");

    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = image.width_;
    info.bmiHeader.biHeight = -image.height_;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    image.bitmap_.reset(
        CreateDIBSection(image.dc_.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!image.bitmap_.get() || !bits) return last_error("CreateDIBSection");
    SelectObject(image.dc_.get(), image.bitmap_.get());

    const D2D1_RENDER_TARGET_PROPERTIES props = D2D1::RenderTargetProperties(
        D2D1_RENDER_TARGET_TYPE_SOFTWARE,
        D2D1::PixelFormat(DXGI_FORMAT_B8G8R8A8_UNORM, D2D1_ALPHA_MODE_PREMULTIPLIED), 96, 96);
    HRESULT hr = factory_->CreateDCRenderTarget(&props, &image.target_);
    if (FAILED(hr)) return Error{"CreateDCRenderTarget", hr};
    const RECT area{0, 0, image.width_, image.height_};
    hr = image.target_->BindDC(image.dc_.get(), &area);
    if (FAILED(hr)) return Error{"BindDC", hr};
    return image;
}

}  // namespace torvane
