// The digest comparison. The input is the feed's digest text and the package bytes, split at
// the first newline. A digest text is accepted exactly when, trimmed and in lower case, it is
// the SHA-256 of the bytes as libsodium computes it.

#include <sodium.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "check.h"
#include "core/appcast.h"
#include "core/package_proof.h"

namespace {

std::string reference_hex(std::span<const std::uint8_t> bytes) {
    std::array<unsigned char, crypto_hash_sha256_BYTES> digest{};
    crypto_hash_sha256(digest.data(), bytes.data(), bytes.size());
    std::array<char, crypto_hash_sha256_BYTES * 2 + 1> hex{};
    sodium_bin2hex(hex.data(), hex.size(), digest.data(), digest.size());
    return hex.data();
}

bool space(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string trimmed_lower(std::string_view text) {
    while (!text.empty() && space(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && space(text.back()))
        text.remove_suffix(1);
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    FUZZ_CHECK(sodium_init() >= 0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t newline = input.find('\n');
    const std::string_view text = input.substr(0, newline);
    const std::span<const std::uint8_t> bytes =
        newline == std::string_view::npos ? std::span<const std::uint8_t>()
                                          : std::span(data + newline + 1, size - newline - 1);
    const std::string truth = reference_hex(bytes);

    torvane::Appcast feed;
    feed.sha256 = text;
    FUZZ_CHECK(torvane::verify_package_digest(bytes, feed) == (trimmed_lower(text) == truth));
    return 0;
}
