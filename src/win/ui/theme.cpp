// The two fixed palettes and the accent that completes them, and the high-contrast palette.

#include "win/ui/theme.h"

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
    .onAccent = rgb(0xFFFFFF),
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
    .onAccent = rgb(0xFFFFFF),
};

}  // namespace

Color accent_for_dark(Color accent) {
    return luminance(accent) < 0.35 ? lightened(accent, 0.35) : accent;
}

Theme make_theme(bool dark, Color system_accent) {
    Theme theme = dark ? dark_palette : light_palette;
    theme.accent = dark ? accent_for_dark(system_accent) : system_accent;
    theme.accentSoft = (theme.accent & 0xFFFFFF00) | 38;
    theme.link = theme.accent;
    return theme;
}

Theme make_high_contrast_theme(const SystemColors& system) {
    Theme theme;
    theme.dark = luminance(system.window) < 0.5;  // the settings window's title bar
    theme.highContrast = true;
    // States are told apart by glyph and text here, not by hue.
    theme.accent = theme.success = theme.warning = system.highlight;
    theme.onAccent = system.highlightText;
    theme.link = system.hotlight;
    theme.panelBackground = theme.windowBackground = theme.cardBackground = system.window;
    theme.textPrimary = theme.textSecondary = system.windowText;
    // Outlines in the text color, so that every control and card shows its edge.
    theme.border = theme.divider = theme.controlBorder = system.windowText;
    theme.accentSoft = theme.control = theme.controlHover = theme.controlPressed =
        system.buttonFace;
    theme.subtle = theme.subtleHover = theme.subtlePressed = system.buttonFace;
    theme.subtleStrong = theme.grayText = system.grayText;
    return theme;
}

}  // namespace torvane
