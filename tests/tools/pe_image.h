#pragma once
// Small but complete Windows executables for the tests: DOS header, PE header, a PE32+ (or
// PE32) optional header with 16 data directories, a .text section and a .rsrc section whose
// resource tree holds a version resource, laid out as a linker and a resource compiler do.

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace torvane::testing_pe {

using Bytes = std::vector<std::uint8_t>;

inline void put16(Bytes& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}
inline void put32(Bytes& out, std::uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}
inline void put64(Bytes& out, std::uint64_t v) {
    put32(out, static_cast<std::uint32_t>(v));
    put32(out, static_cast<std::uint32_t>(v >> 32));
}
inline void set32(Bytes& out, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void pad_to(Bytes& out, std::size_t alignment) {
    while (out.size() % alignment)
        out.push_back(0);
}

// One block of version information: header, key, value and children, four-byte aligned.
inline Bytes block(const std::u16string& key, const Bytes& value, std::uint16_t value_length,
                   std::uint16_t type, const std::vector<Bytes>& children = {}) {
    Bytes out;
    put16(out, 0);  // length, set below
    put16(out, value_length);
    put16(out, type);
    for (char16_t c : key)
        put16(out, c);
    put16(out, 0);
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
        put16(utf16, c);
    put16(utf16, 0);
    return block(name, utf16, static_cast<std::uint16_t>(value.size() + 1), 1);
}

struct StringTable {
    std::u16string key;  // language and code page, "040904b0"
    std::vector<std::pair<std::u16string, std::u16string>> strings;
};

struct Version {
    std::array<std::uint16_t, 4> file_version{1, 4, 2, 37};
    std::uint32_t signature = 0xFEEF04BD;
    std::vector<StringTable> tables{{u"2C0A04B0",
                                     {{u"CompanyName", u"brisol"},
                                      {u"FileDescription", u"Torvane"},
                                      {u"ProductName", u"Torvane"},
                                      {u"ProductVersion", u"1.4.2"}}}};
    std::vector<std::pair<std::uint16_t, std::uint16_t>> translations{{0x2C0A, 1200}};
};

// VS_VERSIONINFO: the fixed file information, then StringFileInfo and VarFileInfo.
inline Bytes version_info(const Version& v) {
    Bytes fixed;
    put32(fixed, v.signature);
    put32(fixed, 0x00010000);  // structure version
    put32(fixed, static_cast<std::uint32_t>(v.file_version[0]) << 16 | v.file_version[1]);
    put32(fixed, static_cast<std::uint32_t>(v.file_version[2]) << 16 | v.file_version[3]);
    put32(fixed, 0x00090009);  // product version, which nothing reads
    put32(fixed, 0x00090009);
    put32(fixed, 0x3F);        // flags mask
    put32(fixed, 0);           // flags
    put32(fixed, 0x00040004);  // VOS_NT_WINDOWS32
    put32(fixed, 1);           // VFT_APP
    put32(fixed, 0);
    put32(fixed, 0);  // date
    put32(fixed, 0);
    std::vector<Bytes> groups;
    std::vector<Bytes> tables;
    for (const StringTable& t : v.tables) {
        std::vector<Bytes> strings;
        for (const auto& [name, value] : t.strings)
            strings.push_back(text_block(name, value));
        tables.push_back(block(t.key, {}, 0, 1, strings));
    }
    if (!tables.empty()) groups.push_back(block(u"StringFileInfo", {}, 0, 1, tables));
    if (!v.translations.empty()) {
        Bytes pairs;
        for (const auto& [language, code_page] : v.translations) {
            put16(pairs, language);
            put16(pairs, code_page);
        }
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

inline Image image(const Bytes& version_resource, const Layout& layout = {}) {
    constexpr std::uint32_t file_alignment = 0x200, section_alignment = 0x1000;
    constexpr std::uint32_t text_rva = 0x1000, rsrc_rva = 0x2000;
    constexpr std::uint32_t text_offset = 0x200, rsrc_offset = 0x400;

    // The resource tree: types, each with one name (ID 1) and one language (Spanish,
    // Argentina), then the data entries, then the data.
    std::vector<std::uint16_t> types = layout.other_types;
    types.push_back(16);
    std::sort(types.begin(), types.end());
    const std::size_t count = types.size();
    const std::size_t names = 16 + 8 * count, languages = names + 24 * count,
                      entries = languages + 24 * count, data = entries + 16 * count;
    Bytes rsrc;
    auto directory = [&](std::uint32_t id, std::uint32_t target) {
        put32(rsrc, 0);  // characteristics
        put32(rsrc, 0);  // time stamp
        put32(rsrc, 0);  // version
        put16(rsrc, 0);  // named entries
        put16(rsrc, 1);  // ID entries
        put32(rsrc, id);
        put32(rsrc, target);
    };
    put32(rsrc, 0);
    put32(rsrc, 0);
    put32(rsrc, 0);
    put16(rsrc, 0);
    put16(rsrc, static_cast<std::uint32_t>(count));
    for (std::size_t i = 0; i < count; ++i) {
        put32(rsrc, types[i]);
        put32(rsrc, 0x80000000u | static_cast<std::uint32_t>(names + 24 * i));
    }
    for (std::size_t i = 0; i < count; ++i)
        directory(1, 0x80000000u | static_cast<std::uint32_t>(languages + 24 * i));
    for (std::size_t i = 0; i < count; ++i)
        directory(0x2C0A, static_cast<std::uint32_t>(entries + 16 * i));
    // Other types hold 16 bytes each; the version comes last.
    std::size_t at = data;
    std::size_t version_entry = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const bool version = types[i] == 16;
        if (version) version_entry = rsrc.size();
        put32(rsrc, rsrc_rva + static_cast<std::uint32_t>(version ? data + 16 * (count - 1) : at));
        put32(rsrc, static_cast<std::uint32_t>(version ? version_resource.size() : 16));
        put32(rsrc, 0);  // code page
        put32(rsrc, 0);
        if (!version) at += 16;
    }
    for (std::size_t i = 0; i + 1 < count; ++i)
        for (int k = 0; k < 16; ++k)
            rsrc.push_back(static_cast<std::uint8_t>(0xA0 + i));
    const std::size_t version_at = rsrc.size();
    rsrc.insert(rsrc.end(), version_resource.begin(), version_resource.end());
    const auto rsrc_size = static_cast<std::uint32_t>(rsrc.size());

    Image img;
    Bytes& out = img.bytes;
    // DOS header with the offset of the PE header, and a stub's worth of room.
    put16(out, 0x5A4D);
    out.resize(0x3C);
    put32(out, 0x40);
    put32(out, 0x00004550);
    put16(out, layout.pe32_plus ? 0x8664 : 0x14C);
    put16(out, 2);  // sections
    put32(out, 0);  // time stamp
    put32(out, 0);  // symbols
    put32(out, 0);
    put16(out, layout.pe32_plus ? 240 : 224);
    put16(out, layout.pe32_plus ? 0x0022 : 0x0102);
    img.optional_header = out.size();
    const std::uint32_t image_size =
        rsrc_rva + (rsrc_size + section_alignment - 1) / section_alignment * section_alignment;
    put16(out, layout.pe32_plus ? 0x20B : 0x10B);
    put16(out, 0x0E02);          // linker version
    put32(out, file_alignment);  // code
    put32(out, file_alignment);  // initialised data
    put32(out, 0);
    put32(out, text_rva);  // entry point
    put32(out, text_rva);  // base of code
    if (layout.pe32_plus) {
        put64(out, 0x140000000);
    } else {
        put32(out, rsrc_rva);  // base of data
        put32(out, 0x400000);
    }
    put32(out, section_alignment);
    put32(out, file_alignment);
    put32(out, 0x00000006);  // OS 6.0
    put32(out, 0);           // image version
    put32(out, 0x00000006);  // subsystem 6.0
    put32(out, 0);
    put32(out, image_size);
    put32(out, text_offset);  // headers
    put32(out, 0);            // checksum
    put16(out, 2);            // GUI
    put16(out, 0x8160);
    for (int i = 0; i < 4; ++i) {  // stack and heap, reserve and commit
        if (layout.pe32_plus) {
            put64(out, i % 2 ? 0x1000 : 0x100000);
        } else {
            put32(out, i % 2 ? 0x1000 : 0x100000);
        }
    }
    put32(out, 0);  // loader flags
    put32(out, 16);
    img.data_directories = out.size();
    for (int i = 0; i < 16; ++i) {
        put32(out, i == 2 ? rsrc_rva : 0);
        put32(out, i == 2 ? rsrc_size : 0);
    }
    img.section_table = out.size();
    auto section = [&](const char* name, std::uint32_t virtual_size, std::uint32_t rva,
                       std::uint32_t raw_size, std::uint32_t offset, std::uint32_t flags) {
        for (int i = 0; i < 8; ++i)
            out.push_back(static_cast<std::uint8_t>(i < 5 && name[i] ? name[i] : 0));
        put32(out, virtual_size);
        put32(out, rva);
        put32(out, raw_size);
        put32(out, offset);
        put32(out, 0);
        put32(out, 0);
        put16(out, 0);
        put16(out, 0);
        put32(out, flags);
    };
    const std::uint32_t rsrc_raw =
        (rsrc_size + file_alignment - 1) / file_alignment * file_alignment;
    section(".text", 3, text_rva, file_alignment, text_offset, 0x60000020);
    section(".rsrc", rsrc_size, rsrc_rva, rsrc_raw, rsrc_offset, 0x40000040);
    out.resize(text_offset);
    out.push_back(0x31);  // xor eax, eax
    out.push_back(0xC0);
    out.push_back(0xC3);  // ret
    out.resize(rsrc_offset);
    img.resources = out.size();
    out.insert(out.end(), rsrc.begin(), rsrc.end());
    out.resize(rsrc_offset + rsrc_raw);
    img.version_type =
        rsrc_offset + 16 +
        8 * static_cast<std::size_t>(std::find(types.begin(), types.end(), 16) - types.begin());
    img.version_entry = rsrc_offset + version_entry;
    img.version = rsrc_offset + version_at;
    img.version_size = version_resource.size();
    return img;
}

}  // namespace torvane::testing_pe
