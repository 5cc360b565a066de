// Ed25519 verification with arbitrary key and signature bytes: it never aborts, and it agrees
// with libsodium's strict verifier on everything. The first input byte chooses the case:
// raw bytes (key, signature, message), a genuine signature by a key derived from the input,
// or such a signature with S + L, R or the key replaced by raw input bytes.

#include <sodium.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "check.h"
#include "core/crypto.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

bool oracle(const Bytes& key, const Bytes& message, const Bytes& signature) {
    return crypto_sign_verify_detached(signature.data(), message.data(), message.size(),
                                       key.data()) == 0;
}

// The group order L, little-endian.
constexpr std::array<std::uint8_t, 32> group_order = {
    0xed, 0xd3, 0xf5, 0x5c, 0x1a, 0x63, 0x12, 0x58, 0xd6, 0x9c, 0xf7, 0xa2, 0xde, 0xf9, 0xde, 0x14,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10};

void add_group_order(std::uint8_t* s) {
    unsigned carry = 0;
    for (std::size_t i = 0; i < 32; ++i) {
        carry += s[i] + group_order[i];
        s[i] = static_cast<std::uint8_t>(carry);
        carry >>= 8;
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    FUZZ_CHECK(sodium_init() >= 0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size < 1 + 96) return 0;
    const std::uint8_t mode = data[0] % 5;
    Bytes key(data + 1, data + 33), signature(data + 33, data + 97),
        message(data + 97, data + size);

    if (mode > 0) {
        // A genuine signature by the key whose seed is the first 32 bytes.
        std::array<std::uint8_t, 64> secret{};
        crypto_sign_seed_keypair(key.data(), secret.data(), data + 1);
        Bytes raw = signature;
        crypto_sign_detached(signature.data(), nullptr, message.data(), message.size(),
                             secret.data());
        if (mode == 1) FUZZ_CHECK(torvane::ed25519_verify_strict(key, message, signature));
        if (mode == 2) add_group_order(signature.data() + 32);
        if (mode == 3) std::memcpy(signature.data(), raw.data(), 32);
        if (mode == 4) std::memcpy(key.data(), raw.data() + 32, 32);
    }
    const bool verified = torvane::ed25519_verify_strict(key, message, signature);
    FUZZ_CHECK(verified == oracle(key, message, signature));
    if (mode == 2) FUZZ_CHECK(!verified);
    return 0;
}
