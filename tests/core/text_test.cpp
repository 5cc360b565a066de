#include "core/text.h"

#include <gtest/gtest.h>

namespace torvane {
namespace {

TEST(TextTest, ValidUtf8AcceptsWellFormedAndRejectsMalformedSequences) {
    EXPECT_TRUE(valid_utf8(""));
    EXPECT_TRUE(valid_utf8("Trabajando · movió recién…"));
    EXPECT_TRUE(valid_utf8("\xF0\x9F\x98\x80"));  // U+1F600, four bytes
    EXPECT_FALSE(valid_utf8("abc\xFF"));
    EXPECT_FALSE(valid_utf8("\x80"));              // lone continuation byte
    EXPECT_FALSE(valid_utf8("\xC3"));              // cut off at the end
    EXPECT_FALSE(valid_utf8("\xC0\xAF"));          // overlong "/"
    EXPECT_FALSE(valid_utf8("\xED\xA0\x80"));      // surrogate
    EXPECT_FALSE(valid_utf8("\xF4\x90\x80\x80"));  // above U+10FFFF
    EXPECT_FALSE(
        valid_utf8("\xC3"
                   "a"));  // continuation missing mid-text
}

TEST(TextTest, TrimRemovesOnlySurroundingWhiteSpace) {
    EXPECT_EQ(trim(" \t\r\n\v\fzen mode\f\v\n\r\t "), "zen mode");
    EXPECT_EQ(trim("   "), "");
    EXPECT_EQ(trim(""), "");
    EXPECT_EQ(trim("x"), "x");
    EXPECT_EQ(trim("\xC2\xA0x"), "\xC2\xA0x");  // no-break space is not ASCII white space
}

TEST(TextTest, IequalsAsciiFoldsOnlyAsciiLetters) {
    EXPECT_TRUE(iequals_ascii("whenIdle", "WHENIDLE"));
    EXPECT_TRUE(iequals_ascii("", ""));
    EXPECT_FALSE(iequals_ascii("zen", "zenn"));
    EXPECT_FALSE(iequals_ascii("zen", "zem"));
    EXPECT_FALSE(
        iequals_ascii("@", "`"));  // 0x40 and 0x60 differ by the case bit but are not letters
    EXPECT_FALSE(iequals_ascii("[", "{"));
    EXPECT_FALSE(iequals_ascii("Ñ", "ñ"));
}

}  // namespace
}  // namespace torvane
