// Comma-separated app name lists and case-insensitive substring matching against them.

#include "core/app_lists.h"

#include <algorithm>

#include "core/platform.h"
#include "core/strings.h"

namespace torvane {

NameList parse_name_list(std::string_view list) {
    NameList pieces;
    for (;;) {
        std::size_t comma = list.find(',');
        std::string_view piece = trim(list.substr(0, comma));
        if (!piece.empty()) pieces.push_back(lower_utf8(piece));
        if (comma == std::string_view::npos) break;
        list.remove_prefix(comma + 1);
    }
    return pieces;
}

bool name_matches(std::string_view name, const NameList& pieces) {
    if (pieces.empty()) return false;
    std::string lower = lower_utf8(name);
    return std::any_of(pieces.begin(), pieces.end(), [&](const std::string& piece) {
        return lower.find(piece) != std::string::npos;
    });
}

}  // namespace torvane
