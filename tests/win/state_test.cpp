#include <gtest/gtest.h>
#include <windows.h>

#include <cmath>
#include <set>

#include "core/platform.h"
#include "test_util.h"
#include "win/handle.h"
#include "win/state_file.h"

namespace torvane {
namespace {

// Each month's offset from UTC is one of the zone's two, both appear when the zone has
// daylight-saving time, and local times of every month come back unchanged.
TEST(WinStateTest, LocalTimeFollowsTheSystemZone) {
    TIME_ZONE_INFORMATION zone{};
    ASSERT_TRUE(GetTimeZoneInformationForYear(2026, nullptr, &zone));
    const long standard = -(zone.Bias + zone.StandardBias) * 60;
    const long daylight = -(zone.Bias + zone.DaylightBias) * 60;
    std::set<long> seen;
    for (unsigned month = 1; month <= 12; ++month) {
        LocalTime t = make_local(2026, month, 15, 12, 34, 56, 789);
        auto ms = static_cast<int64_t>(std::llround(local_to_unix_seconds(t) * 1000.0));
        EXPECT_EQ(unix_ms_to_local(ms), t) << month;
        auto offset = (t - LocalTime{std::chrono::milliseconds(ms)}).count() / 1000;
        EXPECT_TRUE(offset == standard || offset == daylight) << month << ": " << offset;
        seen.insert(static_cast<long>(offset));
    }
    EXPECT_EQ(seen.size(), zone.DaylightDate.wMonth != 0 && standard != daylight ? 2u : 1u);
    // Beyond what the system can represent.
    EXPECT_FALSE(unix_ms_to_local(INT64_MAX));
    EXPECT_TRUE(std::isnan(local_to_unix_seconds(make_local(1500, 1, 1))));
}

// The save every second has no one to report to: a failed write goes to the log with its call.
TEST(WinStateTest, ARunStateThatCannotBeWrittenIsLogged) {
    log_line("Prueba");
    {
        // Held without sharing, as another program might: the new file cannot take its place.
        FileHandle held(
            CreateFileW(state_path().c_str(), GENERIC_READ, 0, nullptr, OPEN_ALWAYS, 0, nullptr));
        ASSERT_TRUE(held);
        RunSnapshot snapshot;
        save_run_state(EngineState{}, snapshot, true);
    }
    EXPECT_TRUE(last_log_line().starts_with("No se pudo guardar el estado: MoveFileExW (código "))
        << last_log_line();
}

}  // namespace
}  // namespace torvane
