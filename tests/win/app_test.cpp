// The main window's dispatch on a real hidden window: deferred preference writes, the hot-key
// preference, update notices and quitting once.

#include "app_fixture.h"

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

}  // namespace
}  // namespace torvane
