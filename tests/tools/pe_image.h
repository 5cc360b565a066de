#pragma once
// Small but complete Windows executables for the tests: DOS header, PE header, a PE32+ (or
// PE32) optional header with 16 data directories, a .text section and a .rsrc section whose
// resource tree holds a version resource, laid out as a linker and a resource compiler do.

#include <algorithm>
#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace torvane::testing_pe {

using Bytes = std::vector<std::uint8_t>;

// Little-endian fields, all `width` bytes wide.
inline void put(Bytes& out, int width, std::initializer_list<std::uint64_t> values) {
    for (std::uint64_t value : values)
        for (int i = 0; i < width; ++i)
            out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}
inline void set32(Bytes& out, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void pad_to(Bytes& out, std::size_t alignment) {
    out.resize((out.size() + alignment - 1) / alignment * alignment);
}

// One block of version information: header, key, value and children, four-byte aligned.
inline Bytes block(const std::u16string& key, const Bytes& value, std::uint16_t value_length,
                   std::uint16_t type, const std::vector<Bytes>& children = {}) {
    Bytes out;
    put(out, 2, {0, value_length, type});  // the length is set below
    for (char16_t c : key)
        put(out, 2, {c});
    put(out, 2, {0});
    pad_to(out, 4);
    out.insert(out.end(), value.begin(), value.end());
    for (const Bytes& child : children) {
        pad_to(out, 4);
        out.insert(out.end(), child.begin(), child.end());
    }
    out[0] = static_cast<std::uint8_t>(out.size());
    out[1] = static_cast<std::uint8_t>(out.size() >> 8);
    return out;
}

inline Bytes text_block(const std::u16string& name, const std::u16string& value) {
    Bytes utf16;
    for (char16_t c : value)
        put(utf16, 2, {c});
    put(utf16, 2, {0});
    return block(name, utf16, static_cast<std::uint16_t>(value.size() + 1), 1);
}

struct StringTable {
    std::u16string key;  // language and code page, "040904b0"
    std::vector<std::pair<std::u16string, std::u16string>> strings;
};

struct Version {
    std::array<std::uint16_t, 4> file_version{1, 4, 2, 37};
    std::vector<StringTable> tables{{u"2C0A04B0",
                                     {{u"CompanyName", u"brisol"},
                                      {u"FileDescription", u"Torvane"},
                                      {u"ProductName", u"Torvane"},
                                      {u"ProductVersion", u"1.4.2"}}}};
    std::vector<std::pair<std::uint16_t, std::uint16_t>> translations{{0x2C0A, 1200}};
};

// VS_VERSIONINFO: the fixed file information, then StringFileInfo and VarFileInfo.
inline Bytes version_info(const Version& v) {
    const auto& f = v.file_version;
    Bytes fixed;
    // Signature, structure version, file version, product version (which nothing reads),
    // flags mask and flags, VOS_NT_WINDOWS32, VFT_APP, subtype and date.
    put(fixed, 4, {0xFEEF04BD, 0x00010000});
    put(fixed, 2, {f[1], f[0], f[3], f[2]});
    put(fixed, 4, {0x00090009, 0x00090009, 0x3F, 0, 0x00040004, 1, 0, 0, 0});
    std::vector<Bytes> groups, tables;
    for (const StringTable& t : v.tables) {
        std::vector<Bytes> strings;
        for (const auto& [name, value] : t.strings)
            strings.push_back(text_block(name, value));
        tables.push_back(block(t.key, {}, 0, 1, strings));
    }
    if (!tables.empty()) groups.push_back(block(u"StringFileInfo", {}, 0, 1, tables));
    if (!v.translations.empty()) {
        Bytes pairs;
        for (const auto& [language, code_page] : v.translations)
            put(pairs, 2, {language, code_page});
        groups.push_back(
            block(u"VarFileInfo", {}, 0, 1,
                  {block(u"Translation", pairs, static_cast<std::uint16_t>(pairs.size()), 0)}));
    }
    return block(u"VS_VERSION_INFO", fixed, static_cast<std::uint16_t>(fixed.size()), 0, groups);
}

struct Image {
    Bytes bytes;
    // File offsets of the parts the tests damage.
    std::size_t optional_header = 0;
    std::size_t data_directories = 0;
    std::size_t section_table = 0;
    std::size_t resources = 0;      // the root resource directory
    std::size_t version_type = 0;   // its entry for RT_VERSION
    std::size_t version_entry = 0;  // the version's resource data entry
    std::size_t version = 0;        // VS_VERSIONINFO
    std::size_t version_size = 0;
};

struct Layout {
    bool pe32_plus = true;
    // Resource types besides RT_VERSION (16), in ascending order as a linker sorts them.
    std::vector<std::uint16_t> other_types{3, 14, 24};
};

// The resource tree: types, each with one name (ID 1) and one language (Spanish, Argentina),
// then the data entries, then the data: 16 bytes for each other type, the version last.
inline Bytes resource_tree(const std::vector<std::uint16_t>& types, const Bytes& version,
                           std::uint32_t rva, std::size_t& version_entry) {
    const auto count = static_cast<std::uint32_t>(types.size());
    const std::uint32_t names = 16 + 8 * count, languages = names + 24 * count,
                        entries = languages + 24 * count, data = entries + 16 * count;
    Bytes rsrc;
    put(rsrc, 4, {0, 0, 0});  // characteristics, time stamp, version
    put(rsrc, 2, {0, count});
    for (std::uint32_t i = 0; i < count; ++i)
        put(rsrc, 4, {types[i], 0x80000000u | (names + 24 * i)});
    for (std::uint32_t level : {0, 1}) {  // names, then languages: one ID entry each
        for (std::uint32_t i = 0; i < count; ++i) {
            put(rsrc, 4, {0, 0, 0});
            put(rsrc, 2, {0, 1});
            put(rsrc, 4,
                {level ? 0x2C0Au : 1u,
                 level ? entries + 16 * i : 0x80000000u | (languages + 24 * i)});
        }
    }
    std::uint32_t at = data;
    for (std::uint32_t i = 0; i < count; ++i) {
        const bool is_version = types[i] == 16;
        if (is_version) version_entry = rsrc.size();
        const std::uint64_t size = is_version ? version.size() : 16;
        put(rsrc, 4, {rva + (is_version ? data + 16 * (count - 1) : at), size, 0, 0});
        if (!is_version) at += 16;
    }
    for (std::uint32_t i = 0; i + 1 < count; ++i)
        rsrc.insert(rsrc.end(), 16, static_cast<std::uint8_t>(0xA0 + i));
    rsrc.insert(rsrc.end(), version.begin(), version.end());
    return rsrc;
}

inline Image image(const Bytes& version_resource, const Layout& layout = {}) {
    constexpr std::uint32_t file_alignment = 0x200, section_alignment = 0x1000;
    constexpr std::uint32_t text_rva = 0x1000, rsrc_rva = 0x2000;
    constexpr std::uint32_t text_offset = 0x200, rsrc_offset = 0x400;
    const bool plus = layout.pe32_plus;

    std::vector<std::uint16_t> types = layout.other_types;
    types.push_back(16);
    std::sort(types.begin(), types.end());
    Image img;
    const Bytes rsrc = resource_tree(types, version_resource, rsrc_rva, img.version_entry);
    const auto rsrc_size = static_cast<std::uint32_t>(rsrc.size());
    const std::uint32_t rsrc_raw =
        (rsrc_size + file_alignment - 1) / file_alignment * file_alignment;
    const std::uint32_t image_size =
        rsrc_rva + (rsrc_size + section_alignment - 1) / section_alignment * section_alignment;

    Bytes& out = img.bytes;
    // DOS header with the offset of the PE header, then the PE and COFF headers.
    put(out, 2, {0x5A4D});
    out.resize(0x3C);
    put(out, 4, {0x40, 0x00004550});
    put(out, 2, {plus ? 0x8664u : 0x14Cu, 2});
    put(out, 4, {0, 0, 0});
    put(out, 2, {plus ? 240u : 224u, plus ? 0x0022u : 0x0102u});
    img.optional_header = out.size();
    // Magic, linker version, code and data sizes, entry point and base of code, then the image
    // base (and in PE32 the base of data before it).
    put(out, 2, {plus ? 0x20Bu : 0x10Bu, 0x0E02});
    put(out, 4, {file_alignment, file_alignment, 0, text_rva, text_rva});
    if (plus) {
        put(out, 8, {0x140000000});
    } else {
        put(out, 4, {rsrc_rva, 0x400000});
    }
    // Alignments, OS, image and subsystem versions (6.0), sizes and checksum, the GUI subsystem
    // and DLL characteristics, stack and heap reserve and commit, loader flags, 16 directories.
    put(out, 4, {section_alignment, file_alignment, 6, 0, 6, 0, image_size, text_offset, 0});
    put(out, 2, {2, 0x8160});
    put(out, plus ? 8 : 4, {0x100000, 0x1000, 0x100000, 0x1000});
    put(out, 4, {0, 16});
    img.data_directories = out.size();
    for (int i = 0; i < 16; ++i)
        put(out, 4, {i == 2 ? rsrc_rva : 0, i == 2 ? rsrc_size : 0});
    img.section_table = out.size();
    // Name, virtual size and address, raw size and offset, relocations and line numbers,
    // characteristics.
    out.insert(out.end(), {'.', 't', 'e', 'x', 't', 0, 0, 0});
    put(out, 4, {3, text_rva, file_alignment, text_offset, 0, 0, 0, 0x60000020});
    out.insert(out.end(), {'.', 'r', 's', 'r', 'c', 0, 0, 0});
    put(out, 4, {rsrc_size, rsrc_rva, rsrc_raw, rsrc_offset, 0, 0, 0, 0x40000040});
    out.resize(text_offset);
    out.insert(out.end(), {0x31, 0xC0, 0xC3});  // xor eax, eax; ret
    out.resize(rsrc_offset);
    img.resources = out.size();
    out.insert(out.end(), rsrc.begin(), rsrc.end());
    out.resize(rsrc_offset + rsrc_raw);
    img.version_type = rsrc_offset + 16 +
                       8 * static_cast<std::size_t>(std::ranges::find(types, 16) - types.begin());
    img.version_entry += rsrc_offset;
    img.version = rsrc_offset + rsrc_size - version_resource.size();
    img.version_size = version_resource.size();
    return img;
}

}  // namespace torvane::testing_pe
