#pragma once
// Comma-separated app name lists ("Teams, Slack, Zoom") and matching names against them.

#include <string>
#include <string_view>
#include <vector>

namespace torvane {

using NameList = std::vector<std::string>;

// Split at ",", trim each piece, lower-case it, drop empty pieces.
NameList parse_name_list(std::string_view list);

// True when the lower-cased name contains one of the pieces. An empty list matches nothing.
bool name_matches(std::string_view name, const NameList& pieces);

}  // namespace torvane
