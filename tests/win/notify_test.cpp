// Balloon requests and the theme, read from the registry under Wine.

#include "win/notify.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "win/handle.h"

namespace torvane {
namespace {

const std::wstring emoji = L"\U0001F600";  // one surrogate pair

TEST(NotifyTest, FieldsAreCutWithoutSplittingAPair) {
    const HWND window = reinterpret_cast<HWND>(0x1234);
    // 62 ASCII units and a pair make 64 units: the pair goes, NUL at 62.
    const std::string title = std::string(62, 't') + "\xF0\x9F\x98\x80";
    // 253 units, then a pair that ends exactly at the 255th unit, then more.
    const std::string body = std::string(253, 'b') + "\xF0\x9F\x98\x80" + "xyz";
    NOTIFYICONDATAW data = balloon_request(window, title, body);
    EXPECT_EQ(data.hWnd, window);
    EXPECT_EQ(data.uID, 1u);
    EXPECT_EQ(data.uFlags, static_cast<UINT>(NIF_INFO));
    EXPECT_EQ(data.dwInfoFlags, 0u);
    EXPECT_EQ(std::wstring(data.szInfoTitle), std::wstring(62, L't'));
    EXPECT_EQ(std::wstring(data.szInfo), std::wstring(253, L'b') + emoji);

    data = balloon_request(window, std::string(300, 'x'), "Torvane está activo · 1 h…");
    EXPECT_EQ(std::wstring(data.szInfoTitle), std::wstring(63, L'x'));
    EXPECT_EQ(std::wstring(data.szInfo), L"Torvane está activo · 1 h…");
}

TEST(NotifyTest, ImmersiveColorSetIsReadWithinSixtyFourUnits) {
    EXPECT_FALSE(is_immersive_color_set(nullptr));
    EXPECT_TRUE(is_immersive_color_set(L"ImmersiveColorSet"));
    EXPECT_TRUE(is_immersive_color_set(L"ImmersiveColorSet\0Policy"));
    EXPECT_FALSE(is_immersive_color_set(L"ImmersiveColorSetX"));
    EXPECT_FALSE(is_immersive_color_set(L"immersivecolorset"));

    // 64 units without a NUL at the very end of a readable page: reading one more faults.
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    const SIZE_T page = system.dwPageSize;
    auto* base = static_cast<char*>(
        VirtualAlloc(nullptr, 2 * page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    ASSERT_NE(base, nullptr);
    DWORD old = 0;
    ASSERT_TRUE(VirtualProtect(base + page, page, PAGE_NOACCESS, &old));
    auto* text = reinterpret_cast<wchar_t*>(base + page) - 64;
    std::wstring(L"ImmersiveColorSet").copy(text, 17);
    std::fill(text + 17, text + 64, L' ');
    EXPECT_FALSE(is_immersive_color_set(text));
    VirtualFree(base, 0, MEM_RELEASE);
}

TEST(NotifyTest, ThemeFollowsModeAndAccent) {
    // Missing values: light with the default accent.
    Theme theme = theme_from(std::nullopt, std::nullopt);
    EXPECT_FALSE(theme.dark);
    EXPECT_EQ(theme.accent, rgb(0x0067C0));
    EXPECT_EQ(theme.accentSoft, rgb(0x0067C0, 38));
    EXPECT_EQ(theme.panelBackground, rgb(0xF9F9F9));
    EXPECT_EQ(theme.subtle, rgb(0x000000, 15));

    // Only 0 means dark. The DWM colour is 0xAABBGGRR; its alpha byte is ignored.
    EXPECT_FALSE(theme_from(1, std::nullopt).dark);
    EXPECT_FALSE(theme_from(2, std::nullopt).dark);
    theme = theme_from(1, 0x803322AAu);
    EXPECT_EQ(theme.accent, rgb(0xAA2233));
    EXPECT_EQ(theme.accentSoft, rgb(0xAA2233, 38));
    EXPECT_EQ(theme_from(1, 0xFF000000u).accent, rgb(0x000000));

    theme = theme_from(0, 0xFF000000u);
    EXPECT_TRUE(theme.dark);
    EXPECT_EQ(theme.accent, rgb(0x595959));
    EXPECT_EQ(theme.accentSoft, rgb(0x595959, 38));
    EXPECT_EQ(theme.success, rgb(0x3DBE5C));
    EXPECT_EQ(theme.windowBackground, rgb(0x202020));
    EXPECT_EQ(theme.textPrimary, rgb(0xFFFFFF));
    EXPECT_EQ(theme.subtlePressed, rgb(0xFFFFFF, 46));
    EXPECT_EQ(theme_from(0, std::nullopt).accent, rgb(0x599CD6));

    // Lifted only below luminance 0.35, each channel on its own.
    EXPECT_EQ(accent_for_dark(rgb(0x595959)), rgb(0x939393));
    EXPECT_EQ(accent_for_dark(rgb(0x5A5A5A)), rgb(0x5A5A5A));
    EXPECT_EQ(accent_for_dark(rgb(0xFF0000)), rgb(0xFF5959));
    EXPECT_EQ(accent_for_dark(rgb(0x00FF00)), rgb(0x00FF00));
    EXPECT_EQ(accent_for_dark(rgb(0xFFFFFF)), rgb(0xFFFFFF));
}

// Sets values for one test and puts back what was there before.
class SavedValue {
public:
    SavedValue(const wchar_t* subkey, const wchar_t* name) : name_(name) {
        HKEY raw = nullptr;
        RegCreateKeyExW(HKEY_CURRENT_USER, subkey, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                        &raw, nullptr);
        key_ = raw;
        DWORD size = 0;
        if (RegQueryValueExW(key_, name, nullptr, &type_, nullptr, &size) == ERROR_SUCCESS) {
            saved_.emplace(size);
            RegQueryValueExW(key_, name, nullptr, &type_, saved_->data(), &size);
        }
    }
    ~SavedValue() {
        if (saved_)
            RegSetValueExW(key_, name_, 0, type_, saved_->data(),
                           static_cast<DWORD>(saved_->size()));
        else
            RegDeleteValueW(key_, name_);
        RegCloseKey(key_);
    }
    bool valid() const { return key_ != nullptr; }
    void set(DWORD type, std::vector<BYTE> data) const {
        RegSetValueExW(key_, name_, 0, type, data.data(), static_cast<DWORD>(data.size()));
    }
    void set_dword(DWORD value) const {
        set(REG_DWORD, {BYTE(value), BYTE(value >> 8), BYTE(value >> 16), BYTE(value >> 24)});
    }
    void remove() const { RegDeleteValueW(key_, name_); }

private:
    const wchar_t* name_;
    HKEY key_ = nullptr;
    DWORD type_ = 0;
    std::optional<std::vector<BYTE>> saved_;
};

TEST(NotifyTest, ThemeComesFromTheUsersRegistry) {
    const SavedValue light(L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize",
                           L"AppsUseLightTheme");
    const SavedValue accent(L"Software\\Microsoft\\Windows\\DWM", L"AccentColor");
    ASSERT_TRUE(light.valid());
    ASSERT_TRUE(accent.valid());

    light.remove();
    accent.remove();
    EXPECT_EQ(read_theme(), theme_from(std::nullopt, std::nullopt));

    light.set_dword(0);
    accent.set_dword(0xFF3322AA);
    EXPECT_EQ(read_theme(), make_theme(true, rgb(0xAA2233)));
    light.set_dword(1);
    EXPECT_EQ(read_theme(), make_theme(false, rgb(0xAA2233)));

    // Longer DWORD data counts by its first four bytes.
    light.set(REG_DWORD, {0, 0, 0, 0, 1, 1, 1, 1});
    EXPECT_TRUE(read_theme().dark);

    // Values of another type or too short do not count.
    light.set(REG_SZ, {'0', 0, 0, 0});
    accent.set(REG_DWORD, {0xAA, 0x22});
    EXPECT_EQ(read_theme(), theme_from(std::nullopt, std::nullopt));
    light.set(REG_QWORD, {0, 0, 0, 0, 0, 0, 0, 0});
    accent.set(REG_BINARY, {0xAA, 0x22, 0x33, 0xFF});
    EXPECT_EQ(read_theme(), theme_from(std::nullopt, std::nullopt));
}

LRESULT CALLBACK plain_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    return DefWindowProcW(window, message, wparam, lparam);
}

TEST(NotifyTest, BalloonNeedsTheTrayIcon) {
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = plain_window_proc;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.lpszClassName = L"TorvaneNotifyTest";
    RegisterClassW(&window_class);
    const HWND window = CreateWindowExW(0, window_class.lpszClassName, L"", WS_POPUP, 0, 0, 0, 0,
                                        nullptr, nullptr, window_class.hInstance, nullptr);
    ASSERT_NE(window, nullptr);

    EXPECT_FALSE(show_notification(window, "Torvane", "Sin ícono"));

    NOTIFYICONDATAW icon{};
    icon.cbSize = sizeof icon;
    icon.hWnd = window;
    icon.uID = 1;
    icon.uFlags = NIF_ICON | NIF_TIP;
    icon.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    std::wstring(L"Torvane").copy(icon.szTip, 7);
    ASSERT_TRUE(Shell_NotifyIconW(NIM_ADD, &icon));
    EXPECT_TRUE(show_notification(window, "Torvane activado", "Se mantiene despierta la PC."));
    Shell_NotifyIconW(NIM_DELETE, &icon);
    DestroyWindow(window);
}

}  // namespace
}  // namespace torvane
