// prefs.json as a user or another program may have left it: loading never fails, what loads is
// always within the load ranges, and writing the loaded record and loading it again gives the
// same record (which also fails for text that is not UTF-8, since such text is not written).

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "check.h"
#include "core/prefs.h"

namespace {

// Also false for NaN.
bool within(double v, double lo, double hi) {
    return v >= lo && v <= hi;
}

void check_ranges(const torvane::Preferences& p) {
    FUZZ_CHECK(within(p.interval, 5, 86400));
    FUZZ_CHECK(within(p.distance, 1, 60));
    FUZZ_CHECK(within(p.cpuThreshold, 5, 95));
    FUZZ_CHECK(within(p.batteryThreshold, 5, 80));
    FUZZ_CHECK(static_cast<unsigned>(p.policy) <= 1);
    FUZZ_CHECK(static_cast<unsigned>(p.mode) <= 2);
    FUZZ_CHECK(p.lastUntilMinutes <= 1439);
    FUZZ_CHECK(p.lastStartMinutes <= 1439);
    FUZZ_CHECK(p.lastStopMinutes <= 1439);
    FUZZ_CHECK(p.customActivateMinutes <= 5999);
    FUZZ_CHECK(p.customPauseMinutes <= 5999);
    for (const torvane::Schedule& s : p.schedules) {
        FUZZ_CHECK(s.start <= 1439);
        FUZZ_CHECK(s.end <= 1439);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    torvane::Preferences loaded = torvane::parse_preferences(text);
    check_ranges(loaded);
    FUZZ_CHECK(torvane::parse_preferences(torvane::serialize_preferences(loaded)) == loaded);
    return 0;
}
