#include "core/package.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <optional>
#include <string_view>

namespace torvane {

namespace {

constexpr uint32_t end_signature = 0x06054B50;
constexpr uint32_t central_signature = 0x02014B50;
constexpr uint32_t local_signature = 0x04034B50;
constexpr std::size_t end_record_size = 22;
constexpr std::size_t central_record_size = 46;
constexpr std::size_t local_header_size = 30;
constexpr std::size_t longest_comment = 65'535;
constexpr std::string_view app_name = "Torvane.exe";
constexpr uint16_t stored = 0;
constexpr uint16_t deflated = 8;

// Little-endian fields of a record at `at`; the caller checks that the record fits.
uint16_t u16(std::span<const uint8_t> bytes, std::size_t at) {
    return static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
}
uint32_t u32(std::span<const uint8_t> bytes, std::size_t at) {
    return static_cast<uint32_t>(u16(bytes, at)) | static_cast<uint32_t>(u16(bytes, at + 2)) << 16;
}

bool fits(std::span<const uint8_t> bytes, std::size_t at, std::size_t length) {
    return at <= bytes.size() && length <= bytes.size() - at;
}

std::string_view name_at(std::span<const uint8_t> bytes, std::size_t at, std::size_t length) {
    return {reinterpret_cast<const char*>(bytes.data() + at), length};
}

Error bad(const char* what) {
    return Error{what};
}

struct AppEntry {
    uint8_t flags = 0;
    uint16_t method = 0;
    uint32_t crc = 0;
    uint32_t compressed = 0;
    uint32_t size = 0;
    uint32_t local_offset = 0;
};

struct Directory {
    uint32_t offset = 0;
    uint32_t size = 0;
    uint16_t entries = 0;
};

// The end record, searched backwards over at most a maximal comment.
std::optional<std::size_t> find_end_record(std::span<const uint8_t> package) {
    const std::size_t n = package.size();
    if (n < end_record_size) return std::nullopt;
    const std::size_t lowest =
        n > end_record_size + longest_comment ? n - end_record_size - longest_comment : 0;
    for (std::size_t at = n - end_record_size;; --at) {
        if (u32(package, at) == end_signature) return at;
        if (at == lowest) return std::nullopt;
    }
}

Result<Directory> read_directory(std::span<const uint8_t> package, std::size_t end) {
    if (u16(package, end + 4) != 0 || u16(package, end + 6) != 0) return bad("more than one disk");
    const uint16_t on_disk = u16(package, end + 8), total = u16(package, end + 10);
    if (total == 0xFFFF || total != on_disk) return bad("entry count");
    Directory directory{u32(package, end + 16), u32(package, end + 12), total};
    if (directory.size == 0xFFFFFFFF) return bad("directory size");
    if (static_cast<uint64_t>(directory.offset) + directory.size > end)
        return bad("directory outside the archive");
    return directory;
}

Result<AppEntry> find_app(std::span<const uint8_t> package, const Directory& directory) {
    const std::size_t directory_end = static_cast<std::size_t>(directory.offset) + directory.size;
    std::optional<AppEntry> app;
    std::size_t at = directory.offset;
    for (uint16_t i = 0; i < directory.entries; ++i) {
        if (!fits(package, at, central_record_size) || u32(package, at) != central_signature)
            return bad("directory record");
        const std::size_t name_length = u16(package, at + 28);
        const std::size_t next =
            at + central_record_size + name_length + u16(package, at + 30) + u16(package, at + 32);
        if (next > directory_end) return bad("directory record too long");
        if (name_at(package, at + central_record_size, name_length) == app_name) {
            if (app) return bad("two app entries");
            app = AppEntry{package[at + 8],       u16(package, at + 10), u32(package, at + 16),
                           u32(package, at + 20), u32(package, at + 24), u32(package, at + 42)};
            if (app->flags & 1) return bad("encrypted entry");
            if (app->method != stored && app->method != deflated) return bad("compression method");
        }
        at = next;
    }
    if (!app) return bad("no app entry");
    if (app->compressed > package.size()) return bad("compressed size");
    if (app->size == 0 || app->size > max_package_size) return bad("app size");
    return *app;
}

// The entry's data after its local header.
Result<std::span<const uint8_t>> entry_data(std::span<const uint8_t> package, const AppEntry& app,
                                            const Directory& directory) {
    const std::size_t at = app.local_offset;
    if (!fits(package, at, local_header_size) || u32(package, at) != local_signature)
        return bad("local header");
    const std::size_t name_length = u16(package, at + 26);
    const std::size_t start = at + local_header_size + name_length + u16(package, at + 28);
    if (!fits(package, at + local_header_size, name_length) ||
        name_at(package, at + local_header_size, name_length) != app_name)
        return bad("local name");
    if (start > package.size() || app.compressed > package.size() - start ||
        start + app.compressed > directory.offset)
        return bad("data outside the archive");
    return package.subspan(start, app.compressed);
}

// Raw DEFLATE of all of `data` into `out`, which must take exactly the whole output; a piece
// that does not fit, or a damaged or unfinished stream, is an error.
Status inflate_into(std::span<const uint8_t> data, std::span<uint8_t> out) {
    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) return bad("inflate");
    stream.next_in = const_cast<Bytef*>(data.data());
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    const int status = inflate(&stream, Z_FINISH);
    const bool whole = status == Z_STREAM_END && stream.avail_out == 0;
    inflateEnd(&stream);
    return whole ? success() : bad("inflated size");
}

// The length of the output, without keeping it: more than `limit` bytes, or a damaged stream,
// is an error. So a stream that lies about its size costs no memory.
Result<std::size_t> inflated_length(std::span<const uint8_t> data, std::size_t limit) {
    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) return bad("inflate");
    stream.next_in = const_cast<Bytef*>(data.data());
    stream.avail_in = static_cast<uInt>(data.size());
    std::array<uint8_t, 1 << 16> scratch;
    int status = Z_OK;
    while (status == Z_OK && stream.total_out <= limit) {
        stream.next_out = scratch.data();
        stream.avail_out = static_cast<uInt>(scratch.size());
        status = inflate(&stream, Z_NO_FLUSH);
    }
    const std::size_t length = stream.total_out;
    inflateEnd(&stream);
    if (status != Z_STREAM_END || length > limit) return bad("inflated size");
    return length;
}

// Exactly `size` bytes of raw DEFLATE output. Measured first, so that the buffer is allocated
// once at its final size: a large executable costs its size once, not again while a growing
// buffer is copied.
Result<std::vector<uint8_t>> inflate_exactly(std::span<const uint8_t> data, uint32_t size) {
    const Result<std::size_t> length = inflated_length(data, size);
    if (!length) return length.error();
    if (length.value() != size) return bad("inflated size");
    std::vector<uint8_t> out(size);
    if (Status done = inflate_into(data, out); !done) return done.error();
    return out;
}

uint32_t crc_of(std::span<const uint8_t> bytes) {
    uLong crc = crc32(0, nullptr, 0);
    for (std::size_t at = 0; at < bytes.size();) {
        const auto chunk = static_cast<uInt>(std::min<std::size_t>(bytes.size() - at, 1u << 30));
        crc = crc32(crc, bytes.data() + at, chunk);
        at += chunk;
    }
    return static_cast<uint32_t>(crc);
}

}  // namespace

Result<std::vector<uint8_t>> extract_app_bytes(std::span<const uint8_t> package) {
    const std::optional<std::size_t> end = find_end_record(package);
    if (!end) return bad("no end record");
    Result<Directory> directory = read_directory(package, *end);
    if (!directory) return directory.error();
    Result<AppEntry> app = find_app(package, directory.value());
    if (!app) return app.error();
    Result<std::span<const uint8_t>> data = entry_data(package, app.value(), directory.value());
    if (!data) return data.error();

    std::vector<uint8_t> content;
    if (app.value().method == stored) {
        if (app.value().compressed != app.value().size) return bad("stored sizes differ");
        content.assign(data.value().begin(), data.value().end());
    } else {
        Result<std::vector<uint8_t>> inflated = inflate_exactly(data.value(), app.value().size);
        if (!inflated) return inflated.error();
        content = std::move(inflated.value());
    }
    if (crc_of(content) != app.value().crc) return bad("CRC-32");
    return content;
}

}  // namespace torvane
