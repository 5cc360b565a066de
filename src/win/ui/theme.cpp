// The two fixed palettes and the accent that completes them.

#include "win/ui/theme.h"

#include <algorithm>

namespace torvane {

namespace {

constexpr Theme light_palette{
    .dark = false,
    .success = rgb(0x2E9E48),
    .warning = rgb(0xE07B00),
    .panelBackground = rgb(0xF9F9F9),
    .windowBackground = rgb(0xF3F3F3),
    .cardBackground = rgb(0xFFFFFF),
    .textPrimary = rgb(0x1A1A1A),
    .textSecondary = rgb(0x646464),
    .border = rgb(0xE3E3E3),
    .divider = rgb(0xE0E0E0),
    .control = rgb(0xFFFFFF),
    .controlHover = rgb(0xF6F6F6),
    .controlPressed = rgb(0xEFEFEF),
    .controlBorder = rgb(0xD1D1D1),
    .subtle = rgb(0x000000, 15),
    .subtleHover = rgb(0x000000, 26),
    .subtlePressed = rgb(0x000000, 38),
    .subtleStrong = rgb(0x000000, 64),
};

constexpr Theme dark_palette{
    .dark = true,
    .success = rgb(0x3DBE5C),
    .warning = rgb(0xF5A13A),
    .panelBackground = rgb(0x2C2C2C),
    .windowBackground = rgb(0x202020),
    .cardBackground = rgb(0x2B2B2B),
    .textPrimary = rgb(0xFFFFFF),
    .textSecondary = rgb(0xA8A8A8),
    .border = rgb(0x3A3A3A),
    .divider = rgb(0x3D3D3D),
    .control = rgb(0x373737),
    .controlHover = rgb(0x3F3F3F),
    .controlPressed = rgb(0x333333),
    .controlBorder = rgb(0x4A4A4A),
    .subtle = rgb(0xFFFFFF, 20),
    .subtleHover = rgb(0xFFFFFF, 34),
    .subtlePressed = rgb(0xFFFFFF, 46),
    .subtleStrong = rgb(0xFFFFFF, 64),
};

uint32_t channel(Color color, int shift) {
    return (color >> shift) & 0xFF;
}

uint32_t lightened(uint32_t c) {
    return static_cast<uint32_t>(std::clamp(c + (255.0 - c) * 0.35, 0.0, 255.0));
}

}  // namespace

Color accent_for_dark(Color accent) {
    const uint32_t r = channel(accent, 8), g = channel(accent, 16), b = channel(accent, 24);
    const double luminance = (0.2126 * r + 0.7152 * g + 0.0722 * b) / 255;
    if (luminance >= 0.35) return accent;
    return (lightened(b) << 24) | (lightened(g) << 16) | (lightened(r) << 8) | (accent & 0xFF);
}

Theme make_theme(bool dark, Color system_accent) {
    Theme theme = dark ? dark_palette : light_palette;
    theme.accent = dark ? accent_for_dark(system_accent) : system_accent;
    theme.accentSoft = (theme.accent & 0xFFFFFF00) | 38;
    return theme;
}

}  // namespace torvane
