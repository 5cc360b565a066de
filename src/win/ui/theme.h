#pragma once
// The palettes of the panel, the settings window and the nudge icon: light, dark, and the
// system colors of a high-contrast theme.

#include "win/ui/d2d.h"

namespace torvane {

struct Theme {
    bool dark = false;
    Color accent = 0;
    Color accentSoft = 0;
    Color success = 0;
    Color warning = 0;
    Color panelBackground = 0;
    Color windowBackground = 0;
    Color cardBackground = 0;
    Color textPrimary = 0;
    Color textSecondary = 0;
    Color border = 0;
    Color divider = 0;
    Color control = 0;
    Color controlHover = 0;
    Color controlPressed = 0;
    Color controlBorder = 0;
    Color subtle = 0;
    Color subtleHover = 0;
    Color subtlePressed = 0;
    Color subtleStrong = 0;
    Color onAccent = 0;  // marks drawn on an `accent` fill: knobs, checks, selected days
    Color link = 0;
    // High contrast: disabled controls are faded as in the palettes, but the text of a disabled
    // field takes the system's grey text.
    bool highContrast = false;
    Color grayText = 0;
    bool operator==(const Theme&) const = default;
};

// A dark accent (luminance below 0.35) moved 35 % of the way to white, so that it stands out
// on the dark backgrounds; others unchanged. The alpha byte is kept.
Color accent_for_dark(Color accent);

// The palette of the given mode around the system accent.
Theme make_theme(bool dark, Color system_accent);

// What a high-contrast theme sets, from GetSysColor.
struct SystemColors {
    Color window = 0;
    Color windowText = 0;
    Color highlight = 0;
    Color highlightText = 0;
    Color hotlight = 0;
    Color grayText = 0;
    Color buttonFace = 0;
};

// Every role of the palette taken by one of the system colors, so that the windows follow the
// user's high-contrast theme.
Theme make_high_contrast_theme(const SystemColors& system);

}  // namespace torvane
