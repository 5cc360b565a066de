// The settings window: the interval's steps and slider, and the real window driven by the
// messages a user's clicks, drags and wheel produce.

#include "win/ui/settings.h"

#include <gtest/gtest.h>

#include <tuple>

#include "app_fixture.h"
#include "win/registration.h"

namespace torvane {
namespace {

TEST(IntervalControls, StepAndSnapAsTheButtonsAndSliderPromise) {
    // From 60 down it is the minute step, clamped to the minimum.
    for (auto [from, up, to] : {std::tuple{55, true, 60}, {60, true, 120}, {60, false, 5},
                                {10, false, 5}, {5, false, 5}, {86400, true, 86400}})
        EXPECT_EQ(interval_step(from, up), to) << from << up;

    EXPECT_EQ(interval_from_slider(0), 5);
    EXPECT_EQ(interval_from_slider(1), 86400);
    EXPECT_EQ(interval_from_slider(0.5), 660);  // 5 × √17280 ≈ 657, on the minute step
    EXPECT_NEAR(interval_slider_position(5), 0, 1e-12);
    EXPECT_NEAR(interval_slider_position(86400), 1, 1e-12);
    // Each range snaps to its own step.
    EXPECT_EQ(std::fmod(interval_from_slider(interval_slider_position(47)), 5), 0);
    EXPECT_EQ(std::fmod(interval_from_slider(interval_slider_position(400)), 15), 0);
    EXPECT_EQ(std::fmod(interval_from_slider(interval_slider_position(5000)), 300), 0);
    EXPECT_EQ(std::fmod(interval_from_slider(interval_slider_position(50000)), 1800), 0);
    // Every snapped interval stays where it is when its own position is dragged to.
    for (double seconds : {5.0, 55.0, 60.0, 615.0 + 45, 3600.0, 21600.0, 86400.0})
        EXPECT_EQ(interval_from_slider(interval_slider_position(seconds)), seconds) << seconds;
}

TEST(SettingsBounds, ASmallScreenGetsAShorterWindow) {
    // 1366 × 768 at 125 % with a 40-pixel taskbar: 825 pixels would not fit.
    const RECT r = settings_bounds({0, 0, 1366, 728}, 1.25f);
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(r.bottom, 728);
    EXPECT_EQ(r.right - r.left, 750);
}

class SettingsOnScreen : public AppFixture {
protected:
    void TearDown() override {
        if (app_ && app_->settings) app_->settings->destroy();
        AppFixture::TearDown();
    }
    SettingsWindow& settings() { return *app_->settings; }
    HWND settings_window() { return app_->settings->handle(); }
    void open(int tab) {
        open_settings(*app_, tab);
        ASSERT_TRUE(app_->settings && settings().is_open());
    }
    std::optional<Rect> region(uint32_t id) { return torvane::region(settings().ui(), id); }
    void click(uint32_t id) { torvane::click(settings_window(), settings().ui(), id); }
    LPARAM at(float x, float y) {
        const float s = settings().ui().scale;
        return MAKELPARAM(static_cast<int>(x * s), static_cast<int>(y * s));
    }
    // Presses on the slider, drags to `fraction` of its travel and lets go.
    void drag(uint32_t id, float fraction) {
        const std::optional<Rect> r = region(id);
        ASSERT_TRUE(r.has_value()) << "no slider " << id;
        const float middle = r->y + r->h / 2;
        const LPARAM start = at(r->x + 9, middle);
        const LPARAM end = at(r->x + 9 + (r->w - 18) * fraction + 0.5f, middle);
        SendMessageW(settings_window(), WM_MOUSEMOVE, 0, start);
        SendMessageW(settings_window(), WM_LBUTTONDOWN, MK_LBUTTON, start);
        SendMessageW(settings_window(), WM_MOUSEMOVE, MK_LBUTTON, end);
        SendMessageW(settings_window(), WM_LBUTTONUP, 0, end);
    }
    HWND field(uint32_t id) { return field_control(settings().ui(), id); }
};

// Once closed, nothing of its drawing lives on: by the next tick no render target and no part
// of the renderer holds the Direct2D factory (under Wine a Direct3D device with its threads),
// and the next opening makes it again.
TEST_F(SettingsOnScreen, ClosingLetsGoOfTheDrawingResources) {
    open(0);
    ASSERT_GE(paints_dispatched(settings_window()), 1);
    ComPtr<ID2D1Factory> factory;
    {
        Result<OffscreenImage> image = app_->renderer->offscreen(1, 1);
        ASSERT_TRUE(image.ok());
        image.value().target()->GetFactory(&factory);
    }
    SendMessageW(settings_window(), WM_CLOSE, 0, 0);
    refresh(*app_);
    EXPECT_EQ(factory.Detach()->Release(), 0u);
    open(0);
    EXPECT_GE(paints_dispatched(settings_window()), 1);
}

TEST_F(SettingsOnScreen, OpensOnTheAskedTabAndClosesWithoutEndingTheProgram) {
    open(1);
    EXPECT_EQ(settings().tab(), SettingsTab::movement);
    wchar_t title[64] = {};
    GetWindowTextW(settings_window(), title, 64);
    EXPECT_STREQ(title, L"Preferencias de Torvane");
    EXPECT_EQ(GetWindowLongW(settings_window(), GWL_STYLE) & 0x02CA0000, 0x02CA0000);
    EXPECT_FALSE(GetWindowLongW(settings_window(), GWL_STYLE) & WS_THICKFRAME);

    click(4);
    EXPECT_EQ(settings().tab(), SettingsTab::schedules);
    // The shell's command 2 on an open window switches it.
    queue_action(*app_, Command::settings_conditions);
    SendMessageW(window_, WM_NULL, 0, 0);
    EXPECT_EQ(settings().tab(), SettingsTab::conditions);

    SendMessageW(settings_window(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(settings().is_open());
    EXPECT_FALSE(app_->quitting);
    EXPECT_EQ(pending_quit_messages(), 0);
    open(0);
    EXPECT_EQ(settings().tab(), SettingsTab::general);
    EXPECT_NE(region(10), std::nullopt) << "a reopened window lays out again";
}

TEST_F(SettingsOnScreen, IntervalButtonsSliderAndDistanceEditThePreferences) {
    app_->prefs.interval = 55;
    open(1);
    click(31);
    EXPECT_EQ(app_->prefs.interval, 60);
    drag(32, 0.5f);
    EXPECT_EQ(app_->prefs.interval, 660);
    EXPECT_TRUE(app_->prefs_save_pending) << "a change is saved after the delay";

    drag(54, -0.2f);  // past the ends
    EXPECT_DOUBLE_EQ(app_->prefs.distance, 1);
    drag(54, 1.2f);
    EXPECT_DOUBLE_EQ(app_->prefs.distance, 60);
    click(43);  // "Zen": the distance slider goes
    EXPECT_EQ(app_->prefs.mode, MoveMode::zen);
    EXPECT_FALSE(region(54).has_value());
}

// A screen reader hears a slider's new value after a drag and after a key.
TEST_F(SettingsOnScreen, AMovedSliderTellsScreenReadersItsValueChanged) {
    static std::vector<LONG> changed;  // the children whose value changed
    const HWINEVENTHOOK hook = SetWinEventHook(
        EVENT_OBJECT_VALUECHANGE, EVENT_OBJECT_VALUECHANGE, nullptr,
        [](HWINEVENTHOOK, DWORD, HWND, LONG, LONG child, DWORD, DWORD) {
            changed.push_back(child);
        },
        GetCurrentProcessId(), 0, WINEVENT_OUTOFCONTEXT);
    open(1);
    LONG slider = 0;
    for (size_t i = 0; i < settings().ui().focusables.size(); ++i)
        if (settings().ui().focusables[i].id == 32) slider = static_cast<LONG>(i + 1);
    drag(32, 0.5f);
    EXPECT_TRUE(within(milliseconds(2000), [] { return !changed.empty(); }));
    changed.clear();
    SendMessageW(settings_window(), WM_KEYDOWN, VK_RIGHT, 0);
    EXPECT_TRUE(within(milliseconds(2000), [] { return !changed.empty(); }));
    EXPECT_EQ(changed, std::vector<LONG>{slider});
    UnhookWinEvent(hook);
}

TEST_F(SettingsOnScreen, ALostCaptureEndsTheDrag) {
    app_->prefs.interval = 60;
    open(1);
    const std::optional<Rect> r = region(32);
    ASSERT_TRUE(r.has_value());
    const float middle = r->y + r->h / 2;
    SendMessageW(settings_window(), WM_MOUSEMOVE, 0, at(r->x + 9, middle));
    SendMessageW(settings_window(), WM_LBUTTONDOWN, MK_LBUTTON, at(r->x + 9, middle));
    const double pressed = app_->prefs.interval;
    SetCapture(window_);  // Alt+Tab or a prompt takes the pointer mid-drag
    SendMessageW(settings_window(), WM_MOUSEMOVE, 0, at(r->x + r->w / 2, middle));
    ReleaseCapture();
    EXPECT_EQ(app_->prefs.interval, pressed);
}

TEST_F(SettingsOnScreen, TheKeyboardTogglesASwitchChangesTabsAndCloses) {
    app_->prefs.reqApps = true;  // its field takes the keyboard
    open(0);
    for (int i = 0; i < 5; ++i)  // past the four tabs and the autostart switch
        SendMessageW(settings_window(), WM_KEYDOWN, VK_TAB, 0);
    const bool restore = app_->prefs.restoreState;
    SendMessageW(settings_window(), WM_KEYDOWN, VK_SPACE, 0);
    EXPECT_NE(app_->prefs.restoreState, restore);

    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_CONTROL] = 0x80;
    SetKeyboardState(keys);
    SendMessageW(settings_window(), WM_KEYDOWN, VK_TAB, 0);
    EXPECT_EQ(settings().tab(), SettingsTab::movement);
    SendMessageW(settings_window(), WM_KEYDOWN, VK_NEXT, 0);
    ASSERT_EQ(settings().tab(), SettingsTab::conditions);
    // Also from a field, which the next tab hides: the keyboard comes back to the window.
    SetFocus(field(1100));
    SendMessageW(field(1100), WM_KEYDOWN, VK_TAB, 0);
    keys[VK_CONTROL] = 0;
    SetKeyboardState(keys);
    EXPECT_EQ(settings().tab(), SettingsTab::schedules);
    EXPECT_EQ(GetFocus(), settings_window());
    SendMessageW(settings_window(), WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_FALSE(settings().is_open());
}

TEST_F(SettingsOnScreen, ConditionFieldsFollowTheirCheckboxesAndThePreviewFollowsTheRules) {
    app_->prefs.reqAppsList = "Teams, Slack";
    open(2);
    ASSERT_NE(field(1100), nullptr);
    EXPECT_FALSE(IsWindowEnabled(field(1100))) << "greyed while its checkbox is off";
    EXPECT_FALSE(region(61).has_value()) << "the CPU slider waits for its checkbox";
    click(64);
    EXPECT_TRUE(app_->prefs.reqApps);
    EXPECT_TRUE(IsWindowEnabled(field(1100)));
    SetWindowTextW(field(1100), L"Teams, Slack, Outlook");
    EXPECT_EQ(app_->prefs.reqAppsList, "Teams, Slack, Outlook");
    click(64);
    EXPECT_FALSE(IsWindowEnabled(field(1100)));
    EXPECT_EQ(app_->prefs.reqAppsList, "Teams, Slack, Outlook") << "the list is kept";

    // An impossible condition: the preview says why nothing would move.
    app_->prefs.cpuThreshold = 95;
    click(60);
    EXPECT_TRUE(app_->prefs.reqCPU);
    app_->engine.cpu_sampled = true;
    app_->engine.cpu_average = 0.01;
    settings_tick(*app_);
    EXPECT_EQ(settings().preview(), "Pausado: no se cumple ninguna condición");
    settings().layout();
    EXPECT_TRUE(region(61).has_value());
    click(60);
    settings_tick(*app_);
    EXPECT_EQ(settings().preview(), std::nullopt);
}

TEST_F(SettingsOnScreen, SchedulesAreAddedNamedAndDeleted) {
    app_->prefs.schedulesEnabled = true;
    app_->prefs.schedules.push_back(Schedule::new_default());
    ASSERT_EQ(app_->prefs.schedules.size(), 2u);
    open(3);
    click(71);
    ASSERT_EQ(app_->prefs.schedules.size(), 3u);
    EXPECT_EQ(app_->prefs.schedules[2].name, "Horario 3");
    EXPECT_NE(app_->prefs.schedules[2].id, app_->prefs.schedules[1].id);

    click(2000 + 8 * 2 + 5);  // "S" of the new one: Saturday joins
    EXPECT_TRUE(app_->prefs.schedules[2].days.contains(7));
    SetWindowTextW(field(1000 + 8 * 2), L"Guardia");
    EXPECT_EQ(app_->prefs.schedules[2].name, "Guardia");

    const std::string kept = app_->prefs.schedules[2].id;
    click(1000 + 8 * 1 + 4);  // delete the second
    ASSERT_EQ(app_->prefs.schedules.size(), 2u);
    EXPECT_EQ(app_->prefs.schedules[1].id, kept);

    // Switched off, the cards take no clicks.
    click(70);
    EXPECT_FALSE(app_->prefs.schedulesEnabled);
    EXPECT_FALSE(region(1000 + 4).has_value());
    EXPECT_FALSE(IsWindowEnabled(field(1000)));
    // Faded once (45 %; a placeholder 70 % of that), never twice (20 %).
    for (const DrawCommand& command : settings().ui().commands)
        EXPECT_GT(command.opacity, 0.3f);
}

TEST_F(SettingsOnScreen, TheWheelScrollsWithinTheContent) {
    app_->prefs.schedulesEnabled = true;
    for (int i = 0; i < 5; ++i)
        app_->prefs.schedules.push_back(Schedule::new_default());
    open(3);  // six cards: far taller than the window
    SendMessageW(settings_window(), WM_MOUSEWHEEL, MAKEWPARAM(0, -WHEEL_DELTA), 0);
    EXPECT_FLOAT_EQ(settings().scroll(), 48);
    for (int i = 0; i < 40; ++i)
        SendMessageW(settings_window(), WM_MOUSEWHEEL, MAKEWPARAM(0, -WHEEL_DELTA), 0);
    const float bottom = settings().scroll();
    EXPECT_GT(bottom, 48);
    EXPECT_LT(bottom, 40 * 48) << "stops at the end of the content";
    click(1);  // each tab keeps its own offset
    EXPECT_FLOAT_EQ(settings().scroll(), 0);
    click(4);
    EXPECT_FLOAT_EQ(settings().scroll(), bottom);
    SendMessageW(settings_window(), WM_MOUSEWHEEL, MAKEWPARAM(0, 3 * WHEEL_DELTA), 0);
    EXPECT_FLOAT_EQ(settings().scroll(), bottom - 144);
    for (int i = 0; i < 40; ++i)
        SendMessageW(settings_window(), WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), 0);
    EXPECT_FLOAT_EQ(settings().scroll(), 0);
}

TEST_F(SettingsOnScreen, TheDisplaySwitchTakesEffectAtOnce) {
    app_->engine.on = true;
    open(0);
    click(16);  // off
    click(16);  // on again: the request is held before any tick
    EXPECT_TRUE(app_->power_request_held);
}

TEST_F(SettingsOnScreen, TheAutostartSwitchShowsTheRegistryAndThePaletteFollowsWindows) {
    ASSERT_TRUE(set_autostart(false).ok());
    open(0);
    click(10);
    EXPECT_TRUE(autostart_enabled());
    click(10);
    EXPECT_FALSE(autostart_enabled());

    switch_to_dark_theme();
    EXPECT_TRUE(settings().ui().theme.dark);
    EXPECT_EQ(settings().ui().theme.windowBackground, make_theme(true, 0).windowBackground);
}

}  // namespace
}  // namespace torvane
