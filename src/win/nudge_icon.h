#pragma once
// The small round icon that flashes beside the pointer after each nudge: a click-through
// layered pop-up that never takes activation, opaque for half a second, then fading out over
// the next half. Its window is made on the first nudge that shows it and kept until exit.
// UI thread only.

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <optional>

#include "core/result.h"
#include "win/ui/d2d.h"
#include "win/ui/theme.h"
#include "win/window.h"

namespace torvane {

inline constexpr UINT_PTR nudge_icon_timer = 1;
inline constexpr UINT nudge_icon_frame_ms = 33;

// The icon's opacity `ms` milliseconds after it was shown; none once it should be hidden.
std::optional<uint8_t> nudge_icon_alpha(int64_t ms);

// The icon drawn at `scale` (monitor DPI / 96): an accent disc of 40 × 40 scaled pixels
// holding the white pointer with its motion lines, on a transparent square.
Result<OffscreenImage> draw_nudge_icon(Renderer& renderer, Color accent, float scale);

class NudgeIcon final : public Window {
public:
    // Shows the icon below and to the right of `pointer` (physical pixels) and starts its fade;
    // a nudge while it is still up moves it and starts over. Any failure skips this one icon.
    void show(POINT pointer, Renderer& renderer, const Theme& theme);

    bool visible() const { return shown_at_.has_value(); }
    // Top-left corner of the last icon shown, in physical pixels.
    POINT position() const { return position_; }

private:
    std::optional<LRESULT> on_message(UINT message, WPARAM wparam, LPARAM lparam) override;
    bool create_window();
    void fade();
    void hide();

    std::optional<std::chrono::steady_clock::time_point> shown_at_;
    POINT position_{};
    // The picture on screen, kept while it shows: each step of the fade hands it over again.
    std::optional<OffscreenImage> image_;
};

}  // namespace torvane
