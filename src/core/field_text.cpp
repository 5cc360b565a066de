// What the panel's number and time entry fields make of typed text and of the arrow keys.

#include "core/field_text.h"

namespace torvane {

namespace {

// Compared as code units, so that no wide character can pass for an ASCII digit.
template <typename Char>
bool is_digit(Char c) {
    return c >= Char('0') && c <= Char('9');
}

template <typename Char>
uint32_t digit(Char c) {
    return static_cast<uint32_t>(c - Char('0'));
}

template <typename Char>
std::optional<uint32_t> parse_number(std::basic_string_view<Char> text, uint32_t maximum) {
    bool negative = false;
    if (!text.empty() && (text.front() == Char('+') || text.front() == Char('-'))) {
        negative = text.front() == Char('-');
        text.remove_prefix(1);
    }
    if (text.empty()) return std::nullopt;
    // Saturates just above the maximum, so that no run of digits can overflow.
    const uint64_t above = uint64_t{maximum} + 1;
    uint64_t n = 0;
    for (Char c : text) {
        if (!is_digit(c)) return std::nullopt;
        n = n * 10 + digit(c);
        if (n > above) n = above;
    }
    if (negative) return 0;
    return static_cast<uint32_t>(n > maximum ? maximum : n);
}

template <typename Char>
bool two_digits(std::basic_string_view<Char> text, uint32_t& value) {
    if (text.size() != 2 || !is_digit(text[0]) || !is_digit(text[1])) return false;
    value = digit(text[0]) * 10 + digit(text[1]);
    return true;
}

template <typename Char>
bool is_separator(Char c) {
    return c == Char(':') || c == Char('.') || c == Char('h') || c == Char('H') || c == Char(' ');
}

template <typename Char>
std::optional<uint32_t> parse_time(std::basic_string_view<Char> text) {
    // "730" reads as 7:30 only after 73 has failed as an hour.
    for (std::size_t hour_digits : {std::size_t{2}, std::size_t{1}}) {
        if (text.size() < hour_digits) continue;
        if (!is_digit(text[0]) || !is_digit(text[hour_digits - 1])) continue;
        const uint32_t hours =
            hour_digits == 2 ? digit(text[0]) * 10 + digit(text[1]) : digit(text[0]);
        std::basic_string_view<Char> rest = text.substr(hour_digits);
        uint32_t minutes = 0;
        if (!rest.empty() && !two_digits(rest, minutes) &&
            !(is_separator(rest.front()) && two_digits(rest.substr(1), minutes)))
            continue;
        if (hours < 24 && minutes < 60) return hours * 60 + minutes;
    }
    return std::nullopt;
}

std::optional<uint32_t> changed(std::optional<uint32_t> parsed, uint32_t value) {
    if (parsed == value) return std::nullopt;
    return parsed;
}

}  // namespace

std::optional<uint32_t> parse_number_text(std::string_view text, uint32_t maximum) {
    return parse_number(text, maximum);
}

std::optional<uint32_t> parse_number_text(std::wstring_view text, uint32_t maximum) {
    return parse_number(text, maximum);
}

std::optional<uint32_t> number_text_change(std::string_view text, uint32_t value,
                                           uint32_t maximum) {
    return changed(parse_number(text, maximum), value);
}

std::optional<uint32_t> number_text_change(std::wstring_view text, uint32_t value,
                                           uint32_t maximum) {
    return changed(parse_number(text, maximum), value);
}

uint32_t number_step(uint32_t value, uint32_t maximum, bool up) {
    if (up) return value < maximum ? value + 1 : maximum;
    return value > 0 ? value - 1 : 0;
}

std::optional<uint32_t> parse_time_text(std::string_view text) {
    return parse_time(text);
}

std::optional<uint32_t> parse_time_text(std::wstring_view text) {
    return parse_time(text);
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
