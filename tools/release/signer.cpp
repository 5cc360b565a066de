#include "tools/release/signer.h"

#include <algorithm>

#include "core/curve25519.h"

namespace torvane {

namespace {

using curve25519::Bytes32;
using curve25519::Mpi;

// RFC 8032, 5.1.5: the secret scalar from the first half of SHA-512(seed), clamped; the
// second half is the prefix that makes the nonce.
struct Expanded {
    Bytes32 scalar{};
    Bytes32 prefix{};
};

std::optional<Expanded> expand(std::span<const std::uint8_t> seed) {
    if (seed.size() != 32) return std::nullopt;
    curve25519::initialize_gcrypt();
    std::array<std::uint8_t, 64> hash{};
    gcry_md_hash_buffer(GCRY_MD_SHA512, hash.data(), seed.data(), seed.size());
    Expanded e;
    std::copy(hash.begin(), hash.begin() + 32, e.scalar.begin());
    std::copy(hash.begin() + 32, hash.end(), e.prefix.begin());
    e.scalar[0] &= 248;
    e.scalar[31] &= 127;
    e.scalar[31] |= 64;
    return e;
}

}  // namespace

Ed25519Seed ed25519_new_seed() {
    curve25519::initialize_gcrypt();
    Ed25519Seed seed{};
    gcry_randomize(seed.data(), seed.size(), GCRY_VERY_STRONG_RANDOM);
    return seed;
}

std::optional<std::array<std::uint8_t, 32>> ed25519_public_key(std::span<const std::uint8_t> seed) {
    const std::optional<Expanded> e = expand(seed);
    if (!e) return std::nullopt;
    Mpi a;
    curve25519::set_scalar(a, e->scalar);
    return curve25519::base_multiple(a);
}

std::optional<std::array<std::uint8_t, 64>> ed25519_sign(std::span<const std::uint8_t> seed,
                                                         std::span<const std::uint8_t> message) {
    const std::optional<Expanded> e = expand(seed);
    if (!e) return std::nullopt;
    Mpi a, r, k, s;
    curve25519::set_scalar(a, e->scalar);
    const std::optional<Bytes32> public_key = curve25519::base_multiple(a);
    curve25519::set_hash_scalar(r, {e->prefix, message});
    const std::optional<Bytes32> big_r = curve25519::base_multiple(r);
    if (!public_key || !big_r) return std::nullopt;
    curve25519::set_hash_scalar(k, {*big_r, *public_key, message});
    gcry_mpi_mulm(s, k, a, curve25519::group_order());
    gcry_mpi_addm(s, s, r, curve25519::group_order());
    std::array<std::uint8_t, 64> signature{};
    std::copy(big_r->begin(), big_r->end(), signature.begin());
    const Bytes32 s_bytes = curve25519::scalar_bytes(s);
    std::copy(s_bytes.begin(), s_bytes.end(), signature.begin() + 32);
    return signature;
}

std::string base64_encode(std::span<const std::uint8_t> bytes) {
    static constexpr char digits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        std::uint32_t group = static_cast<std::uint32_t>(bytes[i]) << 16;
        if (i + 1 < bytes.size()) group |= static_cast<std::uint32_t>(bytes[i + 1]) << 8;
        if (i + 2 < bytes.size()) group |= bytes[i + 2];
        text += digits[(group >> 18) & 63];
        text += digits[(group >> 12) & 63];
        text += i + 1 < bytes.size() ? digits[(group >> 6) & 63] : '=';
        text += i + 2 < bytes.size() ? digits[group & 63] : '=';
    }
    return text;
}

}  // namespace torvane
