#include "core/strings.h"

#include <gtest/gtest.h>

#include <string>

namespace torvane {
namespace {

TEST(TextTest, ValidUtf8RejectsMalformedSequences) {
    EXPECT_TRUE(valid_utf8("Trabajando · movió recién… \xF0\x9F\x98\x80"));
    // Lone continuation, cut off, overlong "/", surrogate, above U+10FFFF; at the end and inside.
    for (std::string bad : {"\x80", "\xC3", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80"}) {
        EXPECT_FALSE(valid_utf8("abc" + bad)) << bad;
        EXPECT_FALSE(valid_utf8(bad + "abc")) << bad;
    }
}

TEST(TextTest, TrimAndIequalsKnowOnlyAscii) {
    EXPECT_EQ(trim(" \t\r\n\v\fzen mode\f\v\n\r\t "), "zen mode");
    EXPECT_EQ(trim("   "), "");
    EXPECT_EQ(trim("\xC2\xA0x"), "\xC2\xA0x");  // no-break space is not ASCII white space
    EXPECT_TRUE(iequals_ascii("whenIdle", "WHENIDLE"));
    EXPECT_FALSE(iequals_ascii("zen", "zenn"));
    // Next to the letters, but not letters: only the case bit differs.
    EXPECT_FALSE(iequals_ascii("@", "`"));
    EXPECT_FALSE(iequals_ascii("[", "{"));
}

}  // namespace
}  // namespace torvane
