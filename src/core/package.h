#pragma once
// The update package: a ZIP archive holding the new "Torvane.exe" at its top level. Only the
// subset the release tool writes is read (one disk, no ZIP64, stored or deflated entries), and
// every size and offset is checked against the bytes before it is used.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "core/result.h"

namespace torvane {

// Largest package and largest executable accepted: 150 MiB.
inline constexpr std::size_t max_package_size = 157'286'400;

// The content of the package's "Torvane.exe", inflated and checked against its CRC-32; an
// error naming what is wrong with the package otherwise. Never reads outside `package` and
// never allocates more than the entry's declared size (itself at most 150 MiB) plus a little.
Result<std::vector<uint8_t>> extract_app_bytes(std::span<const uint8_t> package);

}  // namespace torvane
