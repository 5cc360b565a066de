// Entry point of Torvane.exe: hardening, command line, and the start-up of a normal run.

#include <windows.h>
// After windows.h:
#include <shellapi.h>
#include <wtsapi32.h>

#include <memory>
#include <string>

#include "core/appcast.h"
#include "core/platform.h"
#include "win/app.h"
#include "win/fault.h"
#include "win/folders.h"
#include "win/installer.h"
#include "win/instance.h"
#include "win/late_bound.h"
#include "win/log.h"
#include "win/notify.h"
#include "win/screens.h"
#include "win/state_file.h"
#include "win/threads.h"
#include "win/ui/d2d.h"
#include "win/uninstaller.h"
#include "win/update_install.h"
#include "win/update_restart.h"
#include "win/version.h"
#include "win/wtext.h"

namespace torvane {
namespace {

// Windows 10 before 1703 has no per-monitor-v2 awareness: looked up, so that the program still
// starts there (as system-aware, from its manifest's fallback).
void set_per_monitor_v2_awareness() {
    using SetAwareness = BOOL(WINAPI*)(DPI_AWARENESS_CONTEXT);
    const auto set_awareness =
        system_function<SetAwareness>(L"user32.dll", "SetProcessDpiAwarenessContext");
    if (set_awareness) set_awareness(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
}

// Before anything else: the libraries the program loads later come from System32 only.
void harden_process() {
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    PROCESS_MITIGATION_IMAGE_LOAD_POLICY image_load{};
    image_load.Flags = 5;  // no remote images, prefer System32
    SetProcessMitigationPolicy(ProcessImageLoadPolicy, &image_load, sizeof image_load);
    set_per_monitor_v2_awareness();
}

enum class StartMode { first_run_check, uninstall, run };

StartMode parse_command_line() {
    int count = 0;
    LocalMemory<LPWSTR*> args(CommandLineToArgvW(GetCommandLineW(), &count));
    if (!args) return StartMode::run;
    if (count == 1) return StartMode::first_run_check;
    if (count == 2 && std::wstring_view(args.get()[1]) == L"--uninstall")
        return StartMode::uninstall;
    return StartMode::run;
}

// Not being able to clean up now only leaves files for the next start.
void start_cleanup_thread() {
    start_thread("torvane-cleanup", cleanup_after_update, [] {});
}

// "{version} ({build})", as the start-up log line and the update status show it.
std::string version_and_build() {
    return running_version() + " (" + std::to_string(running_build()) + ")";
}

void publish_version(App& app) {
    UpdaterState& updater = *app.updater;
    const std::optional<std::int64_t> refused = refused_build(read_state());
    publish(updater, [&] {
        updater.window = app.window;
        updater.message = update_notice_message;
        updater.status = "Versión " + version_and_build();
        updater.refused_build = refused;
        updater.install = install_update;
    });
}

constexpr std::string_view greeting_title = "Torvane está en la barra de tareas";
constexpr std::string_view greeting_body =
    "Está junto al reloj (si no lo ves, tocá la flechita ^). Clic para abrir el menú; clic "
    "derecho para activarlo o desactivarlo.";

std::string text_at(const nlohmann::json& object, const char* key) {
    const auto found = object.find(key);
    return found != object.end() && found->is_string() ? found->get<std::string>() : "?";
}

// After a new build failed to start and this one was put back in its place.
void report_rollback(App& app, const nlohmann::json& record) {
    log_failure("No se pudo borrar el aviso de la vuelta atrás", remove_state_key("rolledBack"));
    log_line("La build " + text_at(record, "build") + " " + text_at(record, "reason") +
             "; se volvió a la anterior y no se instalará sola");
    if (app.prefs.notifications)
        show_notification(app.window, "Torvane " + running_version(),
                          "La versión nueva no pudo iniciarse; se volvió a la anterior.");
}

void post_update_notice_and_greeting(App& app) {
    nlohmann::json state = read_state();
    if (auto rolled_back = state.find("rolledBack");
        rolled_back != state.end() && rolled_back->is_object())
        report_rollback(app, *rolled_back);
    if (auto updated = state.find("updatedTo"); updated != state.end() && updated->is_object()) {
        log_failure("No se pudo borrar el aviso de actualización", remove_state_key("updatedTo"));
        if (app.prefs.notifications) {
            std::optional<std::string_view> raw;
            if (auto notes = updated->find("notes"); notes != updated->end() && notes->is_string())
                raw = notes->get_ref<const std::string&>();
            std::optional<std::string> notes = sanitize_notes(raw);
            show_notification(
                app.window, "Torvane actualizado a " + running_version(),
                notes && !notes->empty() ? *notes : "Se reinició con la versión nueva.");
        }
    }
    if (auto onboarded = state.find("onboarded");
        onboarded == state.end() || *onboarded != nlohmann::json(true)) {
        log_failure("No se pudo anotar la bienvenida", set_state_key("onboarded", true));
        show_notification(app.window, greeting_title, greeting_body);
        open_settings(app, static_cast<int>(Command::settings_general));
    }
}

int fail(const std::string& log_text) {
    log_line(log_text);
    release_instance();
    return 1;
}

int run() {
    if (!acquire_instance()) {
        signal_show();
        return 0;
    }
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
        log_line("No se pudo iniciar COM");
    auto renderer = Renderer::create();
    if (!renderer) return fail("No se pudo iniciar Direct2D: " + error_text(renderer.error()));
    MainWindow main_window;
    if (!main_window.create()) return fail("No se pudo crear la ventana principal");
    const HWND window = main_window.handle();
    const Result<std::filesystem::path> exe = running_exe_path();
    log_line("Inicio " + version_and_build() + " en " +
             (exe ? narrow(exe.value().native()) : error_text(exe.error())));
    start_cleanup_thread();
    write_uninstall_entry_if_installed();

    std::filesystem::path prefs_file = data_dir() / L"prefs.json";
    LocalTime now = local_now();
    auto owned = std::make_unique<App>(window, std::move(renderer.value()),
                                       load_preferences(prefs_file), prefs_file, now);
    App& app = *owned;
    install_app(std::move(owned));

    Effects restored;
    app.saved_run_state = restore_run_state(app.engine, app.prefs, now, restored);
    apply_effects(app, std::move(restored));
    if (app.prefs.hotkey) register_hotkey(app);
    publish_version(app);
    WTSRegisterSessionNotification(window, NOTIFY_FOR_THIS_SESSION);
    apply_effects(app, tick(app.engine, app.prefs, app.probes, local_now()));
    refresh(app);
    start_listener(window);
    SetTimer(window, timer_tick, tick_interval_ms, nullptr);
    SetTimer(window, timer_update_check, update_check_first_ms, nullptr);
    post_update_notice_and_greeting(app);

    run_pending_actions();
    const bool restart = run_message_loop();

    KillTimer(window, timer_tick);
    main_window.destroy();
    take_app().reset();
    release_instance();
    if (restart && exe) start_new_build(exe.value());
    return 0;
}

int start() {
    harden_process();
    switch (parse_command_line()) {
        case StartMode::uninstall:
            return uninstall();
        case StartMode::first_run_check:
            if (install_if_needed() == InstallOutcome::handed_over) return 0;
            [[fallthrough]];
        case StartMode::run:
            return run();
    }
    return 0;
}

}  // namespace
}  // namespace torvane

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using namespace torvane;
    log_structured_exceptions();
    int exit_code = 1;
    if (!guarded("el inicio", [&] { exit_code = start(); })) release_instance();
    return exit_code;
}
