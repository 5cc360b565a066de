#include "core/url.h"

#include "core/strings.h"
#include "core/utf8.h"

namespace torvane {

namespace {

constexpr std::string_view https_prefix = "https://";
constexpr std::string_view http_prefix = "http://";

// Below U+0021 or a C1 control (U+007F–U+009F, the latter as UTF-8 C2 80–C2 9F).
bool has_control_or_space(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x21 || c == 0x7F) return true;
        if (c == 0xC2 && i + 1 < text.size()) {
            const auto next = static_cast<unsigned char>(text[i + 1]);
            if (next >= 0x80 && next <= 0x9F) return true;
        }
    }
    return false;
}

bool clean_package_text(std::string_view text) {
    bool clean = true;
    for_each_code_point(text, [&](char32_t c, bool valid, std::string_view) {
        clean = clean && valid && c > 0x20 && !(c >= 0x7F && c <= 0x9F) && c != '\\' && c != 0xA0 &&
                c != 0x1680 && !(c >= 0x2000 && c <= 0x200A) && c != 0x2028 && c != 0x2029 &&
                c != 0x202F && c != 0x205F && c != 0x3000;
    });
    return clean;
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

std::optional<std::uint16_t> parse_port(std::string_view text) {
    if (text.size() > 1 && text.front() == '+') text.remove_prefix(1);
    if (text.empty()) return std::nullopt;
    std::uint32_t value = 0;
    for (char c : text) {
        if (!is_digit(c)) return std::nullopt;
        value = value * 10 + static_cast<std::uint32_t>(c - '0');
        if (value > 65535) return std::nullopt;
    }
    return static_cast<std::uint16_t>(value);
}

}  // namespace

std::optional<HttpUrl> parse_http_url(std::string_view text) {
    HttpUrl url;
    if (text.starts_with(https_prefix)) {
        text.remove_prefix(https_prefix.size());
    } else if (text.starts_with(http_prefix)) {
        url.https = false;
        url.port = 80;
        text.remove_prefix(http_prefix.size());
    } else {
        return std::nullopt;
    }
    const std::size_t authority_end = text.find_first_of("/?#");
    const std::string_view authority = text.substr(0, authority_end);
    if (authority.empty() || authority.find('\\') != std::string_view::npos ||
        has_control_or_space(authority))
        return std::nullopt;
    std::string_view host = authority;
    if (const std::size_t colon = authority.rfind(':'); colon != std::string_view::npos) {
        const std::optional<std::uint16_t> port = parse_port(authority.substr(colon + 1));
        if (!port) return std::nullopt;
        url.port = *port;
        host = authority.substr(0, colon);
    }
    url.host = host;

    std::string_view path =
        authority_end == std::string_view::npos ? std::string_view() : text.substr(authority_end);
    path = path.substr(0, path.find('#'));
    if (has_control_or_space(path)) return std::nullopt;
    if (!path.starts_with('/')) url.path = "/";
    url.path += path;
    return url;
}

bool allowed_target(const HttpUrl& url, std::string_view update_host) {
    return url.https && url.port == 443 && iequals_ascii(url.host, update_host);
}

std::string_view https_host(std::string_view url) {
    if (url.size() < https_prefix.size() ||
        !iequals_ascii(url.substr(0, https_prefix.size()), https_prefix))
        return {};
    const std::string_view rest = url.substr(https_prefix.size());
    const std::string_view authority = rest.substr(0, rest.find_first_of("/?#"));
    const std::size_t colon = authority.rfind(':');
    if (colon == std::string_view::npos) return authority;
    if (authority.substr(colon + 1) != "443") return {};
    return authority.substr(0, colon);
}

bool package_url_allowed(std::string_view url, std::string_view host) {
    const std::string_view url_host = https_host(url);
    return !url_host.empty() && iequals_ascii(url_host, host) &&
           clean_package_text(url.substr(https_prefix.size()));
}

std::optional<std::string> resolve_redirect(const HttpUrl& current, std::string_view location) {
    location = trim(location);
    if (location.empty()) return std::nullopt;
    if (location.starts_with(https_prefix) || location.starts_with(http_prefix))
        return std::string(location);
    std::string target = current.https ? "https://" : "http://";
    if (location.starts_with("//")) {
        target += location.substr(2);
        return target;
    }
    target += current.host;
    target += ':';
    target += std::to_string(current.port);
    if (!location.starts_with('/')) {
        std::string_view base = current.path;
        base = base.substr(0, base.find('?'));
        const std::size_t slash = base.rfind('/');
        target += slash == std::string_view::npos ? "/" : base.substr(0, slash + 1);
    }
    target += location;
    return target;
}

}  // namespace torvane
