#pragma once
// The data folder and the diagnostic log kept in it.

#include <filesystem>
#include <string>
#include <string_view>

#include "core/result.h"

namespace torvane {

// The roaming application-data folder joined with "Torvane"; computed afresh on every call.
std::filesystem::path data_dir();

// Appends "YYYY-MM-DD hh:mm:ss message\r\n" to torvane.log in the data folder.
// Never fails visibly: a line that cannot be written is dropped.
void log_line(std::string_view message);

// The same, to a given log file.
void append_log_line(const std::filesystem::path& file, std::string_view message);

// "{what}: {the failed call} (código {code})" when `result` failed; nothing otherwise. For the
// failures the program carries on after.
template <class T>
void log_failure(std::string_view what, const Result<T>& result) {
    if (!result) log_line(std::string(what) + ": " + error_text(result.error()));
}

// A log larger than this is deleted before the next line is written.
inline constexpr unsigned long long log_size_limit = 0x40000;

}  // namespace torvane
