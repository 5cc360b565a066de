#pragma once
// What the panel's number and time entry fields make of typed text and of the arrow keys.
// Times are minutes of the day; only ASCII digits count, wide text included.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace torvane {

inline constexpr uint32_t minutes_per_day = 24 * 60;

// [+|-]digits clamped to 0…maximum, however long; none for anything else.
std::optional<uint32_t> parse_number_text(std::wstring_view text, uint32_t maximum);
// The value edited text gives a field holding `value`; none when it stays as it is.
std::optional<uint32_t> number_text_change(std::wstring_view text, uint32_t value,
                                           uint32_t maximum);
// One arrow step, stopping at 0 and at the maximum.
uint32_t number_step(uint32_t value, uint32_t maximum, bool up);

// "7", "07", "730", "0730", "7:30", "7.30", "7h30", "7 30" → minutes; none when no time fits.
std::optional<uint32_t> parse_time_text(std::wstring_view text);
// An hour with the caret in the hours (before position 3), else a minute, round the clock.
uint32_t time_step(uint32_t minutes, unsigned caret, bool up);
// "HH:MM" and a NUL, of the minutes modulo a day.
std::array<char, 6> format_time_of_day(uint32_t minutes);

}  // namespace torvane
