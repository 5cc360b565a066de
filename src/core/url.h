#pragma once
// HTTP URLs as the update client accepts them, redirect targets resolved against them, and
// the one origin updates may come from: https on the default port at the update host. Pure, so
// that a hostile server's Location header or feed can be judged without a network.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace torvane {

struct HttpUrl {
    bool https = true;
    std::string host;
    std::uint16_t port = 443;
    std::string path;  // starts with "/", may carry a query, never a fragment
};

// Absent when the text is not an http(s) URL this client can request.
std::optional<HttpUrl> parse_http_url(std::string_view text);

// The only target ever contacted: https on port 443 at the update host (any letter case).
bool allowed_target(const HttpUrl& url, std::string_view update_host);

// The host of an https URL (the scheme in any letter case) on the default port, which it may
// name as ":443"; empty for any other URL.
std::string_view https_host(std::string_view url);

// A package URL from the feed: https_host is the update host, and the URL holds no white
// space, control character, backslash or invalid UTF-8.
bool package_url_allowed(std::string_view url, std::string_view host);

// The absolute URL a Location header points to, seen from the current URL; absent for an
// empty location.
std::optional<std::string> resolve_redirect(const HttpUrl& current, std::string_view location);

}  // namespace torvane
