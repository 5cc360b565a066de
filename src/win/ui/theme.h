#pragma once
// The light and dark palettes of the panel, the settings window and the nudge icon.

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
    bool operator==(const Theme&) const = default;
};

// A dark accent (luminance below 0.35) moved 35 % of the way to white, so that it stands out
// on the dark backgrounds; others unchanged. The alpha byte is kept.
Color accent_for_dark(Color accent);

// The palette of the given mode around the system accent.
Theme make_theme(bool dark, Color system_accent);

}  // namespace torvane
