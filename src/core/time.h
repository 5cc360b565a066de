#pragma once
// Local wall-clock date-times without a time zone, and floating-second durations between them.

#include <chrono>
#include <cmath>
#include <cstdint>

namespace torvane {

using LocalTime = std::chrono::local_time<std::chrono::milliseconds>;
using LocalDays = std::chrono::local_days;

inline double seconds_between(LocalTime from, LocalTime to) {
    return static_cast<double>((to - from).count()) / 1000.0;
}

inline LocalTime add_seconds(LocalTime t, double seconds) {
    return t + std::chrono::milliseconds(static_cast<int64_t>(std::llround(seconds * 1000.0)));
}

inline LocalDays date_of(LocalTime t) {
    return std::chrono::floor<std::chrono::days>(t);
}

// Minute of the day (0 … 1439), seconds ignored.
inline unsigned minute_of_day(LocalTime t) {
    auto since_midnight = t - date_of(t);
    return static_cast<unsigned>(
        std::chrono::duration_cast<std::chrono::minutes>(since_midnight).count());
}

inline LocalTime at_minute(LocalDays day, unsigned minute) {
    return LocalTime(day) + std::chrono::minutes(minute);
}

// 1 = Sunday … 7 = Saturday.
inline unsigned weekday_number(LocalDays day) {
    return std::chrono::weekday(day).c_encoding() + 1;
}

inline LocalTime make_local(int y, unsigned mo, unsigned d, unsigned h = 0, unsigned mi = 0,
                            unsigned s = 0, unsigned ms = 0) {
    using namespace std::chrono;
    return LocalTime(local_days(year(y) / month(mo) / day(d))) + hours(h) + minutes(mi) +
           seconds(s) + milliseconds(ms);
}

}  // namespace torvane
