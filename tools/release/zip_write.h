#pragma once
// Writes ZIP archives of the form update packages take: entries stored or raw-deflated, one
// central directory at the end, no ZIP64, no data descriptors. The release tool packs with it,
// and the tests build packages with it, broken ones too: the fields are written as given.

#include <zlib.h>

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace torvane::zip_write {

// One entry exactly as it is written.
struct Record {
    std::string name;
    std::string local_name;     // the local header's copy of the name, normally the same
    std::vector<uint8_t> data;  // as stored: raw DEFLATE, or the content itself
    uint16_t method = 8;
    uint16_t flags = 0;
    uint32_t crc = 0;
    uint32_t size = 0;  // of the content
};

// Raw DEFLATE (no zlib header or trailer) at the highest level; empty if zlib fails.
inline std::vector<uint8_t> raw_deflate(std::span<const uint8_t> content) {
    z_stream stream{};
    if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) !=
        Z_OK)
        return {};
    std::vector<uint8_t> out(deflateBound(&stream, static_cast<uLong>(content.size())));
    stream.next_in = const_cast<Bytef*>(content.data());
    stream.avail_in = static_cast<uInt>(content.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    const int status = deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    if (status != Z_STREAM_END) return {};
    return out;
}

inline uint32_t crc32_of(std::span<const uint8_t> content) {
    return static_cast<uint32_t>(
        crc32(crc32(0, nullptr, 0), content.data(), static_cast<uInt>(content.size())));
}

inline void put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
inline void put32(std::vector<uint8_t>& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}
inline void put(std::vector<uint8_t>& out, std::string_view s) {
    out.insert(out.end(), s.begin(), s.end());
}

// The fields the local header and the directory record share, from "version needed" to the
// name's length.
inline void put_entry(std::vector<uint8_t>& out, const Record& r, std::string_view name) {
    // 1980-01-01 00:00, the earliest DOS date: the same input always gives the same archive.
    constexpr uint16_t dos_time = 0, dos_date = (1 << 5) | 1;
    put16(out, 20);  // version needed: 2.0, deflate
    put16(out, r.flags);
    put16(out, r.method);
    put16(out, dos_time);
    put16(out, dos_date);
    put32(out, r.crc);
    put32(out, static_cast<uint32_t>(r.data.size()));
    put32(out, r.size);
    put16(out, static_cast<uint32_t>(name.size()));
}

// The archive; sizes and offsets must fit in 32 bits, which the caller makes sure of.
inline std::vector<uint8_t> write(const std::vector<Record>& records,
                                  std::string_view comment = {}) {
    std::size_t total = 22 + comment.size();
    for (const Record& r : records)
        total += 30 + r.local_name.size() + r.data.size() + 46 + r.name.size();
    std::vector<uint8_t> out, directory;
    out.reserve(total);
    for (const Record& r : records) {
        const auto offset = static_cast<uint32_t>(out.size());
        put32(out, 0x04034B50);
        put_entry(out, r, r.local_name);
        put16(out, 0);  // extra field
        put(out, r.local_name);
        out.insert(out.end(), r.data.begin(), r.data.end());

        put32(directory, 0x02014B50);
        put16(directory, 20);  // made by: MS-DOS, 2.0
        put_entry(directory, r, r.name);
        put16(directory, 0);  // extra field
        put16(directory, 0);  // comment
        put16(directory, 0);  // disk
        put16(directory, 0);  // internal attributes
        put32(directory, 0);  // external attributes
        put32(directory, offset);
        put(directory, r.name);
    }
    const auto directory_offset = static_cast<uint32_t>(out.size());
    out.insert(out.end(), directory.begin(), directory.end());
    put32(out, 0x06054B50);
    put16(out, 0);  // this disk
    put16(out, 0);  // disk of the directory
    put16(out, static_cast<uint32_t>(records.size()));
    put16(out, static_cast<uint32_t>(records.size()));
    put32(out, static_cast<uint32_t>(directory.size()));
    put32(out, directory_offset);
    put16(out, static_cast<uint32_t>(comment.size()));
    put(out, comment);
    return out;
}

}  // namespace torvane::zip_write
