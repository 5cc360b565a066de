// Balloon requests and the theme, read from the registry under Wine.

#include "win/notify.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace torvane {
namespace {

// How the cut keeps surrogate pairs whole is the tooltip's; here each field's own length.
TEST(NotifyTest, FieldsAreWidenedAndCutToTheirBuffers) {
    const HWND window = reinterpret_cast<HWND>(0x1234);
    NOTIFYICONDATAW data =
        balloon_request(window, std::string(300, 'x'), "está…" + std::string(300, 'b'));
    EXPECT_EQ(data.hWnd, window);
    EXPECT_EQ(data.uID, 1u);
    EXPECT_EQ(data.uFlags, static_cast<UINT>(NIF_INFO));
    EXPECT_EQ(std::wstring(data.szInfoTitle), std::wstring(63, L'x'));
    EXPECT_EQ(std::wstring(data.szInfo), L"está…" + std::wstring(250, L'b'));
}

TEST(NotifyTest, ImmersiveColorSetIsReadWithinSixtyFourUnits) {
    EXPECT_FALSE(is_immersive_color_set(nullptr));
    EXPECT_TRUE(is_immersive_color_set(L"ImmersiveColorSet"));
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
    // Only 0 means dark; missing values give light with #0067C0.
    EXPECT_EQ(theme_from(std::nullopt, std::nullopt), make_theme(false, rgb(0x0067C0)));
    EXPECT_FALSE(theme_from(2, std::nullopt).dark);
    // Only dark lifts a dark accent, and the soft accent follows the lifted one.
    const Theme light = theme_from(1, 0xFF000000u), dark = theme_from(0, 0xFF000000u);
    EXPECT_EQ(light.accent, rgb(0x000000));
    EXPECT_TRUE(dark.dark);
    EXPECT_EQ(dark.accent, rgb(0x595959));
    EXPECT_EQ(dark.accentSoft, rgb(0x595959, 38));

    // Lifted only below luminance 0.35, each channel on its own.
    EXPECT_EQ(accent_for_dark(rgb(0x595959)), rgb(0x939393));
    EXPECT_EQ(accent_for_dark(rgb(0x5A5A5A)), rgb(0x5A5A5A));
    EXPECT_EQ(accent_for_dark(rgb(0xFF0000)), rgb(0xFF5959));
}

TEST(NotifyTest, ThemeComesFromTheUsersRegistry) {
    const wchar_t* const paths[] = {
        L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize",
        L"Software\\Microsoft\\Windows\\DWM"};
    const wchar_t* const names[] = {L"AppsUseLightTheme", L"AccentColor"};
    HKEY keys[2] = {};
    for (int i : {0, 1})
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, paths[i], 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &keys[i], nullptr),
                  ERROR_SUCCESS);
    auto set = [&](int i, DWORD type, std::vector<BYTE> data) {
        RegSetValueExW(keys[i], names[i], 0, type, data.data(), static_cast<DWORD>(data.size()));
    };
    set(0, REG_DWORD, {0, 0, 0, 0, 1, 1, 1, 1});  // longer data counts by its first four bytes
    set(1, REG_DWORD, {0xAA, 0x22, 0x33, 0xFF});
    EXPECT_EQ(read_theme(), make_theme(true, rgb(0xAA2233)));

    // Values of another type or too short do not count, nor do missing ones.
    const Theme fallback = theme_from(std::nullopt, std::nullopt);
    set(0, REG_QWORD, {0, 0, 0, 0, 0, 0, 0, 0});
    set(1, REG_BINARY, {0xAA, 0x22, 0x33, 0xFF});
    EXPECT_EQ(read_theme(), fallback);
    set(1, REG_DWORD, {0xAA, 0x22});
    EXPECT_EQ(read_theme(), fallback);
    for (int i : {0, 1}) {
        RegDeleteValueW(keys[i], names[i]);
        RegCloseKey(keys[i]);
    }
    EXPECT_EQ(read_theme(), fallback);
}

}  // namespace
}  // namespace torvane
