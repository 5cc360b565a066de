// The data folder and the log file.

#include "win/log.h"

#include <windows.h>

#include <cstdio>
#include <mutex>
#include <string>

#include "win/folders.h"
#include "win/handle.h"

namespace torvane {

namespace {

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
    return known_folder_or(FOLDERID_RoamingAppData, L"APPDATA") / L"Torvane";
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
