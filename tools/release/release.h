#pragma once
// The publisher's side of updates: the signing key, Authenticode signing, the package, the
// feed, and the command line that ties them together. Native only.

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/result.h"
#include "core/signer.h"

namespace torvane::release {

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

// The whole command line after the program name; the exit status.
int run(std::span<const std::string> args, std::ostream& out, std::ostream& err);

}  // namespace torvane::release
