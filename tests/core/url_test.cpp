#include "core/url.h"

#include <gtest/gtest.h>

#include <string>

using namespace torvane;

namespace {

HttpUrl parsed(std::string_view text) {
    std::optional<HttpUrl> url = parse_http_url(text);
    EXPECT_TRUE(url.has_value()) << text;
    return url.value_or(HttpUrl{});
}

}  // namespace

TEST(HttpUrl, SplitsSchemeHostPortAndPath) {
    HttpUrl url = parsed("https://Updates.Example.org/software/feed.json?x=1");
    EXPECT_TRUE(url.https);
    EXPECT_EQ(url.host, "Updates.Example.org");
    EXPECT_EQ(url.port, 443);
    EXPECT_EQ(url.path, "/software/feed.json?x=1");

    url = parsed("http://localhost");
    EXPECT_FALSE(url.https);
    EXPECT_EQ(url.port, 80);
    EXPECT_EQ(url.path, "/");

    // The fragment is never requested; a bare query gets its leading "/".
    EXPECT_EQ(parsed("https://localhost/a/b#part").path, "/a/b");
    EXPECT_EQ(parsed("https://localhost?q=1#x").path, "/?q=1");
    EXPECT_EQ(parsed("https://localhost#x").path, "/");
}

TEST(HttpUrl, PortsAreDecimalUpToTheLimit) {
    EXPECT_EQ(parsed("https://localhost:0443/").port, 443);
    EXPECT_EQ(parsed("https://localhost:+443/").port, 443);
    EXPECT_EQ(parsed("https://localhost:65535/").port, 65535);
    EXPECT_EQ(parsed("https://[::1]:8443/").host, "[::1]");
    for (const char* bad :
         {"https://localhost:/", "https://localhost:+/", "https://localhost:65536/",
          "https://localhost:4a3/", "https://localhost:-443/", "https://localhost:++443/",
          "https://localhost:99999999999999999999/"})
        EXPECT_FALSE(parse_http_url(bad)) << bad;
}

TEST(HttpUrl, RejectsOtherSchemesAndDirtyText) {
    for (const char* bad :
         {"HTTPS://localhost/", "Https://localhost/", "ftp://localhost/", "localhost/feed",
          "https:/localhost/", "https://", "https:///path", "https://local host/",
          "https://local\\host/", "https://localhost/a b", "https://localhost/a\tb",
          "https://localhost/a\x7f", "https://localhost/\xC2\x85", "https://loc\xC2\x9Fhost/"})
        EXPECT_FALSE(parse_http_url(bad)) << bad;
    // Other non-ASCII text is carried as it is.
    EXPECT_EQ(parsed("https://localhost/caf\xC3\xA9").path, "/caf\xC3\xA9");
}

TEST(HttpUrl, OnlyHttpsOnPort443AtTheUpdateHostIsAllowed) {
    EXPECT_TRUE(allowed_target(parsed("https://UPDATES.example.org/x"), "updates.example.org"));
    EXPECT_TRUE(allowed_target(parsed("https://localhost:443/x"), "localhost"));
    EXPECT_FALSE(allowed_target(parsed("https://localhost:444/x"), "localhost"));
    EXPECT_FALSE(allowed_target(parsed("https://localhost:8443/x"), "localhost"));
    EXPECT_FALSE(allowed_target(parsed("http://localhost:443/x"), "localhost"));
    EXPECT_FALSE(allowed_target(parsed("https://localhost.evil.org/x"), "localhost"));
    EXPECT_FALSE(allowed_target(parsed("https://evil.org/localhost"), "localhost"));
    EXPECT_FALSE(allowed_target(parsed("https://:443/"), "localhost"));
}

TEST(Redirect, ResolvesAgainstTheCurrentUrl) {
    const HttpUrl current = parsed("https://localhost/a/b?q=/x/y");
    EXPECT_EQ(resolve_redirect(current, "/other"), "https://localhost:443/other");
    EXPECT_EQ(resolve_redirect(current, "c.json"), "https://localhost:443/a/c.json");
    EXPECT_EQ(resolve_redirect(current, "?p=1"), "https://localhost:443/a/?p=1");
    EXPECT_EQ(resolve_redirect(current, "//elsewhere:444/z"), "https://elsewhere:444/z");
    EXPECT_EQ(resolve_redirect(current, " http://plain/ "), "http://plain/");
    EXPECT_EQ(resolve_redirect(current, "https://x/y"), "https://x/y");
    // Only the lower-case schemes are absolute; anything else is a relative path.
    EXPECT_EQ(resolve_redirect(current, "HTTPS://x/"), "https://localhost:443/a/HTTPS://x/");
    EXPECT_FALSE(resolve_redirect(current, ""));
    EXPECT_FALSE(resolve_redirect(current, " \r\n\t"));

    const HttpUrl plain = parsed("http://localhost:8080");
    EXPECT_EQ(resolve_redirect(plain, "feed.json"), "http://localhost:8080/feed.json");
    EXPECT_EQ(resolve_redirect(plain, "//h/"), "http://h/");
}

TEST(PackageUrl, OnlyHttpsFromTheUpdateHostOnItsDefaultPort) {
    for (const char* good :
         {"https://localhost/software/torvane/Torvane.zip", "HTTPS://LOCALHOST/x.zip",
          "https://localhost:443/x.zip", "https://localhost", "https://localhost?x#y"})
        EXPECT_TRUE(package_url_allowed(good, "localhost")) << good;
    for (const char* bad :
         {"http://localhost/x.zip", "https://localhost:8443/x.zip", "https://localhost:0443/x",
          "https://localhost:/x", "https://evil.org/x.zip", "https://localhost.evil.org/x",
          "https://evil.org/https://localhost/", "https:///x.zip", "https://",
          "https://localhost/a b.zip", "https://localhost/a\\b", "https://localhost/\r\nx",
          "https://localhost/a\xC2\xA0"
          "b",
          "https://localhost/\xC2\x85", "https://localhost/\xE2\x80\x8A",
          "https://user@localhost/x", "https://localhost/\xff", " https://localhost/x", ""})
        EXPECT_FALSE(package_url_allowed(bad, "localhost")) << bad;
}
