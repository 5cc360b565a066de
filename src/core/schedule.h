#pragma once
// A weekly time window during which the system switches itself on, and its calendar rules.

#include <cstdint>
#include <optional>
#include <string>

#include "core/time.h"

namespace torvane {

// Weekday numbers 1 = Sunday … 7 = Saturday, as a bit set (bit d for day d).
class DaySet {
public:
    DaySet() = default;
    DaySet(std::initializer_list<unsigned> days) {
        for (unsigned d : days)
            add(d);
    }
    bool contains(unsigned day) const { return day >= 1 && day <= 7 && (bits_ >> day) & 1u; }
    void add(unsigned day) {
        if (day >= 1 && day <= 7) bits_ = static_cast<uint8_t>(bits_ | (1u << day));
    }
    void remove(unsigned day) {
        if (day >= 1 && day <= 7) bits_ = static_cast<uint8_t>(bits_ & ~(1u << day));
    }
    bool empty() const { return bits_ == 0; }
    bool operator==(const DaySet&) const = default;

private:
    uint8_t bits_ = 0;
};

struct Schedule {
    std::string id;
    bool enabled = true;
    std::string name = "Horario laboral";
    DaySet days{2, 3, 4, 5, 6};
    uint32_t start = 540;
    uint32_t end = 1080;

    // Defaults with a fresh random id.
    static Schedule new_default();
    bool operator==(const Schedule&) const = default;
};

// A random version-4 UUID, lower case, 8-4-4-4-12.
std::string new_uuid_v4();

// Enabled, start != end and at least one day.
bool usable(const Schedule& schedule);

// When the schedule is active at `now`, the end of the current window.
std::optional<LocalTime> active_until(const Schedule& schedule, LocalTime now);

// First window start strictly after `now`, looking at today and the next seven dates.
std::optional<LocalTime> next_start(const Schedule& schedule, LocalTime now);

// First moment strictly after `after` whose time of day is `minute`.
LocalTime next_occurrence(unsigned minute, LocalTime after);

}  // namespace torvane
