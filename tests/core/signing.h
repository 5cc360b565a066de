#pragma once
// Signing for the tests: the program itself only verifies.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tools/release/signer.h"

namespace torvane::signing {

// The private half of the default built-in update key (TORVANE_UPDATE_PUBLIC_KEY).
inline constexpr std::string_view update_test_seed =
    "6f73fc4aae43a6eb6cde0fa836398496666df6d9540c6bc2d7d2e8738a783610";

inline std::vector<std::uint8_t> from_hex(std::string_view hex) {
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(
            static_cast<std::uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
    return bytes;
}

inline std::vector<std::uint8_t> bytes_of(std::string_view text) {
    return {text.begin(), text.end()};
}

// R ‖ S over the message, as RFC 8032 signs; empty if signing failed.
inline std::vector<std::uint8_t> sign(std::span<const std::uint8_t> seed,
                                      std::span<const std::uint8_t> message) {
    const auto signature = ed25519_sign(seed, message);
    if (!signature) return {};
    return {signature->begin(), signature->end()};
}

inline std::string base64(std::span<const std::uint8_t> bytes) {
    return base64_encode(bytes);
}

}  // namespace torvane::signing
