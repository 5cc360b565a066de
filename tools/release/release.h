#pragma once
// The publisher's side of updates: the signing key, Authenticode signing, the package and
// the feed. Native only; tools/release/cli.h is the command line that ties them together.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/result.h"
#include "tools/release/signer.h"

namespace torvane::release {

// The one entry of every package.
inline constexpr std::string_view app_name = "Torvane.exe";

using PublicKey = std::array<std::uint8_t, 32>;
Result<PublicKey> public_key_of(const Ed25519Seed& seed);

// The private key file: the 32-byte seed as 64 hexadecimal digits and a line break. Written
// once, exclusively, readable by its owner only.
Status write_new_private_key(const std::string& path, const Ed25519Seed& seed);
Result<Ed25519Seed> read_private_key(const std::string& path);

// Torvane.exe, raw-deflated, as the only entry of a ZIP archive the program accepts.
Result<std::vector<std::uint8_t>> pack(std::span<const std::uint8_t> exe);

struct FeedFields {
    std::string version;  // major.minor.patch
    std::int32_t build = 0;
    std::string url;
    std::optional<std::string> notes;
    std::optional<std::string> minimum_system;
};

// The feed describing `package`, signed with `seed`; parsed back and verified before it is
// returned.
Result<std::string> make_feed(std::span<const std::uint8_t> package, const Ed25519Seed& seed,
                              const FeedFields& fields);

// Authenticode signature by osslsigncode (SHA-256, described as "Torvane"), time-stamped by the
// RFC 3161 server at `timestamp_url` unless it is empty.
Status sign_exe(const std::string& in, const std::string& cert, const std::string& cert_key,
                const std::string& out, const std::string& timestamp_url = "");

}  // namespace torvane::release
