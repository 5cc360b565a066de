// What the panel's entry fields make of typed text and of the arrow keys: a number never
// passes its maximum and saturates rather than wraps; a time reads only from one of the ways
// of writing it and stays within the day; the arrows stay within the day and undo each other;
// a formatted time reads back as itself.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "check.h"
#include "core/field_text.h"

namespace {

using torvane::minutes_per_day;

constexpr uint32_t top = UINT32_MAX;

uint32_t word(const uint8_t* data, std::size_t size, std::size_t at) {
    uint32_t w = 0;
    for (std::size_t i = at; i < at + 4 && i < size; ++i)
        w = w << 8 | data[i];
    return w;
}

std::string two(uint32_t n) {
    return {static_cast<char>('0' + n / 10), static_cast<char>('0' + n % 10)};
}

// Whether `text` is one of the ways of writing `minutes`: the hour in one digit (when it has
// one) or two, then nothing (on the hour), the two-digit minutes, or a separator and them.
bool writes(std::string_view text, uint32_t minutes) {
    const uint32_t h = minutes / 60, m = minutes % 60;
    for (std::string hours : {two(h), h < 10 ? std::string(1, char('0' + h)) : two(h)}) {
        if (text.substr(0, hours.size()) != hours) continue;
        std::string_view rest = text.substr(hours.size());
        if (rest.empty() && m == 0) return true;
        if (rest == two(m)) return true;
        if (rest.size() == 3 && std::string_view(":.hH ").find(rest[0]) != std::string_view::npos &&
            rest.substr(1) == two(m))
            return true;
    }
    return false;
}

// The number in `text` read plainly, past 32 bits by its count of digits.
std::optional<uint32_t> reference_number(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos)
        return std::nullopt;
    if (negative) return 0;
    text.remove_prefix(std::min(text.find_first_not_of('0'), text.size()));
    if (text.size() > 10) return top;
    uint64_t n = 0;
    for (char c : text)
        n = n * 10 + static_cast<uint64_t>(c - '0');
    return static_cast<uint32_t>(std::min<uint64_t>(n, top));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);

    // Any maximum clamps what the widest one reads; a wrapped sum would break this.
    const uint32_t maximum = size > 0 ? data[0] % 100 : 0;
    std::optional<uint32_t> widest = torvane::parse_number_text(text, top);
    std::optional<uint32_t> number = torvane::parse_number_text(text, maximum);
    FUZZ_CHECK(widest == reference_number(text));
    FUZZ_CHECK(number.has_value() == widest.has_value());
    if (number) {
        FUZZ_CHECK(*number <= maximum);
        FUZZ_CHECK(*number == std::min(*widest, maximum));
    }

    std::optional<uint32_t> time = torvane::parse_time_text(text);
    if (time) {
        FUZZ_CHECK(*time < minutes_per_day);
        FUZZ_CHECK(writes(text, *time));
    }

    // Wide text reads the same; a byte outside ASCII widens to a unit outside it.
    std::wstring wide(text.begin(), text.end());
    FUZZ_CHECK(torvane::parse_number_text(wide, maximum) == number);
    FUZZ_CHECK(torvane::parse_time_text(wide) == time);

    // The arrows on a field holding any value and on a clock at any time and caret.
    const uint32_t value = word(data, size, 0), limit = word(data, size, 4);
    const uint32_t t = word(data, size, 8) % minutes_per_day;
    const unsigned caret = word(data, size, 12);
    if (value <= limit) {
        FUZZ_CHECK(torvane::number_step(value, limit, true) <= limit);
        FUZZ_CHECK(torvane::number_step(value, limit, false) <= value);
    }
    for (bool up : {true, false}) {
        const uint32_t there = torvane::time_step(t, caret, up);
        FUZZ_CHECK(there < minutes_per_day);
        FUZZ_CHECK(there != t);
        FUZZ_CHECK(torvane::time_step(there, caret, !up) == t);
    }
    FUZZ_CHECK(torvane::parse_time_text(torvane::format_time_of_day(t).data()) == t);
    return 0;
}
