#pragma once
// The cryptography updates rely on, all done by libgcrypt: SHA-256 digests, strict Base64
// decoding and strict Ed25519 verification.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace torvane {

// SHA-256 of the bytes as 64 lowercase hexadecimal digits.
std::string sha256_hex(std::span<const std::uint8_t> bytes);

// Standard Base64 (RFC 4648 alphabet with "+" and "/", padded, unused bits zero), nothing else
// in the text. Absent for any other text.
std::optional<std::vector<std::uint8_t>> base64_decode(std::string_view text);

// Ed25519 (RFC 8032, SHA-512, no prehash, no context) in its strict form: S below the group
// order, canonical R and A, neither of small order. Never aborts, whatever the bytes.
bool ed25519_verify_strict(std::span<const std::uint8_t> key, std::span<const std::uint8_t> message,
                           std::span<const std::uint8_t> signature);

}  // namespace torvane
