// The main window's dispatch on a real hidden window: deferred preference writes, the hot-key
// preference, update notices, quitting once, and the high-contrast theme.

#include "app_fixture.h"
#include "win/notify.h"

namespace torvane {
namespace {

namespace fs = std::filesystem;

using AppDispatch = AppFixture;

TEST_F(AppDispatch, ABurstOfPreferenceChangesIsWrittenOnceByItsTimer) {
    app_->prefs.interval = 30;
    refresh(*app_);
    EXPECT_TRUE(app_->prefs_save_pending);
    app_->prefs.distance = 9;
    refresh(*app_);
    EXPECT_FALSE(fs::exists(dir_ / "prefs.json")) << "nothing is written before the timer";

    ASSERT_TRUE(within(milliseconds(3000), [&] { return !app_->prefs_save_pending; }));
    EXPECT_EQ(load_preferences(dir_ / "prefs.json"), app_->prefs);

    // Unchanged since the write: the next refresh arms nothing.
    refresh(*app_);
    EXPECT_FALSE(app_->prefs_save_pending);
}

TEST_F(AppDispatch, HotKeyFollowsItsPreference) {
    app_->prefs.hotkey = true;
    refresh(*app_);
    EXPECT_TRUE(app_->hotkey_registered);
    app_->prefs.hotkey = false;
    refresh(*app_);
    EXPECT_FALSE(app_->hotkey_registered);
    // The combination is free again.
    EXPECT_TRUE(RegisterHotKey(window_, 7, MOD_CONTROL | MOD_ALT | MOD_SHIFT, 0x4A));
    UnregisterHotKey(window_, 7);
}

TEST_F(AppDispatch, UpdateNoticeIsConsumedEvenWhenNotificationsAreOff) {
    app_->prefs.notifications = false;
    {
        std::lock_guard lock(app_->updater->lock);
        app_->updater->pending_notification = {{"Título", "Texto"}};
    }
    SendMessageW(window_, update_notice_message, 0, 0);
    std::lock_guard lock(app_->updater->lock);
    EXPECT_FALSE(app_->updater->pending_notification.has_value());
}

TEST_F(AppDispatch, SessionEndsOnlyWhenWindowsSaysSoAndQuitHappensOnce) {
    SendMessageW(window_, WM_ENDSESSION, FALSE, 0);
    EXPECT_FALSE(app_->quitting);
    EXPECT_EQ(pending_quit_messages(), 0);

    // Two engine quits in one effect list: queued, then carried out once after the handler.
    Effects effects(2, Effect{Effect::Kind::Quit, false, {}, {}});
    apply_effects(*app_, effects);
    EXPECT_FALSE(app_->quitting) << "quitting waits for the pending actions";
    SendMessageW(window_, WM_NULL, 0, 0);  // any message runs the pending actions afterwards
    EXPECT_TRUE(app_->quitting);
    SendMessageW(window_, quit_request_message, 0, 0);
    EXPECT_EQ(pending_quit_messages(), 1);
}

TEST_F(AppDispatch, EndOfSessionWhileTheObjectIsBusyIsDeferredNotLost) {
    {
        // A handler holds the object and something inside it lets the session's end through.
        AppBorrow busy;
        ASSERT_TRUE(busy);
        SendMessageW(window_, WM_ENDSESSION, TRUE, 0);
        EXPECT_FALSE(app_->quitting);
        EXPECT_EQ(pending_quit_messages(), 0);
    }
    // The next message after the handler let go (in the program: the end of that handler's
    // own message) carries out the quit, with its final save.
    SendMessageW(window_, WM_NULL, 0, 0);
    EXPECT_TRUE(app_->quitting);
    EXPECT_EQ(pending_quit_messages(), 1);
    SendMessageW(window_, WM_NULL, 0, 0);
    EXPECT_EQ(pending_quit_messages(), 0) << "a deferred quit runs once";
}

TEST_F(AppDispatch, CloseRequestQuitsCleanlyInsteadOfDestroyingTheWindow) {
    app_->prefs.interval = 45;  // an unsaved change the quit must write
    SendMessageW(window_, WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindow(window_)) << "the timers and the icon live on the window";
    EXPECT_TRUE(app_->quitting);
    EXPECT_EQ(pending_quit_messages(), 1);
    EXPECT_EQ(load_preferences(dir_ / "prefs.json").interval, 45);
}

// Distinct system colors for the time of a test, as a high-contrast theme sets them.
class SystemColorsSet {
public:
    explicit SystemColorsSet(std::initializer_list<std::pair<int, uint32_t>> colors) {
        for (const auto& [index, rrggbb] : colors) {
            indices_.push_back(index);
            saved_.push_back(GetSysColor(index));
            set_.push_back(RGB(rrggbb >> 16, (rrggbb >> 8) & 0xFF, rrggbb & 0xFF));
        }
        SetSysColors(static_cast<int>(indices_.size()), indices_.data(), set_.data());
    }
    ~SystemColorsSet() {
        SetSysColors(static_cast<int>(indices_.size()), indices_.data(), saved_.data());
    }

private:
    std::vector<int> indices_;
    std::vector<COLORREF> saved_, set_;
};

// Wine never reports high contrast as on (SPI_SETHIGHCONTRAST fails there), so the theme is
// read as if it were.
TEST_F(AppDispatch, HighContrastDrawsBothWindowsInTheSystemColorsUntilItGoesOff) {
    constexpr uint32_t window = 0x102030, text = 0xF0E0D0, highlight = 0x20C040,
                       highlight_text = 0x401020, button = 0x302010;
    const SystemColorsSet colors{
        {COLOR_WINDOW, window},       {COLOR_WINDOWTEXT, text},
        {COLOR_HIGHLIGHT, highlight}, {COLOR_HIGHLIGHTTEXT, highlight_text},
        {COLOR_HOTLIGHT, 0xC0C000},   {COLOR_GRAYTEXT, 0x808040},
        {COLOR_BTNFACE, button}};
    show_panel(*app_);
    apply_theme(*app_, read_theme(true));
    const UiContext& panel = app_->panel->ui();
    const Screenshot panel_shot = screenshot(app_->panel->handle(), L"high-contrast-panel.bmp");
    const std::optional<Rect> chip = region(panel, 12);
    ASSERT_TRUE(chip.has_value());
    const float s = panel.scale;
    EXPECT_EQ(panel_shot.at(5 * s, 200 * s), window);
    EXPECT_EQ(panel_shot.at(0, 200 * s), text) << "the outline";
    EXPECT_EQ(panel_shot.at((chip->x + 3) * s, (chip->y + chip->h / 2) * s), button);

    open_settings(*app_, 0);  // hides the panel
    const UiContext& settings = app_->settings->ui();
    const Screenshot settings_shot =
        screenshot(app_->settings->handle(), L"high-contrast-settings.bmp");
    const std::optional<Rect> row = region(settings, 11);  // "Recordar …", on
    ASSERT_TRUE(row.has_value());
    const float x = row->w - 3, y = row->y + 10;  // where the switch is drawn
    EXPECT_EQ(settings_shot.at(5 * s, 100 * s), window);
    EXPECT_EQ(settings_shot.at((x + 5) * s, y * s), highlight);
    EXPECT_EQ(settings_shot.at((x + 30) * s, y * s), highlight_text);

    // Windows says high contrast changed, and it is off (as Wine always reports).
    SendMessageW(window_, WM_SETTINGCHANGE, SPI_SETHIGHCONTRAST, 0);
    EXPECT_FALSE(panel.theme.highContrast);
    EXPECT_FALSE(settings.theme.highContrast);
    app_->settings->destroy();
}

}  // namespace
}  // namespace torvane
