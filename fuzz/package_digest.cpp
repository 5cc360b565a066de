// The digest comparison. The input is the feed's digest text and the package bytes, split at
// the first newline. A digest text is accepted exactly when, trimmed and in lower case, it is
// the SHA-256 of the bytes as libsodium computes it.

#include <sodium.h>

#include <array>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "check.h"
#include "core/appcast.h"
#include "core/package_proof.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    FUZZ_CHECK(sodium_init() >= 0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t newline = input.find('\n');
    std::string text(input.substr(0, newline));
    const std::span<const std::uint8_t> bytes =
        newline == std::string_view::npos ? std::span<const std::uint8_t>()
                                          : std::span(data + newline + 1, size - newline - 1);
    std::array<unsigned char, crypto_hash_sha256_BYTES> digest{};
    crypto_hash_sha256(digest.data(), bytes.data(), bytes.size());
    std::array<char, crypto_hash_sha256_BYTES * 2 + 1> truth{};
    sodium_bin2hex(truth.data(), truth.size(), digest.data(), digest.size());

    torvane::Appcast feed;
    feed.sha256 = text;
    const char* space = " \t\r\n\v\f";
    const std::size_t first = text.find_first_not_of(space);
    text = first == std::string::npos
               ? ""
               : text.substr(first, text.find_last_not_of(space) - first + 1);
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    FUZZ_CHECK(torvane::verify_package_digest(bytes, feed) == (text == truth.data()));
    return 0;
}
