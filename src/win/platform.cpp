// Platform services for Windows: files, lower-casing, randomness, local time.

#include <windows.h>

#include <cmath>
#include <random>

#include "core/platform.h"
#include "core/utf8.h"
#include "win/handle.h"
#include "win/last_error.h"
#include "win/wtext.h"

namespace torvane {

std::wstring widen(std::string_view utf8) {
    return utf16_of_utf8<wchar_t>(utf8);
}

std::string narrow(std::wstring_view utf16) {
    return utf8_of_utf16(utf16);
}

Result<std::string> read_file(const std::filesystem::path& path) {
    FileHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return last_error("CreateFileW");
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size)) return last_error("GetFileSizeEx");
    if (size.QuadPart > (1LL << 30)) return Error{"archivo de más de 1 GiB"};
    std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD got = 0;
        DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
        if (!ReadFile(file.get(), bytes.data() + done, want, &got, nullptr))
            return last_error("ReadFile");
        if (got == 0) break;
        done += got;
    }
    bytes.resize(done);
    return bytes;
}

Status write_file_atomic(const std::filesystem::path& target, std::string_view bytes) {
    std::error_code ec;
    if (target.has_parent_path()) std::filesystem::create_directories(target.parent_path(), ec);
    std::filesystem::path tmp = target;
    tmp += L".tmp";
    {
        FileHandle file(CreateFileW(tmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return last_error("CreateFileW");
        while (!bytes.empty()) {
            DWORD put = 0;
            DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 20));
            if (!WriteFile(file.get(), bytes.data(), want, &put, nullptr) || put == 0) {
                Error error = last_error("WriteFile");
                file.reset();
                DeleteFileW(tmp.c_str());
                return error;
            }
            bytes.remove_prefix(put);
        }
    }
    if (!MoveFileExW(tmp.c_str(), target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        Error error = last_error("MoveFileExW");
        DeleteFileW(tmp.c_str());
        return error;
    }
    return success();
}

std::string lower_utf8(std::string_view text) {
    std::wstring wide = widen(text);
    if (wide.empty()) return std::string(text);
    std::wstring lower(wide.size() * 2, L'\0');
    int n = LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_LOWERCASE, wide.data(),
                          static_cast<int>(wide.size()), lower.data(),
                          static_cast<int>(lower.size()), nullptr, nullptr, 0);
    if (n <= 0) return std::string(text);
    lower.resize(static_cast<std::size_t>(n));
    return narrow(lower);
}

void random_bytes(void* out, std::size_t size) {
    static thread_local std::random_device device;
    auto* bytes = static_cast<unsigned char*>(out);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<unsigned char>(device());
}

// Local time goes through the zone's rules for the year in question (dynamic daylight-saving
// time), not the C runtime, which applies this year's rules to every year and follows a TZ
// variable with its own defaults.
namespace {

// 100-nanosecond FILETIME ticks between 1601-01-01 and 1970-01-01.
constexpr int64_t epoch_ticks = 116444736000000000;
constexpr int64_t ticks_per_ms = 10000;

TIME_ZONE_INFORMATION zone_for_year(WORD year) {
    TIME_ZONE_INFORMATION zone{};
    if (!GetTimeZoneInformationForYear(year, nullptr, &zone)) GetTimeZoneInformation(&zone);
    return zone;
}

LocalTime from_system_time(const SYSTEMTIME& t) {
    return make_local(t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
}

}  // namespace

LocalTime local_now() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return from_system_time(now);
}

double local_to_unix_seconds(LocalTime t) {
    using namespace std::chrono;
    LocalDays day = date_of(t);
    year_month_day ymd(day);
    int year = static_cast<int>(ymd.year());
    if (year < 1601 || year > 30827) return std::nan("");
    hh_mm_ss<milliseconds> time(t - day);
    SYSTEMTIME local{};
    local.wYear = static_cast<WORD>(year);
    local.wMonth = static_cast<WORD>(static_cast<unsigned>(ymd.month()));
    local.wDay = static_cast<WORD>(static_cast<unsigned>(ymd.day()));
    local.wDayOfWeek = static_cast<WORD>(weekday(day).c_encoding());
    local.wHour = static_cast<WORD>(time.hours().count());
    local.wMinute = static_cast<WORD>(time.minutes().count());
    local.wSecond = static_cast<WORD>(time.seconds().count());
    local.wMilliseconds = static_cast<WORD>(time.subseconds().count());
    TIME_ZONE_INFORMATION zone = zone_for_year(local.wYear);
    SYSTEMTIME utc;
    FILETIME ft;
    if (!TzSpecificLocalTimeToSystemTime(&zone, &local, &utc) || !SystemTimeToFileTime(&utc, &ft))
        return std::nan("");
    int64_t ticks =
        static_cast<int64_t>((static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
    // Whole ticks of a millisecond: the division is exact.
    return static_cast<double>((ticks - epoch_ticks) / ticks_per_ms) / 1000.0;
}

std::optional<LocalTime> unix_ms_to_local(int64_t ms) {
    constexpr int64_t min_ms = -epoch_ticks / ticks_per_ms;
    constexpr int64_t max_ms = (INT64_MAX - epoch_ticks) / ticks_per_ms;
    if (ms < min_ms || ms > max_ms) return std::nullopt;
    auto ticks = static_cast<uint64_t>(ms * ticks_per_ms + epoch_ticks);
    FILETIME ft{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    SYSTEMTIME utc;
    SYSTEMTIME local;
    if (!FileTimeToSystemTime(&ft, &utc)) return std::nullopt;
    TIME_ZONE_INFORMATION zone = zone_for_year(utc.wYear);
    if (!SystemTimeToTzSpecificLocalTime(&zone, &utc, &local)) return std::nullopt;
    // Around New Year the local year decides, as it does for the way back.
    if (local.wYear != utc.wYear) {
        zone = zone_for_year(local.wYear);
        if (!SystemTimeToTzSpecificLocalTime(&zone, &utc, &local)) return std::nullopt;
    }
    return from_system_time(local);
}

}  // namespace torvane
