// The update feed as a hostile server could serve it: parsing never fails other than by
// returning an error, one byte-order mark in
// front changes nothing (a second one makes it invalid), and writing the parsed feed out again
// parses to the same feed.

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "check.h"
#include "core/appcast.h"

namespace {

using torvane::Appcast;

bool same(const Appcast& a, const Appcast& b) {
    return a.version == b.version && a.build == b.build && a.size == b.size && a.url == b.url &&
           a.sha256 == b.sha256 && a.signature == b.signature && a.notes == b.notes &&
           a.minimumSystem == b.minimumSystem;
}

std::string written(const Appcast& a) {
    nlohmann::json feed = {{"version", a.version},
                           {"build", a.build},
                           {"url", a.url},
                           {"sha256", a.sha256},
                           {"signature", a.signature}};
    if (a.size) feed["size"] = *a.size;
    if (a.notes) feed["notes"] = *a.notes;
    if (a.minimumSystem) feed["minimumSystem"] = *a.minimumSystem;
    return feed.dump();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    const torvane::Result<Appcast> feed = torvane::parse_appcast(body);

    // One mark in front is dropped; a second one is not JSON.
    const bool has_mark = body.starts_with("\xEF\xBB\xBF");
    const torvane::Result<Appcast> marked =
        torvane::parse_appcast("\xEF\xBB\xBF" + std::string(body));
    FUZZ_CHECK(has_mark ? !marked.ok() : marked.ok() == feed.ok());
    if (!feed) return 0;
    if (!has_mark) FUZZ_CHECK(same(marked.value(), feed.value()));

    const torvane::Result<Appcast> again = torvane::parse_appcast(written(feed.value()));
    FUZZ_CHECK(again.ok() && same(again.value(), feed.value()));
    return 0;
}
