#pragma once
// Small ZIP archives for the package tests, written by the release tool's writer, with knobs
// to break them.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tools/release/zip_write.h"

namespace torvane::testing_zip {

struct Entry {
    Entry(std::string entry_name, std::vector<uint8_t> bytes, bool deflated = true)
        : name(std::move(entry_name)), content(std::move(bytes)), deflate(deflated) {}
    std::string name;
    std::vector<uint8_t> content;
    bool deflate = true;
    // Overrides for broken archives.
    uint16_t flags = 0;
    uint16_t method = 0xFFFF;  // 0xFFFF: from `deflate`
    int64_t declared_size = -1;
    int64_t crc = -1;
    std::string local_name;  // empty: the same name
};

inline std::vector<uint8_t> zip(const std::vector<Entry>& entries,
                                const std::string& comment = "") {
    std::vector<zip_write::Record> records;
    for (const Entry& e : entries) {
        zip_write::Record& r = records.emplace_back();
        r.name = e.name;
        r.local_name = e.local_name.empty() ? e.name : e.local_name;
        r.data = e.deflate ? zip_write::raw_deflate(e.content) : e.content;
        r.method = e.method != 0xFFFF ? e.method : (e.deflate ? 8 : 0);
        r.flags = e.flags;
        r.crc = e.crc >= 0 ? static_cast<uint32_t>(e.crc) : zip_write::crc32_of(e.content);
        r.size = e.declared_size >= 0 ? static_cast<uint32_t>(e.declared_size)
                                      : static_cast<uint32_t>(e.content.size());
    }
    return zip_write::write(records, comment);
}

}  // namespace torvane::testing_zip
