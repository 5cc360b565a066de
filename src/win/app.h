#pragma once
// The application object, the hidden main window that receives everything that happens to the
// program, and the dispatch from its messages to the engine, the effects and the refresh.

#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "core/engine.h"
#include "core/prefs.h"
#include "core/state.h"
#include "win/messages.h"
#include "win/nudge_icon.h"
#include "win/probes.h"
#include "win/ui/d2d.h"
#include "win/ui/theme.h"
#include "win/ui/tray.h"
#include "win/update.h"
#include "win/window.h"

namespace torvane {

class Panel;
class SettingsWindow;

// Window timers.
inline constexpr UINT_PTR timer_tick = 1;
inline constexpr UINT_PTR timer_save_prefs = 2;
inline constexpr UINT_PTR timer_update_check = 3;
inline constexpr UINT tick_interval_ms = 1000;
inline constexpr UINT update_check_first_ms = 15000;

// The shell's command codes, run from the pending-action queue after each message.
enum class Command : uint8_t {
    settings_general = 0,
    settings_movement = 1,
    settings_conditions = 2,
    settings_schedules = 3,
    quit = 4,
    quit_and_restart = 5,
};

struct App {
    App(HWND window, std::shared_ptr<Renderer> renderer, Preferences prefs,
        std::filesystem::path prefs_file, LocalTime now);
    ~App();

    HWND window;
    std::shared_ptr<Renderer> renderer;
    WinProbes probes;
    EngineState engine;
    Preferences prefs;
    Preferences written_prefs;
    std::filesystem::path prefs_file;
    TrayIcon tray;
    Theme theme;
    NudgeIcon nudge_icon;
    std::unique_ptr<Panel> panel;  // created on first show
    std::unique_ptr<SettingsWindow> settings;
    std::shared_ptr<UpdaterState> updater = std::make_shared<UpdaterState>();
    std::vector<Command> pending_actions;
    RunSnapshot saved_run_state;
    bool power_request_held = false;
    bool hotkey_registered = false;
    bool hotkey_applied = false;
    bool display_applied = false;
    bool prefs_save_pending = false;
    bool quitting = false;
};

// The UI thread's single application slot.
void install_app(std::unique_ptr<App> app);
std::unique_ptr<App> take_app();
bool app_installed();

// Exclusive use of the application object for one handler. A handler reached while another
// holds it (a message dispatched from inside a modal call, say) finds it busy and does nothing;
// so does one that runs before start-up installed it or after teardown took it.
class AppBorrow {
public:
    AppBorrow();
    ~AppBorrow() { release(); }
    AppBorrow(const AppBorrow&) = delete;
    AppBorrow& operator=(const AppBorrow&) = delete;

    explicit operator bool() const { return app_ != nullptr; }
    App& operator*() const { return *app_; }
    App* operator->() const { return app_; }
    void release();

private:
    App* app_ = nullptr;
};

// The hidden "TorvaneMain" window: everything that happens to the program arrives here.
class MainWindow final : public Window {
public:
    // False when the window cannot be created.
    bool create();

private:
    std::optional<LRESULT> on_message(UINT message, WPARAM wparam, LPARAM lparam) override;
    void after_message() override;

    void on_tray_event(LPARAM lparam);
    void on_update_notice();
    void on_show_request();
    void on_timer(UINT_PTR id);
    void on_session_change(WPARAM change);
    void on_hotkey();
    void on_theme_change();
    void on_metrics_change();
    void on_taskbar_created();
    void on_close();
    void on_end_session(bool ending);
};

void apply_effects(App& app, Effects effects);
// The theme changed: the open windows take it and everything is drawn again.
void apply_theme(App& app, const Theme& theme);
void refresh(App& app);
void queue_action(App& app, Command command);
void run_pending_actions();
void register_hotkey(App& app);

// Runs the message loop until WM_QUIT; true when the program quits to make way for a newly
// installed build.
bool run_message_loop();

}  // namespace torvane
