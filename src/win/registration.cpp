// What makes the installed copy known to the system: the uninstall entry, the Start-menu
// shortcut and the log-on start value.

#include "win/registration.h"

#include <windows.h>
// After windows.h:
#include <shlguid.h>
#include <shobjidl.h>

#include <algorithm>
#include <string>
#include <variant>
#include <vector>

#include "win/handle.h"
#include "win/installer.h"
#include "win/registry.h"
#include "win/version.h"
#include "win/wtext.h"

namespace torvane {

namespace {

constexpr const wchar_t* run_key = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const wchar_t* uninstall_key =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Torvane";
constexpr const wchar_t* product = L"Torvane";

std::wstring quoted(const std::filesystem::path& path) {
    return L"\"" + path.native() + L"\"";
}

// "{major}.{minor}.{patch}", or empty without a version resource.
std::wstring display_version(const std::filesystem::path& exe) {
    const auto version = file_fixed_version(exe);
    if (!version) return {};
    return std::to_wstring(version->major) + L"." + std::to_wstring(version->minor) + L"." +
           std::to_wstring(version->patch);
}

DWORD size_in_kib(const std::filesystem::path& exe) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(exe.c_str(), GetFileExInfoStandard, &data)) return 0;
    const ULONGLONG bytes = (ULONGLONG{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
    return static_cast<DWORD>(std::min<ULONGLONG>(bytes / 1024, 0x7FFFFFFF));
}

RegKey create_key(const wchar_t* subkey) {
    RegKey key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, subkey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                        nullptr, key.put(), nullptr) != ERROR_SUCCESS)
        key.reset();
    return key;
}

void save_shortcut() {
    ComPtr<IShellLinkW> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(link.GetAddressOf()))))
        return;
    const std::filesystem::path exe = installed_exe_path();
    if (FAILED(link->SetPath(exe.c_str())) ||
        FAILED(link->SetWorkingDirectory(install_dir().c_str())) ||
        FAILED(link->SetIconLocation(exe.c_str(), 0)) ||
        FAILED(link->SetDescription(L"Mantiene la PC despierta")))
        return;
    ComPtr<IPersistFile> file;
    if (FAILED(link.As(&file))) return;
    file->Save(shortcut_path().c_str(), TRUE);
}

}  // namespace

std::vector<RegistryValue> uninstall_entry_values() {
    const std::filesystem::path exe = installed_exe_path();
    return {{L"DisplayName", product},
            {L"DisplayVersion", display_version(exe)},
            {L"Publisher", L"brisol"},
            {L"DisplayIcon", quoted(exe) + L",0"},
            {L"InstallLocation", install_dir().native()},
            {L"UninstallString", quoted(exe) + L" --uninstall"},
            {L"NoModify", DWORD{1}},
            {L"NoRepair", DWORD{1}},
            {L"EstimatedSize", size_in_kib(exe)}};
}

// A value that cannot be set is left out.
void write_uninstall_entry() {
    const RegKey key = create_key(uninstall_key);
    if (!key) return;
    for (const RegistryValue& value : uninstall_entry_values()) {
        if (const auto* text = std::get_if<std::wstring>(&value.data))
            write_string(key.get(), value.name, *text);
        else
            write_dword(key.get(), value.name, std::get<DWORD>(value.data));
    }
}

void remove_uninstall_entry() {
    RegDeleteTreeW(HKEY_CURRENT_USER, uninstall_key);
}

void create_start_menu_shortcut() {
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(com)) return;
    save_shortcut();
    CoUninitialize();
}

void set_autostart(bool enabled) {
    if (enabled) {
        if (const RegKey key = create_key(run_key))
            write_string(key.get(), product, quoted(installed_exe_path()));
        return;
    }
    RegKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, run_key, 0, KEY_SET_VALUE, key.put()) == ERROR_SUCCESS)
        RegDeleteValueW(key.get(), product);
}

bool autostart_enabled() {
    const auto command = read_string(HKEY_CURRENT_USER, run_key, product);
    return command && !command->empty();
}

}  // namespace torvane
