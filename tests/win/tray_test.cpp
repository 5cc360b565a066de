// The notification-area icon: pure choices, drawn pixels, the image cache and the shell traffic.

#include "win/ui/tray.h"

#include <objbase.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "core/time.h"
#include "win/wtext.h"

namespace torvane {
namespace {

using std::chrono::milliseconds;

constexpr Rgb hex(uint32_t rrggbb) {
    return {static_cast<uint8_t>(rrggbb >> 16), static_cast<uint8_t>(rrggbb >> 8),
            static_cast<uint8_t>(rrggbb)};
}

EngineState engine(bool on, bool blocked, bool working) {
    EngineState s;
    s.on = on;
    s.blocked = blocked;
    s.working = working;
    return s;
}

TEST(TrayPure, ContrastAdjustment) {
    // Brighter than 0.55: darkened to 0.55, truncated (140.25 → 140; 154.98 → 154).
    EXPECT_EQ(contrast_adjusted(hex(0xFFFFFF)), hex(0x8C8C8C));
    EXPECT_EQ(contrast_adjusted(hex(0xC8DCF0)), hex(0x818E9A));
    EXPECT_EQ(contrast_adjusted(hex(0x8D8D8D)), hex(0x8C8C8C));  // L 0.553
    // Darker than 0.18: lightened by 35 %, truncated (89.25 → 89; 95.75 → 95).
    EXPECT_EQ(contrast_adjusted(hex(0x000000)), hex(0x595959));
    EXPECT_EQ(contrast_adjusted(hex(0x0A0A0A)), hex(0x5F5F5F));
    EXPECT_EQ(contrast_adjusted(hex(0x0000FF)), hex(0x5959FF));
    EXPECT_EQ(contrast_adjusted(hex(0x2D2E2E)), hex(0x767777));  // L 0.1796
    // In between: unchanged, up to the edges.
    EXPECT_EQ(contrast_adjusted(hex(0x8C8C8C)), hex(0x8C8C8C));  // L 0.549
    EXPECT_EQ(contrast_adjusted(hex(0x2E2E2E)), hex(0x2E2E2E));  // L 0.1804
    EXPECT_EQ(contrast_adjusted(hex(0xFF0000)), hex(0xFF0000));
    EXPECT_EQ(contrast_adjusted(kDefaultAccent), kDefaultAccent);
}

TEST(TrayPure, StatesAndKeys) {
    EXPECT_EQ(tray_state(engine(false, false, false)), TrayState::Off);
    EXPECT_EQ(tray_state(engine(false, true, false)), TrayState::Off);
    EXPECT_EQ(tray_state(engine(true, true, false)), TrayState::Blocked);
    EXPECT_EQ(tray_state(engine(true, false, false)), TrayState::Active);
    EXPECT_EQ(tray_state(engine(true, false, true)), TrayState::Working);

    EXPECT_EQ(tray_icon_key(TrayState::Active, kDefaultAccent, 16), "active-0067C0-16");
    EXPECT_EQ(tray_icon_key(TrayState::Working, hex(0xABCDEF), 24), "working-ABCDEF-24");
    EXPECT_EQ(tray_icon_key(TrayState::Blocked, hex(0x010203), 32), "blocked-010203-32");
    EXPECT_EQ(tray_icon_key(TrayState::Off, hex(0x8C8C8C), 20), "off-8C8C8C-20");

    EXPECT_EQ(tray_state_colour(TrayState::Active, hex(0x123456)), hex(0x123456));

    EXPECT_EQ(tray_icon_size(0), 16);
    EXPECT_EQ(tray_icon_size(12), 16);
    EXPECT_EQ(tray_icon_size(20), 20);
}

TEST(TrayPure, Tooltip) {
    Preferences p;
    EngineState s = engine(true, false, false);
    s.status_detail = "Activo";
    EXPECT_EQ(tray_tooltip(s, p), "Torvane · Activo");

    // The countdown runs from the engine's last tick, whatever the clock says now.
    s.last_tick = make_local(2024, 5, 6, 10, 0, 0);
    s.timer_until = make_local(2024, 5, 6, 10, 1, 4, 500);
    EXPECT_EQ(tray_tooltip(s, p), "Torvane · se apaga en 1:05");
    s.timer_until = make_local(2024, 5, 6, 11, 0, 3);
    EXPECT_EQ(tray_tooltip(s, p), "Torvane · se apaga en 1:00:03");

    p.countdownInMenuBar = false;
    EXPECT_EQ(tray_tooltip(s, p), "Torvane · Activo");
    p.countdownInMenuBar = true;
    s.on = false;
    s.status_detail = "Apagado";
    EXPECT_EQ(tray_tooltip(s, p), "Torvane · Apagado");
    s.on = true;
    s.timer_until.reset();
    s.status_detail = "Trabajando · movió recién";
    EXPECT_EQ(tray_tooltip(s, p), "Torvane · Trabajando · movió recién");

    s.status_detail = std::string(200, 'x');
    EXPECT_EQ(widen(tray_tooltip(s, p)).size(), 127u);
}

struct Clicks final : TrayEvents {
    int left = 0, right = 0, balloon = 0;
    void left_click() override { ++left; }
    void right_click() override { ++right; }
    void balloon_click() override { ++balloon; }
};

TEST(TrayPure, CallbackEvents) {
    Clicks clicks;
    // The high word is the icon id or a coordinate; only the low word names the event.
    on_tray_callback(MAKELPARAM(WM_LBUTTONUP, 1), clicks);
    on_tray_callback(MAKELPARAM(WM_RBUTTONUP, 0x7FFF), clicks);
    on_tray_callback(NIN_BALLOONUSERCLICK, clicks);
    EXPECT_EQ(clicks.left, 1);
    EXPECT_EQ(clicks.right, 1);
    EXPECT_EQ(clicks.balloon, 1);
    for (UINT ignored : {WM_LBUTTONDOWN, WM_LBUTTONDBLCLK, WM_RBUTTONDOWN, WM_RBUTTONDBLCLK,
                         WM_MOUSEMOVE, WM_CONTEXTMENU, NIN_BALLOONSHOW, NIN_BALLOONTIMEOUT})
        on_tray_callback(MAKELPARAM(ignored, 1), clicks);
    EXPECT_EQ(clicks.left + clicks.right + clicks.balloon, 3);

    EXPECT_EQ(left_click_action(true, milliseconds(10)), PanelClick::Hide);
    EXPECT_EQ(left_click_action(false, milliseconds(349)), PanelClick::Ignore);
    EXPECT_EQ(left_click_action(false, milliseconds(350)), PanelClick::Show);
    EXPECT_EQ(left_click_action(false, std::nullopt), PanelClick::Show);
}

TEST(TrayPure, AccentFromRegistry) {
    constexpr const wchar_t* root_path = L"Software\\TorvaneTests\\TrayAccent";
    HKEY root = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, root_path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &root, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(read_accent(root), kDefaultAccent);  // no DWM key

    HKEY dwm = nullptr;
    ASSERT_EQ(RegCreateKeyExW(root, L"Software\\Microsoft\\Windows\\DWM", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &dwm, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(read_accent(root), kDefaultAccent);  // no value

    auto set = [&](DWORD type, const void* data, DWORD size) {
        return RegSetValueExW(dwm, L"AccentColor", 0, type, static_cast<const BYTE*>(data), size);
    };
    const DWORD accent = 0x80C06731;  // alpha 0x80, blue C0, green 67, red 31
    ASSERT_EQ(set(REG_DWORD, &accent, 4), ERROR_SUCCESS);
    EXPECT_EQ(read_accent(root), hex(0x3167C0));
    ASSERT_EQ(set(REG_BINARY, &accent, 4), ERROR_SUCCESS);
    EXPECT_EQ(read_accent(root), kDefaultAccent);
    ASSERT_EQ(set(REG_DWORD, &accent, 2), ERROR_SUCCESS);
    EXPECT_EQ(read_accent(root), kDefaultAccent);

    RegCloseKey(dwm);
    RegCloseKey(root);
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\TorvaneTests");
}

// Drawing needs COM, the renderer and, under Wine, an X display.
class TrayDrawing : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        auto created = Renderer::create();
        if (created) renderer_ = created.value();
    }
    static void TearDownTestSuite() { renderer_.reset(); }
    void SetUp() override { ASSERT_TRUE(renderer_) << "no renderer"; }
    Renderer& renderer() { return *renderer_; }

    static std::shared_ptr<Renderer> renderer_;
};
std::shared_ptr<Renderer> TrayDrawing::renderer_;

// The icon's colour image as 0xAARRGGBB pixels, top row first.
std::vector<uint32_t> icon_pixels(HICON icon, int size) {
    ICONINFO info{};
    if (!GetIconInfo(icon, &info)) return {};
    std::vector<uint32_t> pixels(static_cast<std::size_t>(size * size));
    BITMAPINFO bmi{};
    bmi.bmiHeader.biSize = sizeof bmi.bmiHeader;
    bmi.bmiHeader.biWidth = size;
    bmi.bmiHeader.biHeight = -size;
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 32;
    bmi.bmiHeader.biCompression = BI_RGB;
    HDC screen = GetDC(nullptr);
    const int rows = info.hbmColor ? GetDIBits(screen, info.hbmColor, 0, size, pixels.data(), &bmi,
                                               DIB_RGB_COLORS)
                                   : 0;
    ReleaseDC(nullptr, screen);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    if (rows != size) return {};
    return pixels;
}

uint32_t opaque(Rgb c) {
    return 0xFF000000u | (uint32_t{c.r} << 16) | (uint32_t{c.g} << 8) | c.b;
}

// The pixel containing design point (x, y) of the 24 × 24 grid.
uint32_t at(const std::vector<uint32_t>& pixels, int size, double x, double y) {
    const int px = static_cast<int>(x * size / 24), py = static_cast<int>(y * size / 24);
    return pixels[static_cast<std::size_t>(py * size + px)];
}

TEST_F(TrayDrawing, PixelsShowStateColourPointerAndMotionLines) {
    constexpr uint32_t white = 0xFFFFFFFF;
    const Rgb accent = contrast_adjusted(hex(0xFFFFFF));
    for (int size : {16, 32}) {
        for (TrayState state :
             {TrayState::Active, TrayState::Blocked, TrayState::Working, TrayState::Off}) {
            SCOPED_TRACE(std::string(tray_state_name(state)) + " " + std::to_string(size));
            Icon icon = draw_tray_icon(renderer(), state, accent, size);
            ASSERT_TRUE(icon);
            const auto pixels = icon_pixels(icon.get(), size);
            ASSERT_EQ(pixels.size(), static_cast<std::size_t>(size * size));
            const uint32_t disc = opaque(tray_state_colour(state, accent));
            EXPECT_EQ(at(pixels, size, 12, 1), disc);         // top edge of the disc
            EXPECT_EQ(at(pixels, size, 1.5, 12), disc);       // left edge
            EXPECT_EQ(at(pixels, size, 20, 20), disc);        // beside the arrow's tail
            EXPECT_EQ(at(pixels, size, 0.1, 0.1) >> 24, 0u);  // corner: outside the disc
            EXPECT_EQ(at(pixels, size, 12, 12), white);       // inside the arrow
            const bool lines = state == TrayState::Active || state == TrayState::Working;
            EXPECT_EQ(at(pixels, size, 5.9, 12.2) == white, lines);  // middle speed line
        }
    }
}

// Records every call into the shell.
struct ShellCall {
    DWORD message;
    NOTIFYICONDATAW data;
};
std::vector<ShellCall> g_calls;
BOOL g_answer = TRUE;

BOOL WINAPI recording_shell(DWORD message, PNOTIFYICONDATAW data) {
    g_calls.push_back({message, *data});
    return g_answer;
}

class TrayShell : public TrayDrawing {
protected:
    void SetUp() override {
        TrayDrawing::SetUp();
        g_calls.clear();
        g_answer = TRUE;
        window_ =
            CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
        ASSERT_TRUE(window_);
    }
    void TearDown() override { DestroyWindow(window_); }

    HWND window_ = nullptr;
};

TEST_F(TrayShell, CallsTheShellOnlyOnChange) {
    Preferences p;
    EngineState s = engine(false, false, false);
    {
        TrayIcon tray(window_, &recording_shell);
        refresh_tray_icon(tray, renderer(), s, p);
        ASSERT_EQ(g_calls.size(), 1u);
        const NOTIFYICONDATAW& add = g_calls[0].data;
        EXPECT_EQ(g_calls[0].message, static_cast<DWORD>(NIM_ADD));
        EXPECT_EQ(add.cbSize, 976u);
        EXPECT_EQ(add.hWnd, window_);
        EXPECT_EQ(add.uID, 1u);
        EXPECT_EQ(add.uFlags, 7u);
        EXPECT_EQ(add.uCallbackMessage, 0x8010u);
        EXPECT_NE(add.hIcon, nullptr);
        EXPECT_EQ(std::wstring(add.szTip), L"Torvane · Apagado");
        EXPECT_TRUE(tray.added);
        const HICON off_icon = add.hIcon;

        refresh_tray_icon(tray, renderer(), s, p);
        EXPECT_EQ(g_calls.size(), 1u) << "nothing changed";

        // A new tooltip alone: same image, NIM_MODIFY.
        s.status_detail = "Programado";
        refresh_tray_icon(tray, renderer(), s, p);
        ASSERT_EQ(g_calls.size(), 2u);
        EXPECT_EQ(g_calls[1].message, static_cast<DWORD>(NIM_MODIFY));
        EXPECT_EQ(g_calls[1].data.hIcon, off_icon);
        EXPECT_EQ(std::wstring(g_calls[1].data.szTip), L"Torvane · Programado");

        // A new image alone.
        s = engine(true, false, false);
        s.status_detail = "Programado";
        refresh_tray_icon(tray, renderer(), s, p);
        ASSERT_EQ(g_calls.size(), 3u);
        EXPECT_EQ(g_calls[2].message, static_cast<DWORD>(NIM_MODIFY));
        EXPECT_NE(g_calls[2].data.hIcon, off_icon);
        EXPECT_EQ(tray.current_key.substr(0, 7), "active-");

        // Back and forth reuses the cached images.
        s.on = false;
        refresh_tray_icon(tray, renderer(), s, p);
        ASSERT_EQ(g_calls.size(), 4u);
        EXPECT_EQ(g_calls[3].data.hIcon, off_icon);
        EXPECT_EQ(tray.cache.size(), 2u);

        // Explorer restarted: added again with the same image and tooltip.
        tray_taskbar_created(tray, renderer(), s, p);
        ASSERT_EQ(g_calls.size(), 5u);
        EXPECT_EQ(g_calls[4].message, static_cast<DWORD>(NIM_ADD));
        EXPECT_EQ(g_calls[4].data.hIcon, off_icon);
        EXPECT_EQ(std::wstring(g_calls[4].data.szTip), L"Torvane · Programado");
    }
    // Dropping the record removes the icon.
    ASSERT_EQ(g_calls.size(), 6u);
    EXPECT_EQ(g_calls[5].message, static_cast<DWORD>(NIM_DELETE));
    EXPECT_EQ(g_calls[5].data.hWnd, window_);
    EXPECT_EQ(g_calls[5].data.uID, 1u);
}

TEST_F(TrayShell, FailedAddIsRetried) {
    Preferences p;
    EngineState s = engine(true, true, false);
    s.status_detail = std::string(150, 'a') + "é";
    {
        TrayIcon tray(window_, &recording_shell);
        g_answer = FALSE;
        refresh_tray_icon(tray, renderer(), s, p);
        refresh_tray_icon(tray, renderer(), s, p);
        ASSERT_EQ(g_calls.size(), 2u);
        EXPECT_EQ(g_calls[1].message, static_cast<DWORD>(NIM_ADD));
        EXPECT_FALSE(tray.added);
        // The tip holds 127 units and its NUL.
        EXPECT_EQ(std::wstring(g_calls[1].data.szTip).size(), 127u);
        EXPECT_EQ(std::wstring_view(g_calls[1].data.szTip, 10), L"Torvane · ");

        g_answer = TRUE;
        refresh_tray_icon(tray, renderer(), s, p);
        EXPECT_TRUE(tray.added);
        remove_tray_icon(tray);
        EXPECT_FALSE(tray.added);
    }
    // Removed once by hand; the destructor found nothing to remove.
    ASSERT_EQ(g_calls.size(), 4u);
    EXPECT_EQ(g_calls[3].message, static_cast<DWORD>(NIM_DELETE));
}

TEST_F(TrayShell, CacheKeepsEightAndTheImageOnScreen) {
    TrayIcon tray(window_, &recording_shell);
    std::vector<HICON> handles;
    for (uint32_t i = 0; i < 8; ++i) {
        const Rgb accent = hex(0x102030 + i);
        handles.push_back(cached_tray_icon(tray, renderer(),
                                           tray_icon_key(TrayState::Active, accent, 16),
                                           TrayState::Active, accent, 16));
        ASSERT_NE(handles.back(), nullptr);
    }
    EXPECT_EQ(tray.cache.size(), 8u);
    tray.current_key = tray_icon_key(TrayState::Active, hex(0x102033), 16);

    // The same key gives the same handle without drawing.
    EXPECT_EQ(
        cached_tray_icon(tray, renderer(), tray.current_key, TrayState::Active, hex(0x102033), 16),
        handles[3]);
    EXPECT_EQ(tray.cache.size(), 8u);

    // The ninth image evicts all but the one on screen.
    const Rgb ninth = hex(0x405060);
    const HICON added = cached_tray_icon(tray, renderer(), tray_icon_key(TrayState::Off, ninth, 16),
                                         TrayState::Off, ninth, 16);
    ASSERT_NE(added, nullptr);
    ASSERT_EQ(tray.cache.size(), 2u);
    EXPECT_EQ(tray.cache[0].key, tray.current_key);
    EXPECT_EQ(tray.cache[0].icon.get(), handles[3]);
    EXPECT_EQ(tray.cache[1].icon.get(), added);
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(handles[3], &info)) << "the image on screen was destroyed";
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    for (HICON evicted : handles) {
        if (evicted == handles[3] || evicted == added) continue;
        EXPECT_FALSE(GetIconInfo(evicted, &info)) << "an evicted image was kept alive";
    }
}

TEST_F(TrayShell, AddsToTheRealNotificationArea) {
    Preferences p;
    EngineState s = engine(true, false, true);
    s.status_detail = "Trabajando · movió recién";
    TrayIcon tray(window_);
    refresh_tray_icon(tray, renderer(), s, p);
    EXPECT_TRUE(tray.added);
    remove_tray_icon(tray);
    EXPECT_FALSE(tray.added);
}

TEST_F(TrayShell, AccentIsReadAgainOnlyAfterAColourChange) {
    HKEY dwm = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\DWM", 0, nullptr,
                              0, KEY_READ | KEY_WRITE, nullptr, &dwm, nullptr),
              ERROR_SUCCESS);
    auto set_accent = [&](DWORD aabbggrr) {
        RegSetValueExW(dwm, L"AccentColor", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&aabbggrr),
                       sizeof aabbggrr);
    };
    set_accent(0xFFC06700);  // #0067C0
    Preferences p;
    EngineState s = engine(true, false, false);
    TrayIcon tray(window_, &recording_shell);
    refresh_tray_icon(tray, renderer(), s, p);
    EXPECT_EQ(tray.current_key.substr(0, 14), "active-0067C0-");

    set_accent(0xFF2010E0);  // #E01020, not yet noticed
    refresh_tray_icon(tray, renderer(), s, p);
    EXPECT_EQ(tray.current_key.substr(0, 14), "active-0067C0-");

    tray_accent_changed(tray);
    refresh_tray_icon(tray, renderer(), s, p);
    EXPECT_EQ(tray.current_key.substr(0, 14), "active-E01020-");
    RegDeleteValueW(dwm, L"AccentColor");
    RegCloseKey(dwm);
}

}  // namespace
}  // namespace torvane
