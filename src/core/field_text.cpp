// What the panel's number and time entry fields make of typed text and of the arrow keys.

#include "core/field_text.h"

namespace torvane {

namespace {

// Compared as code units, so that no wide character can pass for an ASCII digit.
bool is_digit(wchar_t c) {
    return c >= L'0' && c <= L'9';
}

uint32_t digit(wchar_t c) {
    return static_cast<uint32_t>(c - L'0');
}

bool two_digits(std::wstring_view text, uint32_t& value) {
    if (text.size() != 2 || !is_digit(text[0]) || !is_digit(text[1])) return false;
    value = digit(text[0]) * 10 + digit(text[1]);
    return true;
}

bool is_separator(wchar_t c) {
    return c == L':' || c == L'.' || c == L'h' || c == L'H' || c == L' ';
}

}  // namespace

std::optional<uint32_t> parse_number_text(std::wstring_view text, uint32_t maximum) {
    bool negative = false;
    if (!text.empty() && (text.front() == L'+' || text.front() == L'-')) {
        negative = text.front() == L'-';
        text.remove_prefix(1);
    }
    if (text.empty()) return std::nullopt;
    // Saturates just above the maximum, so that no run of digits can overflow.
    const uint64_t above = uint64_t{maximum} + 1;
    uint64_t n = 0;
    for (wchar_t c : text) {
        if (!is_digit(c)) return std::nullopt;
        n = n * 10 + digit(c);
        if (n > above) n = above;
    }
    if (negative) return 0;
    return static_cast<uint32_t>(n > maximum ? maximum : n);
}

std::optional<uint32_t> number_text_change(std::wstring_view text, uint32_t value,
                                           uint32_t maximum) {
    const std::optional<uint32_t> parsed = parse_number_text(text, maximum);
    if (parsed == value) return std::nullopt;
    return parsed;
}

uint32_t number_step(uint32_t value, uint32_t maximum, bool up) {
    if (up) return value < maximum ? value + 1 : maximum;
    return value > 0 ? value - 1 : 0;
}

std::optional<uint32_t> parse_time_text(std::wstring_view text) {
    // "730" reads as 7:30 only after 73 has failed as an hour.
    for (std::size_t hour_digits : {std::size_t{2}, std::size_t{1}}) {
        if (text.size() < hour_digits) continue;
        if (!is_digit(text[0]) || !is_digit(text[hour_digits - 1])) continue;
        const uint32_t hours =
            hour_digits == 2 ? digit(text[0]) * 10 + digit(text[1]) : digit(text[0]);
        std::wstring_view rest = text.substr(hour_digits);
        uint32_t minutes = 0;
        if (!rest.empty() && !two_digits(rest, minutes) &&
            !(is_separator(rest.front()) && two_digits(rest.substr(1), minutes)))
            continue;
        if (hours < 24 && minutes < 60) return hours * 60 + minutes;
    }
    return std::nullopt;
}

uint32_t time_step(uint32_t minutes, unsigned caret, bool up) {
    const uint32_t step = caret < 3 ? 60 : 1;
    const uint32_t t = minutes % minutes_per_day;
    return (up ? t + step : t + minutes_per_day - step) % minutes_per_day;
}

std::array<char, 6> format_time_of_day(uint32_t minutes) {
    const uint32_t t = minutes % minutes_per_day;
    const uint32_t h = t / 60, m = t % 60;
    return {static_cast<char>('0' + h / 10), static_cast<char>('0' + h % 10), ':',
            static_cast<char>('0' + m / 10), static_cast<char>('0' + m % 10), '\0'};
}

}  // namespace torvane
