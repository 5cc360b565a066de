#include "core/pe_version.h"

#include <gtest/gtest.h>

#include "pe_image.h"

namespace torvane::release {
namespace {

using testing_pe::Bytes;
using testing_pe::image;
using testing_pe::Version;
using testing_pe::version_info;

Result<ExeVersion> read(const Bytes& bytes) {
    return read_exe_version(bytes);
}

std::optional<std::string> product_name_of(const Version& v) {
    Result<ExeVersion> read_back = read(image(version_info(v)).bytes);
    EXPECT_TRUE(read_back.ok());
    return read_back ? read_back.value().product_name : std::nullopt;
}

TEST(PeVersion, ReadsTheFixedVersionAndProductNameOfPe32PlusAndPe32) {
    for (bool plus : {true, false}) {
        for (const std::vector<std::uint16_t>& others :
             {std::vector<std::uint16_t>{}, std::vector<std::uint16_t>{3, 14, 24}}) {
            Result<ExeVersion> v = read(image(version_info({}), {plus, others}).bytes);
            ASSERT_TRUE(v.ok()) << v.error().message;
            EXPECT_EQ(v.value().file_version, (std::array<std::uint16_t, 4>{1, 4, 2, 37}));
            EXPECT_EQ(v.value().product_name, "Torvane");
            EXPECT_FALSE(v.value().authenticode);
        }
    }
    Version high;
    high.file_version = {65535, 0, 9, 65534};
    Result<ExeVersion> v = read(image(version_info(high)).bytes);
    ASSERT_TRUE(v.ok());
    EXPECT_EQ(v.value().file_version, (std::array<std::uint16_t, 4>{65535, 0, 9, 65534}));
}

TEST(PeVersion, FindsTheStringTableAsTheProgramDoes) {
    Version two;
    two.tables = {{u"040904b0", {{u"ProductName", u"English"}}},
                  {u"0c0a04b0", {{u"ProductName", u"Spanish"}}}};
    two.translations = {{0x0C0A, 1200}};
    EXPECT_EQ(product_name_of(two), "Spanish");  // the translation list comes first
    two.translations.clear();
    EXPECT_EQ(product_name_of(two), "English");  // then U.S. English before Spanish
    two.tables.erase(two.tables.begin());
    EXPECT_EQ(product_name_of(two), "Spanish");

    Version elsewhere;  // a language neither listed nor among the fallbacks
    elsewhere.tables = {{u"041104b0", {{u"ProductName", u"Torvane"}}}};
    elsewhere.translations = {{0x0409, 1200}};
    EXPECT_EQ(product_name_of(elsewhere), std::nullopt);

    Version empty_first;  // an empty value does not count
    empty_first.tables = {{u"2c0a04b0", {{u"ProductName", u""}}},
                          {u"040904E4", {{u"productname", u"Torvane"}}}};
    EXPECT_EQ(product_name_of(empty_first), "Torvane");

    Version none;
    none.tables[0].strings = {{u"FileDescription", u"Torvane"}};
    EXPECT_EQ(product_name_of(none), std::nullopt);
    none.tables.clear();
    EXPECT_EQ(product_name_of(none), std::nullopt);
}

TEST(PeVersion, DecodesUtf16AndCutsLongValues) {
    Version v;
    v.tables[0].strings = {{u"ProductName", u"T\u00f3rvane \U0001F600"}};
    EXPECT_EQ(product_name_of(v), "T\xC3\xB3rvane \xF0\x9F\x98\x80");
    v.tables[0].strings = {{u"ProductName", std::u16string(u"A") + char16_t{0xD800} + u"B"}};
    EXPECT_EQ(product_name_of(v),
              "A\xEF\xBF\xBD"
              "B");
    v.tables[0].strings[0].second = std::u16string(u"Torvane\0hidden", 14);
    EXPECT_EQ(product_name_of(v), "Torvane");
    v.tables[0].strings = {{u"ProductName", std::u16string(5000, u'x')}};
    EXPECT_EQ(product_name_of(v), std::string(4096, 'x'));
}

TEST(PeVersion, SeesTheCertificateTable) {
    testing_pe::Image img = image(version_info({}));
    const std::size_t certificates = img.data_directories + 8 * 4;
    const auto size = static_cast<std::uint32_t>(img.bytes.size());
    testing_pe::set32(img.bytes, certificates, size);
    testing_pe::set32(img.bytes, certificates + 4, 16);
    img.bytes.resize(size + 16, 0);
    ASSERT_TRUE(read(img.bytes).ok());
    EXPECT_TRUE(read(img.bytes).value().authenticode);
    img.bytes.resize(size + 8);  // the table runs past the end
    ASSERT_TRUE(read(img.bytes).ok());
    EXPECT_FALSE(read(img.bytes).value().authenticode);
}

TEST(PeVersion, RefusesDamagedFiles) {
    const testing_pe::Image good = image(version_info({}));
    ASSERT_TRUE(read(good.bytes).ok());
    EXPECT_FALSE(read(Bytes{}).ok());
    const std::size_t rsrc_section = good.section_table + 40, version = good.version;
    const std::size_t vt = good.version_type;
    const std::size_t names = good.resources + (good.bytes[vt + 4] | good.bytes[vt + 5] << 8);
    struct Patch {
        std::size_t at;
        std::uint32_t value;
        int width;  // bytes, little-endian
    };
    for (const Patch& p : std::vector<Patch>{
             {1, 'Y', 1},                              // not MZ
             {0x3C, 0xFFFFFFF0, 4},                    // PE offset
             {0x42, 'X', 1},                           // PE signature
             {good.optional_header, 7, 1},             // magic
             {0x46, 0xFFFF, 2},                        // 65535 sections
             {0x54, 0xFFFF, 2},                        // optional header size
             {good.data_directories - 4, 2, 4},        // two directories: no resources
             {good.data_directories + 16, 0x9000, 4},  // resources where no section is
             {rsrc_section + 20, 0x7FFFFF00, 4},       // section data beyond the file
             {rsrc_section + 8, 0x40, 4},              // section maps less than the version
             {vt, 17, 1},                              // no RT_VERSION
             {vt + 7, 0, 1},                           // the type's entry is data
             {names + 20, 0x80000000u, 4},             // a directory pointing at the root
             {good.resources + 14, 0xFFFF, 2},         // more entries than bytes
             {good.version_entry, 0x7FFFFFF0, 4},      // version data outside the image
             {good.version_entry + 4, 0x10000, 4},     // version longer than its section
             {version, 0xFFFF, 2},                     // VS_VERSIONINFO length
             {version, 4, 2},
             {version, 20, 2},              // the root ends inside its own key
             {version + 2, 20, 1},          // fixed part too short
             {version + 6, 'W', 1},         // the root's key
             {version + 40, 0xBC, 1},       // 0xFEEF04BD
             {version + 92, 0x7FF0, 2}}) {  // a group runs past its parent
        Bytes bytes = good.bytes;
        for (int i = 0; i < p.width; ++i)
            bytes[p.at + i] = static_cast<std::uint8_t>(p.value >> (8 * i));
        EXPECT_FALSE(read(bytes).ok()) << p.at;
    }
}

TEST(PeVersion, TruncatedOrFlippedFilesNeverReadOutsideOrInventValues) {
    const testing_pe::Image good = image(version_info({}));
    const std::size_t needed = good.version + good.version_size;
    for (std::size_t length = 0; length < good.bytes.size(); ++length) {
        const Bytes cut(good.bytes.begin(), good.bytes.begin() + length);
        EXPECT_EQ(read(cut).ok(), length >= needed) << length;
    }
    // A flipped byte outside the version information may break the file, but the values read
    // from it are the real ones; inside, the version changes only through its own 8 bytes.
    const std::size_t fixed_version = good.version + 40 + 8;
    for (std::size_t at = 0; at < good.bytes.size(); ++at) {
        for (std::uint8_t mask : {0x01, 0x80, 0xFF}) {
            Bytes flipped = good.bytes;
            flipped[at] ^= mask;
            Result<ExeVersion> v = read(flipped);
            if (!v) continue;
            const bool in_version = at >= good.version && at < needed;
            if (at < fixed_version || at >= fixed_version + 8) {
                EXPECT_EQ(v.value().file_version, (std::array<std::uint16_t, 4>{1, 4, 2, 37}))
                    << at;
            }
            if (!in_version) {
                EXPECT_EQ(v.value().product_name, "Torvane") << at << " " << int{mask};
            }
        }
    }
}

}  // namespace
}  // namespace torvane::release
