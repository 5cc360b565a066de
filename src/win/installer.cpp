#include "win/installer.h"
#include "win/registration.h"

#include <string>

#include "win/folders.h"
#include "win/handle.h"
#include "win/instance.h"
#include "win/last_error.h"
#include "win/log.h"
#include "win/version.h"
#include "win/wtext.h"

namespace torvane {

namespace {

uint32_t build_of(const std::filesystem::path& exe) {
    const auto version = file_fixed_version(exe);
    return version ? version->build : 0;
}

void stop_running_copy() {
    if (!instance_running()) return;
    signal_quit();
    wait_for_exit();
    // The process may still hold its executable open for a moment after letting go.
    Sleep(300);
}

// Copies through "Torvane.exe.new", flushed to the disk, and renames it over the installed file
// with write-through, so that the installed copy is never half written.
Status copy_into_place(const std::filesystem::path& own) {
    stop_running_copy();
    if (Status folder = create_folder_tree(install_dir()); !folder) return folder;
    const std::filesystem::path installed = installed_exe_path();
    std::filesystem::path fresh = installed;
    fresh += L".new";
    if (!CopyFileW(own.c_str(), fresh.c_str(), FALSE)) return last_error("CopyFileW");
    Status placed = flush_file(fresh);
    if (placed) placed = rename_durably(fresh, installed);
    if (!placed) log_failure("No se pudo borrar Torvane.exe.new", remove_tree(fresh));
    return placed;
}

// The box shows the system's description; the log adds the call that failed.
void warn_install_failed(const Error& error) {
    log_line("No se pudo instalar Torvane: " + error_text(error));
    const std::wstring text = L"No se pudo instalar Torvane en " + install_dir().native() +
                              L".\n\n" + widen(system_error_text(static_cast<DWORD>(error.code)));
    MessageBoxW(nullptr, text.c_str(), L"Torvane", MB_OK | MB_ICONWARNING);
}

// A copy that cannot be started leaves the user with nothing: then this one runs instead.
InstallOutcome start_installed_copy() {
    const Result<Handle> started = launch_executable(installed_exe_path());
    log_failure("No se pudo iniciar la copia instalada", started);
    return started ? InstallOutcome::handed_over : InstallOutcome::run_here;
}

InstallOutcome hand_over() {
    if (!instance_running()) return start_installed_copy();
    AllowSetForegroundWindow(ASFW_ANY);
    signal_show();
    return InstallOutcome::handed_over;
}

std::wstring final_path(const std::filesystem::path& path) {
    FileHandle file(CreateFileW(path.c_str(), 0,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file) return path.native();
    std::wstring buffer(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        const DWORD units = GetFinalPathNameByHandleW(
            file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), FILE_NAME_NORMALIZED);
        if (units == 0) break;
        if (units < buffer.size()) return buffer.substr(0, units);
        buffer.resize(units);  // too small: `units` is the size it needs
    }
    return path.native();
}

}  // namespace

InstallOutcome install_if_needed() {
    // A path that cannot be found is logged at the start.
    const Result<std::filesystem::path> own = running_exe_path();
    if (!own) return InstallOutcome::run_here;
    const std::filesystem::path installed = installed_exe_path();
    if (same_program(own.value(), installed)) return InstallOutcome::run_here;
    if (is_file(installed) && build_of(installed) >= running_build()) return hand_over();
    if (const Status copied = copy_into_place(own.value()); !copied) {
        warn_install_failed(copied.error());
        return InstallOutcome::run_here;
    }
    log_failure("No se pudo registrar la desinstalación", write_uninstall_entry());
    log_failure("No se pudo crear el acceso directo", create_start_menu_shortcut());
    // Re-pointed at the new copy; a first installation does not switch it on.
    if (autostart_enabled())
        log_failure("No se pudo actualizar el inicio con la sesión", set_autostart(true));
    return start_installed_copy();
}

void write_uninstall_entry_if_installed() {
    const Result<std::filesystem::path> own = running_exe_path();
    if (own && same_program(own.value(), installed_exe_path()))
        log_failure("No se pudo registrar la desinstalación", write_uninstall_entry());
}

std::filesystem::path install_dir() {
    return known_folder_or(FOLDERID_LocalAppData, L"LOCALAPPDATA") / L"Programs" / L"Torvane";
}

std::filesystem::path installed_exe_path() {
    return install_dir() / L"Torvane.exe";
}

std::filesystem::path shortcut_path() {
    return known_folder_or(FOLDERID_Programs, L"APPDATA",
                           L"Microsoft\\Windows\\Start Menu\\Programs") /
           L"Torvane.lnk";
}

Result<Handle> start_process(const std::wstring& program, std::wstring command_line,
                             const std::wstring& folder, DWORD flags) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr, FALSE,
                        flags | CREATE_UNICODE_ENVIRONMENT, nullptr, folder.c_str(), &startup,
                        &process))
        return last_error("CreateProcessW");
    Handle thread(process.hThread);
    return Handle(process.hProcess);
}

Result<Handle> launch_executable(const std::filesystem::path& exe) {
    const std::filesystem::path folder = exe.has_parent_path() ? exe.parent_path() : L".";
    return start_process(exe.native(), L"\"" + exe.native() + L"\"", folder.native());
}

std::wstring normalized_program_path(const std::filesystem::path& path) {
    std::wstring text = final_path(path);
    for (wchar_t& c : text)
        if (c == L'/') c = L'\\';
    if (text.starts_with(L"\\\\?\\")) text.erase(0, 4);
    while (!text.empty() && text.back() == L'\\')
        text.pop_back();
    if (!text.empty()) CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

bool same_program(const std::filesystem::path& a, const std::filesystem::path& b) {
    return normalized_program_path(a) == normalized_program_path(b);
}

}  // namespace torvane
