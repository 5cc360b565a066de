#include "core/package_proof.h"

#include "core/crypto.h"
#include "core/strings.h"

namespace torvane {

bool verify_package_digest(std::span<const std::uint8_t> bytes, const Appcast& appcast) {
    const std::string_view expected = trim(appcast.sha256);
    return iequals_ascii(sha256_hex(bytes), expected);
}

bool verify_package_signature(std::span<const std::uint8_t> bytes, const Appcast& appcast) {
    const auto signature = base64_decode(trim(appcast.signature));
    const auto key = base64_decode(update_public_key());
    return signature && key && ed25519_verify_strict(*key, bytes, *signature);
}

}  // namespace torvane
