#pragma once
// Conversions between the program's UTF-8 text and the UTF-16 of the Windows interface.

#include <string>
#include <string_view>

namespace torvane {

std::wstring widen(std::string_view utf8);
// Unpaired surrogates become U+FFFD.
std::string narrow(std::wstring_view utf16);

}  // namespace torvane
