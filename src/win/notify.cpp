// Balloons through Shell_NotifyIconW and the theme's registry inputs.

#include "win/notify.h"

#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "core/status_text.h"
#include "win/registry.h"
#include "win/ui/tray.h"
#include "win/wtext.h"

namespace torvane {

namespace {

template <size_t N>
void copy_field(std::string_view utf8, wchar_t (&field)[N]) {
    const std::wstring cut = widen(text::cut_utf16(utf8, N - 1));
    cut.copy(field, cut.size());
    field[cut.size()] = L'\0';
}

}  // namespace

NOTIFYICONDATAW balloon_request(HWND window, std::string_view title, std::string_view body) {
    NOTIFYICONDATAW data = tray_icon_data(window);
    data.uFlags = NIF_INFO;
    data.dwInfoFlags = NIIF_NONE;
    copy_field(title, data.szInfoTitle);
    copy_field(body, data.szInfo);
    return data;
}

bool show_notification(HWND window, std::string_view title, std::string_view body) {
    NOTIFYICONDATAW data = balloon_request(window, title, body);
    return Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
}

Theme theme_from(std::optional<DWORD> apps_use_light_theme, std::optional<DWORD> accent_color) {
    const bool dark = apps_use_light_theme == 0u;
    return make_theme(dark, accent_color ? from_dwm_color(*accent_color) : default_accent);
}

bool high_contrast_on() {
    HIGHCONTRASTW high_contrast{};
    high_contrast.cbSize = sizeof high_contrast;
    return SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof high_contrast, &high_contrast, 0) &&
           (high_contrast.dwFlags & HCF_HIGHCONTRASTON);
}

Theme read_theme(bool high_contrast) {
    // A COLORREF is 0x00BBGGRR, laid out as the DWM's colors are.
    auto system = [](int index) { return from_dwm_color(GetSysColor(index)); };
    if (high_contrast)
        return make_high_contrast_theme({.window = system(COLOR_WINDOW),
                                         .windowText = system(COLOR_WINDOWTEXT),
                                         .highlight = system(COLOR_HIGHLIGHT),
                                         .highlightText = system(COLOR_HIGHLIGHTTEXT),
                                         .hotlight = system(COLOR_HOTLIGHT),
                                         .grayText = system(COLOR_GRAYTEXT),
                                         .buttonFace = system(COLOR_BTNFACE)});
    return theme_from(
        read_dword(HKEY_CURRENT_USER,
                   L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize",
                   L"AppsUseLightTheme"),
        read_dword(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\DWM", L"AccentColor"));
}

bool is_immersive_color_set(const wchar_t* text) {
    return text && std::wstring_view(text, wcsnlen(text, 64)) == L"ImmersiveColorSet";
}

}  // namespace torvane
