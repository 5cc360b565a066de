// Damaged files: every truncation and two thousand byte flips of real files must load
// without crashing or throwing (this suite also runs under AddressSanitizer and UBSan), and
// what loads must still respect the load ranges.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "core/prefs.h"
#include "core/rng.h"
#include "core/state.h"

namespace torvane {
namespace {

template <class Check>
void for_each_damaged_copy(const std::string& good, Check check) {
    for (std::size_t n = 0; n <= good.size(); ++n)
        check(good.substr(0, n));
    uint64_t rng = 0x9E3779B97F4A7C15ull;
    for (int round = 0; round < 2000; ++round) {
        std::string bad = good;
        std::size_t at = static_cast<std::size_t>(next_unit(rng) * static_cast<double>(bad.size()));
        bad[at] = static_cast<char>(next_unit(rng) * 256);
        check(bad);
    }
}

TEST(DamagedInput, PreferencesStayWithinTheirRanges) {
    Preferences p = Preferences::defaults();
    p.schedules.push_back(Schedule::new_default());
    p.schedules.back().start = 1320;
    p.schedules.back().end = 360;
    for_each_damaged_copy(serialize_preferences(p), [](const std::string& text) {
        Preferences loaded = parse_preferences(text);
        EXPECT_GE(loaded.interval, 5);
        EXPECT_LE(loaded.interval, 86400);
        EXPECT_LE(loaded.lastStartMinutes, 1439u);
        EXPECT_LE(loaded.customPauseMinutes, 5999u);
        for (const Schedule& s : loaded.schedules)
            EXPECT_LE(s.end, 1439u);
    });
}

TEST(DamagedInput, StateFileParsesToAnObject) {
    std::string good =
        "{\n  \"onboarded\": true,\n  \"state.v1\": [1.0, 1733412345.678, 0.0, 0.0, 0.0, 0.0, "
        "1.0, 0.0],\n  \"updatedTo\": {\n    \"notes\": \"Arreglos · más rápido\"\n  }\n}";
    for_each_damaged_copy(
        good, [](const std::string& text) { EXPECT_TRUE(parse_state(text).is_object()); });
}

}  // namespace
}  // namespace torvane
