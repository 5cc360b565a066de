#include "core/schedule.h"

#include <gtest/gtest.h>

#include <set>

namespace torvane {
namespace {

// 2024-01-01 is a Monday; January 2024 gives every weekday its own date.
LocalTime jan(unsigned day, unsigned h, unsigned mi, unsigned s = 0) {
    return make_local(2024, 1, day, h, mi, s);
}
constexpr unsigned mon = 1, tue = 2, wed = 3, thu = 4, fri = 5, sat = 6, sun = 7;

Schedule window(DaySet days, unsigned start, unsigned end) {
    Schedule s;
    s.id = "x";
    s.days = days;
    s.start = start;
    s.end = end;
    return s;
}

TEST(ScheduleTest, WindowWithinOneDay) {
    Schedule office = window({2, 3, 4, 5, 6}, 9 * 60, 18 * 60);
    EXPECT_EQ(active_until(office, jan(mon, 9, 0)), jan(mon, 18, 0));
    EXPECT_EQ(active_until(office, jan(mon, 17, 59, 59)), jan(mon, 18, 0));
    EXPECT_EQ(active_until(office, jan(mon, 18, 0)), std::nullopt);
    EXPECT_EQ(active_until(office, jan(mon, 8, 59, 59)), std::nullopt);
    EXPECT_EQ(active_until(office, jan(sat, 10, 0)), std::nullopt);
}

TEST(ScheduleTest, OvernightWindowEndsNextDay) {
    Schedule friday_night = window({6}, 22 * 60, 6 * 60);
    EXPECT_EQ(active_until(friday_night, jan(fri, 23, 0)), jan(sat, 6, 0));
    EXPECT_EQ(active_until(friday_night, jan(fri, 22, 0)), jan(sat, 6, 0));
    EXPECT_EQ(active_until(friday_night, jan(sat, 5, 59)), jan(sat, 6, 0));
    EXPECT_EQ(active_until(friday_night, jan(sat, 6, 0)), std::nullopt);
    EXPECT_EQ(active_until(friday_night, jan(sat, 22, 0)), std::nullopt);
    EXPECT_EQ(active_until(friday_night, jan(fri, 5, 0)), std::nullopt);

    Schedule with_thursday = window({5, 6}, 22 * 60, 6 * 60);
    EXPECT_EQ(active_until(with_thursday, jan(fri, 5, 0)), jan(fri, 6, 0));

    // Yesterday of a Sunday is Saturday (weekday 7); a window may end in the next month.
    Schedule saturday_night = window({7}, 23 * 60, 2 * 60);
    EXPECT_EQ(active_until(saturday_night, jan(sun, 1, 30)), jan(sun, 2, 0));
    EXPECT_EQ(active_until(saturday_night, make_local(2024, 3, 30, 23, 0)),
              make_local(2024, 3, 31, 2, 0));
}

TEST(ScheduleTest, UnusableScheduleIsNeverActiveNorStarts) {
    Schedule same = window({2}, 600, 600);
    Schedule no_days = window({}, 540, 1080);
    Schedule disabled = window({2}, 540, 1080);
    disabled.enabled = false;
    for (const Schedule& s : {same, no_days, disabled}) {
        EXPECT_FALSE(usable(s));
        EXPECT_EQ(active_until(s, jan(mon, 10, 0)), std::nullopt);
        EXPECT_EQ(next_start(s, jan(mon, 8, 0)), std::nullopt);
    }
    EXPECT_TRUE(usable(window({2}, 540, 1080)));
}

TEST(ScheduleTest, NextStartLooksAWeekAhead) {
    EXPECT_EQ(next_start(window({4}, 9 * 60, 10 * 60), jan(wed, 10, 0)), jan(wed + 7, 9, 0));
    EXPECT_EQ(next_start(window({4}, 11 * 60, 12 * 60), jan(wed, 10, 0)), jan(wed, 11, 0));
    // Strictly after: a start exactly now is next week's.
    EXPECT_EQ(next_start(window({4}, 10 * 60, 12 * 60), jan(wed, 10, 0)), jan(wed + 7, 10, 0));
    EXPECT_EQ(next_start(window({2, 3, 4, 5, 6}, 9 * 60, 18 * 60), jan(fri, 10, 0)),
              jan(mon + 7, 9, 0));
    // An overnight window starts on its listed day.
    EXPECT_EQ(next_start(window({6}, 22 * 60, 6 * 60), jan(thu, 23, 0)), jan(fri, 22, 0));
}

TEST(ScheduleTest, NextOccurrenceIsStrictlyAfter) {
    EXPECT_EQ(next_occurrence(540, jan(mon, 9, 0)), jan(tue, 9, 0));
    EXPECT_EQ(next_occurrence(540, jan(mon, 8, 59, 30)), jan(mon, 9, 0));
    EXPECT_EQ(next_occurrence(540, jan(mon, 9, 0) + std::chrono::milliseconds(1)), jan(tue, 9, 0));
    EXPECT_EQ(next_occurrence(0, make_local(2023, 12, 31, 23, 30)), jan(1, 0, 0));
}

TEST(ScheduleTest, NewDefaultsGetDistinctVersion4Ids) {
    // x: any lower-case hex digit; 4: the version; v: the variant (8, 9, a or b).
    const std::string pattern = "xxxxxxxx-xxxx-4xxx-vxxx-xxxxxxxxxxxx";
    std::set<std::string> seen;
    for (int i = 0; i < 32; ++i) {
        std::string id = Schedule::new_default().id;
        ASSERT_EQ(id.size(), pattern.size());
        for (std::size_t k = 0; k < id.size(); ++k) {
            char p = pattern[k];
            std::string allowed = p == 'x'   ? "0123456789abcdef"
                                  : p == 'v' ? "89ab"
                                             : std::string(1, p);
            EXPECT_NE(allowed.find(id[k]), std::string::npos) << id << " at " << k;
        }
        seen.insert(id);
    }
    EXPECT_EQ(seen.size(), 32u);
}

}  // namespace
}  // namespace torvane
