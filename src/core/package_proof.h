#pragma once
// Proof that a downloaded package is the one the feed describes and the publisher signed.

#include <cstdint>
#include <span>

#include "core/appcast.h"

namespace torvane {

// Both over the complete file as received.
bool verify_package_digest(std::span<const std::uint8_t> bytes, const Appcast& appcast);
bool verify_package_signature(std::span<const std::uint8_t> bytes, const Appcast& appcast);

}  // namespace torvane
