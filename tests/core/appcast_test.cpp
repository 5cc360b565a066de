#include "core/appcast.h"

#include <gtest/gtest.h>

#include <string>

using namespace torvane;

TEST(SanitizeNotes, RemovesControlAndFormattingCharactersThenTrims) {
    EXPECT_EQ(sanitize_notes(std::nullopt), std::nullopt);
    EXPECT_EQ(sanitize_notes(" \t\r\n "), std::nullopt);
    // Line breaks and tabs go without leaving a space; bidi and zero-width marks go too.
    EXPECT_EQ(sanitize_notes("  Arreglos:\r\n\tmás\u200B rápido\u202Eok\uFEFF\u0085 "),
              std::string("Arreglos:más rápidook"));
    // Only invisible characters: present but empty, so the caller shows its default text.
    EXPECT_EQ(sanitize_notes("\u200B\u2060"), std::string());
}

TEST(SanitizeNotes, CutsAtThreeHundredCharactersNotBytes) {
    std::string exactly(300, 'x');
    EXPECT_EQ(sanitize_notes(exactly), exactly);
    std::string accented;
    for (int i = 0; i < 301; ++i)
        accented += "é";
    std::string expected;
    for (int i = 0; i < 300; ++i)
        expected += "é";
    EXPECT_EQ(sanitize_notes(accented), expected + "…");
}
