#include "core/pe_version.h"

#include <algorithm>
#include <cstdio>
#include <string_view>
#include <vector>

#include "core/utf8.h"

namespace torvane {

namespace {

using Bytes = std::span<const std::uint8_t>;

constexpr std::uint16_t rt_version = 16;
constexpr std::size_t resource_directory = 2, certificate_table = 4;
constexpr std::uint32_t fixed_info_signature = 0xFEEF04BD;
constexpr std::size_t fixed_info_size = 52;
constexpr std::size_t max_translations = 16;
constexpr std::size_t max_value_units = 4096;

bool fits(Bytes bytes, std::uint64_t at, std::uint64_t length) {
    return at <= bytes.size() && length <= bytes.size() - at;
}
// Little-endian fields; the caller has checked that they fit.
std::uint16_t u16(Bytes bytes, std::size_t at) {
    return static_cast<std::uint16_t>(bytes[at] | bytes[at + 1] << 8);
}
std::uint32_t u32(Bytes bytes, std::size_t at) {
    return u16(bytes, at) | static_cast<std::uint32_t>(u16(bytes, at + 2)) << 16;
}
std::size_t align4(std::size_t at) {
    return (at + 3) & ~std::size_t{3};
}

Error bad(std::string_view what) {
    return Error{std::string(what)};
}

struct Section {
    std::uint32_t address = 0;  // RVA
    std::uint32_t mapped = 0;   // bytes of the file the loader maps there
    std::uint32_t offset = 0;   // in the file
};

struct Headers {
    std::vector<Section> sections;
    std::uint32_t resource_rva = 0, resource_size = 0;
    std::uint32_t certificate_offset = 0, certificate_size = 0;
};

Result<Headers> read_headers(Bytes file) {
    if (!fits(file, 0, 64) || u16(file, 0) != 0x5A4D) return bad("no DOS header");
    const std::uint32_t pe = u32(file, 0x3C);
    if (!fits(file, pe, 24) || u32(file, pe) != 0x00004550) return bad("no PE header");
    const std::size_t section_count = u16(file, pe + 6);
    const std::size_t optional_size = u16(file, pe + 20);
    const std::size_t optional = pe + 24;
    if (optional_size < 2 || !fits(file, optional, optional_size))
        return bad("optional header outside the file");
    std::size_t count_at = 0;
    switch (u16(file, optional)) {
        case 0x10B:
            count_at = 92;
            break;  // PE32
        case 0x20B:
            count_at = 108;
            break;  // PE32+
        default:
            return bad("unknown optional header");
    }
    const std::size_t directories = count_at + 4;
    if (optional_size < directories) return bad("optional header too short");
    const std::size_t directory_count =
        std::min<std::size_t>(u32(file, optional + count_at), (optional_size - directories) / 8);

    Headers headers;
    if (resource_directory < directory_count) {
        headers.resource_rva = u32(file, optional + directories + 8 * resource_directory);
        headers.resource_size = u32(file, optional + directories + 8 * resource_directory + 4);
    }
    if (certificate_table < directory_count) {
        // The one directory entry that holds a file offset rather than an address.
        headers.certificate_offset = u32(file, optional + directories + 8 * certificate_table);
        headers.certificate_size = u32(file, optional + directories + 8 * certificate_table + 4);
    }
    const std::size_t table = optional + optional_size;
    if (!fits(file, table, 40 * section_count)) return bad("section table outside the file");
    for (std::size_t i = 0; i < section_count; ++i) {
        const std::size_t at = table + 40 * i;
        const std::uint32_t virtual_size = u32(file, at + 8), raw_size = u32(file, at + 16);
        // The loader maps the raw data up to the virtual size and fills the rest with zeros.
        headers.sections.push_back({u32(file, at + 12),
                                    virtual_size ? std::min(virtual_size, raw_size) : raw_size,
                                    u32(file, at + 20)});
    }
    return headers;
}

// The file's bytes from `rva` on, as far as one section stores them, at most `length`.
std::optional<Bytes> map_stored(Bytes file, const Headers& headers, std::uint32_t rva,
                                std::uint32_t length) {
    for (const Section& s : headers.sections) {
        if (rva < s.address || rva - s.address >= s.mapped) continue;
        const std::uint32_t into = rva - s.address;
        const std::uint64_t at = std::uint64_t{s.offset} + into;
        if (at >= file.size()) return std::nullopt;
        const std::uint64_t stored =
            std::min<std::uint64_t>({length, std::uint64_t{s.mapped} - into, file.size() - at});
        return file.subspan(static_cast<std::size_t>(at), static_cast<std::size_t>(stored));
    }
    return std::nullopt;
}

// Exactly the bytes behind [rva, rva + length), when one section stores them all.
std::optional<Bytes> map(Bytes file, const Headers& headers, std::uint32_t rva,
                         std::uint32_t length) {
    const std::optional<Bytes> bytes = map_stored(file, headers, rva, length);
    if (!bytes || bytes->size() != length) return std::nullopt;
    return bytes;
}

// The entry of a resource directory with the given ID, or its first entry; the offset it
// points at, which must be a subdirectory or a data entry as asked.
Result<std::uint32_t> resource_entry(Bytes resources, std::uint32_t directory,
                                     std::optional<std::uint16_t> id, bool subdirectory) {
    if (!fits(resources, directory, 16)) return bad("resource directory outside the file");
    const std::size_t named = u16(resources, directory + 12), ids = u16(resources, directory + 14);
    const std::size_t entries = std::size_t{directory} + 16;
    if (!fits(resources, entries, 8 * (named + ids))) return bad("resource directory too long");
    std::optional<std::size_t> chosen;
    if (!id) {
        if (named + ids > 0) chosen = entries;
    } else {
        for (std::size_t i = named; i < named + ids && !chosen; ++i) {
            if (u32(resources, entries + 8 * i) == *id) chosen = entries + 8 * i;
        }
    }
    if (!chosen) return bad("no version resource");
    const std::uint32_t target = u32(resources, *chosen + 4);
    if (((target & 0x80000000u) != 0) != subdirectory) return bad("damaged resource directory");
    return target & 0x7FFFFFFFu;
}

Result<Bytes> version_resource(Bytes file, const Headers& headers) {
    if (headers.resource_rva == 0 || headers.resource_size == 0) return bad("no resources");
    // The resource directory is read as far as the file stores it; what it points at must be
    // there.
    const std::optional<Bytes> resources =
        map_stored(file, headers, headers.resource_rva, headers.resource_size);
    if (!resources) return bad("resources outside the file");

    Result<std::uint32_t> type = resource_entry(*resources, 0, rt_version, true);
    if (!type) return type.error();
    Result<std::uint32_t> name = resource_entry(*resources, type.value(), std::nullopt, true);
    if (!name) return name.error();
    Result<std::uint32_t> language = resource_entry(*resources, name.value(), std::nullopt, false);
    if (!language) return language.error();
    if (!fits(*resources, language.value(), 16)) return bad("resource data entry outside the file");
    const std::optional<Bytes> data = map(file, headers, u32(*resources, language.value()),
                                          u32(*resources, language.value() + 4));
    if (!data) return bad("version resource outside the file");
    return *data;
}

// One block of the version information: a length, a value length, a type, a UTF-16 key, the
// value and the child blocks, each aligned to four bytes from the start of the resource.
struct Block {
    std::size_t end = 0;
    std::u16string key;
    std::uint16_t value_length = 0;  // in bytes, or in UTF-16 units for text
    std::uint16_t type = 0;          // 1: text
    std::size_t value = 0;
    std::size_t value_bytes = 0;  // as much of the value as the block holds
    std::size_t children = 0;
};

Result<Block> block_at(Bytes info, std::size_t at, std::size_t limit) {
    if (at > limit || limit - at < 6) return bad("damaged version information");
    Block block;
    const std::size_t length = u16(info, at);
    if (length < 6 || length > limit - at) return bad("damaged version information");
    block.end = at + length;
    block.value_length = u16(info, at + 2);
    block.type = u16(info, at + 4);
    std::size_t key = at + 6;
    for (;; key += 2) {
        if (key + 2 > block.end) return bad("damaged version information");
        const std::uint16_t unit = u16(info, key);
        if (unit == 0) break;
        block.key.push_back(static_cast<char16_t>(unit));
    }
    block.value = std::min(align4(key + 2), block.end);
    const std::size_t declared =
        block.type == 1 ? 2 * std::size_t{block.value_length} : block.value_length;
    block.value_bytes = std::min(declared, block.end - block.value);
    block.children = align4(block.value + declared);
    return block;
}

// The child blocks in order.
Result<std::vector<Block>> children_of(Bytes info, const Block& parent) {
    std::vector<Block> children;
    for (std::size_t at = parent.children; at < parent.end && parent.end - at >= 6;) {
        Result<Block> child = block_at(info, at, parent.end);
        if (!child) return child.error();
        at = align4(child.value().end);
        children.push_back(std::move(child.value()));
    }
    return children;
}

// Keys are compared as the version API compares them: ASCII letters in either case.
bool key_is(const std::u16string& key, std::string_view name) {
    return key.size() == name.size() &&
           std::equal(key.begin(), key.end(), name.begin(), [](char16_t a, char b) {
               const auto lower = [](char16_t c) {
                   return c >= 'A' && c <= 'Z' ? static_cast<char16_t>(c - 'A' + 'a') : c;
               };
               return lower(a) == lower(static_cast<unsigned char>(b));
           });
}

// A text value: UTF-16, cut at the first NUL and at 4096 units, with every unpaired
// surrogate replaced by U+FFFD.
std::string text_value(Bytes info, const Block& block) {
    const std::size_t units =
        std::min<std::size_t>({block.value_length, block.value_bytes / 2, max_value_units});
    std::u16string text;
    for (std::size_t i = 0; i < units; ++i) {
        const std::uint16_t unit = u16(info, block.value + 2 * i);
        if (unit == 0) break;
        text.push_back(static_cast<char16_t>(unit));
    }
    return utf8_of_utf16<char16_t>(text);
}

// ProductName from the string tables, tried as the program tries them: those the translation
// list names first, then U.S. English and Spanish; absent when none has it.
Result<std::optional<std::string>> product_name(Bytes info, const Block& root) {
    Result<std::vector<Block>> groups = children_of(info, root);
    if (!groups) return groups.error();
    std::vector<Block> tables;
    std::vector<std::string> candidates;
    for (const Block& group : groups.value()) {
        Result<std::vector<Block>> inner = children_of(info, group);
        if (!inner) return inner.error();
        if (key_is(group.key, "StringFileInfo")) {
            tables.insert(tables.end(), inner.value().begin(), inner.value().end());
        } else if (key_is(group.key, "VarFileInfo")) {
            for (const Block& var : inner.value()) {
                if (!key_is(var.key, "Translation")) continue;
                const std::size_t pairs = std::min(var.value_bytes / 4, max_translations);
                for (std::size_t i = 0; i < pairs; ++i) {
                    char name[9];
                    std::snprintf(name, sizeof name, "%04x%04x", u16(info, var.value + 4 * i),
                                  u16(info, var.value + 4 * i + 2));
                    candidates.emplace_back(name);
                }
            }
        }
    }
    for (const char* fallback : {"040904b0", "0c0a04b0", "040904e4"})
        candidates.emplace_back(fallback);

    for (const std::string& candidate : candidates) {
        const auto table = std::find_if(tables.begin(), tables.end(),
                                        [&](const Block& t) { return key_is(t.key, candidate); });
        if (table == tables.end()) continue;
        Result<std::vector<Block>> strings = children_of(info, *table);
        if (!strings) return strings.error();
        const auto product =
            std::find_if(strings.value().begin(), strings.value().end(),
                         [](const Block& s) { return key_is(s.key, "ProductName"); });
        if (product == strings.value().end()) continue;
        std::string value = text_value(info, *product);
        if (!value.empty()) return std::optional<std::string>(std::move(value));
    }
    return std::optional<std::string>();

}

}  // namespace

Result<ExeVersion> read_exe_version(std::span<const std::uint8_t> file) {
    Result<Headers> headers = read_headers(file);
    if (!headers) return headers.error();
    Result<Bytes> resource = version_resource(file, headers.value());
    if (!resource) return resource.error();
    const Bytes info = resource.value();

    Result<Block> root = block_at(info, 0, info.size());
    if (!root) return root.error();
    if (!key_is(root.value().key, "VS_VERSION_INFO")) return bad("damaged version information");
    const std::size_t fixed = root.value().value;
    if (root.value().value_length < fixed_info_size || root.value().value_bytes < fixed_info_size ||
        u32(info, fixed) != fixed_info_signature)
        return bad("no fixed file version");
    ExeVersion version;
    const std::uint32_t most = u32(info, fixed + 8), least = u32(info, fixed + 12);
    version.file_version = {
        static_cast<std::uint16_t>(most >> 16), static_cast<std::uint16_t>(most),
        static_cast<std::uint16_t>(least >> 16), static_cast<std::uint16_t>(least)};

    Result<std::optional<std::string>> product = product_name(info, root.value());
    if (!product) return product.error();
    version.product_name = std::move(product.value());

    const Headers& h = headers.value();
    version.authenticode =
        h.certificate_size >= 8 && fits(file, h.certificate_offset, h.certificate_size);
    return version;
}

}  // namespace torvane
