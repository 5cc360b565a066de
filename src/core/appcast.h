#pragma once
// The update feed: the build's update settings, parsing and judging the feed, and cleaning its
// release notes. The package URL rule is in core/url.h, the package proof in
// core/package_proof.h.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/result.h"

namespace torvane {

// One parsed feed: the newest published build.
struct Appcast {
    std::string version;
    std::int32_t build = 0;
    std::optional<std::int64_t> size;
    std::string url;
    std::string sha256;
    std::string signature;
    std::optional<std::string> notes;
    std::optional<std::string> minimumSystem;
};

struct OsVersion {
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::uint32_t build = 0;
};

// The host the feed and packages come from and the publisher's Ed25519 public key (Base64),
// both fixed when the program is built.
std::string_view update_host();
std::string_view update_public_key();
// Where both stand in a built executable: after this marker, the host, one space and the key.
inline constexpr std::string_view update_settings_marker = "TorvaneUpdateSettings=";

Result<Appcast> parse_appcast(std::string_view body);

// Release notes as shown in a notification: control and invisible formatting characters
// removed, trimmed, cut to 300 characters plus "…". Absent for absent or blank input.
std::optional<std::string> sanitize_notes(std::optional<std::string_view> text);

// False only for a well-formed requirement above the given system; a malformed one is ignored.
bool minimum_system_satisfied(std::string_view text, OsVersion os);

}  // namespace torvane
