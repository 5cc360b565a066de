#pragma once
// The application object, the hidden main window that receives everything that happens to the
// program, and the dispatch from its messages to the engine, the effects and the refresh.

#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

#include "core/engine.h"
#include "core/prefs.h"
#include "core/state.h"
#include "win/instance.h"
#include "win/probes.h"
#include "win/ui/d2d.h"
#include "win/ui/theme.h"
#include "win/ui/tray.h"
#include "win/update.h"

namespace torvane {

// Private window messages.
inline constexpr UINT msg_tray = kTrayCallbackMessage;
inline constexpr UINT msg_update = WM_APP + 0x11;
inline constexpr UINT msg_show = signal_show_message;
inline constexpr UINT msg_quit = signal_quit_message;

// Window timers.
inline constexpr UINT_PTR timer_tick = 1;
inline constexpr UINT_PTR timer_save_prefs = 2;
inline constexpr UINT_PTR timer_update_check = 3;
inline constexpr UINT tick_interval_ms = 1000;
inline constexpr UINT update_check_first_ms = 15000;

// Pending actions: 0–3 open the settings on that page.
inline constexpr uint8_t action_quit = 4;
inline constexpr uint8_t action_restart = 5;

struct App {
    App(HWND window, std::shared_ptr<Renderer> renderer, Preferences prefs,
        std::filesystem::path prefs_file, LocalTime now);

    HWND window;
    std::shared_ptr<Renderer> renderer;
    WinProbes probes;
    EngineState engine;
    Preferences prefs;
    Preferences written_prefs;
    std::filesystem::path prefs_file;
    TrayIcon tray;
    Theme theme;
    std::shared_ptr<UpdaterState> updater = std::make_shared<UpdaterState>();
    std::vector<uint8_t> pending_actions;
    RunRecord saved_run_state{};
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

// Registers "TorvaneMain" and creates the hidden main window; null on failure.
HWND create_main_window(HINSTANCE instance);

void apply_effects(App& app, Effects effects);
void refresh(App& app);
void queue_action(App& app, uint8_t code);
void run_pending_actions();
void register_hotkey(App& app);

// Runs the message loop until WM_QUIT.
void run_message_loop();

}  // namespace torvane
