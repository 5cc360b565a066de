// The update feed as a hostile server could serve it: parsing fails only by returning an
// error, and writing a parsed feed out again parses to the same feed.

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <tuple>

#include "check.h"
#include "core/appcast.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const auto feed =
        torvane::parse_appcast(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!feed) return 0;
    const torvane::Appcast& a = feed.value();
    nlohmann::json written = {{"version", a.version},
                              {"build", a.build},
                              {"url", a.url},
                              {"sha256", a.sha256},
                              {"signature", a.signature}};
    if (a.size) written["size"] = *a.size;
    if (a.notes) written["notes"] = *a.notes;
    if (a.minimumSystem) written["minimumSystem"] = *a.minimumSystem;
    const auto again = torvane::parse_appcast(written.dump());
    FUZZ_CHECK(again.ok());
    const torvane::Appcast& b = again.value();
    FUZZ_CHECK(std::tie(a.version, a.build, a.size, a.url, a.sha256, a.signature, a.notes,
                        a.minimumSystem) == std::tie(b.version, b.build, b.size, b.url, b.sha256,
                                                     b.signature, b.notes, b.minimumSystem));
    return 0;
}
