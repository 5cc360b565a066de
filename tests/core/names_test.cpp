#include "core/names.h"

#include <gtest/gtest.h>

namespace torvane {
namespace {

TEST(NamesTest, ParseTrimsLowerCasesAndDropsEmptyPieces) {
    EXPECT_EQ(parse_name_list(" Teams ,, SLACK"), (NameList{"teams", "slack"}));
    EXPECT_EQ(parse_name_list("zoom"), (NameList{"zoom"}));
    EXPECT_EQ(parse_name_list("\tZoom Workplace\r\n,obs"), (NameList{"zoom workplace", "obs"}));
    EXPECT_EQ(parse_name_list("ÉQUIPO, Ñandú"), (NameList{"équipo", "ñandú"}));
    EXPECT_TRUE(parse_name_list("").empty());
    EXPECT_TRUE(parse_name_list(" , ,,").empty());
    EXPECT_EQ(parse_name_list(",a,"), (NameList{"a"}));
}

TEST(NamesTest, MatchIsCaseInsensitiveSubstring) {
    NameList list = parse_name_list("Teams, zoom, ÉQUIPO");
    EXPECT_TRUE(name_matches("ms-teams", list));
    EXPECT_TRUE(name_matches("Microsoft TEAMS", list));
    EXPECT_TRUE(name_matches("Reunión de Zoom", list));
    EXPECT_TRUE(name_matches("zoom.us", list));
    EXPECT_TRUE(name_matches("Mi Équipo", list));
    EXPECT_FALSE(name_matches("Slack", list));
    EXPECT_FALSE(name_matches("", list));
    EXPECT_FALSE(name_matches("tea", list));

    EXPECT_FALSE(name_matches("anything", NameList{}));
    EXPECT_FALSE(name_matches("", parse_name_list(" , ")));
}

}  // namespace
}  // namespace torvane
