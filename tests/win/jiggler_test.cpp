// The jiggler's arithmetic, and its input against a real pointer (Wine on an X server).

#include "win/jiggler.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <limits>
#include <numbers>
#include <vector>

#include "test_util.h"

namespace torvane {
namespace {

using Clock = TestClock;

constexpr double pi = std::numbers::pi;
constexpr long int32_min = std::numeric_limits<int32_t>::min();
constexpr long int32_max = std::numeric_limits<int32_t>::max();

XY xy(POINT p) {
    return {p.x, p.y};
}

// Milliseconds until the pointer is back at `p` after a nudge started at `start`, -1 when not
// within 2 s. The pause after it lets Wine's X pointer warp land before later moves.
long back_after(XY p, Clock::time_point start) {
    if (!within(milliseconds(2000), [&] { return cursor() == p; })) return -1;
    const auto back = std::chrono::duration_cast<milliseconds>(Clock::now() - start);
    pump_for(milliseconds(150));
    return static_cast<long>(back.count());
}

TEST(JigglerMath, NudgeOffsetAndDirection) {
    struct Case {
        double distance, angle;
        XY offset;
    };
    // y grows downwards; at least one pixel; ties to even; saturated, not wrapped.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Case cases[] = {
        {4, pi / 2, {0, 4}},        {0.2, 0, {1, 0}}, {nan, 0, {1, 0}},
        {2.5, 0, {2, 0}},           {3.5, 0, {4, 0}}, {1e12, 0, {int32_max, 0}},
        {1e12, pi, {int32_min, 0}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(xy(nudge_offset(c.distance, c.angle)), c.offset) << c.distance;
    // Reference values from an independent implementation of xorshift64* (12, 25, 27).
    uint64_t state = 1;
    EXPECT_DOUBLE_EQ(1.7645386602174624, next_nudge_angle(state));
    EXPECT_DOUBLE_EQ(4.216879727318081, next_nudge_angle(state));
}

// Clamped onto the desktop, scaled to 0 … 65535 with ties to even (65535 × 1/6 = 10922.5,
// × 5/6 = 54612.5, × 1/2 = 32767.5); a degenerate desktop counts as two pixels, not zero.
TEST(JigglerMath, AbsoluteCoordinatesClampAndScale) {
    const VirtualDesktop one{0, 0, 1280, 800};
    const VirtualDesktop two{-1920, -300, 3840, 1380};  // the second monitor left and above
    const VirtualDesktop odd{10, 20, 7, 7};
    const VirtualDesktop flat{5, 5, 0, 1};
    const int64_t huge = int64_t{int32_max} + 10;
    struct Case {
        VirtualDesktop desktop;
        int64_t x, y;
        long ux, uy;
    };
    const Case cases[] = {
        {one, 104, 100, 5329, 8202}, {one, 1283, 803, 65535, 65535}, {one, huge, -huge, 65535, 0},
        {two, 0, 0, 32776, 14257},   {odd, 11, 25, 10922, 54612},    {odd, 13, 23, 32768, 32768},
        {flat, 9, 9, 65535, 65535},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(xy(absolute_coordinates(c.x, c.y, c.desktop)), XY(c.ux, c.uy))
            << c.x << ", " << c.y;
    }
}

// The icon gets the pointer from before the nudge; zen then resets the idle time in place.
TEST(Jiggler, StandardNudgeMovesOutAndBackAndZenStaysPut) {
    const XY p{200, 300};
    ASSERT_EQ(place_cursor(p), p);
    std::vector<XY> shown;
    const auto start = Clock::now();
    nudge(MoveMode::standard, 4, false, true, [&](POINT where) { shown.push_back(xy(where)); });
    EXPECT_EQ(cursor(), XY(204, 300));
    EXPECT_EQ(shown, std::vector<XY>{p});
    EXPECT_GE(back_after(p, start), 55);  // the move-back delay

    // At the right edge the move stops on the last pixel column.
    const long right =
        GetSystemMetrics(SM_XVIRTUALSCREEN) + GetSystemMetrics(SM_CXVIRTUALSCREEN) - 1;
    const XY edge{right - 1, 300};
    ASSERT_EQ(place_cursor(edge), edge);
    const auto edge_start = Clock::now();
    nudge(MoveMode::standard, 4, false, false, {});
    EXPECT_EQ(cursor(), XY(right, 300));
    EXPECT_GE(back_after(edge, edge_start), 55);
    ASSERT_EQ(place_cursor(p), p);

    LASTINPUTINFO before{sizeof before, 0}, after{sizeof after, 0};
    GetLastInputInfo(&before);
    ASSERT_TRUE(within(milliseconds(1000), [&] { return GetTickCount() > before.dwTime; }));
    nudge(MoveMode::zen, 40, true, false, {});
    GetLastInputInfo(&after);
    EXPECT_GT(after.dwTime, before.dwTime);
    // Watched through the move-back delay: the pointer never leaves, not even for a moment.
    EXPECT_FALSE(within(milliseconds(150), [&] { return cursor() != p; })) << cursor().first;
}

TEST(Jiggler, ClickLandsOnTheWindowUnderThePointer) {
    const ClickTarget target(500, 400, 100, 100);
    ASSERT_TRUE(target.window);
    const XY p{530, 440};
    ASSERT_EQ(place_cursor(p), p);
    nudge(MoveMode::click, 4, false, false, {});
    ASSERT_TRUE(earlier_input_arrived());
    // Once, at the pointer (in client coordinates), which stays where it was.
    EXPECT_EQ(ClickTarget::downs(), std::vector<LPARAM>{MAKELPARAM(30, 40)});
    EXPECT_EQ(1, ClickTarget::ups());
    EXPECT_EQ(cursor(), p);
}

// Wine only records the request. SetThreadExecutionState returns the recorded request while
// replacing it, which shows whether set_power_request called it at all.
TEST(Jiggler, PowerRequestIsTakenAndDroppedOnce) {
    constexpr EXECUTION_STATE keep_awake = ES_CONTINUOUS | ES_SYSTEM_REQUIRED | ES_DISPLAY_REQUIRED;
    SetThreadExecutionState(ES_CONTINUOUS);
    bool held = false;
    // Takes or drops, then returns the recorded request while recording `next`.
    auto step = [&](bool keep, EXECUTION_STATE next) {
        set_power_request(held, keep);
        EXPECT_EQ(keep, held);
        return SetThreadExecutionState(next);
    };
    EXPECT_EQ(keep_awake, step(true, ES_CONTINUOUS));
    EXPECT_EQ(ES_CONTINUOUS, step(true, keep_awake));  // held already: not called again
    EXPECT_EQ(ES_CONTINUOUS, step(false, keep_awake));
    EXPECT_EQ(keep_awake, step(false, ES_CONTINUOUS));  // nothing held: not called
}

}  // namespace
}  // namespace torvane
