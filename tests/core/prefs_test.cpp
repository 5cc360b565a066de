#include "core/prefs.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <regex>

namespace torvane {

// Readable failure messages.
static void PrintTo(const Preferences& prefs, std::ostream* out) {
    *out << serialize_preferences(prefs);
}

namespace {

namespace fs = std::filesystem;

bool lower_uuid_shaped(const std::string& id) {
    return std::regex_match(id, std::regex("[0-9a-f]{8}(-[0-9a-f]{4}){3}-[0-9a-f]{12}"));
}

void expect_defaults(const Preferences& prefs) {
    ASSERT_EQ(prefs.schedules.size(), 1u);
    EXPECT_TRUE(lower_uuid_shaped(prefs.schedules[0].id)) << prefs.schedules[0].id;
    Preferences expected = Preferences::defaults();
    expected.schedules[0].id = prefs.schedules[0].id;
    EXPECT_EQ(prefs, expected);
}

Preferences parse(const std::string& json) {
    return parse_preferences(json);
}

TEST(PrefsTest, UnusableTextLoadsAsDefaults) {
    for (const char* text : {"", "{}", "[]", "42", "null", "{", "{\"interval\": 30,}", "// x\n{}",
                             "{\"interval\": 30, \"reqAppsList\": \"caf\xE9\"}"}) {
        SCOPED_TRACE(text);
        expect_defaults(parse(text));
    }
    // The JSON reader stops at a NUL: what follows must not smuggle in bytes that are not UTF-8.
    expect_defaults(parse(std::string("{\"interval\": 30}\0\xFF", 18)));
    // Leading byte-order marks are skipped, however many.
    EXPECT_EQ(parse("\xEF\xBB\xBF\xEF\xBB\xBF{\"interval\": 30}").interval, 30);
}

TEST(PrefsTest, ValuesOfTheWrongKindKeepTheirDefaults) {
    expect_defaults(parse(R"({"interval": "30", "distance": true, "randomize": 0,
        "neverLocked": "false", "neverFrontmostList": 5, "lastStartMinutes": 2147483648,
        "lastUntilMinutes": -2147483649, "lastStopMinutes": 540.5, "customPauseMinutes": "10",
        "customActivateMinutes": 12.0, "policy": "never", "mode": 3, "schedules": {}})"));
    expect_defaults(parse(R"({"schedules": null, "policy": 0.0, "mode": null})"));
    expect_defaults(parse(R"({"policy": "al ways", "mode": -1})"));
    expect_defaults(parse(R"({"policy": -1, "mode": 18446744073709551615})"));
}

TEST(PrefsTest, NumbersAreClampedIntoTheirRanges) {
    Preferences low = parse(R"({"interval": 2, "distance": 0, "cpuThreshold": -1,
        "batteryThreshold": 4.5, "lastStartMinutes": -5})");
    EXPECT_EQ(low.interval, 5);
    EXPECT_EQ(low.distance, 1);
    EXPECT_EQ(low.cpuThreshold, 5);
    EXPECT_EQ(low.batteryThreshold, 5);
    EXPECT_EQ(low.lastStartMinutes, 0u);

    Preferences high = parse(R"({"interval": 1e9, "distance": 18446744073709551615,
        "cpuThreshold": 100, "batteryThreshold": 90, "lastUntilMinutes": 2000,
        "customActivateMinutes": 2147483647})");
    EXPECT_EQ(high.interval, 86400);
    EXPECT_EQ(high.distance, 60);  // a huge unsigned integer is still a number
    EXPECT_EQ(high.cpuThreshold, 95);
    EXPECT_EQ(high.batteryThreshold, 80);
    EXPECT_EQ(high.lastUntilMinutes, 1439u);
    EXPECT_EQ(high.customActivateMinutes, 5999u);
}

TEST(PrefsTest, PolicyAndModeByTrimmedNameOrIndex) {
    EXPECT_EQ(parse(R"({"policy": " ALWAYS "})").policy, MovePolicy::always);
    EXPECT_EQ(parse(R"({"policy": 0})").policy, MovePolicy::always);
    EXPECT_EQ(parse(R"({"mode": "\tZen\n"})").mode, MoveMode::zen);
    EXPECT_EQ(parse(R"({"mode": 2})").mode, MoveMode::click);
}

TEST(PrefsTest, ScheduleElementsAreKeptOrLeftOut) {
    const std::string text = R"({"schedules": [
        {"name": "a", "days": [2, 9, 0, 4, -3]},
        {"name": null, "days": null},
        {"name": "b", "id": "{0123456789ABCDEF0123456789abcdef}"},
        {"name": "c", "id": " 01234567-89ab-CDEF-0123-456789abcdef\t", "enabled": false,
         "start": -3, "end": 5000},
        {"name": "d", "days": [3.0, 9223372036854775807, -1e300]},
        {"name": "e", "id": "{{01234567-89ab-cdef-0123-456789abcdef}}}", "days": []},
        {"days": ["2"]}, {"id": "abc"}, {"id": "0123456789ab-cdef-0123-4567-89abcdef"},
        {"id": "0123456789abcdef0123456789abcdeg"}, {"id": 7}, {"enabled": "yes"},
        {"start": 1.5}, {"end": 2147483648}, {"name": 3}, {"days": "2"}, {"days": [2.5]},
        {"days": [2, 9223372036854775808]}, {"days": [1e19]}, 1, "x", null, []
    ]})";
    Preferences p = parse(text);
    ASSERT_EQ(p.schedules.size(), 6u);
    auto id = [&](std::size_t i) { return p.schedules[i].id; };
    std::vector<Schedule> expected{
        {id(0), true, "a", DaySet{2, 4}},
        {id(1), true, "", DaySet{}},
        {"{0123456789ABCDEF0123456789abcdef}", true, "b"},
        {"01234567-89ab-CDEF-0123-456789abcdef", false, "c", DaySet{2, 3, 4, 5, 6}, 0, 1439},
        {id(4), true, "d", DaySet{3}},
        {"{{01234567-89ab-cdef-0123-456789abcdef}}}", true, "e", DaySet{}},
    };
    EXPECT_TRUE(p.schedules == expected);
    // Elements without an id get a fresh one on every load.
    EXPECT_TRUE(lower_uuid_shaped(id(0))) << id(0);
    EXPECT_NE(id(0), id(1));
    EXPECT_NE(id(0), parse(text).schedules[0].id);
    EXPECT_TRUE(parse(R"({"schedules": []})").schedules.empty());
}

TEST(PrefsTest, DefaultsSerializeToTheExactFileLayout) {
    Preferences prefs = Preferences::defaults();
    // Key order and number forms here; the indentation is two spaces throughout.
    const std::string expected =
        R"({"interval":120.0,"policy":"whenIdle","mode":"standard","distance":4.0,)"
        R"("randomize":true,"showIconOnJiggle":false,"preventDisplaySleep":true,"reqCPU":false,)"
        R"("cpuThreshold":20.0,"reqRemovableDisk":false,"reqAudio":false,"reqApps":false,)"
        R"("reqAppsList":"Teams, Slack, Zoom","neverOnBattery":false,"neverBatteryLow":true,)"
        R"("batteryThreshold":20.0,"neverLocked":true,"neverFrontmost":false,)"
        R"("neverFrontmostList":"","schedulesEnabled":false,"schedules":[{"id":")" +
        prefs.schedules[0].id +
        R"(","enabled":true,"name":"Horario laboral","days":[2,3,4,5,6],"start":540,)"
        R"("end":1080}],"restoreState":true,"notifications":true,"hotkey":true,)"
        R"("countdownInMenuBar":true,"quitWhenTimerEnds":false,"autoCheckUpdates":true,)"
        R"("autoInstallUpdates":true,"lastUntilMinutes":1080,"lastStartMinutes":540,)"
        R"("lastStopMinutes":1080,"lastStopEnabled":true,"customActivateMinutes":90,)"
        R"("customPauseMinutes":30})";
    EXPECT_EQ(serialize_preferences(prefs), nlohmann::ordered_json::parse(expected).dump(2));
}

TEST(PrefsTest, SerializationFailsSafelyOnTextThatIsNotUtf8) {
    Preferences prefs = Preferences::defaults();
    prefs.neverFrontmostList = "caf\xE9";
    EXPECT_EQ(serialize_preferences(prefs), "{}");
}

TEST(PrefsFileTest, SavedFileLoadsBackEqual) {
    struct TempDir {
        fs::path path = fs::temp_directory_path() / ("torvane-prefs-test-" + new_uuid_v4());
        ~TempDir() {
            std::error_code ec;
            fs::remove_all(path, ec);
        }
    } dir;
    const fs::path path = dir.path / "a" / "prefs.json";
    expect_defaults(load_preferences(path));

    Preferences prefs;             // every kind of value; the key names are pinned by the layout
    prefs.interval = 100.0 / 3.0;  // needs every digit to come back equal
    prefs.policy = MovePolicy::always;
    prefs.mode = MoveMode::click;
    prefs.randomize = false;
    prefs.reqAppsList = " Código, \"quoted\"\\ ";
    prefs.customPauseMinutes = 0;
    prefs.schedules = {{"{0123456789ABCDEF0123456789abcdef}", false, "", DaySet{1, 7}, 1380, 0}};
    ASSERT_TRUE(save_preferences(path, prefs).ok());
    EXPECT_EQ(load_preferences(path), prefs);
    prefs.schedules.clear();  // saving again replaces the file
    ASSERT_TRUE(save_preferences(path, prefs).ok());
    EXPECT_EQ(load_preferences(path), prefs);
    EXPECT_FALSE(fs::exists(dir.path / "a" / "prefs.json.tmp"));

    // A failed save says so and leaves the folder in the way alone.
    fs::create_directories(dir.path / "b" / "prefs.json" / "inside");
    EXPECT_FALSE(save_preferences(dir.path / "b" / "prefs.json", prefs).ok());
    EXPECT_FALSE(fs::exists(dir.path / "b" / "prefs.json.tmp"));
    EXPECT_TRUE(fs::is_directory(dir.path / "b" / "prefs.json" / "inside"));
}

}  // namespace
}  // namespace torvane
