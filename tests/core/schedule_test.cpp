#include "core/schedule.h"

#include <gtest/gtest.h>

namespace torvane {
namespace {

// 2024-01-01 is a Monday; January 2024 gives every weekday its own date.
LocalTime jan(unsigned day, unsigned h, unsigned mi, unsigned s = 0) {
    return make_local(2024, 1, day, h, mi, s);
}
constexpr unsigned mon = 1, tue = 2, wed = 3, thu = 4, fri = 5, sat = 6, sun = 7;

Schedule window(DaySet days, unsigned start, unsigned end) {
    return {"x", true, "", days, start, end};
}

TEST(ScheduleTest, ActiveFromStartToEnd) {
    Schedule office = window({2, 3, 4, 5, 6}, 9 * 60, 18 * 60);
    EXPECT_EQ(active_until(office, jan(mon, 9, 0)), jan(mon, 18, 0));
    EXPECT_EQ(active_until(office, jan(mon, 18, 0)), std::nullopt);
    EXPECT_EQ(active_until(office, jan(mon, 8, 59, 59)), std::nullopt);
    EXPECT_EQ(active_until(office, jan(sat, 10, 0)), std::nullopt);
    // An overnight window ends the next day, which itself need not be listed.
    Schedule friday_night = window({6}, 22 * 60, 6 * 60);
    EXPECT_EQ(active_until(friday_night, jan(fri, 22, 0)), jan(sat, 6, 0));
    EXPECT_EQ(active_until(friday_night, jan(sat, 5, 59)), jan(sat, 6, 0));
    EXPECT_EQ(active_until(friday_night, jan(sat, 6, 0)), std::nullopt);
    EXPECT_EQ(active_until(friday_night, jan(fri, 5, 0)), std::nullopt);
    // Yesterday of a Sunday is Saturday, weekday 7.
    EXPECT_EQ(active_until(window({7}, 23 * 60, 2 * 60), jan(sun, 1, 30)), jan(sun, 2, 0));
}

TEST(ScheduleTest, NextStartAndOccurrenceAreStrictlyAfter) {
    EXPECT_EQ(next_start(window({4}, 11 * 60, 12 * 60), jan(wed, 10, 0)), jan(wed, 11, 0));
    EXPECT_EQ(next_start(window({4}, 10 * 60, 12 * 60), jan(wed, 10, 0)), jan(wed + 7, 10, 0));
    EXPECT_EQ(next_occurrence(540, jan(mon, 9, 0)), jan(tue, 9, 0));
    // Unusable schedules neither run nor start.
    for (const Schedule& s :
         {window({2}, 600, 600), window({}, 540, 1080), Schedule{.id = "", .enabled = false}}) {
        EXPECT_EQ(active_until(s, jan(mon, 10, 0)), std::nullopt);
        EXPECT_EQ(next_start(s, jan(mon, 8, 0)), std::nullopt);
    }
}

}  // namespace
}  // namespace torvane
