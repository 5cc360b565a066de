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

}  // namespace

bool is_file(const std::filesystem::path& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool is_folder(const std::filesystem::path& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

DWORD create_folder_tree(const std::filesystem::path& folder) {
    if (is_folder(folder)) return ERROR_SUCCESS;
    const std::filesystem::path parent = folder.parent_path();
    if (!parent.empty() && parent != folder)
        if (DWORD error = create_folder_tree(parent)) return error;
    if (CreateDirectoryW(folder.c_str(), nullptr)) return ERROR_SUCCESS;
    const DWORD error = GetLastError();
    // Created meanwhile by someone else is as good; a file of that name is not.
    return error == ERROR_ALREADY_EXISTS && is_folder(folder) ? ERROR_SUCCESS : error;
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
