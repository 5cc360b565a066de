#pragma once
// Carries out the engine's keep-awake effects: a nudge becomes synthetic input plus a one-shot
// reset of the idle timers, and the continuous power request is held or released.
// Everything runs on the UI thread except the move-back of a standard nudge.

#include <windows.h>

#include <cstdint>
#include <functional>

#include "core/prefs.h"

namespace torvane {

// The virtual desktop (all monitors) in physical pixels; the origin may be negative.
struct VirtualDesktop {
    int32_t left = 0;
    int32_t top = 0;
    int32_t width = 0;
    int32_t height = 0;
};

VirtualDesktop virtual_desktop();

// Offset of a standard nudge: max(distance, 1) pixels along `angle` (radians; 0 points right,
// π/2 down), each axis rounded half to even and saturated to 32 bits.
POINT nudge_offset(double distance, double angle);

// Advances the xorshift64* generator `state` (non-zero) and returns an angle in [0, 2π).
double next_nudge_angle(uint64_t& state);

// The screen point (x, y), clamped onto the desktop and scaled to the 0…65535 units of an
// absolute MOUSEEVENTF_VIRTUALDESK move. Widths and heights below 3 count as 2.
POINT absolute_coordinates(int64_t x, int64_t y, const VirtualDesktop& desktop);

// Shows the on-screen nudge icon at the pointer position read before the nudge. The shell
// supplies it, since the icon window belongs to the application object.
using ShowNudgeIcon = std::function<void(POINT)>;

// One nudge in `mode`, then a one-shot reset of the system and display idle timers, then the
// icon when `show_icon` is set. A standard nudge moves the pointer and a "torvane-jiggle"
// thread moves it back 60 ms later; zen injects a move of (0, 0); click a left click in place.
// When the pointer position cannot be read, the input is skipped and the icon shows at (0, 0).
void nudge(MoveMode mode, double distance, bool randomize, bool show_icon,
           const ShowNudgeIcon& show_nudge_icon);

// Takes (`keep`) or drops the continuous system-and-display request. `held` is the caller's
// record of a request in force (the application object's power request flag): taking one that
// is held, or dropping one that is not, calls nothing.
void set_power_request(bool& held, bool keep);

}  // namespace torvane
