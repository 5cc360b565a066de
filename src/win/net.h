#pragma once
// The program's only network traffic: one blocking HTTPS GET of a whole resource into memory,
// from the update host only, with the size limit and deadline the caller gives.

#include <cstdint>
#include <string_view>
#include <variant>
#include <vector>

namespace torvane {

enum class HttpErrorKind {
    invalid_url,  // the URL or a redirect target is malformed or not the update host
    network,      // a WinHTTP call failed, the deadline passed, or a redirect went wrong
    status,       // the final response was not 200
    too_large,    // the body is, or announces itself as, longer than the limit
};

struct HttpError {
    HttpErrorKind kind;
    unsigned long code = 0;  // system error code, or the HTTP status for `status`
};

using HttpResult = std::variant<std::vector<std::uint8_t>, HttpError>;

// Follows at most three redirects itself, each under the same rules. `expected_bytes` (0 when
// unknown) only sizes the buffer. Never throws.
HttpResult http_get(std::string_view url, unsigned timeout_seconds, std::uint64_t max_bytes,
                    std::uint64_t expected_bytes);

}  // namespace torvane
