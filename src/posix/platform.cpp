// Platform services for the native (POSIX) build.

#include <fcntl.h>
#include <locale.h>
#include <unistd.h>
#include <wctype.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>
#include <random>

#include "core/platform.h"
#include "core/utf8.h"

namespace torvane {

static Error errno_error(const char* what) {
    return Error{what, errno};
}

Result<std::string> read_file(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno_error("open");
    std::string bytes;
    char buffer[1 << 16];
    ssize_t n = 0;
    while ((n = ::read(fd, buffer, sizeof buffer)) != 0) {
        if (n > 0) {
            bytes.append(buffer, static_cast<std::size_t>(n));
        } else if (errno != EINTR) {
            const Error error = errno_error("read");
            ::close(fd);
            return error;
        }
    }
    ::close(fd);
    return bytes;
}

static bool write_all(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

Status write_file_atomic(const std::filesystem::path& target, std::string_view bytes) {
    std::error_code ec;
    if (target.has_parent_path()) std::filesystem::create_directories(target.parent_path(), ec);
    std::filesystem::path tmp = target;
    tmp += ".tmp";
    int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return errno_error("open");
    bool written = write_all(fd, bytes) && ::fsync(fd) == 0;
    int saved = errno;
    ::close(fd);
    if (!written) {
        ::unlink(tmp.c_str());
        return Error{"write", saved};
    }
    if (::rename(tmp.c_str(), target.c_str()) != 0) {
        saved = errno;
        ::unlink(tmp.c_str());
        return Error{"rename", saved};
    }
    return success();
}

std::string lower_utf8(std::string_view text) {
    static locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
    std::string out;
    out.reserve(text.size());
    for_each_code_point(text, [&](char32_t cp, bool valid, std::string_view raw) {
        if (!valid) {
            out.append(raw);
            return;
        }
        if (utf8) cp = static_cast<char32_t>(towlower_l(static_cast<wint_t>(cp), utf8));
        append_utf8(out, cp);
    });
    return out;
}

void random_bytes(void* out, std::size_t size) {
    static thread_local std::random_device device;
    auto* bytes = static_cast<unsigned char*>(out);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<unsigned char>(device());
}

std::optional<LocalTime> unix_ms_to_local(int64_t ms) {
    using namespace std::chrono;
    // Floor division, so that instants before the epoch keep a positive millisecond part.
    int64_t secs = ms / 1000 - (ms % 1000 < 0 ? 1 : 0);
    auto millis = static_cast<unsigned>(ms - secs * 1000);
    time_t t = static_cast<time_t>(secs);
    tm local{};
    if (!localtime_r(&t, &local)) return std::nullopt;
    return make_local(local.tm_year + 1900, static_cast<unsigned>(local.tm_mon + 1),
                      static_cast<unsigned>(local.tm_mday), static_cast<unsigned>(local.tm_hour),
                      static_cast<unsigned>(local.tm_min), static_cast<unsigned>(local.tm_sec),
                      millis);
}

double local_to_unix_seconds(LocalTime t) {
    using namespace std::chrono;
    LocalDays day = date_of(t);
    year_month_day ymd(day);
    hh_mm_ss<milliseconds> time(t - day);
    tm local{};
    local.tm_year = static_cast<int>(ymd.year()) - 1900;
    local.tm_mon = static_cast<int>(static_cast<unsigned>(ymd.month())) - 1;
    local.tm_mday = static_cast<int>(static_cast<unsigned>(ymd.day()));
    local.tm_hour = static_cast<int>(time.hours().count());
    local.tm_min = static_cast<int>(time.minutes().count());
    local.tm_sec = static_cast<int>(time.seconds().count());
    local.tm_isdst = -1;  // let the zone decide whether daylight-saving time applies
    local.tm_wday = -1;   // set by a successful mktime; -1 is also a valid result
    time_t secs = std::mktime(&local);
    if (secs == static_cast<time_t>(-1) && local.tm_wday == -1) return std::nan("");
    int64_t ms = static_cast<int64_t>(secs) * 1000 + time.subseconds().count();
    return static_cast<double>(ms) / 1000.0;
}

LocalTime local_now() {
    using namespace std::chrono;
    int64_t ms = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
    return unix_ms_to_local(ms).value_or(LocalTime(milliseconds(ms)));
}

}  // namespace torvane
