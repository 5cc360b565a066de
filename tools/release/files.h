#pragma once
// The release tool's own file handling: whole files in, files replaced in one step out, and
// the private key file, which nothing else may ever overwrite.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/result.h"

namespace torvane::release {

using Bytes = std::vector<std::uint8_t>;

// "<what>: <the system's text for error>".
std::string system_error(const std::string& what, int error);

// A regular file of at most `max_size` bytes.
Result<Bytes> read_file(const std::string& path, std::size_t max_size);

// Written beside the target into a new file of a fresh name (never an existing file or a link
// someone placed there) and moved over it, so a failure never leaves half a file. Refuses to
// replace a private key file.
Status write_file(const std::string& path, std::span<const std::uint8_t> bytes);

// True when `path` names a private key file.
bool holds_private_key(const std::string& path);

std::span<const std::uint8_t> bytes_of(std::string_view text);

}  // namespace torvane::release
