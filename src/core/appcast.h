#pragma once
// The update feed's pure rules. For now: cleaning release notes before they are shown.

#include <optional>
#include <string>
#include <string_view>

namespace torvane {

// Release notes as shown in a notification: control and invisible formatting characters
// removed, trimmed, cut to 300 characters plus "…". Absent for absent or blank input.
std::optional<std::string> sanitize_notes(std::optional<std::string_view> text);

}  // namespace torvane
