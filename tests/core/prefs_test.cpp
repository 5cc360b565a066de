#include "core/prefs.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace torvane {

// Readable failure messages.
static void PrintTo(const Preferences& prefs, std::ostream* out) {
    *out << serialize_preferences(prefs);
}

namespace {

namespace fs = std::filesystem;

bool lower_uuid_shaped(const std::string& id) {
    if (id.size() != 36) return false;
    for (std::size_t i = 0; i < id.size(); ++i) {
        bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        char c = id[i];
        if (dash ? c != '-' : !((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    }
    return true;
}

void expect_defaults(const Preferences& prefs) {
    ASSERT_EQ(prefs.schedules.size(), 1u);
    EXPECT_TRUE(lower_uuid_shaped(prefs.schedules[0].id)) << prefs.schedules[0].id;
    Preferences expected;
    Schedule work;
    work.id = prefs.schedules[0].id;
    expected.schedules = {work};
    EXPECT_EQ(prefs, expected);
    EXPECT_EQ(prefs.schedules[0].name, "Horario laboral");
    EXPECT_EQ(prefs.schedules[0].days, (DaySet{2, 3, 4, 5, 6}));
}

Preferences parse(const std::string& json) {
    return parse_preferences(json);
}

class PrefsFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("torvane-prefs-test-" + new_uuid_v4());
        fs::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    void write(const fs::path& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    std::string read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    fs::path dir_;
};

TEST(PrefsTest, UnusableTextLoadsAsDefaults) {
    for (const char* text : {"", "[]", "42", "null", "{", "{\"interval\": 30,}", "// x\n{}",
                             "{\"interval\": 30, \"reqAppsList\": \"caf\xE9\"}"}) {
        SCOPED_TRACE(text);
        expect_defaults(parse(text));
    }
    expect_defaults(parse("{}"));
}

TEST(PrefsTest, LeadingByteOrderMarksAreSkipped) {
    EXPECT_EQ(parse("\xEF\xBB\xBF{\"interval\": 30}").interval, 30);
    EXPECT_EQ(parse("\xEF\xBB\xBF\xEF\xBB\xBF{\"interval\": 30}").interval, 30);
}

TEST(PrefsTest, FloatsAreClampedIntoTheirRanges) {
    Preferences low =
        parse(R"({"interval": 2, "distance": 0, "cpuThreshold": -1, "batteryThreshold": 4.5})");
    EXPECT_EQ(low.interval, 5);
    EXPECT_EQ(low.distance, 1);
    EXPECT_EQ(low.cpuThreshold, 5);
    EXPECT_EQ(low.batteryThreshold, 5);

    Preferences high =
        parse(R"({"interval": 1e9, "distance": 61, "cpuThreshold": 100, "batteryThreshold": 90})");
    EXPECT_EQ(high.interval, 86400);
    EXPECT_EQ(high.distance, 60);
    EXPECT_EQ(high.cpuThreshold, 95);
    EXPECT_EQ(high.batteryThreshold, 80);

    Preferences inside = parse(R"({"interval": 7.25, "distance": 18446744073709551615})");
    EXPECT_EQ(inside.interval, 7.25);
    EXPECT_EQ(inside.distance, 60);  // a huge unsigned integer is still a number

    EXPECT_EQ(parse(R"({"interval": "30", "distance": true})").interval, 120);
    EXPECT_EQ(parse(R"({"distance": true})").distance, 4);
}

TEST(PrefsTest, MinuteKeysTakeOnlyThirtyTwoBitIntegers) {
    Preferences p = parse(R"({"lastStartMinutes": -5, "lastUntilMinutes": 2000,
        "lastStopMinutes": 540.5, "customActivateMinutes": 2147483647,
        "customPauseMinutes": 6000})");
    EXPECT_EQ(p.lastStartMinutes, 0u);
    EXPECT_EQ(p.lastUntilMinutes, 1439u);
    EXPECT_EQ(p.lastStopMinutes, 1080u);
    EXPECT_EQ(p.customActivateMinutes, 5999u);
    EXPECT_EQ(p.customPauseMinutes, 5999u);

    Preferences out_of_range = parse(R"({"lastStartMinutes": 2147483648,
        "lastUntilMinutes": -2147483649, "customPauseMinutes": "10",
        "customActivateMinutes": 12.0, "lastStopMinutes": 0})");
    EXPECT_EQ(out_of_range.lastStartMinutes, 540u);
    EXPECT_EQ(out_of_range.lastUntilMinutes, 1080u);
    EXPECT_EQ(out_of_range.customPauseMinutes, 30u);
    EXPECT_EQ(out_of_range.customActivateMinutes, 90u);
    EXPECT_EQ(out_of_range.lastStopMinutes, 0u);
}

TEST(PrefsTest, BoolsAndStringsTakeOnlyTheirOwnKind) {
    Preferences p = parse(R"({"randomize": 0, "showIconOnJiggle": true, "neverLocked": "false",
        "autoInstallUpdates": false, "reqAppsList": "  Chrome ,x ", "neverFrontmostList": 5})");
    EXPECT_TRUE(p.randomize);
    EXPECT_TRUE(p.showIconOnJiggle);
    EXPECT_TRUE(p.neverLocked);
    EXPECT_FALSE(p.autoInstallUpdates);
    EXPECT_EQ(p.reqAppsList, "  Chrome ,x ");
    EXPECT_EQ(p.neverFrontmostList, "");
}

TEST(PrefsTest, PolicyAndModeByNameOrIndex) {
    auto policy = [](const char* v) {
        return parse(std::string(R"({"policy": )") + v + "}").policy;
    };
    EXPECT_EQ(policy(R"(" ALWAYS ")"), MovePolicy::always);
    EXPECT_EQ(policy("0"), MovePolicy::always);
    EXPECT_EQ(policy(R"("always")"), MovePolicy::always);
    EXPECT_EQ(policy("2"), MovePolicy::whenIdle);
    EXPECT_EQ(policy("-1"), MovePolicy::whenIdle);
    EXPECT_EQ(policy("0.0"), MovePolicy::whenIdle);
    EXPECT_EQ(policy(R"("never")"), MovePolicy::whenIdle);
    EXPECT_EQ(policy(R"("al ways")"), MovePolicy::whenIdle);

    auto mode = [](const char* v) { return parse(std::string(R"({"mode": )") + v + "}").mode; };
    EXPECT_EQ(mode("2"), MoveMode::click);
    EXPECT_EQ(mode("1"), MoveMode::zen);
    EXPECT_EQ(mode(R"("Zen")"), MoveMode::zen);
    EXPECT_EQ(mode(R"("\tCLICK\n")"), MoveMode::click);
    EXPECT_EQ(mode("3"), MoveMode::standard);
    EXPECT_EQ(mode("18446744073709551615"), MoveMode::standard);
    EXPECT_EQ(mode("null"), MoveMode::standard);
}

TEST(PrefsTest, ScheduleListReplacesTheDefaultOnlyWhenItIsAnArray) {
    EXPECT_TRUE(parse(R"({"schedules": []})").schedules.empty());
    expect_defaults(parse(R"({"schedules": {}})"));
    expect_defaults(parse(R"({"schedules": null})"));
    EXPECT_TRUE(parse(R"({"schedules": [1, "x", null, []]})").schedules.empty());
}

TEST(PrefsTest, ScheduleElementsAreKeptOrLeftOut) {
    Preferences p = parse(R"({"schedules": [
        {"name": "a", "days": [2, 9, 0, 4, -3]},
        {"name": "dropped", "days": ["2"]},
        {"name": null, "days": null},
        {"name": "b", "id": "{0123456789ABCDEF0123456789abcdef}"},
        {"name": "dropped", "id": "abc"},
        {"name": "c", "id": " 01234567-89ab-CDEF-0123-456789abcdef\t", "enabled": false,
         "start": -3, "end": 5000},
        {"name": "dropped", "id": "0123456789ab-cdef-0123-4567-89abcdef"},
        {"name": "dropped", "id": "0123456789abcdef0123456789abcdeg"},
        {"name": "dropped", "id": 7},
        {"name": "dropped", "enabled": "yes"},
        {"name": "dropped", "start": 1.5},
        {"name": "dropped", "end": 2147483648},
        {"name": 3},
        {"name": "dropped", "days": "2"},
        {"name": "dropped", "days": [2, 9223372036854775808]},
        {"name": "d", "days": [3.0, 9223372036854775807, -1e300]},
        {"name": "dropped", "days": [2.5]},
        {"name": "e", "id": "{{01234567-89ab-cdef-0123-456789abcdef}}}", "days": []}
    ]})");
    ASSERT_EQ(p.schedules.size(), 6u);
    const Schedule &a = p.schedules[0], &blank = p.schedules[1], &b = p.schedules[2],
                   &c = p.schedules[3], &d = p.schedules[4], &e = p.schedules[5];
    EXPECT_EQ(a.name, "a");
    EXPECT_EQ(a.days, (DaySet{2, 4}));
    EXPECT_TRUE(a.enabled);
    EXPECT_EQ(a.start, 540u);
    EXPECT_EQ(a.end, 1080u);
    EXPECT_EQ(blank.name, "");
    EXPECT_TRUE(blank.days.empty());
    EXPECT_EQ(b.name, "b");
    EXPECT_EQ(b.id, "{0123456789ABCDEF0123456789abcdef}");
    EXPECT_EQ(b.days, (DaySet{2, 3, 4, 5, 6}));
    EXPECT_EQ(c.id, "01234567-89ab-CDEF-0123-456789abcdef");
    EXPECT_FALSE(c.enabled);
    EXPECT_EQ(c.start, 0u);
    EXPECT_EQ(c.end, 1439u);
    EXPECT_EQ(d.name, "d");
    EXPECT_EQ(d.days, (DaySet{3}));
    EXPECT_EQ(e.id, "{{01234567-89ab-cdef-0123-456789abcdef}}}");
    EXPECT_TRUE(e.days.empty());
}

TEST(PrefsTest, ElementsWithoutIdGetAFreshIdOnEveryLoad) {
    const std::string text = R"({"schedules": [{"name": "x"}, {"name": "y"}]})";
    Preferences first = parse(text), second = parse(text);
    ASSERT_EQ(first.schedules.size(), 2u);
    ASSERT_EQ(second.schedules.size(), 2u);
    for (const Schedule& s : first.schedules)
        EXPECT_TRUE(lower_uuid_shaped(s.id)) << s.id;
    EXPECT_NE(first.schedules[0].id, first.schedules[1].id);
    EXPECT_NE(first.schedules[0].id, second.schedules[0].id);
    EXPECT_NE(Preferences::defaults().schedules[0].id, Preferences::defaults().schedules[0].id);
}

TEST(PrefsTest, DefaultsSerializeToTheExactFileLayout) {
    Preferences prefs = Preferences::defaults();
    const std::string expected = R"({
  "interval": 120.0,
  "policy": "whenIdle",
  "mode": "standard",
  "distance": 4.0,
  "randomize": true,
  "showIconOnJiggle": false,
  "preventDisplaySleep": true,
  "reqCPU": false,
  "cpuThreshold": 20.0,
  "reqRemovableDisk": false,
  "reqAudio": false,
  "reqApps": false,
  "reqAppsList": "Teams, Slack, Zoom",
  "neverOnBattery": false,
  "neverBatteryLow": true,
  "batteryThreshold": 20.0,
  "neverLocked": true,
  "neverFrontmost": false,
  "neverFrontmostList": "",
  "schedulesEnabled": false,
  "schedules": [
    {
      "id": ")" + prefs.schedules[0].id +
                                 R"(",
      "enabled": true,
      "name": "Horario laboral",
      "days": [
        2,
        3,
        4,
        5,
        6
      ],
      "start": 540,
      "end": 1080
    }
  ],
  "restoreState": true,
  "notifications": true,
  "hotkey": true,
  "countdownInMenuBar": true,
  "quitWhenTimerEnds": false,
  "autoCheckUpdates": true,
  "autoInstallUpdates": true,
  "lastUntilMinutes": 1080,
  "lastStartMinutes": 540,
  "lastStopMinutes": 1080,
  "lastStopEnabled": true,
  "customActivateMinutes": 90,
  "customPauseMinutes": 30
})";
    EXPECT_EQ(serialize_preferences(prefs), expected);
}

TEST(PrefsTest, SerializationFailsSafelyOnTextThatIsNotUtf8) {
    Preferences prefs = Preferences::defaults();
    prefs.neverFrontmostList = "caf\xE9";
    EXPECT_EQ(serialize_preferences(prefs), "{}");
    prefs.neverFrontmostList.clear();
    prefs.schedules[0].name = "\xFF";
    EXPECT_EQ(serialize_preferences(prefs), "{}");
}

TEST_F(PrefsFileTest, MissingFileLoadsAsDefaults) {
    expect_defaults(load_preferences(dir_ / "absent" / "prefs.json"));
    write(dir_ / "empty.json", "");
    expect_defaults(load_preferences(dir_ / "empty.json"));
}

TEST_F(PrefsFileTest, SaveIntoMissingFolderAndLoadBack) {
    // Key names are pinned by the layout test; this checks that every kind of value survives.
    Preferences prefs;
    prefs.interval = 100.0 / 3.0;  // needs every digit to come back equal
    prefs.policy = MovePolicy::always;
    prefs.mode = MoveMode::click;
    prefs.distance = 59.5;
    prefs.randomize = false;
    prefs.reqAppsList = " Código, \"quoted\"\\ ";
    prefs.neverFrontmostList = "vlc·";
    prefs.autoInstallUpdates = false;
    prefs.lastStartMinutes = 1439;
    prefs.customPauseMinutes = 0;
    Schedule night;
    night.id = "{0123456789ABCDEF0123456789abcdef}";
    night.enabled = false;
    night.name = "";
    night.days = DaySet{1, 7};
    night.start = 1380;
    night.end = 0;
    Schedule none = Schedule::new_default();
    none.days = DaySet{};
    prefs.schedules = {night, none};

    const fs::path path = dir_ / "a" / "b" / "prefs.json";
    ASSERT_TRUE(save_preferences(path, prefs).ok());
    EXPECT_FALSE(fs::exists(dir_ / "a" / "b" / "prefs.json.tmp"));
    EXPECT_EQ(load_preferences(path), prefs);

    // Saving again replaces the previous file.
    prefs.schedules.clear();
    ASSERT_TRUE(save_preferences(path, prefs).ok());
    EXPECT_EQ(load_preferences(path), prefs);
}

TEST_F(PrefsFileTest, FailedSaveReportsAnErrorAndLeavesNoTemporaryFile) {
    const fs::path target = dir_ / "prefs.json";
    fs::create_directories(target / "inside");
    Status status = save_preferences(target, Preferences::defaults());
    EXPECT_FALSE(status.ok());
    EXPECT_FALSE(fs::exists(dir_ / "prefs.json.tmp"));
    EXPECT_TRUE(fs::is_directory(target / "inside"));
}

TEST_F(PrefsFileTest, LoadReadsAFileWithByteOrderMark) {
    write(dir_ / "prefs.json", "\xEF\xBB\xBF{\"mode\": \"zen\", \"hotkey\": false}");
    Preferences prefs = load_preferences(dir_ / "prefs.json");
    EXPECT_EQ(prefs.mode, MoveMode::zen);
    EXPECT_FALSE(prefs.hotkey);
    EXPECT_EQ(prefs.schedules.size(), 1u);
}

}  // namespace
}  // namespace torvane
