#pragma once
// Signing for the tests, with libgcrypt: the program itself only verifies.

#include <gcrypt.h>

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

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

// The value of one named element of an S-expression, as bytes.
inline std::vector<std::uint8_t> element(gcry_sexp_t sexp, const char* name) {
    std::vector<std::uint8_t> bytes;
    gcry_sexp_t found = gcry_sexp_find_token(sexp, name, 0);
    std::size_t length = 0;
    const char* data = found ? gcry_sexp_nth_data(found, 1, &length) : nullptr;
    if (data) bytes.assign(data, data + length);
    gcry_sexp_release(found);
    return bytes;
}

// R ‖ S over the message, as RFC 8032 signs.
inline std::vector<std::uint8_t> sign(std::span<const std::uint8_t> seed,
                                      std::span<const std::uint8_t> message) {
    gcry_check_version(nullptr);
    gcry_sexp_t key = nullptr, data = nullptr, signature = nullptr;
    gcry_sexp_build(&key, nullptr, "(private-key (ecc (curve Ed25519) (flags eddsa) (d %b)))",
                    static_cast<int>(seed.size()), seed.data());
    gcry_sexp_build(&data, nullptr, "(data (flags eddsa) (hash-algo sha512) (value %b))",
                    static_cast<int>(message.size()), message.data());
    gcry_pk_sign(&signature, data, key);
    std::vector<std::uint8_t> out = element(signature, "r");
    std::vector<std::uint8_t> s = element(signature, "s");
    out.insert(out.end(), s.begin(), s.end());
    gcry_sexp_release(key);
    gcry_sexp_release(data);
    gcry_sexp_release(signature);
    return out;
}

inline std::string base64(std::span<const std::uint8_t> bytes) {
    static constexpr char digits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
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

}  // namespace torvane::signing
