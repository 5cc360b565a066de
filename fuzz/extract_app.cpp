// Update packages from the network: reading one never reads outside it, never crashes, and
// whatever it hands out fits the size limits.

#include <cstddef>
#include <cstdint>
#include <span>

#include "check.h"
#include "core/package.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const auto app = torvane::extract_app_bytes(std::span<const uint8_t>(data, size));
    if (app.ok())
        FUZZ_CHECK(!app.value().empty() && app.value().size() <= torvane::max_package_size);
    return 0;
}
