#include "core/status_text.h"

#include <gtest/gtest.h>

#include <cmath>

namespace torvane {
namespace {

// 2024-01-01 is a Monday.
LocalTime jan(unsigned day, unsigned h, unsigned mi, unsigned s = 0, unsigned ms = 0) {
    return make_local(2024, 1, day, h, mi, s, ms);
}
const LocalDays monday = date_of(jan(1, 0, 0));

// Durations round to the nearest second, count-downs up; NaN and the negative are no time left,
// infinity and overflow saturate at the int64 maximum of seconds.
TEST(FmtTest, DurationsAndCountdowns) {
    const std::pair<double, const char*> durations[] = {
        {0.49, "0 s"},       {0.5, "1 s"},    {59.5, "1 min"},     {61, "1 min 1 s"},
        {599, "9 min 59 s"}, {601, "10 min"}, {3660, "1 h 1 min"}, {90000, "25 h"},
    };
    for (auto [seconds, expected] : durations)
        EXPECT_EQ(human_duration(seconds), expected) << seconds;
    const std::pair<double, const char*> countdowns[] = {
        {59.001, "1:00"}, {599, "9:59"}, {3599.5, "1:00:00"}, {3661, "1:01:01"}};
    for (auto [seconds, expected] : countdowns)
        EXPECT_EQ(clock_countdown(seconds), expected) << seconds;
    for (double none : {-1.0, -HUGE_VAL, std::nan("")}) {
        EXPECT_EQ(human_duration(none), "0 s");
        EXPECT_EQ(clock_countdown(none), "0:00");
    }
    for (double huge : {HUGE_VAL, 0x1p63}) {
        EXPECT_EQ(human_duration(huge), "2562047788015215 h 30 min");
        EXPECT_EQ(clock_countdown(huge), "2562047788015215:30:07");
    }
}

TEST(FmtTest, ClockTimesNameOtherDays) {
    EXPECT_EQ(until_time(jan(1, 7, 5, 59, 999), monday), "07:05");
    // Another week, or the past: only the weekday is named.
    EXPECT_EQ(until_time(jan(8, 9, 0), monday), "lun 09:00");
    EXPECT_EQ(until_time(jan(4, 10, 0), date_of(jan(5, 0, 0))), "jue 10:00");
    EXPECT_EQ(text::panel_timer(jan(1, 10, 4, 4, 500), jan(1, 10, 0)), "Se apaga en 4:05 (10:04)");
    EXPECT_EQ(text::panel_timer(jan(2, 0, 0), jan(1, 10, 0)), "Se apaga en 14:00:00 (mar 00:00)");
}

TEST(FmtTest, TooltipCutAt127Utf16Units) {
    const std::string prefix = "Torvane · ", emoji = "\xF0\x9F\x98\x80";  // 10 units; 2 units
    std::string accents;                                                  // one unit each
    for (int i = 0; i < 117; ++i)
        accents += "é";
    EXPECT_EQ(text::tooltip_status(accents + "é"), prefix + accents);
    const std::string before(116, 'a'), one_less(115, 'a');
    EXPECT_EQ(text::tooltip_status(before + emoji + "z"), prefix + before);  // cut at the emoji
    EXPECT_EQ(text::tooltip_status(one_less + emoji + "z"), prefix + one_less + emoji);
    EXPECT_EQ(text::cut_utf16("a\377bc", 2), "a\377");  // a stray byte is one unit
}

}  // namespace
}  // namespace torvane
