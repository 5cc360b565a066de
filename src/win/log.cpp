// The data folder and the log file.

#include "win/log.h"

#include <windows.h>
// After windows.h:
#include <knownfolders.h>
#include <shlobj.h>

#include <cstdio>
#include <mutex>
#include <string>

#include "win/handle.h"

namespace torvane {

namespace {

std::filesystem::path known_roaming_folder() {
    PWSTR path = nullptr;
    std::filesystem::path result;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_RoamingAppData, 0, nullptr, &path)) && path)
        result = path;
    CoTaskMemFree(path);
    return result;
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

std::string sanitised(std::string_view message) {
    std::string text(message);
    for (char& c : text)
        if (c == '\r' || c == '\n') c = ' ';
    return text;
}

std::string timestamp() {
    SYSTEMTIME t;
    GetLocalTime(&t);
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04u-%02u-%02u %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay,
                  t.wHour, t.wMinute, t.wSecond);
    return buffer;
}

std::mutex log_lock;

}  // namespace

std::filesystem::path data_dir() {
    std::filesystem::path base = known_roaming_folder();
    if (base.empty()) base = environment_folder(L"APPDATA");
    if (base.empty()) base = temp_folder();
    return base / L"Torvane";
}

void log_line(std::string_view message) {
    append_log_line(data_dir() / L"torvane.log", message);
}

void append_log_line(const std::filesystem::path& file, std::string_view message) {
    std::lock_guard lock(log_lock);
    std::error_code ec;
    if (file.has_parent_path()) {
        std::filesystem::create_directories(file.parent_path(), ec);
        if (ec) return;
    }
    WIN32_FILE_ATTRIBUTE_DATA info;
    if (GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &info)) {
        unsigned long long size =
            (static_cast<unsigned long long>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
        if (size > log_size_limit) DeleteFileW(file.c_str());
    }
    std::string line = timestamp() + " " + sanitised(message) + "\r\n";
    FileHandle out(CreateFileW(file.c_str(), FILE_APPEND_DATA,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out) return;
    DWORD written = 0;
    WriteFile(out.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

}  // namespace torvane
