#pragma once
// What the release tool needs from a Windows executable: the fixed file version and the
// ProductName of its version resource, read from the file's bytes the way the program's
// update check reads them on Windows, and whether it carries an Authenticode signature.
// Every offset and size in the file is checked before it is used: damaged or hostile files
// give an error.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "core/result.h"

namespace torvane::release {

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

}  // namespace torvane::release
