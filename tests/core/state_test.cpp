#include "core/state.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "core/platform.h"

namespace torvane {
namespace {

namespace fs = std::filesystem;
using json = nlohmann::json;

// Whatever the zone: the Windows runs repeat these in zones with daylight-saving time.
TEST(StateTimeTest, TimeStampsRoundTripToTheMillisecond) {
    // Every month of two years, at odd hours and milliseconds.
    for (int i = 0; i < 24 * 31; ++i) {
        LocalTime t = make_local(2026, 1, 1) + std::chrono::hours(23 * i) +
                      std::chrono::milliseconds((i * 997) % 60000);
        double v = encode_time_stamp(t);
        ASSERT_EQ(decode_time_stamp(v), t) << v;
        ASSERT_EQ(decode_time_stamp(v + 0.0009), t) << v;  // truncated, not rounded
    }
    // Far ahead the quotient of a division by 1000 can fall just short of the millisecond
    // that truncation has to find again.
    for (int64_t ms = 2147483648000; ms < 4102444800000; ms += 987654321) {
        std::optional<LocalTime> t = unix_ms_to_local(ms);
        ASSERT_TRUE(t);
        double v = encode_time_stamp(*t);
        ASSERT_EQ(static_cast<int64_t>(v * 1000.0), ms) << v;
        ASSERT_EQ(decode_time_stamp(v), t);
    }
}

TEST(StateTimeTest, TimeStampsAreUnixSecondsOfPlausibleInstants) {
    using namespace std::chrono;
    auto unix_now = duration_cast<milliseconds>(system_clock::now().time_since_epoch());
    EXPECT_NEAR(encode_time_stamp(local_now()), unix_now.count() / 1000.0, 5.0);
    EXPECT_EQ(local_to_unix_seconds(*unix_ms_to_local(-86400001)), -86400.001);
    EXPECT_EQ(encode_time_stamp(std::nullopt), 0.0);
    for (double v : {0.0, -1.0, 4e11, std::nan(""), std::numeric_limits<double>::infinity()})
        EXPECT_FALSE(decode_time_stamp(v)) << v;
    EXPECT_TRUE(decode_time_stamp(0.001));
}

class StateFileTest : public ::testing::Test {
protected:
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    // A restart at `now`: a fresh engine restored from the file.
    EngineState restart(LocalTime now) {
        EngineState s;
        effects_.clear();
        snapshot_ = restore_run_state(file_, s, prefs_, now, effects_);
        return s;
    }

    fs::path dir_ = fs::temp_directory_path() / ("torvane-state-test-" + new_uuid_v4());
    fs::path file_ = dir_ / "state.json";
    Preferences prefs_;
    Effects effects_;
    RunSnapshot snapshot_;
};

// Keys in byte order, two-space indentation, no trailing newline.
TEST(StateFileLayoutTest, ObjectIsWrittenSortedAndPretty) {
    json object{{"\xC3\xA9", 1}, {"b", {1.0, std::nan(""), 0}}, {"Zulu", json::object()}};
    EXPECT_EQ(
        serialize_state(object),
        "{\n  \"Zulu\": {},\n  \"b\": [\n    1.0,\n    null,\n    0\n  ],\n  \"\xC3\xA9\": 1\n}");
}

TEST_F(StateFileTest, TimerComesBackOnlyWhileItRuns) {
    EngineState before;
    before.on = true;
    before.on_by_schedule = true;
    before.timer_until = make_local(2026, 3, 10, 18);
    EXPECT_TRUE(save_run_state(file_, before, snapshot_, true).ok());

    EngineState s = restart(make_local(2026, 3, 10, 17));
    EXPECT_EQ(snapshot_.record, run_record(before));
    EXPECT_EQ(snapshot_.fields, run_fields(before)) << "the first tick finds nothing to write";
    EXPECT_EQ(s.status_detail, "Activo");
    // Switching on, without a notification.
    EXPECT_EQ(effects_, (Effects{Effect{Effect::Kind::Power, true, "", ""}}));

    restart(make_local(2026, 3, 10, 18, 30));
    EXPECT_EQ(snapshot_.record, run_record(EngineState{}));
    EXPECT_TRUE(effects_.empty());

    // A timer ending at the very moment of the restart has run out; one a second later has not.
    EXPECT_FALSE(restart(make_local(2026, 3, 10, 18)).on);
    EXPECT_TRUE(effects_.empty());
    EXPECT_EQ(restart(make_local(2026, 3, 10, 17, 59, 59)).timer_until, before.timer_until);
}

TEST_F(StateFileTest, PauseComesBackWithTheTimerBehindIt) {
    EngineState before;
    before.pause_until = make_local(2026, 3, 10, 12);
    before.timer_saved_by_pause = make_local(2026, 3, 10, 14);
    before.on_by_schedule_saved_by_pause = true;
    before.programmed_start_at = make_local(2026, 3, 11, 9);
    before.programmed_stop_at = make_local(2026, 3, 11, 18);
    EXPECT_TRUE(save_run_state(file_, before, snapshot_, true).ok());

    EXPECT_EQ(restart(make_local(2026, 3, 10, 11)).status_detail, "En pausa");
    EXPECT_EQ(snapshot_.record, run_record(before));
    EXPECT_TRUE(effects_.empty());

    // Pause over: nothing resumes, but the programmed switch-on still lies ahead.
    restart(make_local(2026, 3, 10, 12, 30));
    before.pause_until = before.timer_saved_by_pause = std::nullopt;
    before.on_by_schedule_saved_by_pause = false;
    EXPECT_EQ(snapshot_.record, run_record(before));
    EXPECT_TRUE(effects_.empty());

    // A passed programmed switch-on is dropped.
    restart(make_local(2026, 3, 11, 10));
    EXPECT_EQ(snapshot_.record, run_record(EngineState{}));
}

TEST_F(StateFileTest, OnlyAnObjectWithEightNumbersRestores) {
    auto restores = [&](const std::string& text) {
        EXPECT_TRUE(write_file_atomic(file_, text).ok());
        return restart(make_local(2026, 3, 10, 17)).on;
    };
    auto record = [](std::string numbers) { return "{\"state.v1\": " + numbers + "}"; };
    EXPECT_TRUE(restores(record("[1.0, 0, 0, 0, 0, 0, 0, 0, \"more\", null]")));
    // A timer of 4e11 or beyond is absent, so it does not hold the system off.
    EXPECT_TRUE(restores(record("[1, 4e11, 0, 0, 0, 0, 0, 0]")));
    for (const char* bad :
         {"[1, 0, 0, 0, 0, 0, 0]", "[1, 0, 0, 0, 0, 0, 0, null]", "[1, 0, 0, 0, 0, 0, \"0\", 0]",
          "[1, 0, 0, 0, 0, 0, false, 0]", "{\"0\": 1}", "[0.5, 0, 0, 0, 0, 0, 0, 0]"})
        EXPECT_FALSE(restores(record(bad))) << bad;

    // Damaged files restore nothing, and the next write replaces them whole.
    const std::string good = record("[1, 0, 0, 0, 0, 0, 0, 0]");
    for (std::string text :
         {good.substr(0, 20), good + " trailing", "\xEF\xBB\xBF\xEF\xBB\xBF" + good,
          std::string("[1, 0, 0, 0, 0, 0, 0, 0]"), std::string(), std::string("\xFF\xFE{}")}) {
        EXPECT_FALSE(restores(text)) << text;
        EXPECT_TRUE(set_state_key(file_, "onboarded", true).ok());
        EXPECT_EQ(read_file(file_).value(), "{\n  \"onboarded\": true\n}") << text;
    }

    prefs_.restoreState = false;
    EXPECT_FALSE(restores(good));
    EXPECT_TRUE(effects_.empty());
    EXPECT_EQ(snapshot_.record, run_record(EngineState{}));
}

// The engine's fields in their places, beside keys of others; an unchanged record is written
// only when forced, and one that could not be written is not retried every second.
TEST_F(StateFileTest, RunStateIsWrittenWhenItChanges) {
    ASSERT_TRUE(write_file_atomic(file_, "\xEF\xBB\xBF{\"foreign\": {\"x\": [1, \"y\"]}}").ok());
    auto at = [](unsigned hour) { return make_local(2026, 1, 15, hour); };
    auto stamp = [&](unsigned hour) { return encode_time_stamp(at(hour)); };
    EngineState s;
    s.on = true;
    s.timer_until = at(1);
    s.programmed_start_at = at(2);
    s.programmed_stop_at = at(3);
    s.pause_until = at(4);
    s.timer_saved_by_pause = at(5);
    s.on_by_schedule_saved_by_pause = true;
    EXPECT_TRUE(save_run_state(file_, s, snapshot_, false).ok());
    EXPECT_EQ(snapshot_.record,
              (RunRecord{1, stamp(1), stamp(2), stamp(3), stamp(4), stamp(5), 0, 1}));
    EXPECT_EQ(read_state(file_),
              (json{{"foreign", {{"x", {1, "y"}}}}, {"state.v1", snapshot_.record}}));
    EXPECT_FALSE(read_file(file_).value().starts_with("\xEF"));

    fs::remove(file_);
    EXPECT_TRUE(save_run_state(file_, s, snapshot_, false).ok());
    EXPECT_FALSE(fs::exists(file_));
    EXPECT_TRUE(save_run_state(file_, s, snapshot_, true).ok());
    EXPECT_TRUE(fs::exists(file_));
    s.timer_until = at(6);
    EXPECT_TRUE(save_run_state(file_, s, snapshot_, false).ok());
    EXPECT_EQ(read_state(file_)["state.v1"][1], stamp(6));

    fs::path blocked = file_ / "state.json";  // its folder is a file
    s.on = false;
    EXPECT_FALSE(save_run_state(blocked, s, snapshot_, false).ok());
    EXPECT_EQ(snapshot_.record, run_record(s));
    EXPECT_FALSE(set_state_key(blocked, "onboarded", true).ok());
    EXPECT_EQ(read_state(blocked), json::object());
    EXPECT_EQ(read_state(file_)["state.v1"][0], 1.0);
}

// The serialiser recurses: a value nested deeper than 64 (far deeper would overflow the 1 MiB
// stack on Windows) is dropped whole when read, and the rest is carried along. A key given twice
// keeps its last value, as the JSON reader has it; a deep first value must not take a later,
// shallow one down with it.
TEST(StateFileLayoutTest, ValuesNestedTooDeepAreDroppedWhole) {
    auto nested = [](std::size_t levels) {
        return std::string(levels, '[') + "1" + std::string(levels, ']');
    };
    const std::string kept = "\"kept\": " + nested(64) + ", \"mixed\": {\"a\": [{\"b\": null}]}";
    const std::string over = "{\"x\": " + nested(64) + "}";
    const json read = parse_state("{\"deep\": " + nested(100000) + ", \"k\": " + over + ", " +
                                  kept + ", \"k\": 2}");
    // Names first: printing a deep value would recurse as well.
    std::vector<std::string> names;
    for (const auto& [key, value] : read.items())
        names.push_back(key);
    ASSERT_EQ(names, (std::vector<std::string>{"k", "kept", "mixed"}));
    EXPECT_EQ(read, json::parse("{" + kept + ", \"k\": 2}"));
    EXPECT_EQ(parse_state("{\"k\": 2, \"other\": 1, \"k\": " + over + "}"),
              json::parse("{\"other\": 1}"));
}

// Each writer reads the whole file, changes its key and writes it all back: without the one
// lock around that, a key written in between would be lost.
TEST_F(StateFileTest, ConcurrentWritersLoseNoKey) {
    auto writer = [&](char name) {
        for (int i = 0; i < 200; ++i) {
            EXPECT_TRUE(set_state_key(file_, name + std::to_string(i), i).ok());
            if (i % 10 == 9) {
                EXPECT_TRUE(remove_state_key(file_, name + std::to_string(i - 1)).ok());
            }
        }
    };
    std::thread a(writer, 'a'), b(writer, 'b');
    a.join();
    b.join();
    json state = read_state(file_);
    int wrong = 0;
    for (char name : {'a', 'b'})
        for (int i = 0; i < 200; ++i)
            wrong += state.contains(name + std::to_string(i)) == (i % 10 == 8);
    EXPECT_EQ(wrong, 0);
    EXPECT_FALSE(fs::exists(dir_ / "state.json.tmp"));
}

TEST(StateFileLayoutTest, OnlyAWholeNumberRefusesABuild) {
    EXPECT_EQ(refused_build(parse_state(R"({"refusedBuild": 7})")), 7);
    for (const char* text : {"{}", R"({"refusedBuild": "7"})", R"({"refusedBuild": 7.5})",
                             R"({"refusedBuild": null})"})
        EXPECT_EQ(refused_build(parse_state(text)), std::nullopt) << text;
}

}  // namespace
}  // namespace torvane
