#include "win/ui/tray.h"

#include <algorithm>
#include <array>
#include <vector>

#include "core/status_text.h"
#include "core/strings.h"
#include "win/registry.h"
#include "win/wtext.h"

namespace torvane {

namespace {

constexpr auto panel_reopen_guard = std::chrono::milliseconds(350);

uint8_t truncated_channel(double v) {
    return static_cast<uint8_t>(std::clamp(v, 0.0, 255.0));
}

Color channels(uint8_t r, uint8_t g, uint8_t b) {
    return rgb((uint32_t{r} << 16) | (uint32_t{g} << 8) | b);
}

// An icon from a drawn 32-bit image and an empty mask: the color bitmap's alpha is what
// shows. The icon keeps copies of both bitmaps.
Icon icon_from_image(HBITMAP image, int size) {
    // Mask rows are padded to 16-bit words.
    const std::vector<BYTE> zeros(static_cast<std::size_t>(2 * ((size + 15) / 16) * size));
    Bitmap mask(CreateBitmap(size, size, 1, 1, zeros.data()));
    if (!mask) return {};
    ICONINFO info{};
    info.fIcon = TRUE;
    info.hbmMask = mask.get();
    info.hbmColor = image;
    return Icon(CreateIconIndirect(&info));
}

}  // namespace

NOTIFYICONDATAW tray_icon_data(HWND owner) {
    static_assert(sizeof(NOTIFYICONDATAW) == 976);
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = owner;
    data.uID = tray_icon_id;
    return data;
}

Color contrast_adjusted(Color accent) {
    const double l = luminance(accent);
    if (l > 0.55) {
        const double factor = 0.55 / l;
        return channels(truncated_channel(red_of(accent) * factor),
                        truncated_channel(green_of(accent) * factor),
                        truncated_channel(blue_of(accent) * factor));
    }
    return (l < 0.18 ? lightened(accent, 0.35) : accent) | 0xFF;
}

Color read_accent(HKEY root) {
    std::optional<DWORD> value =
        read_dword(root, L"Software\\Microsoft\\Windows\\DWM", L"AccentColor");
    return value ? from_dwm_color(*value) : default_accent;
}

TrayState tray_state(const EngineState& s) {
    if (s.working) return TrayState::working;
    if (!s.on) return TrayState::off;
    return s.blocked ? TrayState::blocked : TrayState::active;
}

std::string_view tray_state_name(TrayState state) {
    switch (state) {
        case TrayState::active:
            return "active";
        case TrayState::blocked:
            return "blocked";
        case TrayState::working:
            return "working";
        case TrayState::off:
            return "off";
    }
    return "off";
}

Color tray_state_color(TrayState state, Color adjusted_accent) {
    switch (state) {
        case TrayState::active:
            return adjusted_accent;
        case TrayState::blocked:
            return rgb(0xE07B00);
        case TrayState::working:
            return rgb(0x2E9E48);
        case TrayState::off:
            return rgb(0x6E6E6E);
    }
    return rgb(0x6E6E6E);
}

std::string tray_icon_key(TrayState state, Color adjusted_accent, int size) {
    std::string key(tray_state_name(state));
    key.push_back('-');
    const uint8_t channels[] = {red_of(adjusted_accent), green_of(adjusted_accent),
                                blue_of(adjusted_accent)};
    key.append(hex(channels));
    key.push_back('-');
    key.append(std::to_string(size));
    return key;
}

int tray_icon_size(int small_icon_metric) {
    return std::max(small_icon_metric, 16);
}

std::string tray_tooltip(const EngineState& s, const Preferences& p) {
    if (p.countdownInMenuBar && s.on && s.timer_until)
        return text::tooltip_countdown(seconds_between(s.last_tick, *s.timer_until));
    return text::tooltip_status(s.status_detail);
}

HICON cached_tray_icon(TrayIcon& tray, Renderer& renderer, const std::string& key, TrayState state,
                       Color accent, int size) {
    for (const CachedIcon& entry : tray.cache)
        if (entry.key == key) return entry.icon.get();
    Icon icon = draw_tray_icon(renderer, state, accent, size);
    if (!icon) return nullptr;
    if (tray.cache.size() >= tray_cache_limit) {
        // Keep only the image on screen: the shell still shows it.
        std::erase_if(tray.cache,
                      [&](const CachedIcon& entry) { return entry.key != tray.current_key; });
    }
    HICON handle = icon.get();
    tray.cache.push_back({key, std::move(icon)});
    return handle;
}

Icon draw_tray_icon(Renderer& renderer, TrayState state, Color adjusted_accent, int size) {
    Result<OffscreenImage> image = renderer.offscreen(size, size);
    if (!image) return {};
    ID2D1DCRenderTarget* target = image.value().target();
    target->BeginDraw();
    target->Clear(D2D1::ColorF(0, 0, 0, 0));
    // The design lies on a 24 × 24 grid; the target counts in pixels.
    const float scale = static_cast<float>(size) / 24.0f;
    target->SetTransform(D2D1::Matrix3x2F::Scale(scale, scale));
    ComPtr<ID2D1SolidColorBrush> brush;
    const Color disc = tray_state_color(state, adjusted_accent);
    if (FAILED(target->CreateSolidColorBrush(to_d2d_color(disc), &brush))) {
        target->EndDraw();
        return {};
    }
    target->FillEllipse(D2D1::Ellipse(D2D1::Point2F(12, 12), 12, 12), brush.Get());
    brush->SetColor(to_d2d_color(rgb(0xFFFFFF)));
    ID2D1PathGeometry* pointer = renderer.geometry(Shape::tray_pointer);
    target->FillGeometry(pointer, brush.Get());
    target->DrawGeometry(pointer, brush.Get(), 0.8f, renderer.round_stroke());
    if (state == TrayState::active || state == TrayState::working)
        target->DrawGeometry(renderer.geometry(Shape::tray_motion_lines), brush.Get(), 1.6f,
                             renderer.round_stroke());
    target->SetTransform(D2D1::Matrix3x2F::Identity());
    if (FAILED(target->EndDraw())) return {};
    return icon_from_image(image.value().bitmap(), size);
}

TrayIcon::~TrayIcon() {
    remove_tray_icon(*this);
}

void refresh_tray_icon(TrayIcon& tray, Renderer& renderer, const EngineState& s,
                       const Preferences& p) {
    std::string tooltip = tray_tooltip(s, p);
    if (!tray.icon_size) tray.icon_size = tray_icon_size(GetSystemMetrics(SM_CXSMICON));
    const int size = *tray.icon_size;
    if (!tray.accent) tray.accent = read_accent(HKEY_CURRENT_USER);
    const Color accent = contrast_adjusted(*tray.accent);
    const TrayState state = tray_state(s);
    std::string key = tray_icon_key(state, accent, size);
    HICON icon = cached_tray_icon(tray, renderer, key, state, accent, size);
    if (!icon) return;
    if (tray.added && key == tray.current_key && tooltip == tray.current_tooltip) return;

    NOTIFYICONDATAW data = tray_icon_data(tray.owner);
    // Version 4 hides the standard tooltip unless asked for.
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_SHOWTIP;
    // Only the text changed (a countdown changes it every second): the shell need not copy
    // the image again.
    if (tray.added && key == tray.current_key) data.uFlags = NIF_TIP | NIF_SHOWTIP;
    data.uCallbackMessage = tray_callback_message;
    data.hIcon = icon;
    const std::wstring tip = widen(tooltip);
    const std::size_t units = std::min(tip.size(), std::size(data.szTip) - 1);
    std::copy_n(tip.data(), units, data.szTip);
    if (tray.added) {
        tray.shell_notify(NIM_MODIFY, &data);
    } else {
        // At log-on a slow shell can time out NIM_ADD although it added the icon; adding it
        // again would fail for good, so a failed add adopts the icon that may be there.
        tray.added = tray.shell_notify(NIM_ADD, &data) != FALSE ||
                     tray.shell_notify(NIM_MODIFY, &data) != FALSE;
        // Version 4 makes the shell report a selection with the keyboard (Win+B, the arrows,
        // Enter or Space), which the original protocol drops.
        data.uVersion = NOTIFYICON_VERSION_4;
        if (tray.added) tray.shell_notify(NIM_SETVERSION, &data);
    }
    tray.current_key = std::move(key);
    tray.current_tooltip = std::move(tooltip);
}

void tray_taskbar_created(TrayIcon& tray, Renderer& renderer, const EngineState& s,
                          const Preferences& p) {
    tray.added = false;
    tray.icon_size.reset();
    tray.current_key.clear();
    refresh_tray_icon(tray, renderer, s, p);
}

void tray_accent_changed(TrayIcon& tray) {
    tray.accent.reset();
}

void tray_metrics_changed(TrayIcon& tray) {
    tray.icon_size.reset();
}

void remove_tray_icon(TrayIcon& tray) {
    if (!tray.added) return;
    NOTIFYICONDATAW data = tray_icon_data(tray.owner);
    tray.shell_notify(NIM_DELETE, &data);
    tray.added = false;
}

// Version 4 puts the event in the low word of lParam (the icon id in the high word) and follows
// the mouse messages with NIN_SELECT after a left click and WM_CONTEXTMENU after a right one;
// acting on those too would answer each click twice.
TrayAction tray_action(LPARAM lparam) {
    switch (LOWORD(lparam)) {
        case WM_LBUTTONUP:
            return TrayAction::toggle_panel;
        case WM_RBUTTONUP:
            return TrayAction::toggle_keep_awake;
        case NIN_BALLOONUSERCLICK:
        case NIN_KEYSELECT:
            return TrayAction::show_panel;
        default:
            return TrayAction::none;
    }
}

PanelClick left_click_action(bool panel_visible,
                             std::optional<std::chrono::milliseconds> since_hidden) {
    if (panel_visible) return PanelClick::hide;
    if (since_hidden && *since_hidden < panel_reopen_guard) return PanelClick::ignore;
    return PanelClick::show;
}

}  // namespace torvane
