#pragma once
// The program's only network traffic: one blocking HTTPS GET of a whole resource into memory,
// from the update host only, with the size limit and deadline the caller gives.

#include <cstdint>
#include <string_view>
#include <vector>

#include "core/result.h"

namespace torvane {

// The body, or what failed: the WinHTTP call with its system error code, the final status
// (not 200) as the code of "estado HTTP", a body over the limit, or a URL or redirect target
// that is malformed or not the update host ("destino no permitido", code 0).
using HttpResult = Result<std::vector<std::uint8_t>>;

inline constexpr std::string_view refused_target = "destino no permitido";

// Follows at most three redirects itself, each under the same rules. `expected_bytes` (0 when
// unknown) only sizes the buffer. Never throws.
HttpResult http_get(std::string_view url, unsigned timeout_seconds, std::uint64_t max_bytes,
                    std::uint64_t expected_bytes);

}  // namespace torvane
