#include "core/appcast.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <limits>
#include <vector>

#include "core/strings.h"
#include "core/utf8.h"

namespace torvane {

namespace {

using json = nlohmann::json;

const Error invalid_feed{"invalid update feed"};

// Missing and null give the fallback; a string is taken; anything else is invalid.
std::optional<std::optional<std::string>> text_member(const json& feed, const char* key) {
    const auto it = feed.find(key);
    if (it == feed.end() || it->is_null()) return std::optional<std::string>();
    if (!it->is_string()) return std::nullopt;
    return std::optional<std::string>(it->get_ref<const std::string&>());
}

bool set_text(const json& feed, const char* key, std::string& out) {
    const auto value = text_member(feed, key);
    if (!value) return false;
    out = value->value_or(std::string());
    return true;
}

bool set_optional_text(const json& feed, const char* key, std::optional<std::string>& out) {
    const auto value = text_member(feed, key);
    if (!value) return false;
    out = *value;
    return true;
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// Three dot-separated numbers of one to four digits each.
bool valid_version(std::string_view version) {
    int parts = 0;
    while (true) {
        const std::size_t dot = version.find('.');
        const std::string_view part = version.substr(0, dot);
        if (part.empty() || part.size() > 4 || !std::all_of(part.begin(), part.end(), is_digit))
            return false;
        ++parts;
        if (dot == std::string_view::npos) break;
        version.remove_prefix(dot + 1);
    }
    return parts == 3;
}

// A JSON integer within [low, high]; floats and null are not integers.
template <class T>
std::optional<T> integer_in_range(const json& value) {
    if (value.is_number_unsigned()) {
        const auto v = value.get<std::uint64_t>();
        if (v > static_cast<std::uint64_t>(std::numeric_limits<T>::max())) return std::nullopt;
        return static_cast<T>(v);
    }
    if (!value.is_number_integer()) return std::nullopt;
    const auto v = value.get<std::int64_t>();
    if (v < std::numeric_limits<T>::min() || v > std::numeric_limits<T>::max()) return std::nullopt;
    return static_cast<T>(v);
}

std::optional<std::uint32_t> parse_system_part(std::string_view part) {
    part = trim(part);
    if (part.starts_with('+')) part.remove_prefix(1);
    if (part.empty()) return std::nullopt;
    std::uint64_t value = 0;
    for (char c : part) {
        if (!is_digit(c)) return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
        if (value > std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
    }
    return static_cast<std::uint32_t>(value);
}

constexpr std::size_t notes_limit = 300;

bool removed_from_notes(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || (c >= 0x200B && c <= 0x200F) ||
           (c >= 0x202A && c <= 0x202E) || (c >= 0x2060 && c <= 0x2069) || c == 0x061C ||
           c == 0xFEFF;
}

}  // namespace

namespace {

// Both settings in one marked text in the executable, from which the release tool reads what a
// build trusts before publishing it: the marker, the host, one space, the key.
constexpr std::string_view update_settings =
    "TorvaneUpdateSettings=" TORVANE_UPDATE_HOST " " TORVANE_UPDATE_PUBLIC_KEY;
static_assert(update_settings.starts_with(update_settings_marker));

}  // namespace

std::string_view update_host() {
    const std::string_view rest = update_settings.substr(update_settings_marker.size());
    return rest.substr(0, rest.find(' '));
}

std::string_view update_public_key() {
    return update_settings.substr(update_settings.rfind(' ') + 1);
}

Result<Appcast> parse_appcast(std::string_view body) {
    constexpr std::string_view byte_order_mark = "\xEF\xBB\xBF";
    if (body.starts_with(byte_order_mark)) body.remove_prefix(byte_order_mark.size());
    // The JSON parser would skip one more mark itself; only one is part of the format.
    if (body.starts_with(byte_order_mark)) return invalid_feed;
    const json feed = json::parse(body.begin(), body.end(), nullptr, false);
    if (!feed.is_object()) return invalid_feed;
    Appcast appcast;
    if (!set_text(feed, "version", appcast.version) || !valid_version(appcast.version))
        return invalid_feed;
    if (const auto build = feed.find("build"); build != feed.end()) {
        const auto value = integer_in_range<std::int32_t>(*build);
        if (!value) return invalid_feed;
        appcast.build = *value;
    }
    if (const auto size = feed.find("size"); size != feed.end() && !size->is_null()) {
        appcast.size = integer_in_range<std::int64_t>(*size);
        if (!appcast.size) return invalid_feed;
    }
    if (!set_text(feed, "url", appcast.url) || !set_text(feed, "sha256", appcast.sha256) ||
        !set_text(feed, "signature", appcast.signature) ||
        !set_optional_text(feed, "notes", appcast.notes) ||
        !set_optional_text(feed, "minimumSystem", appcast.minimumSystem))
        return invalid_feed;
    return appcast;
}

bool minimum_system_satisfied(std::string_view text, OsVersion os) {
    if (text.empty()) return true;
    std::vector<std::uint32_t> parts;
    while (parts.size() <= 4) {
        const std::size_t dot = text.find('.');
        const std::optional<std::uint32_t> part = parse_system_part(text.substr(0, dot));
        if (!part) return true;
        parts.push_back(*part);
        if (dot == std::string_view::npos) break;
        text.remove_prefix(dot + 1);
    }
    if (parts.size() < 2 || parts.size() > 4) return true;
    const std::uint32_t system[3] = {os.major, os.minor, os.build};
    for (std::size_t i = 0; i < std::min<std::size_t>(parts.size(), 3); ++i) {
        if (system[i] != parts[i]) return system[i] > parts[i];
    }
    return true;
}

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
