// The jiggler's arithmetic, and its input against a real pointer (Wine on an X server).

#include "win/jiggler.h"

#include <windows.h>

#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <numbers>
#include <string_view>
#include <vector>

#include "win/handle.h"

// Exported by kernel32 since Windows 10 1607, but missing from the mingw-w64 10 headers.
extern "C" __declspec(dllimport) HRESULT WINAPI
    GetThreadDescription(HANDLE thread, PWSTR* description);

namespace torvane {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr double kPi = std::numbers::pi;

bool same(POINT a, POINT b) {
    return a.x == b.x && a.y == b.y;
}

::testing::AssertionResult at(POINT expected, POINT actual) {
    if (same(expected, actual)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "expected (" << expected.x << ", " << expected.y
                                         << "), got (" << actual.x << ", " << actual.y << ")";
}

POINT cursor() {
    POINT p{-1, -1};
    GetCursorPos(&p);
    return p;
}

void pump_for(milliseconds span) {
    const auto end = Clock::now() + span;
    MSG msg;
    while (Clock::now() < end) {
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
        Sleep(1);
    }
}

template <class Predicate>
bool within(milliseconds span, Predicate done) {
    const auto start = Clock::now();
    while (!done()) {
        if (Clock::now() - start > span) return false;
        Sleep(1);
    }
    return true;
}

// Wine only warps the X pointer when its own idea of the position changes, and resynchronises
// with the X pointer 100 ms later; the detour makes sure the warp happens. Retries cover the
// first moments of a Wine session, when the desktop process still resets the pointer.
::testing::AssertionResult place_cursor(POINT p) {
    for (int attempt = 0; attempt < 30; ++attempt) {
        SetCursorPos(p.x + 1, p.y + 1);
        SetCursorPos(p.x, p.y);
        pump_for(milliseconds(150));
        if (same(cursor(), p)) return ::testing::AssertionSuccess();
    }
    return at(p, cursor());
}

bool thread_named_in_process(std::wstring_view name) {
    FileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    if (!snapshot) return false;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL ok = Thread32First(snapshot.get(), &entry); ok;
         ok = Thread32Next(snapshot.get(), &entry)) {
        if (entry.th32OwnerProcessID != GetCurrentProcessId()) continue;
        Handle thread(OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ThreadID));
        PWSTR description = nullptr;
        if (!thread || FAILED(GetThreadDescription(thread.get(), &description))) continue;
        const bool match = name == description;
        LocalFree(description);
        if (match) return true;
    }
    return false;
}

bool jiggle_thread_running() {
    return thread_named_in_process(L"torvane-jiggle");
}

// After a standard nudge started at `start`: the pointer is back at `p` no sooner than the
// move-back delay, and the move-back thread ends. (Under Wine that thread's X pointer warp
// lands a little after the position changes; later moves must not race it.)
::testing::AssertionResult returns_to(POINT p, Clock::time_point start) {
    if (!within(milliseconds(2000), [&] { return same(cursor(), p); }))
        return at(p, cursor()) << " (the pointer did not return)";
    const auto back = std::chrono::duration_cast<milliseconds>(Clock::now() - start);
    if (!within(milliseconds(2000), [] { return !jiggle_thread_running(); }))
        return ::testing::AssertionFailure() << "the move-back thread did not end";
    if (back < milliseconds(55))
        return ::testing::AssertionFailure() << "back after " << back.count() << " ms";
    return ::testing::AssertionSuccess();
}

DWORD last_input_tick() {
    LASTINPUTINFO info{sizeof info, 0};
    GetLastInputInfo(&info);
    return info.dwTime;
}

}  // namespace

TEST(JigglerMath, NudgeOffsetRoundsHalfToEvenAndSaturates) {
    EXPECT_TRUE(at({4, 0}, nudge_offset(4, 0)));
    EXPECT_TRUE(at({-4, 0}, nudge_offset(4, kPi)));
    EXPECT_TRUE(at({0, 4}, nudge_offset(4, kPi / 2)));  // y grows downwards
    EXPECT_TRUE(at({3, 3}, nudge_offset(4, kPi / 4)));  // 2.83 each
    // At least one pixel, whatever the distance says.
    EXPECT_TRUE(at({1, 0}, nudge_offset(0.2, 0)));
    EXPECT_TRUE(at({1, 0}, nudge_offset(std::numeric_limits<double>::quiet_NaN(), 0)));
    // Ties go to the even neighbour.
    EXPECT_TRUE(at({2, 0}, nudge_offset(2.5, 0)));
    EXPECT_TRUE(at({4, 0}, nudge_offset(3.5, 0)));
    EXPECT_TRUE(at({-2, 0}, nudge_offset(2.5, kPi)));
    // Saturated, not wrapped.
    EXPECT_TRUE(at({std::numeric_limits<int32_t>::max(), 0}, nudge_offset(1e12, 0)));
    EXPECT_TRUE(at({std::numeric_limits<int32_t>::min(), 0}, nudge_offset(1e12, kPi)));
}

TEST(JigglerMath, DirectionsFollowXorshiftStar) {
    // Reference values from an independent implementation of xorshift64* (12, 25, 27).
    uint64_t state = 1;
    EXPECT_DOUBLE_EQ(1.7645386602174624, next_nudge_angle(state));
    EXPECT_EQ(0x2000001u, state);
    EXPECT_DOUBLE_EQ(4.216879727318081, next_nudge_angle(state));
    EXPECT_EQ(0x4004000802801u, state);

    bool quadrant[4] = {};
    for (int i = 0; i < 1000; ++i) {
        const double a = next_nudge_angle(state);
        ASSERT_GE(a, 0.0);
        ASSERT_LT(a, 2 * kPi);
        ASSERT_NE(0u, state);
        quadrant[static_cast<int>(a / (kPi / 2))] = true;
    }
    EXPECT_TRUE(quadrant[0] && quadrant[1] && quadrant[2] && quadrant[3]);
}

TEST(JigglerMath, AbsoluteCoordinatesClampAndScale) {
    const VirtualDesktop screen{0, 0, 1280, 800};
    EXPECT_TRUE(at({0, 0}, absolute_coordinates(0, 0, screen)));
    EXPECT_TRUE(at({65535, 65535}, absolute_coordinates(1279, 799, screen)));
    EXPECT_TRUE(at({5329, 8202}, absolute_coordinates(104, 100, screen)));  // 5328.88, 8202.13
    // Off the desktop: clamped onto its last pixel, not scaled beyond 65535 or below 0.
    EXPECT_TRUE(at({65535, 65535}, absolute_coordinates(1283, 803, screen)));
    EXPECT_TRUE(at({0, 0}, absolute_coordinates(-4, -4, screen)));
    const int64_t huge = int64_t{std::numeric_limits<int32_t>::max()} + 10;
    EXPECT_TRUE(at({65535, 0}, absolute_coordinates(huge, -huge, screen)));

    // Two monitors, the second left of and above the primary one.
    const VirtualDesktop pair{-1920, -300, 3840, 1380};
    EXPECT_TRUE(at({0, 0}, absolute_coordinates(-1920, -300, pair)));
    EXPECT_TRUE(at({65535, 65535}, absolute_coordinates(1919, 1079, pair)));
    EXPECT_TRUE(at({32776, 14257}, absolute_coordinates(0, 0, pair)));  // 32776.04, 14257.07
    EXPECT_TRUE(at({0, 65535}, absolute_coordinates(-5000, 5000, pair)));

    // Exact halves go to the even neighbour: 65535 × 1/6 = 10922.5, × 5/6 = 54612.5.
    const VirtualDesktop seven{10, 20, 7, 7};
    EXPECT_TRUE(at({10922, 54612}, absolute_coordinates(11, 25, seven)));
    EXPECT_TRUE(at({32768, 32768}, absolute_coordinates(13, 23, seven)));  // 32767.5

    // A degenerate desktop counts as two pixels wide and high instead of dividing by zero.
    EXPECT_TRUE(at({0, 0}, absolute_coordinates(5, 5, {5, 5, 0, 1})));
    EXPECT_TRUE(at({65535, 65535}, absolute_coordinates(9, 9, {5, 5, 0, 1})));
}

TEST(Jiggler, StandardNudgeMovesOutAndBack) {
    const POINT p{200, 300};
    ASSERT_TRUE(place_cursor(p));
    auto start = Clock::now();
    nudge(MoveMode::standard, 4, false, false, {});
    EXPECT_TRUE(at({204, 300}, cursor()));
    EXPECT_TRUE(within(milliseconds(50), jiggle_thread_running));
    EXPECT_TRUE(returns_to(p, start));

    // Random direction: the same distance, somewhere around the start.
    const POINT q{600, 400};
    ASSERT_TRUE(place_cursor(q));
    start = Clock::now();
    nudge(MoveMode::standard, 30, true, false, {});
    const POINT moved = cursor();
    EXPECT_NEAR(30.0, std::hypot(moved.x - q.x, moved.y - q.y), 1.0);
    EXPECT_TRUE(returns_to(q, start));

    // Near the bottom-right corner of the desktop the outward move stops at the edge.
    const VirtualDesktop desk = virtual_desktop();
    const POINT corner{desk.left + desk.width - 3, desk.top + desk.height - 1};
    ASSERT_TRUE(place_cursor(corner));
    start = Clock::now();
    nudge(MoveMode::standard, 10, false, false, {});
    EXPECT_TRUE(at({corner.x + 2, corner.y}, cursor()));
    EXPECT_TRUE(returns_to(corner, start));
}

TEST(Jiggler, IconGetsThePointerFromBeforeTheNudge) {
    const POINT p{400, 200};
    ASSERT_TRUE(place_cursor(p));
    std::vector<POINT> shown;
    const ShowNudgeIcon show = [&](POINT where) { shown.push_back(where); };

    const auto start = Clock::now();
    nudge(MoveMode::standard, 8, false, true, show);
    ASSERT_EQ(1u, shown.size());
    EXPECT_TRUE(at(p, shown[0]));
    EXPECT_TRUE(returns_to(p, start));

    nudge(MoveMode::zen, 8, false, false, show);
    EXPECT_EQ(1u, shown.size());
}

TEST(Jiggler, ZenResetsIdleWithoutMoving) {
    const POINT p{300, 300};
    ASSERT_TRUE(place_cursor(p));
    const DWORD before = last_input_tick();
    Sleep(20);

    nudge(MoveMode::zen, 40, true, false, {});
    EXPECT_GT(last_input_tick(), before);
    EXPECT_TRUE(at(p, cursor()));
    Sleep(120);  // no delayed move either
    EXPECT_TRUE(at(p, cursor()));
}

namespace {

struct Clicks {
    int down = 0;
    int up = 0;
    LPARAM down_at = -1;
};
Clicks g_clicks;

LRESULT CALLBACK click_target_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_LBUTTONDOWN) {
        ++g_clicks.down;
        g_clicks.down_at = lp;
    }
    if (msg == WM_LBUTTONUP) ++g_clicks.up;
    return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace

TEST(Jiggler, ClickLandsOnTheWindowUnderThePointer) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = click_target_proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"TorvaneJigglerClickTarget";
    ASSERT_TRUE(RegisterClassExW(&wc));
    HWND target = CreateWindowExW(WS_EX_TOPMOST, wc.lpszClassName, L"", WS_POPUP | WS_VISIBLE, 500,
                                  400, 100, 100, nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_TRUE(target);
    const POINT p{530, 440};
    ASSERT_TRUE(place_cursor(p));
    g_clicks = {};
    const DWORD before = last_input_tick();
    Sleep(20);

    nudge(MoveMode::click, 4, false, false, {});
    pump_for(milliseconds(300));
    EXPECT_EQ(1, g_clicks.down);
    EXPECT_EQ(1, g_clicks.up);
    EXPECT_EQ(MAKELPARAM(30, 40), g_clicks.down_at);  // client coordinates of the pointer
    EXPECT_TRUE(at(p, cursor()));
    EXPECT_GT(last_input_tick(), before);

    DestroyWindow(target);
    UnregisterClassW(wc.lpszClassName, wc.hInstance);
}

// The request itself has no effect under Wine, which only records it. SetThreadExecutionState
// returns the recorded request while replacing it, which shows whether set_power_request
// called at all.
TEST(Jiggler, PowerRequestIsTakenAndDroppedOnce) {
    constexpr EXECUTION_STATE kKeep = ES_CONTINUOUS | ES_SYSTEM_REQUIRED | ES_DISPLAY_REQUIRED;
    SetThreadExecutionState(ES_CONTINUOUS);
    bool held = false;

    set_power_request(held, true);
    EXPECT_TRUE(held);
    EXPECT_EQ(kKeep, SetThreadExecutionState(ES_CONTINUOUS));

    // Held already: a second request calls nothing, so the cleared state stays cleared.
    set_power_request(held, true);
    EXPECT_TRUE(held);
    EXPECT_EQ(ES_CONTINUOUS, SetThreadExecutionState(kKeep));

    set_power_request(held, false);
    EXPECT_FALSE(held);
    EXPECT_EQ(ES_CONTINUOUS, SetThreadExecutionState(kKeep));

    // Nothing held: dropping calls nothing, so the request set behind its back survives.
    set_power_request(held, false);
    EXPECT_FALSE(held);
    EXPECT_EQ(kKeep, SetThreadExecutionState(ES_CONTINUOUS));
}

}  // namespace torvane
