#include "core/app_lists.h"

#include <gtest/gtest.h>

namespace torvane {
namespace {

TEST(NamesTest, ParseTrimsLowerCasesAndDropsEmptyPieces) {
    EXPECT_EQ(parse_name_list(" Teams ,, SLACK"), (NameList{"teams", "slack"}));
    EXPECT_EQ(parse_name_list("\tZoom Workplace\r\n,obs"), (NameList{"zoom workplace", "obs"}));
    EXPECT_EQ(parse_name_list("ÉQUIPO, Ñandú"), (NameList{"équipo", "ñandú"}));
    EXPECT_TRUE(parse_name_list("").empty());
    EXPECT_TRUE(parse_name_list(" , ,,").empty());
    EXPECT_EQ(parse_name_list(",a,"), (NameList{"a"}));
}

TEST(NamesTest, MatchIsCaseInsensitiveSubstring) {
    NameList list = parse_name_list("Teams, zoom, ÉQUIPO");
    for (const char* hit :
         {"ms-teams", "Microsoft TEAMS", "Reunión de Zoom", "zoom.us", "Mi Équipo"})
        EXPECT_TRUE(name_matches(hit, list)) << hit;
    for (const char* miss : {"Slack", "", "tea"})
        EXPECT_FALSE(name_matches(miss, list)) << miss;
    EXPECT_FALSE(name_matches("anything", NameList{}));
}

}  // namespace
}  // namespace torvane
