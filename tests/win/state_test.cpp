#include "win/state_file.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <set>
#include <string>
#include <thread>

#include "core/platform.h"
#include "win/log.h"

namespace torvane {
namespace {

namespace fs = std::filesystem;

TEST(WinStateTest, FileLivesInTheDataFolder) {
    fs::path path = state_path();
    EXPECT_EQ(path.filename(), L"state.json");
    EXPECT_EQ(path.parent_path(), data_dir());
}

// Each writer reads the whole file, adds its key and writes it all back: without the one
// lock around that, a key written in between would be lost.
TEST(WinStateTest, ConcurrentWritersLoseNoKey) {
    fs::path dir = fs::temp_directory_path() / ("torvane-state-test-" + new_uuid_v4());
    fs::path file = dir / "state.json";
    constexpr int rounds = 200;
    auto writer = [&](char name) {
        for (int i = 0; i < rounds; ++i) {
            set_state_key(file, name + std::to_string(i), i);
            if (i % 10 == 9) remove_state_key(file, name + std::to_string(i - 1));
        }
    };
    std::thread a(writer, 'a');
    std::thread b(writer, 'b');
    a.join();
    b.join();

    nlohmann::json state = read_state(file);
    std::set<std::string> missing;
    for (char name : {'a', 'b'}) {
        for (int i = 0; i < rounds; ++i) {
            std::string key = name + std::to_string(i);
            bool removed = i % 10 == 8;
            if (state.contains(key) == removed) missing.insert(key);
        }
    }
    EXPECT_TRUE(missing.empty()) << missing.size() << " keys wrong, e.g. " << *missing.begin();
    EXPECT_FALSE(fs::exists(dir / "state.json.tmp"));
    std::error_code ec;
    fs::remove_all(dir, ec);
}

int64_t unix_ms_now() {
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    auto ticks = (static_cast<int64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    return (ticks - 116444736000000000) / 10000;
}

// The offset from UTC in each month is one of the zone's two, both appear when the zone
// has daylight-saving time, and local times of every month come back unchanged.
TEST(WinStateTest, LocalTimeFollowsTheSystemZone) {
    TIME_ZONE_INFORMATION zone{};
    ASSERT_TRUE(GetTimeZoneInformationForYear(2026, nullptr, &zone));
    const long standard = -(zone.Bias + zone.StandardBias) * 60;
    const long daylight = -(zone.Bias + zone.DaylightBias) * 60;
    std::set<long> seen;
    for (unsigned month = 1; month <= 12; ++month) {
        LocalTime t = make_local(2026, month, 15, 12, 34, 56, 789);
        double v = local_to_unix_seconds(t);
        ASSERT_TRUE(std::isfinite(v));
        auto ms = static_cast<int64_t>(std::llround(v * 1000.0));
        EXPECT_EQ(unix_ms_to_local(ms), t) << month;
        LocalTime as_utc{std::chrono::milliseconds(ms)};
        long offset = static_cast<long>((t - as_utc).count() / 1000);
        EXPECT_TRUE(offset == standard || offset == daylight) << month << ": " << offset;
        seen.insert(offset);
    }
    EXPECT_EQ(seen.size(), zone.DaylightDate.wMonth != 0 && standard != daylight ? 2u : 1u);

    // The local clock and the system clock agree through the zone.
    double now = static_cast<double>(unix_ms_now()) / 1000.0;
    EXPECT_NEAR(local_to_unix_seconds(local_now()), now, 5.0);
    std::optional<LocalTime> local = unix_ms_to_local(unix_ms_now());
    ASSERT_TRUE(local);
    EXPECT_LT(std::chrono::abs(*local - local_now()), std::chrono::seconds(5));

    // Beyond what the system can represent.
    EXPECT_FALSE(unix_ms_to_local(INT64_MAX));
    EXPECT_TRUE(std::isnan(local_to_unix_seconds(make_local(1500, 1, 1))));
}

}  // namespace
}  // namespace torvane
