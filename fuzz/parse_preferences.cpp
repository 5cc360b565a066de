// prefs.json as a user or another program may have left it: loading never fails, what loads is
// always within the load ranges, and writing the loaded record and loading it again gives the
// same record.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "check.h"
#include "core/prefs.h"
#include "core/text.h"
#include "strict_utf8.h"

namespace {

using torvane::Preferences;
using torvane::Schedule;

// The file's keys in the order they are written.
constexpr std::string_view file_keys[] = {
    "interval",
    "policy",
    "mode",
    "distance",
    "randomize",
    "showIconOnJiggle",
    "preventDisplaySleep",
    "reqCPU",
    "cpuThreshold",
    "reqRemovableDisk",
    "reqAudio",
    "reqApps",
    "reqAppsList",
    "neverOnBattery",
    "neverBatteryLow",
    "batteryThreshold",
    "neverLocked",
    "neverFrontmost",
    "neverFrontmostList",
    "schedulesEnabled",
    "schedules",
    "restoreState",
    "notifications",
    "hotkey",
    "countdownInMenuBar",
    "quitWhenTimerEnds",
    "autoCheckUpdates",
    "autoInstallUpdates",
    "lastUntilMinutes",
    "lastStartMinutes",
    "lastStopMinutes",
    "lastStopEnabled",
    "customActivateMinutes",
    "customPauseMinutes",
};

bool utf8(std::string_view s) {
    return fuzz::strict_utf8(s).has_value();
}

// Also false for NaN.
bool within(double v, double lo, double hi) {
    return v >= lo && v <= hi;
}

bool hex_digits(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    });
}

// Braces around 32 hex digits or around five hex groups of 8, 4, 4, 4 and 12 digits.
bool acceptable_id(std::string_view id) {
    if (id != torvane::trim(id)) return false;
    std::size_t open = id.find_first_not_of('{');
    if (open == std::string_view::npos) return false;
    std::size_t close = id.find_last_not_of('}');
    std::string_view core = id.substr(open, close + 1 - open);
    if (core.size() == 32) return hex_digits(core);
    constexpr std::array<std::size_t, 5> groups{8, 4, 4, 4, 12};
    for (std::size_t i = 0; i < groups.size(); ++i) {
        std::size_t end = std::min(core.find('-'), core.size());
        if (end != groups[i] || !hex_digits(core.substr(0, end))) return false;
        core.remove_prefix(end);
        if (i + 1 < groups.size()) {
            if (core.empty()) return false;
            core.remove_prefix(1);
        }
    }
    return core.empty();
}

// What a fresh schedule gets: a lower-case version-4 UUID.
bool fresh_id(std::string_view id) {
    if (id.size() != 36 || !acceptable_id(id)) return false;
    if (std::any_of(id.begin(), id.end(), [](char c) { return c >= 'A' && c <= 'F'; }))
        return false;
    return id[14] == '4' && std::string_view("89ab").find(id[19]) != std::string_view::npos;
}

void check_ranges(const Preferences& p) {
    FUZZ_CHECK(within(p.interval, 5, 86400));
    FUZZ_CHECK(within(p.distance, 1, 60));
    FUZZ_CHECK(within(p.cpuThreshold, 5, 95));
    FUZZ_CHECK(within(p.batteryThreshold, 5, 80));
    FUZZ_CHECK(static_cast<unsigned>(p.policy) <= 1);
    FUZZ_CHECK(static_cast<unsigned>(p.mode) <= 2);
    FUZZ_CHECK(utf8(p.reqAppsList));
    FUZZ_CHECK(utf8(p.neverFrontmostList));
    FUZZ_CHECK(p.lastUntilMinutes <= 1439);
    FUZZ_CHECK(p.lastStartMinutes <= 1439);
    FUZZ_CHECK(p.lastStopMinutes <= 1439);
    FUZZ_CHECK(p.customActivateMinutes <= 5999);
    FUZZ_CHECK(p.customPauseMinutes <= 5999);
    for (const Schedule& s : p.schedules) {
        FUZZ_CHECK(acceptable_id(s.id));
        FUZZ_CHECK(utf8(s.name));
        FUZZ_CHECK(s.start <= 1439);
        FUZZ_CHECK(s.end <= 1439);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    Preferences loaded = torvane::parse_preferences(text);
    check_ranges(loaded);

    // Text that is not UTF-8 is not read at all: the defaults, one schedule under a fresh id.
    if (!utf8(text)) {
        FUZZ_CHECK(loaded.schedules.size() == 1);
        FUZZ_CHECK(fresh_id(loaded.schedules[0].id));
        Preferences defaults = Preferences::defaults();
        defaults.schedules[0].id = loaded.schedules[0].id;
        FUZZ_CHECK(loaded == defaults);
    }

    // Saving and loading again changes nothing.
    std::string written = torvane::serialize_preferences(loaded);
    FUZZ_CHECK(torvane::parse_preferences(written) == loaded);

    // Every key is written, in file order, as a member of the top-level object.
    std::size_t at = 0;
    for (std::string_view key : file_keys) {
        at = written.find("\n  \"" + std::string(key) + "\": ", at);
        FUZZ_CHECK(at != std::string::npos);
    }
    return 0;
}
