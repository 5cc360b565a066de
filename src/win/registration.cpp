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

Result<RegKey> create_key(const wchar_t* subkey) {
    RegKey key;
    const LSTATUS status =
        RegCreateKeyExW(HKEY_CURRENT_USER, subkey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                        nullptr, key.put(), nullptr);
    if (status != ERROR_SUCCESS) return Error{"RegCreateKeyExW", status};
    return key;
}

Status checked(HRESULT hr, const char* call) {
    if (FAILED(hr)) return Error{call, hr};
    return success();
}

// The first step that fails ends it.
Status save_shortcut() {
    ComPtr<IShellLinkW> link;
    Status saved =
        checked(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                 reinterpret_cast<void**>(link.GetAddressOf())),
                "CoCreateInstance");
    const std::filesystem::path exe = installed_exe_path();
    if (saved) saved = checked(link->SetPath(exe.c_str()), "SetPath");
    if (saved)
        saved = checked(link->SetWorkingDirectory(install_dir().c_str()), "SetWorkingDirectory");
    if (saved) saved = checked(link->SetIconLocation(exe.c_str(), 0), "SetIconLocation");
    if (saved) saved = checked(link->SetDescription(L"Mantiene la PC despierta"), "SetDescription");
    ComPtr<IPersistFile> file;
    if (saved) saved = checked(link.As(&file), "QueryInterface(IPersistFile)");
    if (saved) saved = checked(file->Save(shortcut_path().c_str(), TRUE), "IPersistFile::Save");
    return saved;
}

// The values in the order they are written.
struct RegistryValue {
    const wchar_t* name;
    std::variant<std::wstring, DWORD> data;
};

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

}  // namespace

Status write_uninstall_entry() {
    const Result<RegKey> key = create_key(uninstall_key);
    if (!key) return key.error();
    Status written = success();
    for (const RegistryValue& value : uninstall_entry_values()) {
        const auto* text = std::get_if<std::wstring>(&value.data);
        Status one = text ? write_string(key.value().get(), value.name, *text)
                          : write_dword(key.value().get(), value.name, std::get<DWORD>(value.data));
        if (!one && written) written = std::move(one);
    }
    return written;
}

Status remove_uninstall_entry() {
    const LSTATUS status = RegDeleteTreeW(HKEY_CURRENT_USER, uninstall_key);
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
        return Error{"RegDeleteTreeW", status};
    return success();
}

Status create_start_menu_shortcut() {
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(com)) return Error{"CoInitializeEx", com};
    Status saved = save_shortcut();
    CoUninitialize();
    return saved;
}

Status set_autostart(bool enabled) {
    if (enabled) {
        const Result<RegKey> key = create_key(run_key);
        if (!key) return key.error();
        return write_string(key.value().get(), product, quoted(installed_exe_path()));
    }
    RegKey key;
    const char* call = "RegOpenKeyExW";
    LSTATUS status = RegOpenKeyExW(HKEY_CURRENT_USER, run_key, 0, KEY_SET_VALUE, key.put());
    if (status == ERROR_SUCCESS) {
        call = "RegDeleteValueW";
        status = RegDeleteValueW(key.get(), product);
    }
    // No key or no value: off already.
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) return Error{call, status};
    return success();
}

bool autostart_enabled() {
    const auto command = read_string(HKEY_CURRENT_USER, run_key, product);
    return command && !command->empty();
}

}  // namespace torvane
