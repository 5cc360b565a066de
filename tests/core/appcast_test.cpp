#include "core/appcast.h"
#include "core/package_proof.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <tuple>
#include <vector>

#include "core/crypto.h"
#include "signing.h"

using namespace torvane;

TEST(SanitizeNotes, RemovesControlAndFormattingCharactersThenTrims) {
    EXPECT_EQ(sanitize_notes(std::nullopt), std::nullopt);
    EXPECT_EQ(sanitize_notes(" \t\r\n "), std::nullopt);
    // Line breaks and tabs go without leaving a space; bidi and zero-width marks go too.
    EXPECT_EQ(sanitize_notes("  Arreglos:\r\n\tmás\u200B rápido\u202Eok\uFEFF\u0085 "),
              std::string("Arreglos:más rápidook"));
    // Only invisible characters: present but empty, so the caller shows its default text.
    EXPECT_EQ(sanitize_notes("\u200B\u2060"), std::string());
}

TEST(SanitizeNotes, CutsAtThreeHundredCharactersNotBytes) {
    std::string exactly(300, 'x');
    EXPECT_EQ(sanitize_notes(exactly), exactly);
    std::string accented;
    for (int i = 0; i < 301; ++i)
        accented += "é";
    std::string expected;
    for (int i = 0; i < 300; ++i)
        expected += "é";
    EXPECT_EQ(sanitize_notes(accented), expected + "…");
}

namespace {

const char* const full_feed = R"({
    "version": "1.10.0", "build": 120, "size": 1048576,
    "url": "https://localhost/software/torvane/Torvane-1.10.0.zip",
    "sha256": "AB", "signature": "c2ln", "notes": "Arreglos", "minimumSystem": "10.0.19041",
    "extra": [1, 2, {"nested": true}]
})";

Appcast parsed(std::string_view body) {
    Result<Appcast> feed = parse_appcast(body);
    EXPECT_TRUE(feed.ok()) << body;
    return feed ? feed.value() : Appcast{};
}

bool invalid(std::string_view body) {
    return !parse_appcast(body).ok();
}

}  // namespace

TEST(ParseAppcast, ReadsEveryField) {
    auto fields = [](const Appcast& a) {
        return std::tie(a.version, a.build, a.size, a.url, a.sha256, a.signature, a.notes,
                        a.minimumSystem);
    };
    const Appcast feed = parsed(full_feed);
    EXPECT_EQ(fields(feed), std::make_tuple("1.10.0", 120, std::optional<std::int64_t>(1048576),
                                            "https://localhost/software/torvane/Torvane-1.10.0.zip",
                                            "AB", "c2ln", std::optional<std::string>("Arreglos"),
                                            std::optional<std::string>("10.0.19041")));
    // A byte-order mark changes nothing; only one is dropped.
    EXPECT_EQ(fields(parsed(std::string("\xEF\xBB\xBF") + full_feed)), fields(feed));
    EXPECT_TRUE(invalid(std::string("\xEF\xBB\xBF\xEF\xBB\xBF") + full_feed));
}

TEST(ParseAppcast, MissingAndNullMembers) {
    for (const char* body :
         {R"({"version": "0.1.0"})",
          R"({"version": "0.1.0", "size": null, "url": null, "sha256": null, "signature": null,
              "notes": null, "minimumSystem": null})"}) {
        const Appcast feed = parsed(body);
        EXPECT_EQ(feed.build, 0);
        EXPECT_FALSE(feed.size || feed.notes || feed.minimumSystem) << body;
        EXPECT_EQ(feed.url + feed.sha256 + feed.signature, "") << body;
    }
    // Keys are case-sensitive: a differently written key is another, ignored key.
    EXPECT_EQ(parsed(R"({"version": "0.1.0", "Build": 7})").build, 0);
}

TEST(ParseAppcast, BuildAndSizeMustBeIntegersInRange) {
    EXPECT_EQ(parsed(R"({"version":"1.0.0","build":-5})").build, -5);
    EXPECT_EQ(parsed(R"({"version":"1.0.0","build":2147483647})").build, 2147483647);
    EXPECT_EQ(parsed(R"({"version":"1.0.0","build":-2147483648})").build, -2147483648LL);
    EXPECT_EQ(parsed(R"({"version":"1.0.0","size":9223372036854775807})").size,
              9223372036854775807LL);
    EXPECT_EQ(parsed(R"({"version":"1.0.0","size":-1})").size, -1);
    for (const char* bad :
         {R"({"version":"1.0.0","build":null})", R"({"version":"1.0.0","build":2147483648})",
          R"({"version":"1.0.0","build":-2147483649})", R"({"version":"1.0.0","build":1.0})",
          R"({"version":"1.0.0","build":1e2})", R"({"version":"1.0.0","build":"120"})",
          R"({"version":"1.0.0","build":true})", R"({"version":"1.0.0","size":1.5})",
          R"({"version":"1.0.0","size":9223372036854775808})",
          R"({"version":"1.0.0","size":18446744073709551615})",
          R"({"version":"1.0.0","size":"10"})", R"({"version":"1.0.0","size":[1]})"})
        EXPECT_TRUE(invalid(bad)) << bad;
}

TEST(ParseAppcast, TextMembersMustBeStrings) {
    for (const char* key : {"url", "sha256", "signature", "notes", "minimumSystem"}) {
        for (const char* value : {"1", "true", "[]", "{}"}) {
            const std::string body =
                std::string(R"({"version":"1.0.0",")") + key + "\":" + value + "}";
            EXPECT_TRUE(invalid(body)) << body;
        }
    }
    EXPECT_TRUE(invalid(R"({"version": 100})"));
    EXPECT_TRUE(invalid(R"({"version": null})"));
}

TEST(ParseAppcast, VersionIsThreeShortNumbers) {
    for (const char* good : {"1.10.0", "0.0.0", "9999.0.1234"})
        EXPECT_EQ(parsed(std::string(R"({"version":")") + good + "\"}").version, good);
    for (const char* bad : {"", "1.2", "1.2.3.4", "1.2.x", "12345.0.0", "1..2", ".1.2", "1.2.",
                            " 1.2.3", "1.2.3 ", "+1.2.3", "1.-2.3", "١.٢.٣"})
        EXPECT_TRUE(invalid(std::string(R"({"version":")") + bad + "\"}")) << bad;
    EXPECT_TRUE(invalid("{}"));
}

TEST(ParseAppcast, OnlyAnObjectOfValidJsonIsAFeed) {
    for (const char* bad : {"", "[]", "\"1.0.0\"", "null", "{\"version\":\"1.0.0\"", "{} {}",
                            "{\"version\":\"1.0.0\",}", "{\"version\":\"1.0.0\xff\"}", "\xEF\xBB"})
        EXPECT_TRUE(invalid(bad)) << bad;
}

TEST(MinimumSystem, ComparesUpToThreePartsInOrder) {
    const OsVersion win10{10, 0, 19045};
    // A fourth part is never compared; white space and a "+" around parts are accepted.
    for (const char* met : {"10.0.19045", "10.0.19044", "6.3", "9.9.99999", "10.0.19045.9999"})
        EXPECT_TRUE(minimum_system_satisfied(met, win10)) << met;
    for (const char* unmet : {"10.0.22000", "10.1", "11.0", " 10 . +0 . 22000 ", "10.0.4294967295"})
        EXPECT_FALSE(minimum_system_satisfied(unmet, win10)) << unmet;
}

TEST(MinimumSystem, MalformedRequirementsAreIgnored) {
    const OsVersion old{6, 1, 7601};
    for (const char* ignored : {"", "10", "10.0.x", "10.0.", "10..0", "10.0.0.0.0", "a.b",
                                "10.0.4294967296", "10.-1", "10.0.++1", "+", "10 0"})
        EXPECT_TRUE(minimum_system_satisfied(ignored, old)) << ignored;
}

namespace {

using Bytes = std::vector<std::uint8_t>;

// A package signed with the test key's private half, as the release tool signs it.
struct SignedPackage {
    Bytes bytes = signing::bytes_of(std::string("PK\x03\x04 paquete de prueba", 22));
    Appcast feed;
    SignedPackage() {
        feed.sha256 = sha256_hex(bytes);
        feed.signature =
            signing::base64(signing::sign(signing::from_hex(signing::update_test_seed), bytes));
    }
};

bool built_with_test_key() {
    const auto key = base64_decode(update_public_key());
    const Bytes seed = signing::from_hex(signing::update_test_seed);
    const Bytes message = signing::bytes_of("x");
    return key && ed25519_verify_strict(*key, message, signing::sign(seed, message));
}

}  // namespace

TEST(PackageDigest, MatchesTheWholeFileInAnyCaseAndSpacing) {
    SignedPackage package;
    EXPECT_TRUE(verify_package_digest(package.bytes, package.feed));
    Appcast upper = package.feed;
    for (char& c : upper.sha256)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    upper.sha256 = " \t" + upper.sha256 + "\r\n";
    EXPECT_TRUE(verify_package_digest(package.bytes, upper));

    Bytes changed = package.bytes;
    changed.back() ^= 1;
    EXPECT_FALSE(verify_package_digest(changed, package.feed));
    Bytes longer = package.bytes;
    longer.push_back(0);
    EXPECT_FALSE(verify_package_digest(longer, package.feed));
    for (std::string bad :
         {std::string(), package.feed.sha256.substr(0, 63), package.feed.sha256 + "0",
          "sha256:" + package.feed.sha256,
          package.feed.sha256.substr(0, 32) + " " + package.feed.sha256.substr(32)}) {
        Appcast feed = package.feed;
        feed.sha256 = bad;
        EXPECT_FALSE(verify_package_digest(package.bytes, feed)) << bad;
    }
}

TEST(PackageSignature, CoversExactlyTheFileWithTheBuiltInKey) {
    if (!built_with_test_key()) GTEST_SKIP() << "built with another update key";
    SignedPackage package;
    EXPECT_TRUE(verify_package_signature(package.bytes, package.feed));
    Appcast spaced = package.feed;
    spaced.signature = "\n " + spaced.signature + " \n";
    EXPECT_TRUE(verify_package_signature(package.bytes, spaced));

    Bytes changed = package.bytes;
    changed[0] ^= 1;
    EXPECT_FALSE(verify_package_signature(changed, package.feed));
    Bytes longer = package.bytes;
    longer.push_back('\n');
    EXPECT_FALSE(verify_package_signature(longer, package.feed));

    // A signature over the digest text, or over the feed, is not one over the file.
    const Bytes seed = signing::from_hex(signing::update_test_seed);
    Appcast over_digest = package.feed;
    over_digest.signature =
        signing::base64(signing::sign(seed, signing::bytes_of(package.feed.sha256)));
    EXPECT_FALSE(verify_package_signature(package.bytes, over_digest));

    // Damaged text: cut, unpadded, with a line break inside, or not Base64 at all.
    const std::string text = package.feed.signature;
    for (std::string bad :
         {std::string(), text.substr(0, 86), text.substr(0, 87),
          text.substr(0, 44) + "\n" + text.substr(44), text + "AAAA", std::string(88, '*')}) {
        Appcast feed = package.feed;
        feed.signature = bad;
        EXPECT_FALSE(verify_package_signature(package.bytes, feed)) << bad;
    }
    // A genuine signature by another key.
    Appcast other_key = package.feed;
    Bytes other_seed = seed;
    other_seed[0] ^= 1;
    other_key.signature = signing::base64(signing::sign(other_seed, package.bytes));
    EXPECT_FALSE(verify_package_signature(package.bytes, other_key));
}
