// Update packages from the network: reading one never reads outside it, never crashes, and
// whatever it hands out fits the size limits and matches the CRC-32 its archive declares.

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "check.h"
#include "core/package.h"

namespace {

// The CRC-32 of the one central-directory record named "Torvane.exe", found by a plain scan
// independent of the reader's walk; none when the scan finds zero or several.
bool declared_crc(const uint8_t* data, std::size_t size, uint32_t& crc) {
    static constexpr char name[] = "Torvane.exe";
    int found = 0;
    for (std::size_t at = 0; at + 46 + 11 <= size; ++at) {
        if (std::memcmp(data + at, "PK\1\2", 4) != 0) continue;
        if ((data[at + 28] | data[at + 29] << 8) != 11) continue;
        if (std::memcmp(data + at + 46, name, 11) != 0) continue;
        crc = static_cast<uint32_t>(data[at + 16] | data[at + 17] << 8 | data[at + 18] << 16 |
                                    static_cast<uint32_t>(data[at + 19]) << 24);
        ++found;
    }
    return found == 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const auto app = torvane::extract_app_bytes(std::span<const uint8_t>(data, size));
    if (!app.ok()) return 0;
    const std::vector<uint8_t>& content = app.value();
    FUZZ_CHECK(!content.empty() && content.size() <= torvane::max_package_size);
    const auto crc =
        static_cast<uint32_t>(crc32(0, content.data(), static_cast<uInt>(content.size())));
    uint32_t declared = 0;
    if (declared_crc(data, size, declared)) FUZZ_CHECK(crc == declared);
    return 0;
}
