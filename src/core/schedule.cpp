// Calendar rules of weekly schedules, on local wall-clock time.

#include "core/schedule.h"

#include "core/platform.h"
#include "core/strings.h"

namespace torvane {

using std::chrono::days;

Schedule Schedule::new_default() {
    Schedule schedule;
    schedule.id = new_uuid_v4();
    return schedule;
}

std::string new_uuid_v4() {
    std::uint8_t bytes[16];
    random_bytes(bytes, sizeof bytes);
    bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40);  // version 4
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
    const std::string digits = hex(bytes);
    // 8-4-4-4-12
    return digits.substr(0, 8) + '-' + digits.substr(8, 4) + '-' + digits.substr(12, 4) + '-' +
           digits.substr(16, 4) + '-' + digits.substr(20);
}

bool usable(const Schedule& schedule) {
    return schedule.enabled && schedule.start != schedule.end && !schedule.days.empty();
}

std::optional<LocalTime> active_until(const Schedule& schedule, LocalTime now) {
    if (!usable(schedule)) return std::nullopt;
    LocalDays today = date_of(now);
    unsigned minute = minute_of_day(now);
    unsigned weekday = weekday_number(today);
    unsigned yesterday = weekday == 1 ? 7 : weekday - 1;
    const DaySet& listed = schedule.days;
    if (schedule.start < schedule.end) {
        if (listed.contains(weekday) && schedule.start <= minute && minute < schedule.end)
            return at_minute(today, schedule.end);
        return std::nullopt;
    }
    if (listed.contains(weekday) && minute >= schedule.start)
        return at_minute(today + days(1), schedule.end);
    // An overnight window begun yesterday; today itself need not be listed.
    if (listed.contains(yesterday) && minute < schedule.end) return at_minute(today, schedule.end);
    return std::nullopt;
}

std::optional<LocalTime> next_start(const Schedule& schedule, LocalTime now) {
    if (!usable(schedule)) return std::nullopt;
    LocalDays today = date_of(now);
    // Up to i = 7: a start earlier today recurs on the same weekday next week.
    for (int i = 0; i <= 7; ++i) {
        LocalDays day = today + days(i);
        LocalTime start = at_minute(day, schedule.start);
        if (schedule.days.contains(weekday_number(day)) && start > now) return start;
    }
    return std::nullopt;
}

LocalTime next_occurrence(unsigned minute, LocalTime after) {
    LocalDays day = date_of(after);
    LocalTime candidate = at_minute(day, minute);
    return candidate > after ? candidate : at_minute(day + days(1), minute);
}

}  // namespace torvane
