// What the panel's entry fields make of typed text and of the arrow keys: a number never
// passes its maximum and saturates rather than wraps; a time stays within the day; the arrows
// stay within the day and undo each other.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    // Each byte one code unit of the edit control's text.
    const std::wstring text(data, data + size);

    // Any maximum clamps what the widest one reads; a wrapped sum would break this.
    const uint32_t maximum = size > 0 ? data[0] % 100 : 0;
    std::optional<uint32_t> widest = torvane::parse_number_text(text, top);
    std::optional<uint32_t> number = torvane::parse_number_text(text, maximum);
    FUZZ_CHECK(number.has_value() == widest.has_value());
    if (number) {
        FUZZ_CHECK(*number <= maximum);
        FUZZ_CHECK(*number == std::min(*widest, maximum));
    }

    std::optional<uint32_t> time = torvane::parse_time_text(text);
    if (time) FUZZ_CHECK(*time < minutes_per_day);

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
    return 0;
}
