#include "core/field_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace torvane {
namespace {

constexpr uint32_t top = UINT32_MAX;

// The fields hand over the edit controls' text; the tables are written narrow.
std::wstring wide(std::string_view ascii) {
    return {ascii.begin(), ascii.end()};
}

TEST(FieldTextTest, NumberTextTakesSignedDigitsOnlyAndClamps) {
    EXPECT_EQ(parse_number_text(L"+007", 100), 7u);
    EXPECT_EQ(parse_number_text(L"150", 100), 100u);
    for (std::string_view below : {"-5", "-0", "-99999999999999999999"})
        EXPECT_EQ(parse_number_text(wide(below), 100), 0u) << below;
    // Past 32 and 64 bits: wrapping would give a small number instead of the maximum.
    EXPECT_EQ(parse_number_text(L"4294967296", top), top);
    EXPECT_EQ(parse_number_text(L"18446744073709551616", 50), 50u);
    EXPECT_EQ(parse_number_text(L"99999999999999999999999999999999", top), top);
    for (std::string_view bad : {"", "+", "-", " 5", "5 ", "5a", "--5", "+-5", "1.5", "0x10"})
        EXPECT_EQ(parse_number_text(wide(bad), 100), std::nullopt) << bad;
    EXPECT_EQ(parse_number_text(L"-12", 100), 0u);
    EXPECT_EQ(parse_number_text(L"\u0131", 100), std::nullopt);  // low byte is '1'

    EXPECT_EQ(number_text_change(L"7", 5, 10), 7u);
    EXPECT_EQ(number_text_change(L"5", 5, 10), std::nullopt);
    EXPECT_EQ(number_text_change(L"50", 10, 10), std::nullopt);  // clamps to what it holds
    EXPECT_EQ(number_text_change(L"x", 5, 10), std::nullopt);
}

TEST(FieldTextTest, NumberStepStopsAtBothEnds) {
    EXPECT_EQ(number_step(4, 10, true), 5u);
    EXPECT_EQ(number_step(4, 10, false), 3u);
    EXPECT_EQ(number_step(10, 10, true), 10u);
    EXPECT_EQ(number_step(0, 10, false), 0u);
    EXPECT_EQ(number_step(top, top, true), top);
}

TEST(FieldTextTest, TimeTextTriesTwoHourDigitsThenOne) {
    const std::pair<std::string_view, uint32_t> good[] = {
        {"7.05", 425},   {"07:05", 425}, {"7h05", 425}, {"7H05", 425}, {"7 05", 425},
        {"730", 450},    {"1230", 750},  {"9", 540},    {"12", 720},   {"0000", 0},
        {"23:59", 1439}, {"123", 83},    {"2359", 1439}};
    for (auto [text, minutes] : good)
        EXPECT_EQ(parse_time_text(wide(text)), minutes) << text;
    for (std::string_view bad : {"", "25:00", "24", "2400", "960", "7:5", "7:005", "07::05", "7-05",
                                 " 7:05", "7:05 ", "12:60", "-1", "1:2:3", "7h"})
        EXPECT_EQ(parse_time_text(wide(bad)), std::nullopt) << bad;
    EXPECT_EQ(parse_time_text(L"\u0137:05"), std::nullopt);  // low byte is '7'
}

TEST(FieldTextTest, TimeStepMovesTheCaretsPartRoundTheClock) {
    // Positions 0-2 are the hours and the colon; 3 on, the minutes.
    EXPECT_EQ(time_step(23 * 60 + 30, 0, true), 30u);
    EXPECT_EQ(time_step(30, 2, false), 23 * 60 + 30u);
    EXPECT_EQ(time_step(1439, 3, true), 0u);
    EXPECT_EQ(time_step(0, 5, false), 1439u);
}

TEST(FieldTextTest, FormattedTimesReadBack) {
    EXPECT_STREQ(format_time_of_day(425).data(), "07:05");
    EXPECT_STREQ(format_time_of_day(1439).data(), "23:59");
    EXPECT_STREQ(format_time_of_day(1440 + 605).data(), "10:05");
    for (uint32_t t = 0; t < minutes_per_day; ++t)
        ASSERT_EQ(parse_time_text(wide(format_time_of_day(t).data())), t) << t;
}

}  // namespace
}  // namespace torvane
