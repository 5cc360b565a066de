#include "core/crypto.h"

#include <gcrypt.h>

#include <algorithm>
#include <array>

#include "core/curve25519.h"
#include "core/strings.h"

namespace torvane {

namespace {

using curve25519::Bytes32;
using curve25519::initialize_gcrypt;
using curve25519::Mpi;

// The group order L = 2^252 + 27742317777372353535851937790883648493, little-endian.
constexpr Bytes32 group_order = {0xed, 0xd3, 0xf5, 0x5c, 0x1a, 0x63, 0x12, 0x58, 0xd6, 0x9c, 0xf7,
                                 0xa2, 0xde, 0xf9, 0xde, 0x14, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                                 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10};

// Encodings of the eight points of order dividing 8, compared without the sign bit of x:
// y = 0, 1, the two order-8 values, p - 1, and the non-canonical p and p + 1. libgcrypt
// accepts forgeries on some of them and aborts the process on others.
constexpr std::array<Bytes32, 7> small_order = {{
    {0x00},
    {0x01},
    {0x26, 0xe8, 0x95, 0x8f, 0xc2, 0xb2, 0x27, 0xb0, 0x45, 0xc3, 0xf4,
     0x89, 0xf2, 0xef, 0x98, 0xf0, 0xd5, 0xdf, 0xac, 0x05, 0xd3, 0xc6,
     0x33, 0x39, 0xb1, 0x38, 0x02, 0x88, 0x6d, 0x53, 0xfc, 0x05},
    {0xc7, 0x17, 0x6a, 0x70, 0x3d, 0x4d, 0xd8, 0x4f, 0xba, 0x3c, 0x0b,
     0x76, 0x0d, 0x10, 0x67, 0x0f, 0x2a, 0x20, 0x53, 0xfa, 0x2c, 0x39,
     0xcc, 0xc6, 0x4e, 0xc7, 0xfd, 0x77, 0x92, 0xac, 0x03, 0x7a},
    {0xec, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
     0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
     0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x7f},
    {0xed, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
     0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
     0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x7f},
    {0xee, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
     0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
     0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x7f},
}};

// Little-endian comparison of a scalar with L.
bool below_group_order(std::span<const std::uint8_t> scalar) {
    for (std::size_t i = 32; i-- > 0;) {
        if (scalar[i] != group_order[i]) return scalar[i] < group_order[i];
    }
    return false;
}

// y below p = 2^255 - 19; the sign bit is not part of y.
bool canonical_point(std::span<const std::uint8_t> point) {
    if ((point[31] & 0x7f) != 0x7f || point[0] < 0xed) return true;
    return !std::all_of(point.begin() + 1, point.begin() + 31,
                        [](std::uint8_t b) { return b == 0xff; });
}

bool of_small_order(std::span<const std::uint8_t> point) {
    return std::any_of(small_order.begin(), small_order.end(), [&](const Bytes32& bad) {
        return std::equal(bad.begin(), bad.end() - 1, point.begin()) &&
               (point[31] & 0x7f) == bad[31];
    });
}

// libgcrypt's Ed25519 arithmetic aborts the process ("mulm_25519: different sizes") when a
// coordinate of the decoded key has fewer than four 64-bit limbs, that is, lies below 2^192.
// No real key has one (the odds are 2^-63), but the key bytes must never be able to end the
// process: the key is decompressed here first (RFC 8032, 5.1.3) with libgcrypt's general
// big-number functions, and refused when it is not a point or has such a coordinate.
bool decompresses_to_wide_point(std::span<const std::uint8_t> key) {
    std::array<std::uint8_t, 32> big_endian{};
    std::copy(key.rbegin(), key.rend(), big_endian.begin());
    big_endian[0] &= 0x7f;
    const bool x_odd = key[31] & 0x80;
    const Mpi p("7FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFED");
    const Mpi d("52036CEE2B6FFE738CC740797779E89800700A4D4141D8AB75EB4DCA135978A3");
    const Mpi sqrt_minus_one("2B8324804FC1DF0B2B4D00993DFBD7A72F431806AD2FE478C4EE1B274A0EA0B0");
    const Mpi exponent(
        "0FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFE");        // (p+3)/8
    const Mpi one("01"), low("1000000000000000000000000000000000000000000000000");  // 2^192
    Mpi y, y2, u, v, x2, x, check;
    gcry_mpi_release(y.value);
    y.value = nullptr;
    if (gcry_mpi_scan(&y.value, GCRYMPI_FMT_USG, big_endian.data(), big_endian.size(), nullptr))
        return false;
    if (gcry_mpi_cmp(y, low) < 0) return false;
    gcry_mpi_mulm(y2, y, y, p);
    gcry_mpi_subm(u, y2, one, p);
    gcry_mpi_mulm(v, d, y2, p);
    gcry_mpi_addm(v, v, one, p);
    if (!gcry_mpi_invm(v, v, p)) return false;
    gcry_mpi_mulm(x2, u, v, p);
    gcry_mpi_powm(x, x2, exponent, p);
    gcry_mpi_mulm(check, x, x, p);
    if (gcry_mpi_cmp(check, x2) != 0) {
        gcry_mpi_mulm(x, x, sqrt_minus_one, p);
        gcry_mpi_mulm(check, x, x, p);
        if (gcry_mpi_cmp(check, x2) != 0) return false;
    }
    if (gcry_mpi_cmp_ui(x, 0) == 0) return false;
    if ((gcry_mpi_test_bit(x, 0) != 0) != x_odd) gcry_mpi_sub(x, p, x);
    return gcry_mpi_cmp(x, low) >= 0;
}

int base64_value(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

// The decoder of libgpg-error is lenient (white space, missing padding, stray bits); the form
// is checked here first.
bool strict_base64_form(std::string_view text) {
    if (text.empty() || text.size() % 4 != 0) return false;
    std::size_t padding = 0;
    while (padding < 2 && text[text.size() - 1 - padding] == '=')
        ++padding;
    const std::string_view data = text.substr(0, text.size() - padding);
    if (!std::all_of(data.begin(), data.end(), [](char c) { return base64_value(c) >= 0; }))
        return false;
    const int last = base64_value(data.back());
    return padding == 0 || (padding == 1 ? (last & 0x3) == 0 : (last & 0xf) == 0);
}

}  // namespace

std::string sha256_hex(std::span<const std::uint8_t> bytes) {
    initialize_gcrypt();
    std::array<std::uint8_t, 32> digest{};
    gcry_md_hash_buffer(GCRY_MD_SHA256, digest.data(), bytes.data(), bytes.size());
    return hex(digest);
}

std::optional<std::vector<std::uint8_t>> base64_decode(std::string_view text) {
    if (!strict_base64_form(text)) return std::nullopt;
    gpgrt_b64state_t state = gpgrt_b64dec_start(nullptr);
    if (!state) return std::nullopt;
    std::vector<std::uint8_t> bytes(text.begin(), text.end());
    std::size_t decoded = 0;
    const gpg_error_t proc = gpgrt_b64dec_proc(state, bytes.data(), bytes.size(), &decoded);
    const gpg_error_t finish = gpgrt_b64dec_finish(state);
    if (proc || finish) return std::nullopt;
    bytes.resize(decoded);
    return bytes;
}

bool ed25519_verify_strict(std::span<const std::uint8_t> key, std::span<const std::uint8_t> message,
                           std::span<const std::uint8_t> signature) {
    if (key.size() != 32 || signature.size() != 64) return false;
    const std::span<const std::uint8_t> r = signature.first(32), s = signature.last(32);
    if (!below_group_order(s) || !canonical_point(r) || !canonical_point(key) ||
        of_small_order(r) || of_small_order(key))
        return false;

    initialize_gcrypt();
    if (!decompresses_to_wide_point(key)) return false;
    // The encoding of [S]B - [k]A must be R itself, with k = SHA-512(R || A || M) mod L.
    Mpi s_value, k;
    curve25519::set_scalar(s_value, s);
    curve25519::set_hash_scalar(k, {r, key, message});
    const std::optional<Bytes32> check = curve25519::base_multiple_minus(s_value, k, key);
    return check && std::equal(check->begin(), check->end(), r.begin());
}

}  // namespace torvane
