// Package URLs from the feed: an accepted one is https at the update host on port 443 and is
// also what the HTTP client itself would request; the same URL with its scheme or host in
// other letter cases is judged alike.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "check.h"
#include "core/appcast.h"
#include "core/url.h"

namespace {

constexpr std::string_view host = "localhost";

std::string lower_ascii(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view url(reinterpret_cast<const char*>(data), size);
    const bool accepted = torvane::package_url_allowed(url, host);
    FUZZ_CHECK(accepted == torvane::package_url_allowed(lower_ascii(url), host));
    if (!accepted) return 0;

    const std::string lower = lower_ascii(url);
    FUZZ_CHECK(lower.starts_with("https://"));
    const std::optional<torvane::HttpUrl> request = torvane::parse_http_url(lower);
    FUZZ_CHECK(request && torvane::allowed_target(*request, host));
    return 0;
}
