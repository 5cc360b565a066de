#include "win/nudge_icon.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace torvane {

namespace {

using std::chrono::steady_clock;

// Topmost, no taskbar button, click-through, per-pixel alpha, never activated.
constexpr DWORD overlay_ex_style =
    WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_TRANSPARENT | WS_EX_LAYERED | WS_EX_NOACTIVATE;
static_assert(overlay_ex_style == 0x080800A8);

constexpr float icon_size = 40;  // DIPs
constexpr int64_t opaque_ms = 500;
constexpr int64_t fade_ms = 500;

BLENDFUNCTION blend_with(uint8_t alpha) {
    return {AC_SRC_OVER, 0, alpha, AC_SRC_ALPHA};
}

}  // namespace

std::optional<uint8_t> nudge_icon_alpha(int64_t ms) {
    if (ms <= opaque_ms) return 255;
    if (ms >= opaque_ms + fade_ms) return std::nullopt;
    const double remaining = static_cast<double>(ms - opaque_ms) / -static_cast<double>(fade_ms);
    return static_cast<uint8_t>(std::clamp((remaining + 1) * 255, 0.0, 255.0));
}

Result<OffscreenImage> draw_nudge_icon(Renderer& renderer, Color accent, float scale) {
    const int size = static_cast<int>(std::lround(icon_size * scale));
    Result<OffscreenImage> image = renderer.offscreen(size, size);
    if (!image) return image;
    ID2D1DCRenderTarget* target = image.value().target();
    target->BeginDraw();
    target->Clear(D2D1::ColorF(0, 0, 0, 0));
    target->SetTransform(D2D1::Matrix3x2F::Scale(scale, scale));
    ComPtr<ID2D1SolidColorBrush> disc, white;
    HRESULT hr = target->CreateSolidColorBrush(to_d2d_color(accent), &disc);
    if (SUCCEEDED(hr)) hr = target->CreateSolidColorBrush(to_d2d_color(rgb(0xFFFFFF)), &white);
    if (FAILED(hr)) {
        target->EndDraw();
        return Error{"CreateSolidColorBrush", hr};
    }
    const float half = icon_size / 2;
    target->FillEllipse(D2D1::Ellipse(D2D1::Point2F(half, half), half, half), disc.Get());
    // The glyph's 24-unit grid fills the middle half of the disc.
    const float k = scale * half / 24;
    target->SetTransform(D2D1::Matrix3x2F::Scale(k, k) *
                         D2D1::Matrix3x2F::Translation(10 * scale, 10 * scale));
    ID2D1PathGeometry* pointer = renderer.geometry(Shape::pointer);
    target->FillGeometry(pointer, white.Get());
    target->DrawGeometry(pointer, white.Get(), 1.0f, renderer.round_stroke());
    target->DrawGeometry(renderer.geometry(Shape::motion_lines), white.Get(), 1.8f,
                         renderer.round_stroke());
    target->SetTransform(D2D1::Matrix3x2F::Identity());
    hr = target->EndDraw();
    if (FAILED(hr)) return Error{"EndDraw", hr};
    return image;
}

void NudgeIcon::show(POINT pointer, Renderer& renderer, const Theme& theme) {
    if (!handle() && !create_window()) return;
    const float scale = monitor_scale_at(pointer);
    Result<OffscreenImage> image = draw_nudge_icon(renderer, theme.accent, scale);
    if (!image) return;
    POINT position{pointer.x + static_cast<LONG>(14 * scale),
                   pointer.y + static_cast<LONG>(10 * scale)};
    SIZE size{image.value().width(), image.value().height()};
    POINT origin{0, 0};
    BLENDFUNCTION blend = blend_with(255);
    if (!UpdateLayeredWindow(handle(), nullptr, &position, &size, image.value().dc(), &origin, 0,
                             &blend, ULW_ALPHA))
        return;
    // Emplaced, not assigned: the old image must let go of its DC before its bitmap goes.
    image_.reset();
    image_.emplace(std::move(image.value()));
    position_ = position;
    shown_at_ = steady_clock::now();
    ShowWindow(handle(), SW_SHOWNOACTIVATE);
    SetWindowPos(handle(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOACTIVATE | SWP_NOMOVE | SWP_NOSIZE);
    // Replaces a timer still running from the previous icon.
    SetTimer(handle(), nudge_icon_timer, nudge_icon_frame_ms, nullptr);
}

bool NudgeIcon::create_window() {
    // Off screen until the first image gives it its place and size.
    return Window::create({.name = L"TorvaneOverlay"}, overlay_ex_style, L"", WS_POPUP,
                          RECT{-10000, -10000, -9999, -9999}, nullptr);
}

std::optional<LRESULT> NudgeIcon::on_message(UINT message, WPARAM wparam, LPARAM) {
    if (message != WM_TIMER || wparam != nudge_icon_timer) return std::nullopt;
    fade();
    return 0;
}

void NudgeIcon::fade() {
    if (!shown_at_) {
        hide();
        return;
    }
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(steady_clock::now() - *shown_at_);
    const std::optional<uint8_t> alpha = nudge_icon_alpha(elapsed.count());
    if (!alpha || !image_) {
        hide();
        return;
    }
    if (*alpha == 255) return;  // as shown
    // Windows would take a null source for an unchanged picture, but Wine then accepts the
    // call and keeps the old opacity; handing the picture over again fades it on both.
    SIZE size{image_->width(), image_->height()};
    POINT origin{0, 0};
    BLENDFUNCTION blend = blend_with(*alpha);
    UpdateLayeredWindow(handle(), nullptr, nullptr, &size, image_->dc(), &origin, 0, &blend,
                        ULW_ALPHA);
}

void NudgeIcon::hide() {
    KillTimer(handle(), nudge_icon_timer);
    ShowWindow(handle(), SW_HIDE);
    shown_at_.reset();
    image_.reset();
}

}  // namespace torvane
