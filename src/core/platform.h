#pragma once
// The few operating-system services the core needs. One implementation per platform:
// src/posix/platform.cpp for the native build, src/win/platform.cpp for Windows.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "core/result.h"
#include "core/time.h"

namespace torvane {

// Whole file as bytes; the failed call and its system error when it is missing or unreadable.
Result<std::string> read_file(const std::filesystem::path& path);

// Writes "<target>.tmp" and moves it over the target (creating parent folders first).
// The temporary file is removed when the move fails; the old target then stays intact.
Status write_file_atomic(const std::filesystem::path& target, std::string_view bytes);

// Full Unicode lower-casing of UTF-8 text (invalid sequences pass through unchanged).
std::string lower_utf8(std::string_view text);

// Random bytes for identifiers and seeds.
void random_bytes(void* out, std::size_t size);

// The local wall-clock time, to the millisecond.
LocalTime local_now();

// Seconds since 1970-01-01 00:00 UTC of a local date-time, through the local time zone, with
// millisecond precision. NaN when the system cannot convert it. Inside a daylight-saving
// change the system picks one of the candidate instants.
double local_to_unix_seconds(LocalTime t);

// The local date-time of an instant given in milliseconds since the epoch; absent when the
// system cannot convert it.
std::optional<LocalTime> unix_ms_to_local(int64_t ms);

}  // namespace torvane
