#include "win/installer.h"

#include <windows.h>

#include <string>

#include "win/folders.h"
#include "win/handle.h"
#include "win/registry.h"

namespace torvane {

namespace {

constexpr const wchar_t* run_key = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const wchar_t* product = L"Torvane";

std::wstring quoted(const std::filesystem::path& path) {
    return L"\"" + path.native() + L"\"";
}

}  // namespace

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

void set_autostart(bool enabled) {
    RegKey key;
    if (enabled) {
        if (RegCreateKeyExW(HKEY_CURRENT_USER, run_key, 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_WRITE, nullptr, key.put(), nullptr) == ERROR_SUCCESS)
            write_string(key.get(), product, quoted(installed_exe_path()));
    } else if (RegOpenKeyExW(HKEY_CURRENT_USER, run_key, 0, KEY_SET_VALUE, key.put()) ==
               ERROR_SUCCESS) {
        RegDeleteValueW(key.get(), product);
    }
}

bool autostart_enabled() {
    auto command = read_string(HKEY_CURRENT_USER, run_key, product);
    return command && !command->empty();
}

}  // namespace torvane
