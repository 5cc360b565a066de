// Spanish wording of durations, clock times and the system's state. The append_* forms are
// what the once-a-second tick uses: they only write into the caller's buffer.

#include "core/status_text.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>

#include "core/utf8.h"

namespace torvane {

namespace {

// 2^63 as a double: the first value that no longer fits in int64_t.
constexpr double int64_limit = 9223372036854775808.0;

// Whole seconds from a rounded value: NaN and negatives are 0, too large saturates.
int64_t clamp_seconds(double rounded) {
    if (!(rounded > 0)) return 0;
    if (rounded >= int64_limit) return std::numeric_limits<int64_t>::max();
    return static_cast<int64_t>(rounded);
}

void append_int(std::string& out, int64_t value) {
    char digits[24];
    auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(digits, end);
}

void append_two_digits(std::string& out, int64_t value) {
    out.push_back(static_cast<char>('0' + value / 10));
    out.push_back(static_cast<char>('0' + value % 10));
}

constexpr std::string_view weekday_abbrev[] = {"dom", "lun", "mar", "mié", "jue", "vie", "sáb"};

}  // namespace

void append_human_duration(std::string& out, double seconds) {
    int64_t s = clamp_seconds(std::round(seconds));  // halves away from zero
    if (s < 60) {
        append_int(out, s);
        out.append(" s");
    } else if (s < 3600) {
        append_int(out, s / 60);
        out.append(" min");
        // Below ten minutes the seconds are shown; from then on they are dropped.
        if (s < 600 && s % 60 != 0) {
            out.push_back(' ');
            append_int(out, s % 60);
            out.append(" s");
        }
    } else {
        append_int(out, s / 3600);
        out.append(" h");
        if (s % 3600 >= 60) {
            out.push_back(' ');
            append_int(out, s % 3600 / 60);
            out.append(" min");
        }
    }
}

void append_clock_countdown(std::string& out, double seconds) {
    int64_t s = clamp_seconds(std::ceil(seconds));
    if (s >= 3600) {
        append_int(out, s / 3600);
        out.push_back(':');
        append_two_digits(out, s % 3600 / 60);
    } else {
        append_int(out, s / 60);
    }
    out.push_back(':');
    append_two_digits(out, s % 60);
}

void append_until_time(std::string& out, LocalTime target, LocalDays today) {
    LocalDays day = date_of(target);
    if (day != today) {
        out.append(weekday_abbrev[weekday_number(day) - 1]);
        out.push_back(' ');
    }
    unsigned minute = minute_of_day(target);
    append_two_digits(out, minute / 60);
    out.push_back(':');
    append_two_digits(out, minute % 60);
}

std::string human_duration(double seconds) {
    std::string out;
    append_human_duration(out, seconds);
    return out;
}

std::string clock_countdown(double seconds) {
    std::string out;
    append_clock_countdown(out, seconds);
    return out;
}

std::string until_time(LocalTime target, LocalDays today) {
    std::string out;
    append_until_time(out, target, today);
    return out;
}

namespace text {

std::string blocked_battery_low(int percent) {
    std::string out = "Pausado: batería baja (";
    append_int(out, percent);
    out.append("%)");
    return out;
}

std::string blocked_frontmost(std::string_view app) {
    std::string out = "Pausado: ";
    out.append(app).append(" está al frente");
    return out;
}

std::string programmed_on_until(LocalTime stop, LocalDays today) {
    std::string out = "Encendido programado hasta las ";
    append_until_time(out, stop, today);
    return out;
}

std::string schedule_started(std::string_view name) {
    std::string out = "Empezó \"";
    out.append(name).push_back('"');
    return out;
}

std::string panel_timer(LocalTime timer, LocalTime now) {
    std::string out = "Se apaga en ";
    append_clock_countdown(out, seconds_between(now, timer));
    out.append(" (");
    append_until_time(out, timer, date_of(now));
    out.push_back(')');
    return out;
}

std::string panel_programmed(LocalTime start, std::optional<LocalTime> stop, LocalDays today) {
    std::string out = "Se enciende a las ";
    append_until_time(out, start, today);
    if (stop) {
        out.append(" hasta las ");
        append_until_time(out, *stop, today);
    }
    return out;
}

std::string panel_pause(LocalTime pause_end, LocalTime now) {
    std::string out = "En pausa, vuelve en ";
    append_clock_countdown(out, seconds_between(now, pause_end));
    return out;
}

std::string panel_schedule_active(std::string_view name, LocalTime until, LocalDays today) {
    std::string out(name);
    out.append(" hasta las ");
    append_until_time(out, until, today);
    return out;
}

std::string panel_next_schedule(LocalTime start, LocalDays today) {
    std::string out = "Próximo horario: ";
    append_until_time(out, start, today);
    return out;
}

std::string panel_footer(unsigned moves, LocalTime last_move, LocalDays today) {
    std::string out;
    append_int(out, moves);
    out.append(" movimientos · último ");
    append_until_time(out, last_move, today);
    return out;
}

constexpr std::size_t tooltip_units = 127;

std::string tooltip_status(std::string_view status) {
    std::string out = "Torvane · ";
    out.append(status);
    return cut_utf16(out, tooltip_units);
}

std::string tooltip_countdown(double seconds_left) {
    std::string out = "Torvane · se apaga en ";
    append_clock_countdown(out, seconds_left);
    return cut_utf16(out, tooltip_units);
}

std::string cut_utf16(std::string_view text, std::size_t units) {
    std::size_t used = 0;
    std::size_t bytes = 0;
    bool full = false;
    for_each_code_point(text, [&](char32_t cp, bool valid, std::string_view raw) {
        // An invalid byte becomes one U+FFFD at the Windows interface.
        std::size_t width = valid && cp >= 0x10000 ? 2 : 1;
        full = full || used + width > units;
        if (full) return;
        used += width;
        bytes += raw.size();
    });
    return std::string(text.substr(0, bytes));
}

}  // namespace text

}  // namespace torvane
