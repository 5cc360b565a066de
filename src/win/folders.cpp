#include "win/folders.h"

#include <string>

#include "win/handle.h"

namespace torvane {

namespace {

std::filesystem::path known_folder(REFKNOWNFOLDERID folder) {
    CoTaskMemory<PWSTR> path;
    if (FAILED(SHGetKnownFolderPath(folder, 0, nullptr, path.put())) || !path) return {};
    return std::filesystem::path(path.get());
}

std::filesystem::path environment_folder(const wchar_t* name) {
    wchar_t buffer[MAX_PATH * 2];
    DWORD n = GetEnvironmentVariableW(name, buffer, static_cast<DWORD>(std::size(buffer)));
    if (n == 0 || n >= std::size(buffer)) return {};
    return std::filesystem::path(std::wstring(buffer, n));
}

std::filesystem::path temp_folder() {
    // GetTempPath2W exists only on newer systems; fall back to GetTempPathW.
    using GetTempPath2 = DWORD(WINAPI*)(DWORD, LPWSTR);
    static const auto get_temp_path2 = reinterpret_cast<GetTempPath2>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetTempPath2W")));
    wchar_t buffer[MAX_PATH + 1];
    DWORD n =
        get_temp_path2 ? get_temp_path2(MAX_PATH + 1, buffer) : GetTempPathW(MAX_PATH + 1, buffer);
    if (n == 0 || n > MAX_PATH) return {};
    return std::filesystem::path(std::wstring(buffer, n));
}

}  // namespace

std::filesystem::path known_folder_or(REFKNOWNFOLDERID folder, const wchar_t* variable,
                                      const wchar_t* below_variable) {
    std::filesystem::path path = known_folder(folder);
    if (path.empty()) {
        path = environment_folder(variable);
        if (!path.empty() && *below_variable) path /= below_variable;
    }
    if (path.empty()) path = temp_folder();
    return path;
}

}  // namespace torvane
