#include "core/appcast.h"

#include "core/text.h"
#include "core/utf8.h"

namespace torvane {

namespace {

constexpr std::size_t notes_limit = 300;

bool removed_from_notes(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || (c >= 0x200B && c <= 0x200F) ||
           (c >= 0x202A && c <= 0x202E) || (c >= 0x2060 && c <= 0x2069) || c == 0x061C ||
           c == 0xFEFF;
}

}  // namespace

std::optional<std::string> sanitize_notes(std::optional<std::string_view> text) {
    if (!text || trim(*text).empty()) return std::nullopt;
    std::string kept;
    kept.reserve(text->size());
    for_each_code_point(*text, [&](char32_t c, bool valid, std::string_view) {
        if (!valid) c = 0xFFFD;
        if (!removed_from_notes(c)) append_utf8(kept, c);
    });
    std::string_view trimmed = trim(kept);
    std::string result;
    std::size_t count = 0;
    for_each_code_point(trimmed, [&](char32_t, bool, std::string_view raw) {
        if (count++ < notes_limit) result.append(raw);
    });
    if (count > notes_limit) result += "…";
    return result;
}

}  // namespace torvane
