#pragma once
// Ed25519 signing (RFC 8032, pure: no prehash, no context) and standard Base64, for the
// release tool and the tests. The program itself only verifies and never links this.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace torvane {

using Ed25519Seed = std::array<std::uint8_t, 32>;

// A new private key from libgcrypt's strongest random source.
Ed25519Seed ed25519_new_seed();

// The compressed point A of the seed (RFC 8032, 5.1.5).
std::optional<std::array<std::uint8_t, 32>> ed25519_public_key(std::span<const std::uint8_t> seed);

// R ‖ S over the whole message, of any length.
std::optional<std::array<std::uint8_t, 64>> ed25519_sign(std::span<const std::uint8_t> seed,
                                                         std::span<const std::uint8_t> message);

// RFC 4648 standard alphabet, padded: what base64_decode takes.
std::string base64_encode(std::span<const std::uint8_t> bytes);

}  // namespace torvane
