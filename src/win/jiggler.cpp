// Synthetic input for nudges and the continuous power request.

#include "win/jiggler.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <new>
#include <numbers>

#include "core/platform.h"
#include "core/rng.h"
#include "win/fault.h"
#include "win/handle.h"
#include "win/threads.h"

namespace torvane {

namespace {

constexpr DWORD absolute_move = MOUSEEVENTF_MOVE | MOUSEEVENTF_VIRTUALDESK | MOUSEEVENTF_ABSOLUTE;
constexpr DWORD move_back_delay_ms = 60;

// Half to even (the default floating-point rounding mode); NaN counts as 0.
LONG round_saturated(double v) {
    const double r = std::nearbyint(v);
    if (std::isnan(r)) return 0;
    if (r <= std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    if (r >= std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    return static_cast<LONG>(r);
}

INPUT mouse_input(DWORD flags, LONG dx = 0, LONG dy = 0) {
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dx = dx;
    input.mi.dy = dy;
    input.mi.dwFlags = flags;
    return input;
}

void move_to(int64_t x, int64_t y) {
    const POINT a = absolute_coordinates(x, y, virtual_desktop());
    INPUT input = mouse_input(absolute_move, a.x, a.y);
    SendInput(1, &input, sizeof(INPUT));
}

// Per thread so that nudges never share state across threads; seeded on first use.
uint64_t& direction_state() {
    thread_local uint64_t state = 0;
    if (state == 0) {
        random_bytes(&state, sizeof state);
        state |= 1;
    }
    return state;
}

DWORD WINAPI move_back(void* param) {
    const std::unique_ptr<POINT> origin(static_cast<POINT*>(param));
    name_current_thread(L"torvane-jiggle");
    guarded("torvane-jiggle", [&] {
        Sleep(move_back_delay_ms);
        move_to(origin->x, origin->y);
    });
    return 0;
}

// Not joined: the thread owns its copy of the origin and ends by itself. When it cannot be
// started the pointer simply stays where the nudge put it.
void start_move_back(POINT origin) {
    auto param = std::unique_ptr<POINT>(new (std::nothrow) POINT(origin));
    if (!param) return;
    Handle thread(CreateThread(nullptr, 0, move_back, param.get(), 0, nullptr));
    if (thread) param.release();
}

void standard_nudge(POINT p, double distance, bool randomize) {
    const double angle = randomize ? next_nudge_angle(direction_state()) : 0.0;
    const POINT offset = nudge_offset(distance, angle);
    move_to(int64_t{p.x} + offset.x, int64_t{p.y} + offset.y);
    start_move_back(p);
}

void send_nudge_input(MoveMode mode, POINT p, double distance, bool randomize) {
    switch (mode) {
        case MoveMode::standard:
            standard_nudge(p, distance, randomize);
            break;
        case MoveMode::zen: {
            INPUT input = mouse_input(MOUSEEVENTF_MOVE);
            SendInput(1, &input, sizeof(INPUT));
            break;
        }
        case MoveMode::click: {
            INPUT inputs[] = {mouse_input(MOUSEEVENTF_LEFTDOWN), mouse_input(MOUSEEVENTF_LEFTUP)};
            SendInput(2, inputs, sizeof(INPUT));
            break;
        }
    }
}

}  // namespace

VirtualDesktop virtual_desktop() {
    return {GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
            GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN)};
}

POINT nudge_offset(double distance, double angle) {
    const double d = std::fmax(distance, 1.0);
    return {round_saturated(std::cos(angle) * d), round_saturated(std::sin(angle) * d)};
}

double next_nudge_angle(uint64_t& state) {
    return next_unit(state) * 2 * std::numbers::pi;
}

POINT absolute_coordinates(int64_t x, int64_t y, const VirtualDesktop& desktop) {
    const int64_t w = desktop.width < 3 ? 2 : desktop.width;
    const int64_t h = desktop.height < 3 ? 2 : desktop.height;
    const int64_t cx = std::clamp<int64_t>(x, desktop.left, desktop.left + w - 1);
    const int64_t cy = std::clamp<int64_t>(y, desktop.top, desktop.top + h - 1);
    return {round_saturated(static_cast<double>(cx - desktop.left) * 65535 / (w - 1)),
            round_saturated(static_cast<double>(cy - desktop.top) * 65535 / (h - 1))};
}

void nudge(MoveMode mode, double distance, bool randomize, bool show_icon,
           const ShowNudgeIcon& show_nudge_icon) {
    POINT p{};
    if (GetCursorPos(&p)) send_nudge_input(mode, p, distance, randomize);
    SetThreadExecutionState(ES_SYSTEM_REQUIRED | ES_DISPLAY_REQUIRED);
    if (show_icon && show_nudge_icon) show_nudge_icon(p);
}

void set_power_request(bool& held, bool keep) {
    if (keep && !held) {
        held =
            SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED | ES_DISPLAY_REQUIRED) != 0;
    } else if (!keep && held) {
        SetThreadExecutionState(ES_CONTINUOUS);
        held = false;
    }
}

}  // namespace torvane
