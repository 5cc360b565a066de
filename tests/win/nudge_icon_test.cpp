// The nudge icon: its fade curve, its image read back pixel by pixel, and the real layered
// window beside a real pointer under Wine (needs an X display).

#include "win/nudge_icon.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "core/platform.h"
#include "test_util.h"
#include "win/app.h"

namespace torvane {
namespace {

using Clock = TestClock;

constexpr Color accent = rgb(0xC42B1C);
constexpr uint32_t accent_pixel = 0xFFC42B1C, white_pixel = 0xFFFFFFFF;

HWND find_overlay() {
    return FindWindowW(L"TorvaneOverlay", nullptr);
}

// What the screen shows at (x, y). Wine's bare X desktop is black and nothing composites the
// layered window over it, so a fading icon shows as its picture dimmed by the constant alpha.
uint8_t screen_red(int x, int y) {
    HDC screen = GetDC(nullptr);
    const COLORREF color = GetPixel(screen, x, y);
    ReleaseDC(nullptr, screen);
    return GetRValue(color);
}

RECT window_rect(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    return r;
}

std::vector<long> as_vector(const RECT& r) {
    return {r.left, r.top, r.right, r.bottom};
}

class NudgeIconTest : public RendererTest {
protected:
    void SetUp() override {
        ASSERT_EQ(find_overlay(), nullptr) << "left over from an earlier case";
        theme_ = make_theme(false, accent);
    }
    Theme theme_;
};

TEST(NudgeIconAlpha, OpaqueForHalfASecondThenFadesOutBeforeTheSecondEnds) {
    EXPECT_EQ(nudge_icon_alpha(0), 255);
    EXPECT_EQ(nudge_icon_alpha(500), 255);
    EXPECT_EQ(nudge_icon_alpha(501), 254);
    EXPECT_EQ(nudge_icon_alpha(750), 127);
    EXPECT_EQ(nudge_icon_alpha(999), 0);  // 0.51, truncated
    EXPECT_EQ(nudge_icon_alpha(1000), std::nullopt);
}

// The pointer's grid: (7, 3) tip, left edge x = 7, lines at y 9, 12.5 and 16 from x 1 to 5.
// At scale s a grid point (gx, gy) lands on (10 + gx × 20/24) × s, likewise for y.
TEST_F(NudgeIconTest, ImageIsAnAccentDiscWithAWhitePointerAtTheMonitorScale) {
    auto drawn = draw_nudge_icon(*renderer_, accent, 1);
    ASSERT_TRUE(drawn.ok()) << drawn.error().message;
    const OffscreenImage& image = drawn.value();
    ASSERT_EQ(std::pair(image.width(), image.height()), std::pair(40, 40));
    // Outside the disc.
    expect_at(image, 0, {{0, 0}, {39, 0}, {0, 39}, {39, 39}, {4, 4}, {35, 35}});
    // Just inside its edge, all round, clear of the glyph.
    expect_at(image, accent_pixel, {{20, 2}, {2, 20}, {37, 20}, {20, 37}, {33, 7}});
    // Inside the arrow (grid 9, 12 and 12, 15) and on the middle motion line (grid 3, 12.5).
    expect_at(image, white_pixel, {{17, 20}, {19, 22}, {12, 20}});
    // Right of the arrow's head, below its tip: still the disc.
    expect_at(image, accent_pixel, {{24, 14}});

    auto large = draw_nudge_icon(*renderer_, accent, 1.5f);
    ASSERT_TRUE(large.ok());
    const OffscreenImage& at_150 = large.value();
    ASSERT_EQ(std::pair(at_150.width(), at_150.height()), std::pair(60, 60));
    expect_at(at_150, 0, {{0, 0}, {59, 0}, {0, 59}, {59, 59}, {6, 6}});
    expect_at(at_150, accent_pixel, {{30, 3}, {3, 30}, {56, 30}, {30, 56}});
    expect_at(at_150, white_pixel, {{26, 30}, {18, 30}});
}

TEST_F(NudgeIconTest, ShowsBesideThePointerWithoutTakingActivation) {
    // A window of the program has the focus, as the settings window might.
    HWND focused = CreateWindowExW(0, L"STATIC", L"foco", WS_POPUP | WS_VISIBLE, 600, 500, 200, 100,
                                   nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(focused);
    SetForegroundWindow(focused);
    within(milliseconds(2000), [&] { return GetForegroundWindow() == focused; });
    const HWND foreground = GetForegroundWindow();

    NudgeIcon icon;
    EXPECT_EQ(find_overlay(), nullptr) << "no window before the first icon";
    icon.show({300, 200}, *renderer_, theme_);
    const HWND overlay = find_overlay();
    ASSERT_NE(overlay, nullptr);
    EXPECT_EQ(overlay, icon.handle());
    EXPECT_EQ(GetWindowLongW(overlay, GWL_EXSTYLE), 0x080800A8);
    // A bare pop-up (the system adds WS_CLIPSIBLINGS to every top-level window).
    constexpr DWORD kinds = WS_POPUP | WS_CHILD | WS_CAPTION | WS_THICKFRAME | WS_SYSMENU;
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(overlay, GWL_STYLE)) & kinds, WS_POPUP);
    EXPECT_EQ(as_vector(window_rect(overlay)), (std::vector<long>{314, 210, 354, 250}));
    EXPECT_TRUE(IsWindowVisible(overlay));
    EXPECT_TRUE(icon.visible());
    // Activation by the show would happen within it; whatever it queued is handled once the
    // queue has run empty.
    EXPECT_TRUE(within(milliseconds(2000), [] {
        MSG queued;
        return !PeekMessageW(&queued, nullptr, 0, 0, PM_NOREMOVE);
    }));
    EXPECT_NE(GetForegroundWindow(), overlay);
    EXPECT_NE(GetActiveWindow(), overlay);
    EXPECT_EQ(GetForegroundWindow(), foreground);
    DestroyWindow(focused);
}

// The icon's age lies between the time since just after show() and the time since just before
// it. A busy machine makes the icon's own 33 ms timer late, so the precise steps send the timer
// message themselves at known ages; the plain run at the end relies on the timer alone.
struct Age {
    Clock::time_point before, after;
    bool at_most(milliseconds span) const { return Clock::now() - before <= span; }
    bool at_least(milliseconds span) const { return Clock::now() - after >= span; }
    // Without dispatching anything, so that nothing but the test moves the icon on.
    void sleep_until(milliseconds span) const {
        while (!at_least(span))
            Sleep(2);
    }
    // Dispatching, so that the window gets onto the screen.
    void pump_until(milliseconds span) const {
        within(span + milliseconds(1000), [&] { return at_least(span); });
    }
};

Age show_icon(NudgeIcon& icon, POINT p, Renderer& renderer, const Theme& theme) {
    Age age{Clock::now(), {}};
    icon.show(p, renderer, theme);
    age.after = Clock::now();
    return age;
}

void frame(const NudgeIcon& icon) {
    SendMessageW(icon.handle(), WM_TIMER, nudge_icon_timer, 0);
}

TEST_F(NudgeIconTest, StaysHalfASecondThenFadesAndIsGoneWithinASecond) {
    NudgeIcon icon;
    const Age age = show_icon(icon, {100, 100}, *renderer_, theme_);  // disc's top at (134, 112)
    const HWND overlay = icon.handle();
    ASSERT_TRUE(IsWindowVisible(overlay));

    age.pump_until(milliseconds(300));
    frame(icon);
    const int opaque = screen_red(134, 112);
    if (age.at_most(milliseconds(500))) {
        EXPECT_NEAR(opaque, red_of(accent), 8) << "opaque for the first half second";
    }

    age.pump_until(milliseconds(750));
    frame(icon);
    const int dimmed = screen_red(134, 112);
    const bool shows = IsWindowVisible(overlay) && icon.visible();
    // Alpha 127 at 750 ms, 51 at 900 ms.
    if (age.at_most(milliseconds(900))) {
        EXPECT_LT(dimmed, red_of(accent) * 127 / 255 + 8);
        EXPECT_GT(dimmed, red_of(accent) * 51 / 255 - 8);
    }
    if (age.at_most(milliseconds(999))) {
        EXPECT_TRUE(shows) << "still fading";
    }

    age.sleep_until(milliseconds(1000));
    frame(icon);
    EXPECT_FALSE(IsWindowVisible(overlay)) << "gone once the second is over";
    EXPECT_FALSE(icon.visible());
    EXPECT_EQ(find_overlay(), overlay) << "the window is kept for the next nudge";

    // The next nudge brings it back with the same window, and its own timer takes it away.
    const Age again = show_icon(icon, {120, 130}, *renderer_, theme_);
    EXPECT_EQ(icon.handle(), overlay);
    EXPECT_TRUE(IsWindowVisible(overlay));
    EXPECT_EQ(as_vector(window_rect(overlay)), (std::vector<long>{134, 140, 174, 180}));
    ASSERT_TRUE(within(milliseconds(2000), [&] { return !IsWindowVisible(overlay); }));
    EXPECT_FALSE(again.at_most(milliseconds(999))) << "hidden before the second was over";
    EXPECT_FALSE(icon.visible());
}

TEST_F(NudgeIconTest, ANudgeWhileVisibleMovesItAndStartsTheSecondOver) {
    NudgeIcon icon;
    const Age first = show_icon(icon, {100, 100}, *renderer_, theme_);
    // Nothing is dispatched meanwhile, so the first icon is still up whatever the time: a frame
    // here, late on a busy machine, could take it away before the second nudge.
    first.sleep_until(milliseconds(700));
    const Age second = show_icon(icon, {400, 300}, *renderer_, theme_);
    EXPECT_EQ(as_vector(window_rect(icon.handle())), (std::vector<long>{414, 310, 454, 350}));

    // Past the first icon's second, within the new one's.
    first.sleep_until(milliseconds(1150));
    frame(icon);
    const bool shows = IsWindowVisible(icon.handle());
    if (second.at_most(milliseconds(999))) {
        EXPECT_TRUE(shows) << "the first icon's second would have hidden it";
    }
    second.sleep_until(milliseconds(1000));
    frame(icon);
    EXPECT_FALSE(IsWindowVisible(icon.handle()));
}

// Hardware input goes through the system's hit test, which a click-through window must not
// stop.
TEST_F(NudgeIconTest, ClicksOnTheIconReachTheWindowBelow) {
    const ClickTarget below(500, 400, 100, 100);
    ASSERT_TRUE(below.window);
    const XY p{534, 430};  // the disc's centre once the icon shows
    ASSERT_EQ(place_cursor(p), p);
    NudgeIcon icon;
    icon.show({500, 400}, *renderer_, theme_);  // covers (514, 410) to (554, 450)
    EXPECT_EQ(WindowFromPoint({p.first, p.second}), below.window);
    INPUT inputs[2] = {};
    inputs[0].type = inputs[1].type = INPUT_MOUSE;
    inputs[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    inputs[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    ASSERT_EQ(SendInput(2, inputs, sizeof(INPUT)), 2u);
    // Nothing has been dispatched since the show: the icon was up when the click came.
    ASSERT_TRUE(IsWindowVisible(icon.handle()));
    ASSERT_TRUE(earlier_input_arrived());
    EXPECT_EQ(ClickTarget::downs(), std::vector<LPARAM>{MAKELPARAM(34, 30)});
}

// The effects of a nudge through the application object: the icon only with its preference.
TEST_F(NudgeIconTest, ANudgeShowsTheIconOnlyWhenThePreferenceIsOn) {
    MainWindow main_window;
    ASSERT_TRUE(main_window.create());
    const auto dir = std::filesystem::temp_directory_path() /
                     ("torvane-nudge-icon-" + std::to_string(GetTickCount64()));
    Preferences prefs = Preferences::defaults();
    prefs.hotkey = false;
    prefs.mode = MoveMode::zen;  // the pointer stays where the icon is placed from
    prefs.showIconOnJiggle = false;
    App app(main_window.handle(), renderer_, prefs, dir / "prefs.json", local_now());
    app.theme = theme_;
    const XY p{200, 150};
    ASSERT_EQ(place_cursor(p), p);
    const Effects jiggle{Effect{Effect::Kind::Jiggle, false, {}, {}}};

    // The icon's window appears within apply_effects (below), so none after it is none at all.
    apply_effects(app, jiggle);
    EXPECT_EQ(find_overlay(), nullptr);
    EXPECT_EQ(app.nudge_icon.handle(), nullptr);

    app.prefs.showIconOnJiggle = true;
    apply_effects(app, jiggle);
    const HWND overlay = find_overlay();
    ASSERT_NE(overlay, nullptr);
    EXPECT_EQ(overlay, app.nudge_icon.handle());
    EXPECT_TRUE(IsWindowVisible(overlay));
    EXPECT_EQ(as_vector(window_rect(overlay)), (std::vector<long>{214, 160, 254, 200}));

    main_window.destroy();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}

}  // namespace
}  // namespace torvane
