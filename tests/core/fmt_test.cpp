#include "core/fmt.h"

#include <gtest/gtest.h>

#include <limits>

namespace torvane {
namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();

// 2024-01-01 is a Monday.
LocalTime jan(unsigned day, unsigned h, unsigned mi, unsigned s = 0, unsigned ms = 0) {
    return make_local(2024, 1, day, h, mi, s, ms);
}
const LocalDays monday = date_of(jan(1, 0, 0));

TEST(FmtTest, HumanDurationRoundsToNearestSecond) {
    const std::pair<double, const char*> cases[] = {
        {0, "0 s"},        {0.49, "0 s"},       {0.5, "1 s"},      {59.49, "59 s"},
        {59.5, "1 min"},   {60, "1 min"},       {61, "1 min 1 s"}, {599, "9 min 59 s"},
        {599.5, "10 min"}, {601, "10 min"},     {3599, "59 min"},  {3600, "1 h"},
        {3659, "1 h"},     {3660, "1 h 1 min"}, {7199.5, "2 h"},   {90000, "25 h"},
        {-3, "0 s"},       {-0.5, "0 s"},       {-1e300, "0 s"},
    };
    for (auto [seconds, expected] : cases)
        EXPECT_EQ(human_duration(seconds), expected) << seconds;
}

TEST(FmtTest, ClockCountdownRoundsUp) {
    const std::pair<double, const char*> cases[] = {
        {0, "0:00"},     {0.2, "0:01"},       {59, "0:59"},      {59.001, "1:00"}, {600, "10:00"},
        {3599, "59:59"}, {3599.5, "1:00:00"}, {3661, "1:01:01"}, {-1, "0:00"},
    };
    for (auto [seconds, expected] : cases)
        EXPECT_EQ(clock_countdown(seconds), expected) << seconds;
}

// NaN counts as no time left; infinity and overflowing values saturate at the int64 maximum
// (9223372036854775807 s = 2562047788015215 h 30 min 7 s).
TEST(FmtTest, NonFiniteAndHugeValuesDoNotCrash) {
    EXPECT_EQ(human_duration(nan), "0 s");
    EXPECT_EQ(clock_countdown(nan), "0:00");
    EXPECT_EQ(clock_countdown(-inf), "0:00");
    for (double huge : {inf, 1e300, 9223372036854775808.0}) {
        EXPECT_EQ(human_duration(huge), "2562047788015215 h 30 min");
        EXPECT_EQ(clock_countdown(huge), "2562047788015215:30:07");
    }
}

TEST(FmtTest, UntilTimeNamesOtherDays) {
    EXPECT_EQ(until_time(jan(1, 18, 0), monday), "18:00");
    EXPECT_EQ(until_time(jan(1, 7, 5, 59, 999), monday), "07:05");
    EXPECT_EQ(until_time(jan(3, 9, 5), date_of(jan(2, 12, 0))), "mié 09:05");
    EXPECT_EQ(until_time(jan(6, 0, 0), monday), "sáb 00:00");
    // Another week, and the past: only the weekday is named.
    EXPECT_EQ(until_time(jan(8, 9, 0), monday), "lun 09:00");
    EXPECT_EQ(until_time(jan(19, 6, 45), monday), "vie 06:45");
    EXPECT_EQ(until_time(jan(4, 10, 0), date_of(jan(5, 0, 0))), "jue 10:00");
}

TEST(FmtTest, AppendWritesIntoExistingBuffer) {
    std::string out;
    out.reserve(64);
    out = "Esperando inactividad · ";
    const char* buffer = out.data();
    append_human_duration(out, 125);
    out += " | ";
    append_clock_countdown(out, 3723);
    out += " | ";
    append_until_time(out, jan(3, 9, 5), monday);
    EXPECT_EQ(out, "Esperando inactividad · 2 min 5 s | 1:02:03 | mié 09:05");
    EXPECT_EQ(out.data(), buffer);
}

TEST(FmtTest, StatusNotificationAndPanelTexts) {
    using namespace text;
    LocalTime now = jan(1, 10, 0);
    EXPECT_EQ(blocked_battery_low(15), "Pausado: batería baja (15%)");
    EXPECT_EQ(blocked_frontmost("Zoom"), "Pausado: Zoom está al frente");
    EXPECT_EQ(programmed_on_until(jan(2, 6, 0), monday),
              "Encendido programado hasta las mar 06:00");
    EXPECT_EQ(schedule_started("Noche"), "Empezó \"Noche\"");
    EXPECT_EQ(panel_timer(jan(1, 10, 4, 4, 500), now), "Se apaga en 4:05 (10:04)");
    EXPECT_EQ(panel_timer(jan(2, 0, 0), now), "Se apaga en 14:00:00 (mar 00:00)");
    EXPECT_EQ(panel_timer(jan(1, 9, 59), now), "Se apaga en 0:00 (09:59)");
    EXPECT_EQ(panel_programmed(jan(1, 22, 0), std::nullopt, monday), "Se enciende a las 22:00");
    EXPECT_EQ(panel_programmed(jan(1, 22, 0), jan(2, 6, 0), monday),
              "Se enciende a las 22:00 hasta las mar 06:00");
    EXPECT_EQ(panel_pause(jan(1, 10, 15), now), "En pausa, vuelve en 15:00");
    EXPECT_EQ(panel_schedule_active("Horario laboral", jan(1, 18, 0), monday),
              "Horario laboral hasta las 18:00");
    EXPECT_EQ(panel_next_schedule(jan(3, 9, 0), monday), "Próximo horario: mié 09:00");
    EXPECT_EQ(panel_footer(12, jan(1, 9, 58), monday), "12 movimientos · último 09:58");
    EXPECT_EQ(tooltip_status(just_moved), "Torvane · Trabajando · movió recién");
    EXPECT_EQ(tooltip_countdown(64.2), "Torvane · se apaga en 1:05");
}

TEST(FmtTest, TooltipCutAt127Utf16Units) {
    using text::cut_utf16;
    using text::tooltip_status;
    const std::string prefix = "Torvane · ";       // 10 UTF-16 units
    const std::string emoji = "\xF0\x9F\x98\x80";  // U+1F600: two units
    std::string fits(117, 'a');
    EXPECT_EQ(tooltip_status(fits), prefix + fits);
    EXPECT_EQ(tooltip_status(fits + "b"), prefix + fits);
    // 116 + 10 = 126 units used: the emoji would need 128, so it goes whole.
    std::string before(116, 'a');
    EXPECT_EQ(tooltip_status(before + emoji), prefix + before);
    std::string one_less(115, 'a');
    EXPECT_EQ(tooltip_status(one_less + emoji + "z"), prefix + one_less + emoji);
    // Accented letters are one unit however many bytes.
    std::string accents;
    for (int i = 0; i < 130; ++i)
        accents += "é";
    EXPECT_EQ(tooltip_status(accents).size(), prefix.size() + 117 * 2);

    EXPECT_EQ(cut_utf16("aé" + emoji + "b", 3), "aé");
    EXPECT_EQ(cut_utf16("aé" + emoji + "b", 4), "aé" + emoji);
    EXPECT_EQ(cut_utf16("a\xFF"
                        "bc",
                        2),
              "a\xFF");
    EXPECT_EQ(cut_utf16("abc", 0), "");
}

}  // namespace
}  // namespace torvane
