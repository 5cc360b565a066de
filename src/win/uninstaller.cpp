// Removal of everything the program placed: asked for once, then carried out silently.

#include "win/uninstaller.h"

#include <windows.h>

#include <filesystem>
#include <string>
#include <system_error>
#include <utility>

#include "core/uninstall_command.h"
#include "win/folders.h"
#include "win/handle.h"
#include "win/installer.h"
#include "win/instance.h"
#include "win/log.h"
#include "win/registration.h"
#include "win/wtext.h"

namespace torvane {

namespace {

std::wstring system_folder() {
    wchar_t buffer[MAX_PATH];
    const UINT units = GetSystemDirectoryW(buffer, MAX_PATH);
    if (units == 0 || units >= MAX_PATH) return L"C:\\Windows\\System32";
    return std::wstring(buffer, units);
}

// The running executable keeps its folder from being deleted now: cmd.exe removes it once
// this process has ended. Skipped for a folder that cmd could misread.
void schedule_install_dir_removal() {
    const std::filesystem::path folder = install_dir();
    const std::string text = narrow(folder.native());
    std::error_code error;
    if (!is_safe_for_cmd(text) || !std::filesystem::is_directory(folder, error)) return;
    const std::wstring system = system_folder();
    std::wstring command = widen(removal_command_line(narrow(system), text));
    const std::wstring cmd = system + L"\\cmd.exe";
    // Nothing to report to: see uninstall.
    (void)start_process(cmd, std::move(command), system, CREATE_NO_WINDOW);
}

}  // namespace

int uninstall() {
    if (MessageBoxW(nullptr, L"¿Desinstalar Torvane? Se borran la app y sus preferencias.",
                    L"Torvane", MB_YESNO | MB_ICONQUESTION) != IDYES)
        return 1;
    if (instance_running()) {
        signal_quit();
        wait_for_exit();
    }
    // Whatever cannot be removed stays, unreported: the log itself goes with the data folder,
    // and a line written after it would bring the folder back.
    (void)set_autostart(false);
    DeleteFileW(shortcut_path().c_str());
    (void)remove_uninstall_entry();
    (void)remove_tree(data_dir());
    schedule_install_dir_removal();
    return 0;
}

}  // namespace torvane
