#pragma once
// Small text helpers shared by the parsers.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace torvane {

bool valid_utf8(std::string_view text);

// Without leading and trailing white space (space, tab, CR, LF, VT, FF).
std::string_view trim(std::string_view text);

bool iequals_ascii(std::string_view a, std::string_view b);

// Two lowercase hexadecimal digits per byte, in order.
std::string hex(std::span<const std::uint8_t> bytes);

}  // namespace torvane
