// The panel: its placement beside every taskbar side, and the real window driven by the
// pointer and keyboard messages a user's clicks produce.

#include "win/ui/panel.h"

#include <gtest/gtest.h>

#include <tuple>

#include "app_fixture.h"

namespace torvane {
namespace {

struct Placement {
    POINT anchor;
    RECT monitor;
    RECT work;
    float scale;
    RECT expected;
};

TEST(PanelPlacement, FollowsTheTaskbarAndStaysInsideTheWorkArea) {
    // A 500-DIP panel: 310 × 500 pixels plus a 12-pixel margin at scale 1; 465 × 750 plus 18
    // at scale 1.5.
    const Placement cases[] = {
        // Taskbar at the bottom, click near the right edge: clamped, bottom 12 px above it.
        {{1800, 1060}, {0, 0, 1920, 1080}, {0, 0, 1920, 1040}, 1, {1598, 528, 1908, 1028}},
        // At the top.
        {{1800, 20}, {0, 0, 1920, 1080}, {0, 40, 1920, 1080}, 1, {1598, 52, 1908, 552}},
        // On the left, click low: centred on the click, then clamped to the bottom.
        {{20, 900}, {0, 0, 1920, 1080}, {48, 0, 1920, 1080}, 1, {60, 568, 370, 1068}},
        // On the right.
        {{1900, 300}, {0, 0, 1920, 1080}, {0, 0, 1872, 1080}, 1, {1550, 50, 1860, 550}},
        // Hidden taskbar: 56 pixels higher than the bottom edge would put it.
        {{960, 1079}, {0, 0, 1920, 1080}, {0, 0, 1920, 1080}, 1, {805, 512, 1115, 1012}},
        // A monitor left of the primary one, at negative coordinates.
        {{-100, 1060}, {-1920, 0, 0, 1080}, {-1920, 0, 0, 1040}, 1, {-322, 528, -12, 1028}},
        // A work area smaller than the panel: pinned to its top left corner, cut to its height.
        {{100, 390}, {0, 0, 300, 400}, {0, 0, 300, 380}, 1, {12, 12, 322, 368}},
        // Scale 1.5, taskbar at the bottom: odd outer width, halves toward zero.
        {{2700, 1590}, {0, 0, 2880, 1620}, {0, 0, 2880, 1560}, 1.5f, {2397, 792, 2862, 1542}},
        // Scale 1.5, hidden taskbar: 84 pixels.
        {{1000, 1619}, {0, 0, 2880, 1620}, {0, 0, 2880, 1620}, 1.5f, {768, 768, 1233, 1518}},
        // Scale 1.5 with the taskbar on the left and on the right.
        {{10, 800}, {0, 0, 2880, 1620}, {72, 0, 2880, 1620}, 1.5f, {90, 425, 555, 1175}},
        {{2870, 800}, {0, 0, 2880, 1620}, {0, 0, 2808, 1620}, 1.5f, {2325, 425, 2790, 1175}},
    };
    for (const Placement& c : cases) {
        const RECT r = panel_placement(c.anchor, c.monitor, c.work, c.scale, 500);
        const RECT& e = c.expected;
        EXPECT_EQ(std::tie(r.left, r.top, r.right, r.bottom),
                  std::tie(e.left, e.top, e.right, e.bottom))
            << c.anchor.x << "," << c.anchor.y;
    }
    // The hidden taskbar's lift is truncated: 56 × 1.3 = 72.8 → 72.
    const RECT lifted =
        panel_placement({1000, 1000}, {0, 0, 2000, 1200}, {0, 0, 2000, 1200}, 1.3f, 500);
    EXPECT_EQ(lifted.bottom, 1200 - 16 - 72);
}

class PanelOnScreen : public AppFixture {
protected:
    void TearDown() override {
        if (app_ && app_->panel) app_->panel->hide();
        AppFixture::TearDown();
    }

    Panel& panel() { return *app_->panel; }
    HWND panel_window() { return app_->panel->handle(); }
    HWND field(uint32_t id) { return field_control(panel().ui(), id); }

    std::optional<Rect> region(uint32_t id) { return torvane::region(panel().ui(), id); }
    void click(uint32_t id) { torvane::click(panel_window(), panel().ui(), id); }
    RECT bounds() {
        RECT r{};
        GetWindowRect(panel_window(), &r);
        return r;
    }
};

TEST_F(PanelOnScreen, PresetsSwitchOnAndTheRowsGrowThePanelInPlace) {
    show_panel(*app_);
    ASSERT_TRUE(panel_visible(*app_));
    const RECT closed = bounds();
    EXPECT_EQ(closed.right - closed.left, 310);
    // Without rows the actions follow the header: "1 h" is the third chip of the first row.
    const std::optional<Rect> one_hour = region(12);
    ASSERT_TRUE(one_hour.has_value());
    EXPECT_NEAR(one_hour->x, 15 + 2 * 95.333336f, 0.01);
    EXPECT_NEAR(one_hour->y, 99, 0.01);
    EXPECT_FALSE(region(3).has_value()) << "no cancel link without timers";

    click(12);
    EXPECT_TRUE(app_->engine.on);
    ASSERT_TRUE(app_->engine.timer_until.has_value());
    EXPECT_NEAR(seconds_between(local_now(), *app_->engine.timer_until), 3600, 5);
    const RECT grown = bounds();
    EXPECT_EQ(grown.bottom - grown.top, closed.bottom - closed.top + 23 + 4 + 16 + 12);
    EXPECT_EQ(grown.bottom, closed.bottom) << "re-placed against the same edge";

    click(3);  // "Cancelar temporizadores"
    EXPECT_FALSE(app_->engine.timer_until.has_value());
    EXPECT_EQ(bounds().bottom - bounds().top, closed.bottom - closed.top);

    click(1);  // the switch
    EXPECT_FALSE(app_->engine.on);
}

TEST_F(PanelOnScreen, ActivateBesideAZeroDurationIsDisabled) {
    app_->prefs.customActivateMinutes = 0;
    show_panel(*app_);
    EXPECT_FALSE(region(16).has_value()) << "disabled widgets take no clicks";
    EXPECT_TRUE(region(23).has_value()) << "\"Pausar\" beside its own duration stays enabled";
}

TEST_F(PanelOnScreen, EscapeHidesAndTheIconIgnoresAClickRightAfter) {
    show_panel(*app_);
    SendMessageW(panel_window(), WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_FALSE(panel_visible(*app_));
    toggle_panel(*app_);  // the click that took the focus away arrives now
    EXPECT_FALSE(panel_visible(*app_));
    *app_->panel->hidden_at -= milliseconds(360);  // a click that comes later
    toggle_panel(*app_);
    EXPECT_TRUE(panel_visible(*app_));
    toggle_panel(*app_);
    EXPECT_FALSE(panel_visible(*app_));

    // A focus loss right after opening is the opening click's own: the panel stays.
    show_panel(*app_);
    SendMessageW(panel_window(), WM_ACTIVATE, WA_INACTIVE, 0);
    EXPECT_TRUE(panel_visible(*app_));
    app_->panel->shown_at -= milliseconds(420);
    SendMessageW(panel_window(), WM_ACTIVATE, WA_INACTIVE, 0);
    EXPECT_FALSE(panel_visible(*app_));
}

TEST_F(PanelOnScreen, AltF4HidesThePanelAndItsFieldsStillTakeTyping) {
    show_panel(*app_);
    SendMessageW(panel_window(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(panel_visible(*app_));
    show_panel(*app_);
    SetWindowTextW(field(101), L"45");
    EXPECT_EQ(app_->prefs.customActivateMinutes % 60, 45u);
}

TEST_F(PanelOnScreen, TheKeyboardAloneStartsAnHourAndAFieldsTabGoesOnToTheNextControl) {
    show_panel(*app_);
    EXPECT_EQ(panel().ui().focus_id, 1u) << "the switch, the first control";
    for (int i = 0; i < 3; ++i)  // "15 min", "30 min", "1 h"
        SendMessageW(panel_window(), WM_KEYDOWN, VK_TAB, 0);
    SendMessageW(panel_window(), WM_KEYDOWN, VK_SPACE, 0);
    EXPECT_TRUE(app_->engine.timer_until.has_value());

    SetFocus(field(101));
    SendMessageW(field(101), WM_KEYDOWN, VK_TAB, 0);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&message);
    EXPECT_EQ(panel().ui().focus_id, 16u) << "\"Activar\" after the minutes";
    EXPECT_EQ(GetFocus(), panel_window());
}

TEST_F(PanelOnScreen, ThePowerIconQuitsAndTheThemeFollowsWindows) {
    show_panel(*app_);
    EXPECT_FALSE(panel().ui().theme.dark);

    switch_to_dark_theme();
    EXPECT_TRUE(panel().ui().theme.dark);
    EXPECT_EQ(panel().ui().theme.panelBackground, make_theme(true, 0).panelBackground);

    click(26);
    EXPECT_TRUE(app_->quitting);
    EXPECT_EQ(pending_quit_messages(), 1);
}

TEST_F(PanelOnScreen, RefreshesPaintOnlyAFrameThatChanged) {
    show_panel(*app_);
    click(12);  // "1 h": a row counts the hour down
    ASSERT_GE(paints_dispatched(panel_window()), 1);
    for (int tick = 0; tick < 3; ++tick) {
        refresh(*app_);
        EXPECT_EQ(paints_dispatched(panel_window()), 0) << "still, tick " << tick;
    }
    // A second later the countdown reads one less: one new frame, then still again.
    app_->engine.last_tick = add_seconds(app_->engine.last_tick, 1);
    refresh(*app_);
    EXPECT_EQ(paints_dispatched(panel_window()), 1);
    refresh(*app_);
    EXPECT_EQ(paints_dispatched(panel_window()), 0);
}

}  // namespace
}  // namespace torvane
