// The notification-area icon: pure choices, the image cache and the shell traffic.

#include "win/ui/tray.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "core/time.h"
#include "test_util.h"

namespace torvane {
namespace {

TEST(TrayPure, ContrastAdjustment) {
    // Darkened to luminance 0.55 above it, lightened by 35 % below 0.18, channels truncated.
    const uint32_t cases[][2] = {{0xFFFFFF, 0x8C8C8C}, {0xC8DCF0, 0x818E9A}, {0x8D8D8D, 0x8C8C8C},
                                 {0x8C8C8C, 0x8C8C8C}, {0x000000, 0x595959}, {0x0000FF, 0x5959FF},
                                 {0x2D2E2E, 0x767777}, {0x2E2E2E, 0x2E2E2E}};
    for (auto [in, out] : cases)
        EXPECT_EQ(contrast_adjusted(rgb(in)), rgb(out)) << std::hex << in;
}

TEST(TrayPure, StateTooltipAndClick) {
    // Blocked shows only while on; working wins.
    EngineState s;
    s.blocked = true;
    EXPECT_EQ(tray_state(s), TrayState::off);
    s.on = true;
    EXPECT_EQ(tray_state(s), TrayState::blocked);
    s.working = true;
    EXPECT_EQ(tray_state(s), TrayState::working);

    // The countdown runs from the engine's last tick, whatever the clock says now.
    Preferences p;
    s.status_detail = "Activo";
    s.last_tick = make_local(2024, 5, 6, 10, 0, 0);
    s.timer_until = make_local(2024, 5, 6, 10, 1, 4, 500);
    EXPECT_EQ(tray_tooltip(s, p), "Torvane · se apaga en 1:05");
    p.countdownInMenuBar = false;
    EXPECT_EQ(tray_tooltip(s, p), "Torvane · Activo");
    p.countdownInMenuBar = true;
    s.on = false;
    EXPECT_EQ(tray_tooltip(s, p), "Torvane · Activo");

    // A click within 350 ms of the panel hiding itself is the click that hid it.
    using std::chrono::milliseconds;
    EXPECT_EQ(left_click_action(true, milliseconds(10)), PanelClick::hide);
    EXPECT_EQ(left_click_action(false, milliseconds(349)), PanelClick::ignore);
    EXPECT_EQ(left_click_action(false, milliseconds(350)), PanelClick::show);
    EXPECT_EQ(left_click_action(false, std::nullopt), PanelClick::show);
}

// Version 4's layout: the event in lParam's low word, the icon id in its high word. A mouse
// click is answered once, on its button-up, not again on the selection that follows it.
TEST(TrayCallback, MouseClicksAndTheKeyboardSelectionEachActOnce) {
    using enum TrayAction;
    const std::pair<UINT, TrayAction> cases[] = {
        {WM_LBUTTONUP, toggle_panel}, {NIN_SELECT, none},
        {WM_LBUTTONDBLCLK, none},     {WM_RBUTTONUP, toggle_keep_awake},
        {WM_CONTEXTMENU, none},       {WM_MOUSEMOVE, none},
        {NIN_KEYSELECT, show_panel},  {NIN_BALLOONUSERCLICK, show_panel}};
    for (const auto& [event, expected] : cases)
        EXPECT_EQ(tray_action(MAKELPARAM(event, tray_icon_id)), expected) << std::hex << event;
}

// Records every call into the shell.
struct ShellCall {
    DWORD message;
    NOTIFYICONDATAW data;
};
std::vector<ShellCall> g_calls;
BOOL g_add_answer = TRUE;
BOOL g_modify_answer = TRUE;

BOOL WINAPI recording_shell(DWORD message, PNOTIFYICONDATAW data) {
    g_calls.push_back({message, *data});
    return message == NIM_ADD ? g_add_answer : message == NIM_MODIFY ? g_modify_answer : TRUE;
}

void answer_all(BOOL answer) {
    g_add_answer = g_modify_answer = answer;
}

class TrayShell : public RendererTest {
protected:
    void SetUp() override {
        g_calls.clear();
        answer_all(TRUE);
        window_ =
            CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
        ASSERT_TRUE(window_);
    }
    void TearDown() override { DestroyWindow(window_); }
    Renderer& renderer() { return *renderer_; }

    HWND window_ = nullptr;
};

TEST_F(TrayShell, CallsTheShellOnlyOnChangeAndRetriesAFailedAdd) {
    Preferences p;
    EngineState s;
    s.status_detail = std::string(150, 'a') + "é";
    {
        TrayIcon tray(window_, &recording_shell);
        answer_all(FALSE);  // no shell at all: neither adding nor adopting works
        refresh_tray_icon(tray, renderer(), s, p);
        ASSERT_EQ(g_calls.size(), 2u);
        EXPECT_EQ(g_calls[1].message, static_cast<DWORD>(NIM_MODIFY));
        answer_all(TRUE);
        g_calls.clear();
        refresh_tray_icon(tray, renderer(), s, p);
        refresh_tray_icon(tray, renderer(), s, p);  // nothing changed
        ASSERT_EQ(g_calls.size(), 2u);
        const NOTIFYICONDATAW& add = g_calls[0].data;
        EXPECT_EQ(g_calls[0].message, static_cast<DWORD>(NIM_ADD));
        EXPECT_EQ(add.cbSize, 976u);
        EXPECT_EQ(add.hWnd, window_);
        EXPECT_EQ(add.uID, 1u);
        EXPECT_EQ(add.uFlags, 0x87u) << "message, icon, tip, and the standard tooltip";
        EXPECT_EQ(add.uCallbackMessage, 0x8010u);
        EXPECT_NE(add.hIcon, nullptr);
        // The tip holds 127 units and its NUL.
        EXPECT_EQ(std::wstring(add.szTip).size(), 127u);
        EXPECT_EQ(std::wstring_view(add.szTip, 10), L"Torvane · ");
        const HICON off_icon = add.hIcon;
        // The version whose events include a selection with the keyboard.
        EXPECT_EQ(g_calls[1].message, static_cast<DWORD>(NIM_SETVERSION));
        EXPECT_EQ(g_calls[1].data.uVersion, static_cast<UINT>(NOTIFYICON_VERSION_4));
        g_calls.erase(g_calls.begin() + 1);

        // A new tooltip alone: NIM_MODIFY of the text only.
        s.status_detail = "Programado";
        refresh_tray_icon(tray, renderer(), s, p);
        ASSERT_EQ(g_calls.size(), 2u);
        EXPECT_EQ(g_calls[1].message, static_cast<DWORD>(NIM_MODIFY));
        EXPECT_EQ(g_calls[1].data.uFlags, static_cast<UINT>(NIF_TIP | NIF_SHOWTIP));
        EXPECT_EQ(std::wstring(g_calls[1].data.szTip), L"Torvane · Programado");

        // A new image alone.
        s.on = true;
        refresh_tray_icon(tray, renderer(), s, p);
        ASSERT_EQ(g_calls.size(), 3u);
        EXPECT_EQ(g_calls[2].message, static_cast<DWORD>(NIM_MODIFY));
        EXPECT_EQ(g_calls[2].data.uFlags, 0x87u);
        EXPECT_NE(g_calls[2].data.hIcon, off_icon);
        const HICON on_icon = g_calls[2].data.hIcon;

        // Explorer restarted: added again with the same image and tooltip, and the version.
        tray_taskbar_created(tray, renderer(), s, p);
        ASSERT_EQ(g_calls.size(), 5u);
        EXPECT_EQ(g_calls[3].message, static_cast<DWORD>(NIM_ADD));
        EXPECT_EQ(g_calls[3].data.hIcon, on_icon);
        EXPECT_EQ(std::wstring(g_calls[3].data.szTip), L"Torvane · Programado");
        EXPECT_EQ(g_calls[4].message, static_cast<DWORD>(NIM_SETVERSION));
    }
    // Dropping the record removes the icon.
    ASSERT_EQ(g_calls.size(), 6u);
    EXPECT_EQ(g_calls[5].message, static_cast<DWORD>(NIM_DELETE));
    EXPECT_EQ(g_calls[5].data.hWnd, window_);
    EXPECT_EQ(g_calls[5].data.uID, 1u);
}

TEST_F(TrayShell, AFailedAddAdoptsTheIconTheShellAddedAnyway) {
    Preferences p;
    EngineState s;
    TrayIcon tray(window_, &recording_shell);
    g_add_answer = FALSE;  // timed out at log-on, but the icon is there
    refresh_tray_icon(tray, renderer(), s, p);
    ASSERT_EQ(g_calls.size(), 3u);
    EXPECT_EQ(g_calls[0].message, static_cast<DWORD>(NIM_ADD));
    EXPECT_EQ(g_calls[1].message, static_cast<DWORD>(NIM_MODIFY));
    EXPECT_EQ(g_calls[1].data.uFlags, 0x87u) << "the adopted icon gets image, tooltip and callback";
    EXPECT_EQ(g_calls[2].message, static_cast<DWORD>(NIM_SETVERSION));

    // From now on only modifications, never another add.
    refresh_tray_icon(tray, renderer(), s, p);
    EXPECT_EQ(g_calls.size(), 3u);
    s.status_detail = "Programado";
    refresh_tray_icon(tray, renderer(), s, p);
    ASSERT_EQ(g_calls.size(), 4u);
    EXPECT_EQ(g_calls[3].message, static_cast<DWORD>(NIM_MODIFY));
}

TEST_F(TrayShell, CacheKeepsEightAndTheImageOnScreen) {
    TrayIcon tray(window_, &recording_shell);
    auto draw = [&](uint32_t accent) {
        const std::string key = tray_icon_key(TrayState::active, rgb(accent), 16);
        return cached_tray_icon(tray, renderer(), key, TrayState::active, rgb(accent), 16);
    };
    std::vector<HICON> handles;
    for (uint32_t i = 0; i < 8; ++i)
        handles.push_back(draw(0x102030 + i));
    tray.current_key = tray_icon_key(TrayState::active, rgb(0x102033), 16);
    // The same key gives the same handle without drawing.
    EXPECT_EQ(draw(0x102033), handles[3]);
    EXPECT_EQ(tray.cache.size(), 8u);

    // The ninth image evicts all but the one on screen, which must stay alive.
    const HICON ninth = draw(0x405060);
    ASSERT_EQ(tray.cache.size(), 2u);
    EXPECT_EQ(tray.cache[0].icon.get(), handles[3]);
    EXPECT_EQ(tray.cache[1].icon.get(), ninth);
    for (HICON handle : handles) {
        ICONINFO info{};
        EXPECT_EQ(GetIconInfo(handle, &info) != FALSE, handle == handles[3]);
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
    }
}

TEST_F(TrayShell, AccentAndSizeAreReadAgainOnlyAfterAChange) {
    RegKey dwm;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\DWM", 0, nullptr,
                              0, KEY_READ | KEY_WRITE, nullptr, dwm.put(), nullptr),
              ERROR_SUCCESS);
    auto set_accent = [&](DWORD aabbggrr) {
        RegSetValueExW(dwm.get(), L"AccentColor", 0, REG_DWORD,
                       reinterpret_cast<const BYTE*>(&aabbggrr), sizeof aabbggrr);
    };
    set_accent(0xFFC06700);  // #0067C0
    Preferences p;
    EngineState s;
    s.on = true;
    TrayIcon tray(window_, &recording_shell);
    refresh_tray_icon(tray, renderer(), s, p);
    EXPECT_EQ(tray.current_key.substr(0, 14), "active-0067c0-");

    set_accent(0xFF2010E0);  // #E01020, not yet noticed
    refresh_tray_icon(tray, renderer(), s, p);
    EXPECT_EQ(tray.current_key.substr(0, 14), "active-0067c0-");

    tray_accent_changed(tray);
    refresh_tray_icon(tray, renderer(), s, p);
    EXPECT_EQ(tray.current_key.substr(0, 14), "active-e01020-");

    // The icon size is kept the same way, until the settings change.
    const std::string system_size = tray.current_key.substr(14);
    tray.icon_size = 40;
    refresh_tray_icon(tray, renderer(), s, p);
    EXPECT_EQ(tray.current_key, "active-e01020-40");
    tray_metrics_changed(tray);
    refresh_tray_icon(tray, renderer(), s, p);
    EXPECT_EQ(tray.current_key.substr(14), system_size);
    RegDeleteValueW(dwm.get(), L"AccentColor");
}

}  // namespace
}  // namespace torvane
