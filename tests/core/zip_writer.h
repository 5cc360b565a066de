#pragma once
// Writes small ZIP archives the way the release tool does (stored or raw-deflated entries, one
// central directory, an optional comment), with knobs to break them, for the package tests.

#include <zlib.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

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

inline void put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
inline void put32(std::vector<uint8_t>& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}
inline void put(std::vector<uint8_t>& out, const std::string& s) {
    out.insert(out.end(), s.begin(), s.end());
}

inline std::vector<uint8_t> raw_deflate(const std::vector<uint8_t>& data) {
    z_stream s{};
    deflateInit2(&s, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::vector<uint8_t> out(deflateBound(&s, static_cast<uLong>(data.size())));
    s.next_in = const_cast<Bytef*>(data.data());
    s.avail_in = static_cast<uInt>(data.size());
    s.next_out = out.data();
    s.avail_out = static_cast<uInt>(out.size());
    deflate(&s, Z_FINISH);
    out.resize(s.total_out);
    deflateEnd(&s);
    return out;
}

inline std::vector<uint8_t> zip(const std::vector<Entry>& entries,
                                const std::string& comment = "") {
    std::vector<uint8_t> out, directory;
    for (const Entry& e : entries) {
        const std::vector<uint8_t> data = e.deflate ? raw_deflate(e.content) : e.content;
        const uint16_t method = e.method != 0xFFFF ? e.method : (e.deflate ? 8 : 0);
        const uint32_t crc = e.crc >= 0
                                 ? static_cast<uint32_t>(e.crc)
                                 : static_cast<uint32_t>(crc32(
                                       0, e.content.data(), static_cast<uInt>(e.content.size())));
        const uint32_t size = e.declared_size >= 0 ? static_cast<uint32_t>(e.declared_size)
                                                   : static_cast<uint32_t>(e.content.size());
        const std::string& local = e.local_name.empty() ? e.name : e.local_name;
        const auto offset = static_cast<uint32_t>(out.size());
        put32(out, 0x04034B50);
        put16(out, 20);
        put16(out, e.flags);
        put16(out, method);
        put32(out, 0);  // time and date
        put32(out, crc);
        put32(out, static_cast<uint32_t>(data.size()));
        put32(out, size);
        put16(out, static_cast<uint32_t>(local.size()));
        put16(out, 0);
        put(out, local);
        out.insert(out.end(), data.begin(), data.end());

        put32(directory, 0x02014B50);
        put16(directory, 20);
        put16(directory, 20);
        put16(directory, e.flags);
        put16(directory, method);
        put32(directory, 0);
        put32(directory, crc);
        put32(directory, static_cast<uint32_t>(data.size()));
        put32(directory, size);
        put16(directory, static_cast<uint32_t>(e.name.size()));
        put16(directory, 0);
        put16(directory, 0);
        put16(directory, 0);
        put16(directory, 0);
        put32(directory, 0);
        put32(directory, offset);
        put(directory, e.name);
    }
    const auto directory_offset = static_cast<uint32_t>(out.size());
    out.insert(out.end(), directory.begin(), directory.end());
    put32(out, 0x06054B50);
    put16(out, 0);
    put16(out, 0);
    put16(out, static_cast<uint32_t>(entries.size()));
    put16(out, static_cast<uint32_t>(entries.size()));
    put32(out, static_cast<uint32_t>(directory.size()));
    put32(out, directory_offset);
    put16(out, static_cast<uint32_t>(comment.size()));
    put(out, comment);
    return out;
}

}  // namespace torvane::testing_zip
