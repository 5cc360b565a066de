#include "win/installer.h"

#include <windows.h>

#include <string>

#include "win/folders.h"
#include "win/handle.h"

namespace torvane {

InstallOutcome install_if_needed() {
    return InstallOutcome::run_here;
}

int uninstall() {
    return 0;
}

void write_uninstall_entry_if_installed() {}

std::filesystem::path install_dir() {
    return known_folder_or(FOLDERID_LocalAppData, L"LOCALAPPDATA") / L"Programs" / L"Torvane";
}

std::filesystem::path installed_exe_path() {
    return install_dir() / L"Torvane.exe";
}

std::filesystem::path running_exe_path() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return {};
        if (n < buffer.size()) return std::filesystem::path(buffer.substr(0, n));
        if (buffer.size() >= 32768) return {};
        buffer.resize(buffer.size() * 2);
    }
}

bool launch_executable(const std::filesystem::path& exe) {
    std::wstring command = L"\"" + exe.wstring() + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::filesystem::path folder = exe.has_parent_path() ? exe.parent_path() : L".";
    if (!CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE,
                        CREATE_UNICODE_ENVIRONMENT, nullptr, folder.c_str(), &startup, &process))
        return false;
    Handle thread(process.hThread);
    Handle child(process.hProcess);
    return true;
}

}  // namespace torvane
