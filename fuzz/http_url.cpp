// URLs and redirect targets as a hostile server could send them. The input is a base URL and
// a Location value separated by the first newline. A parsed URL is always requestable (path
// from "/", no fragment, no control or space), and a relative redirect never leaves the base's
// scheme, host and port.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "check.h"
#include "core/url.h"

namespace {

using torvane::HttpUrl;

bool requestable(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x21 || c == 0x7F) return false;
        if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
            static_cast<unsigned char>(text[i + 1]) <= 0x9F)
            return false;
    }
    return true;
}

void check_url(const HttpUrl& url) {
    FUZZ_CHECK(url.path.starts_with('/'));
    FUZZ_CHECK(url.path.find('#') == std::string::npos);
    FUZZ_CHECK(requestable(url.path) && requestable(url.host));
    FUZZ_CHECK(url.host.find_first_of("/?#\\") == std::string::npos);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t newline = input.find('\n');
    const std::string_view base_text = input.substr(0, newline);
    const std::optional<HttpUrl> base = torvane::parse_http_url(base_text);
    if (!base) return 0;
    check_url(*base);
    if (torvane::allowed_target(*base, "localhost")) FUZZ_CHECK(base->https && base->port == 443);

    if (newline == std::string_view::npos) return 0;
    const std::string_view location = input.substr(newline + 1);
    const std::optional<std::string> target = torvane::resolve_redirect(*base, location);
    if (!target) return 0;
    const std::optional<HttpUrl> next = torvane::parse_http_url(*target);
    if (!next) return 0;
    check_url(*next);
    // Without "//" the location can only name a path on the same server.
    if (location.find("//") == std::string_view::npos)
        FUZZ_CHECK(next->https == base->https && next->host == base->host &&
                   next->port == base->port);
    return 0;
}
