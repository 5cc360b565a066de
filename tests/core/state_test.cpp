#include "core/state.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <limits>

#include "core/platform.h"

namespace torvane {
namespace {

namespace fs = std::filesystem;
using json = nlohmann::json;

// A zone with daylight-saving time for one test, restored afterwards. The Windows runtime
// does not follow TZ: there `set` says no and the system's zone stays.
class ScopedZone {
public:
    bool set(const char* rule) {
#ifdef _WIN32
        (void)rule;
        return false;
#else
        setenv("TZ", rule, 1);
        tzset();
        return true;
#endif
    }
#ifndef _WIN32
    ~ScopedZone() {
        if (old_) {
            setenv("TZ", old_->c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }

private:
    std::optional<std::string> old_ =
        std::getenv("TZ") ? std::optional<std::string>(std::getenv("TZ")) : std::nullopt;
#endif
};

constexpr const char* berlin = "CET-1CEST,M3.5.0,M10.5.0/3";
constexpr const char* santiago = "<-04>4<-03>,M9.1.6/24,M4.1.6/24";

int64_t stored_ms(double v) {
    return static_cast<int64_t>(v * 1000.0);
}

TEST(StateTimeTest, TimeStampsInAZoneWithDaylightSaving) {
    ScopedZone zone;
    if (!zone.set(berlin)) GTEST_SKIP() << "the zone is the system's here";
    EXPECT_EQ(encode_time_stamp(make_local(2026, 1, 15, 12, 0, 0, 123)), 1768474800.123);
    EXPECT_EQ(encode_time_stamp(make_local(2026, 7, 15, 12, 0, 0, 456)), 1784109600.456);
    EXPECT_EQ(encode_time_stamp(std::nullopt), 0.0);
    // Reading truncates the milliseconds, it does not round them.
    EXPECT_EQ(decode_time_stamp(1768474800.1239), make_local(2026, 1, 15, 12, 0, 0, 123));
    EXPECT_EQ(decode_time_stamp(1784109600.456), make_local(2026, 7, 15, 12, 0, 0, 456));

    // Southern hemisphere: summer time across New Year.
    ASSERT_TRUE(zone.set(santiago));
    EXPECT_EQ(encode_time_stamp(make_local(2026, 1, 15, 12)), 1768489200.0);
    EXPECT_EQ(encode_time_stamp(make_local(2026, 7, 15, 12)), 1784131200.0);
    EXPECT_EQ(decode_time_stamp(1768489200.0), make_local(2026, 1, 15, 12));
}

TEST(StateTimeTest, OnlyPlausibleTimeStampsAreInstants) {
    for (double v :
         {0.0, -0.0, -1.0, -1768474800.0, 4e11, 4.1e11, std::numeric_limits<double>::quiet_NaN(),
          std::numeric_limits<double>::infinity()}) {
        EXPECT_FALSE(decode_time_stamp(v)) << v;
    }
    EXPECT_TRUE(decode_time_stamp(0.001));
    EXPECT_TRUE(decode_time_stamp(1768474800.123));
}

// Every local date-time away from a daylight-saving change comes back exactly, in the
// native runtime's zones and in whatever zone the Windows runtime has.
TEST(StateTimeTest, LocalDateTimesRoundTripToTheMillisecond) {
    ScopedZone zone;
    std::vector<const char*> zones{nullptr};
    if (zone.set(berlin)) zones = {berlin, santiago};
    for (const char* rule : zones) {
        if (rule) zone.set(rule);
        // Every month of two years, at odd hours and milliseconds.
        for (int i = 0; i < 24 * 31; ++i) {
            LocalTime t = make_local(2026, 1, 1) + std::chrono::hours(23 * i) +
                          std::chrono::milliseconds((i * 997) % 60000);
            double v = encode_time_stamp(t);
            ASSERT_EQ(decode_time_stamp(v), t) << (rule ? rule : "system") << " " << v;
        }
        // Far ahead the quotient of a division by 1000 can fall just short of the
        // millisecond that truncation has to find again.
        for (int64_t ms = 2147483648000; ms < 4102444800000; ms += 987654321) {
            std::optional<LocalTime> t = unix_ms_to_local(ms);
            ASSERT_TRUE(t);
            double v = encode_time_stamp(*t);
            ASSERT_EQ(stored_ms(v), ms) << v;
            ASSERT_EQ(decode_time_stamp(v), t);
        }
    }
}

TEST(StateTimeTest, NowAgreesWithTheClock) {
    using namespace std::chrono;
    double unix_now =
        duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count() / 1000.0;
    EXPECT_NEAR(local_to_unix_seconds(local_now()), unix_now, 5.0);
    // Before the epoch too.
    std::optional<LocalTime> early = unix_ms_to_local(-86400001);
    ASSERT_TRUE(early);
    EXPECT_EQ(local_to_unix_seconds(*early), -86400.001);
}

TEST(StateRecordTest, EngineFieldsInTheirPlaces) {
    ScopedZone zone;
    if (!zone.set(berlin)) GTEST_SKIP() << "the zone is the system's here";
    EngineState s;
    EXPECT_EQ(run_record(s), (RunRecord{0, 0, 0, 0, 0, 0, 0, 0}));
    s.on = true;
    s.timer_until = make_local(2026, 1, 15, 12, 0, 0, 123);
    s.programmed_start_at = make_local(2026, 7, 15, 12, 0, 0, 456);
    s.on_by_schedule = true;
    EXPECT_EQ(run_record(s), (RunRecord{1, 1768474800.123, 1784109600.456, 0, 0, 0, 1, 0}));
    s = EngineState{};
    s.programmed_stop_at = make_local(2026, 1, 15, 12, 0, 0, 123);
    s.pause_until = make_local(2026, 7, 15, 12, 0, 0, 456);
    s.timer_saved_by_pause = make_local(2026, 1, 15, 11, 0, 0, 123);
    s.on_by_schedule_saved_by_pause = true;
    EXPECT_EQ(run_record(s),
              (RunRecord{0, 0, 0, 1768474800.123, 1784109600.456, 1768471200.123, 0, 1}));
}

class StateFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("torvane-state-test-" + new_uuid_v4());
        file_ = dir_ / "state.json";
        prefs_.preventDisplaySleep = true;
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    void write(const std::string& bytes) {
        fs::create_directories(dir_);
        std::ofstream(file_, std::ios::binary) << bytes;
    }
    std::string contents() {
        std::ifstream in(file_, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // A restart at `now`: a fresh engine restored from the file.
    EngineState restart(LocalTime now) {
        EngineState s;
        effects_.clear();
        snapshot_ = restore_run_state(file_, s, prefs_, now, effects_);
        return s;
    }
    void save(const EngineState& s) {
        RunRecord snapshot{};
        save_run_state(file_, s, snapshot, true);
    }

    fs::path dir_;
    fs::path file_;
    Preferences prefs_;
    Effects effects_;
    RunRecord snapshot_{};
};

TEST_F(StateFileTest, ObjectIsWrittenSortedPrettyAndWithoutTrailingNewline) {
    set_state_key(file_, "updatedTo", json{{"notes", ""}});
    set_state_key(file_, "state.v1",
                  json{1.0, 1733412345.678, 0.0, 2.5, std::nan(""), -3.0, 1e-7, 0});
    set_state_key(file_, "\xC3\xA9t\xC3\xA9", 1);  // a non-ASCII key sorts after ASCII
    set_state_key(file_, "Zulu", json::array());
    set_state_key(file_, "onboarded", true);
    EXPECT_EQ(contents(),
              "{\n"
              "  \"Zulu\": [],\n"
              "  \"onboarded\": true,\n"
              "  \"state.v1\": [\n"
              "    1.0,\n"
              "    1733412345.678,\n"
              "    0.0,\n"
              "    2.5,\n"
              "    null,\n"
              "    -3.0,\n"
              "    1e-07,\n"
              "    0\n"
              "  ],\n"
              "  \"updatedTo\": {\n"
              "    \"notes\": \"\"\n"
              "  },\n"
              "  \"\xC3\xA9t\xC3\xA9\": 1\n"
              "}");
    EXPECT_FALSE(fs::exists(dir_ / "state.json.tmp"));

    remove_state_key(file_, "updatedTo");
    remove_state_key(file_, "missing");
    json state = read_state(file_);
    EXPECT_FALSE(state.contains("updatedTo"));
    EXPECT_EQ(state.size(), 4u);
    EXPECT_EQ(state["onboarded"], true);
}

TEST_F(StateFileTest, DamagedFilesRestoreNothingAndAreReplaced) {
    const std::string good_record = R"("state.v1": [1.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0])";
    for (std::string text : {"{\"onboarded\": true, " + good_record,  // truncated
                             "{" + good_record + "} trailing",        // damaged
                             "[" + good_record.substr(11) + "]",      // not an object
                             std::string("\"text\""), std::string(), std::string("\xFF\xFE{}")}) {
        write(text);
        EXPECT_EQ(read_state(file_), json::object()) << text;
        EngineState s = restart(make_local(2026, 3, 10, 17));
        EXPECT_FALSE(s.on) << text;
        EXPECT_TRUE(effects_.empty());
        set_state_key(file_, "onboarded", true);
        EXPECT_EQ(contents(), "{\n  \"onboarded\": true\n}");
    }
    fs::remove(file_);
    EXPECT_EQ(read_state(file_), json::object());
}

TEST_F(StateFileTest, ByteOrderMarkIsSkippedAndForeignKeysSurvive) {
    write(
        "\xEF\xBB\xBF{\"foreign\": {\"x\": [1, \"y\"]}, \"onboarded\": true, "
        "\"state.v1\": [1, 0, 0, 0, 0, 0, 1, 0]}");
    EngineState s = restart(make_local(2026, 3, 10, 17));
    EXPECT_TRUE(s.on);
    EXPECT_TRUE(s.on_by_schedule);

    set_state_key(file_, "updatedTo", json{{"notes", "Arreglos varios"}});
    save(s);
    std::string text = contents();
    EXPECT_FALSE(text.starts_with("\xEF\xBB\xBF"));
    json state = read_state(file_);
    EXPECT_EQ(state["foreign"], (json{{"x", {1, "y"}}}));
    EXPECT_EQ(state["onboarded"], true);
    EXPECT_EQ(state["updatedTo"]["notes"], "Arreglos varios");
    EXPECT_EQ(state["state.v1"], (json{1.0, 0.0, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0}));

    // Only one mark is skipped.
    write("\xEF\xBB\xBF\xEF\xBB\xBF{\"onboarded\": true}");
    EXPECT_EQ(read_state(file_), json::object());
}

TEST_F(StateFileTest, TimerComesBackOnlyWhileItRuns) {
    EngineState before;
    before.on = true;
    before.on_by_schedule = true;
    before.timer_until = make_local(2026, 3, 10, 18);
    save(before);

    EngineState s = restart(make_local(2026, 3, 10, 17));
    EXPECT_TRUE(s.on);
    EXPECT_EQ(s.timer_until, make_local(2026, 3, 10, 18));
    EXPECT_TRUE(s.on_by_schedule);
    EXPECT_EQ(s.status_detail, "Activo");
    EXPECT_EQ(s.next_move_at, make_local(2026, 3, 10, 17, 0, 5));
    ASSERT_EQ(effects_.size(), 1u);  // switching on, without a notification
    EXPECT_EQ(effects_[0].kind, Effect::Kind::Power);
    EXPECT_TRUE(effects_[0].keep_display);
    EXPECT_EQ(snapshot_, run_record(before));

    s = restart(make_local(2026, 3, 10, 18, 30));
    EXPECT_FALSE(s.on);
    EXPECT_FALSE(s.timer_until);
    EXPECT_EQ(s.status_detail, "Apagado");
    EXPECT_TRUE(effects_.empty());
    EXPECT_EQ(snapshot_, run_record(EngineState{}));

    // Switched on without a timer: back on at any time.
    before.timer_until.reset();
    before.on_by_schedule = false;
    save(before);
    s = restart(make_local(2030, 1, 1));
    EXPECT_TRUE(s.on);
    EXPECT_FALSE(s.timer_until);
    EXPECT_FALSE(s.on_by_schedule);
}

TEST_F(StateFileTest, PauseComesBackWithTheTimerBehindIt) {
    EngineState before;
    before.pause_until = make_local(2026, 3, 10, 12);
    before.timer_saved_by_pause = make_local(2026, 3, 10, 14);
    before.on_by_schedule_saved_by_pause = true;
    before.programmed_start_at = make_local(2026, 3, 11, 9);
    before.programmed_stop_at = make_local(2026, 3, 11, 18);
    save(before);

    EngineState s = restart(make_local(2026, 3, 10, 11));
    EXPECT_FALSE(s.on);
    EXPECT_EQ(s.pause_until, make_local(2026, 3, 10, 12));
    EXPECT_EQ(s.timer_saved_by_pause, make_local(2026, 3, 10, 14));
    EXPECT_TRUE(s.on_by_schedule_saved_by_pause);
    EXPECT_EQ(s.programmed_start_at, make_local(2026, 3, 11, 9));
    EXPECT_EQ(s.programmed_stop_at, make_local(2026, 3, 11, 18));
    EXPECT_EQ(s.status_detail, "En pausa");
    EXPECT_TRUE(effects_.empty());
    EXPECT_EQ(snapshot_, run_record(before));

    // Pause over: nothing resumes, but the programmed switch-on still lies ahead.
    s = restart(make_local(2026, 3, 10, 12, 30));
    EXPECT_FALSE(s.on);
    EXPECT_FALSE(s.pause_until);
    EXPECT_FALSE(s.timer_saved_by_pause);
    EXPECT_FALSE(s.on_by_schedule_saved_by_pause);
    EXPECT_EQ(s.programmed_start_at, make_local(2026, 3, 11, 9));
    EXPECT_TRUE(effects_.empty());

    // A passed programmed switch-on is dropped.
    s = restart(make_local(2026, 3, 11, 10));
    EXPECT_FALSE(s.programmed_start_at);
    EXPECT_FALSE(s.programmed_stop_at);
}

TEST_F(StateFileTest, RecordNeedsEightNumbersAndTheRestorePreference) {
    auto restores = [&](const std::string& record) {
        write("{\"state.v1\": " + record + "}");
        return restart(make_local(2026, 3, 10, 17)).on;
    };
    EXPECT_TRUE(restores("[1, 0, 0, 0, 0, 0, 0, 0]"));
    EXPECT_TRUE(restores("[1.0, 0, 0, 0, 0, 0, 0, 0, \"more\", null]"));
    EXPECT_FALSE(restores("[1, 0, 0, 0, 0, 0, 0]"));
    EXPECT_FALSE(restores("[1, 0, 0, 0, 0, 0, 0, null]"));
    EXPECT_FALSE(restores("[1, 0, 0, 0, 0, 0, \"0\", 0]"));
    EXPECT_FALSE(restores("[1, 0, 0, 0, 0, 0, false, 0]"));
    EXPECT_FALSE(restores("{\"0\": 1}"));
    EXPECT_FALSE(restores("[0.5, 0, 0, 0, 0, 0, 0, 0]"));
    // A timer of 4e11 or beyond is absent, so it does not hold the system off.
    EXPECT_TRUE(restores("[1, 4e11, 0, 0, 0, 0, 0, 0]"));

    prefs_.restoreState = false;
    EXPECT_FALSE(restores("[1, 0, 0, 0, 0, 0, 0, 0]"));
    EXPECT_TRUE(effects_.empty());
    EXPECT_EQ(snapshot_, run_record(EngineState{}));
}

TEST_F(StateFileTest, UnchangedRunStateIsNotWrittenUnlessForced) {
    EngineState s;
    s.on = true;
    RunRecord snapshot{};
    save_run_state(file_, s, snapshot, false);
    EXPECT_EQ(snapshot, run_record(s));
    ASSERT_TRUE(fs::exists(file_));

    fs::remove(file_);
    save_run_state(file_, s, snapshot, false);
    EXPECT_FALSE(fs::exists(file_));
    save_run_state(file_, s, snapshot, true);
    EXPECT_EQ(read_state(file_)["state.v1"][0], 1.0);

    s.pause_until = make_local(2026, 3, 10, 12);
    save_run_state(file_, s, snapshot, false);
    EXPECT_EQ(read_state(file_)["state.v1"][4], encode_time_stamp(s.pause_until));
}

TEST_F(StateFileTest, UnwritableFolderIsDroppedSilently) {
    write("{}");
    fs::path blocked = file_ / "state.json";  // its folder is a file
    EngineState s;
    s.on = true;
    RunRecord snapshot{};
    save_run_state(blocked, s, snapshot, false);
    EXPECT_EQ(snapshot, run_record(s));  // not retried until the next change
    set_state_key(blocked, "onboarded", true);
    remove_state_key(blocked, "onboarded");
    EXPECT_EQ(read_state(blocked), json::object());
    EXPECT_EQ(contents(), "{}");
}

}  // namespace
}  // namespace torvane
