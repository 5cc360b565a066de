#pragma once
// The fixed file version and the ProductName of a Windows executable's version resource, read
// from the file's bytes in memory, and whether it carries an Authenticode signature: what the
// release tool checks before publishing, and what an update's proofs read from the very bytes
// they verified.
// Every offset and size in the file is checked before it is used: damaged or hostile files
// give an error.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "core/result.h"

namespace torvane {

struct ExeVersion {
    // major, minor, patch, build
    std::array<std::uint16_t, 4> file_version{};
    // The first non-empty ProductName in the order the program looks: the tables of the
    // translation list, then U.S. English, Spanish and U.S. English Western European.
    std::optional<std::string> product_name;
    // The certificate table is present and lies within the file.
    bool authenticode = false;
};

Result<ExeVersion> read_exe_version(std::span<const std::uint8_t> file);

}  // namespace torvane
