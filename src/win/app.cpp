// The application object's slot, the main window's dispatch, effects, refresh and quit.

#include "win/app.h"

#include <psapi.h>
#include <wtsapi32.h>

#include <atomic>
#include <optional>
#include <utility>

#include "core/platform.h"
#include "win/folders.h"
#include "win/installer.h"
#include "win/instance.h"
#include "win/jiggler.h"
#include "win/notify.h"
#include "win/screens.h"
#include "win/state_file.h"
#include "win/ui/panel.h"
#include "win/ui/settings.h"

namespace torvane {

namespace {

constexpr int hotkey_id = 1;
constexpr UINT hotkey_modifiers = MOD_CONTROL | MOD_ALT | MOD_SHIFT | MOD_NOREPEAT;
constexpr UINT hotkey_key = 0x4A;  // J
constexpr UINT update_check_every_ms = 6 * 60 * 60 * 1000;
// The WM_QUIT code of a quit that makes way for a newly installed build.
constexpr int quit_to_restart = 2;

UINT taskbar_created_message = 0;
std::atomic<uint32_t> tick_counter{0};

uint64_t random_seed() {
    uint64_t seed = 0;
    random_bytes(&seed, sizeof seed);
    return seed;
}

void save_prefs_if_changed(App& app) {
    if (app.prefs == app.written_prefs) return;
    if (save_preferences(app.prefs_file, app.prefs).ok()) app.written_prefs = app.prefs;
}

// A quit that arrived while the object was borrowed (WM_ENDSESSION or WM_CLOSE dispatched
// from inside another handler): carried out as soon as the object is free again. UI thread only.
bool quit_deferred = false;

void quit(bool restart) {
    AppBorrow app;
    if (!app) {
        if (app_installed()) quit_deferred = true;
        return;
    }
    if (app->quitting) return;
    app->quitting = true;
    save_run_state(app->engine, app->saved_run_state, true);
    save_prefs_if_changed(*app);
    set_power_request(app->power_request_held, false);
    if (app->hotkey_registered) {
        UnregisterHotKey(app->window, hotkey_id);
        app->hotkey_registered = false;
    }
    remove_tray_icon(app->tray);
    WTSUnRegisterSessionNotification(app->window);
    app.release();
    stop_listener();
    PostQuitMessage(restart ? quit_to_restart : 0);
}

}  // namespace

App::App(HWND main_window, std::shared_ptr<Renderer> shared_renderer, Preferences loaded,
         std::filesystem::path file, LocalTime now)
    : window(main_window),
      renderer(std::move(shared_renderer)),
      engine(initial_engine_state(now, probes.idle_seconds_now(), random_seed())),
      prefs(std::move(loaded)),
      written_prefs(prefs),
      prefs_file(std::move(file)),
      tray(main_window),
      theme(read_theme()),
      hotkey_applied(prefs.hotkey),
      display_applied(prefs.preventDisplaySleep) {}

App::~App() = default;

namespace {

// The UI thread's application slot and its exclusive borrow. Plain statics: only the UI thread
// ever reaches them, and a thread-local costs a lookup on every message.
std::unique_ptr<App> app_slot;
bool app_borrowed = false;

}  // namespace

AppBorrow::AppBorrow() {
    if (app_slot && !app_borrowed) {
        app_ = app_slot.get();
        app_borrowed = true;
    }
}

void AppBorrow::release() {
    if (app_) app_borrowed = false;
    app_ = nullptr;
}

bool app_installed() {
    return app_slot != nullptr;
}

void install_app(std::unique_ptr<App> app) {
    app_slot = std::move(app);
}

std::unique_ptr<App> take_app() {
    return std::move(app_slot);
}

bool MainWindow::create() {
    if (!Window::create({.name = L"TorvaneMain"}, WS_EX_TOOLWINDOW, L"Torvane", 0, RECT{}, nullptr))
        return false;
    taskbar_created_message = RegisterWindowMessageW(L"TaskbarCreated");
    return true;
}

std::optional<LRESULT> MainWindow::on_message(UINT message, WPARAM wparam, LPARAM lparam) {
    if (taskbar_created_message != 0 && message == taskbar_created_message) {
        on_taskbar_created();
        return 0;
    }
    switch (message) {
        case tray_callback_message:
            on_tray_event(lparam);
            return 0;
        case update_notice_message:
            on_update_notice();
            return 0;
        case show_request_message:
            on_show_request();
            return 0;
        case quit_request_message:
            quit(false);
            return 0;
        case WM_TIMER:
            on_timer(wparam);
            return 0;
        case WM_WTSSESSION_CHANGE:
            on_session_change(wparam);
            return 0;
        case WM_HOTKEY:
            on_hotkey();
            return 0;
        case WM_SETTINGCHANGE:
            if (wparam == SPI_SETHIGHCONTRAST ||
                is_immersive_color_set(reinterpret_cast<const wchar_t*>(lparam)))
                on_theme_change();
            else
                on_metrics_change();
            return 0;
        case WM_DISPLAYCHANGE:
            on_metrics_change();
            return 0;
        case WM_DWMCOLORIZATIONCOLORCHANGED:
        case WM_SYSCOLORCHANGE:  // a high-contrast theme's colors
            on_theme_change();
            return 0;
        case WM_CLOSE:
            on_close();
            return 0;
        case WM_ENDSESSION:
            on_end_session(wparam != 0);
            return 0;
    }
    return std::nullopt;
}

void MainWindow::after_message() {
    run_pending_actions();
}

void MainWindow::on_tray_event(LPARAM lparam) {
    AppBorrow app;
    if (!app) return;
    switch (tray_action(lparam)) {
        case TrayAction::toggle_panel:
            toggle_panel(*app);
            break;
        case TrayAction::toggle_keep_awake:
            if (panel_visible(*app)) hide_panel(*app);
            apply_effects(*app, toggle(app->engine, app->prefs, local_now(), false));
            refresh(*app);
            break;
        case TrayAction::show_panel:
            show_panel(*app);
            break;
        case TrayAction::none:
            break;
    }
}

void MainWindow::on_update_notice() {
    AppBorrow app;
    if (!app) return;
    const UpdateNotice notice = take_update_notice(*app->updater);
    if (notice.notification && app->prefs.notifications)
        show_notification(app->window, notice.notification->first, notice.notification->second);
    if (notice.restart) queue_action(*app, Command::quit_and_restart);
    refresh(*app);
}

void MainWindow::on_show_request() {
    if (AppBorrow app; app) show_panel(*app);
}

void MainWindow::on_timer(UINT_PTR id) {
    switch (id) {
        case timer_tick:
            if (AppBorrow app; app) {
                // Start-up pages are no longer needed once the program has settled.
                if (tick_counter.fetch_add(1) == 5) K32EmptyWorkingSet(GetCurrentProcess());
                apply_effects(*app, tick(app->engine, app->prefs, app->probes, local_now()));
                save_run_state(app->engine, app->saved_run_state, false);
                settings_tick(*app);
                refresh(*app);
            }
            break;
        case timer_save_prefs:
            // While the object is busy the timer keeps running, so the write happens 600 ms
            // later.
            if (AppBorrow app; app) {
                KillTimer(handle(), timer_save_prefs);
                app->prefs_save_pending = false;
                save_prefs_if_changed(*app);
            }
            break;
        case timer_update_check:
            if (AppBorrow app; app && app->prefs.autoCheckUpdates)
                check_for_updates(app->updater, false);
            SetTimer(handle(), timer_update_check, update_check_every_ms, nullptr);
            break;
    }
}

void MainWindow::on_session_change(WPARAM change) {
    AppBorrow app;
    if (!app || (change != WTS_SESSION_LOCK && change != WTS_SESSION_UNLOCK)) return;
    apply_effects(*app,
                  session_event(app->engine, app->prefs, local_now(), change == WTS_SESSION_LOCK));
}

void MainWindow::on_hotkey() {
    AppBorrow app;
    if (!app) return;
    apply_effects(*app, toggle(app->engine, app->prefs, local_now(), true));
    refresh(*app);
}

void MainWindow::on_theme_change() {
    AppBorrow app;
    if (app) apply_theme(*app, read_theme());
}

// The small-icon size may have changed with the settings or the display.
void MainWindow::on_metrics_change() {
    AppBorrow app;
    if (!app) return;
    tray_metrics_changed(app->tray);
    refresh(*app);
}

void MainWindow::on_taskbar_created() {
    AppBorrow app;
    if (!app) return;
    tray_taskbar_created(app->tray, *app->renderer, app->engine, app->prefs);
}

// Any process can send WM_CLOSE (a task manager's polite "end task" does). Letting it destroy
// the window would leave the loop running with no timers and an orphaned icon, so it quits
// the whole program cleanly instead.
void MainWindow::on_close() {
    quit(false);
}

void MainWindow::on_end_session(bool ending) {
    if (ending) quit(false);
}

void apply_theme(App& app, const Theme& theme) {
    app.theme = theme;
    panel_theme_changed(app);
    settings_theme_changed(app);
    tray_accent_changed(app.tray);
    refresh(app);
}

void apply_effects(App& app, Effects effects) {
    for (Effect& effect : effects) {
        switch (effect.kind) {
            case Effect::Kind::Notify:
                show_notification(app.window, effect.title, effect.body);
                break;
            case Effect::Kind::Jiggle:
                nudge(app.prefs.mode, app.prefs.distance, app.prefs.randomize,
                      app.prefs.showIconOnJiggle, [&app](POINT pointer) {
                          app.nudge_icon.show(pointer, *app.renderer, app.theme);
                      });
                break;
            case Effect::Kind::Power:
                set_power_request(app.power_request_held, effect.keep_display);
                break;
            case Effect::Kind::Quit:
                queue_action(app, Command::quit);
                break;
        }
    }
}

void register_hotkey(App& app) {
    if (!app.hotkey_registered)
        app.hotkey_registered =
            RegisterHotKey(app.window, hotkey_id, hotkey_modifiers, hotkey_key) != FALSE;
}

void refresh(App& app) {
    if (panel_visible(app)) draw_panel(app);
    draw_settings(app);
    if (app.prefs != app.written_prefs && !app.prefs_save_pending) {
        app.prefs_save_pending = true;
        SetTimer(app.window, timer_save_prefs, 600, nullptr);
    }
    if (app.prefs.hotkey != app.hotkey_applied) {
        app.hotkey_applied = app.prefs.hotkey;
        if (app.prefs.hotkey) {
            register_hotkey(app);
        } else if (app.hotkey_registered) {
            UnregisterHotKey(app.window, hotkey_id);
            app.hotkey_registered = false;
        }
    }
    if (app.prefs.preventDisplaySleep != app.display_applied) {
        app.display_applied = app.prefs.preventDisplaySleep;
        set_power_request(app.power_request_held, app.prefs.preventDisplaySleep && app.engine.on);
    }
    set_auto_install(*app.updater, app.prefs.autoInstallUpdates);
    refresh_tray_icon(app.tray, *app.renderer, app.engine, app.prefs);
    // Nothing shows: what drawing needs goes until a window or the nudge icon opens again.
    if (!panel_visible(app) && !settings_open(app) && !app.nudge_icon.visible())
        app.renderer->release_device();
}

void queue_action(App& app, Command command) {
    app.pending_actions.push_back(command);
}

void run_pending_actions() {
    for (;;) {
        std::vector<Command> commands;
        {
            AppBorrow app;
            if (!app) return;
            commands = std::exchange(app->pending_actions, {});
            if (std::exchange(quit_deferred, false)) commands.push_back(Command::quit);
        }
        if (commands.empty()) return;
        for (Command command : commands) {
            if (command == Command::quit || command == Command::quit_and_restart) {
                quit(command == Command::quit_and_restart);
            } else if (AppBorrow app; app) {
                open_settings(*app, static_cast<int>(command));
            }
        }
    }
}

bool run_message_loop() {
    MSG message;
    int result = 0;
    while ((result = GetMessageW(&message, nullptr, 0, 0)) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return result == 0 && message.wParam == quit_to_restart;
}

}  // namespace torvane
