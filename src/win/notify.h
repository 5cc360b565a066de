#pragma once
// Balloon notifications on the program's notification-area icon, and the theme read from the
// user's light/dark choice and accent color.

#include <windows.h>

#include <shellapi.h>

#include <optional>
#include <string_view>

#include "win/ui/theme.h"

namespace torvane {

// The NIM_MODIFY request that shows `title` and `body` as a balloon on `window`'s icon, each
// cut to fit its field.
NOTIFYICONDATAW balloon_request(HWND window, std::string_view title, std::string_view body);

// Shows the balloon at once; without an icon in the notification area it is lost. Returns
// whether the shell took it.
bool show_notification(HWND window, std::string_view title, std::string_view body);

// The theme from "AppsUseLightTheme" (dark only when it is 0) and the DWM "AccentColor"
// (0xAABBGGRR), each missing when absent or not a DWORD.
Theme theme_from(std::optional<DWORD> apps_use_light_theme, std::optional<DWORD> accent_color);

// Whether the user's high-contrast theme is on (SPI_GETHIGHCONTRAST).
bool high_contrast_on();

// The theme Windows asks for: while high contrast is on, the system colors (GetSysColor);
// otherwise the palette from the current user's registry values.
Theme read_theme(bool high_contrast = high_contrast_on());

// Whether the text a WM_SETTINGCHANGE carries in lParam (possibly null) names the color set:
// read up to its first NUL but never past 64 units.
bool is_immersive_color_set(const wchar_t* text);

}  // namespace torvane
