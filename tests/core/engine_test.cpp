#include "core/engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <ostream>

namespace torvane {

void PrintTo(const Effect& e, std::ostream* os) {
    static constexpr const char* kinds[] = {"Jiggle", "Power", "Notify", "Quit"};
    *os << kinds[static_cast<int>(e.kind)];
    if (e.kind == Effect::Kind::Power) *os << '(' << e.keep_display << ')';
    if (e.kind == Effect::Kind::Notify) *os << "(\"" << e.title << "\", \"" << e.body << "\")";
}

namespace {

using std::chrono::milliseconds;

struct FakeProbes : ProbeSet {
    double idle = 0;
    std::optional<double> cpu;
    bool locked = false;
    BatteryReading bat;
    std::optional<ForegroundApp> front;
    bool disk = false;
    bool audio = false;
    std::optional<std::string> app;
    int cpu_calls = 0, disk_calls = 0, audio_calls = 0, app_calls = 0;

    double idle_seconds_now() override { return idle; }
    std::optional<double> cpu_sample() override { return ++cpu_calls, cpu; }
    bool workstation_locked() override { return locked; }
    BatteryReading battery() override { return bat; }
    std::optional<ForegroundApp> foreground_app() override { return front; }
    bool writable_removable_disk() override { return ++disk_calls, disk; }
    bool audio_playing() override { return ++audio_calls, audio; }
    std::optional<std::string> any_app_running(std::string_view) override {
        return ++app_calls, app;
    }
};

// Monday 4 March 2024.
LocalTime at(unsigned h, unsigned m = 0, unsigned s = 0, unsigned day = 4) {
    return make_local(2024, 3, day, h, m, s);
}

bool has(const Effects& effects, Effect::Kind kind) {
    return std::any_of(effects.begin(), effects.end(),
                       [kind](const Effect& e) { return e.kind == kind; });
}

Effect power(bool keep) {
    return {Effect::Kind::Power, keep, {}, {}};
}
Effect note(std::string title, std::string body) {
    return {Effect::Kind::Notify, false, std::move(title), std::move(body)};
}

// A machine idle for a long time, the clock at Monday 10:00, the engine off.
struct Rig {
    Preferences p;
    FakeProbes probes;
    LocalTime now = at(10);
    EngineState s = initial_engine_state(now, 1000, 1);

    Rig() {
        p.policy = MovePolicy::always;
        p.randomize = false;
        probes.idle = 1000;
    }
    Effects tick_at(LocalTime t) {
        now = t;
        return tick(s, p, probes, now);
    }
    Effects tick_in(double seconds) { return tick_at(add_seconds(now, seconds)); }
};

TEST(Engine, SwitchingOnNudgesWithinFiveSecondsThenEveryInterval) {
    for (double interval : {120.0, 5.0, 3.0}) {
        Rig r;
        r.p.interval = interval;
        EXPECT_EQ(toggle(r.s, r.p, r.now, false), Effects{power(true)});
        EXPECT_EQ(r.s.status_detail, "Activo");
        double first = std::min(interval, 5.0);
        EXPECT_FALSE(has(r.tick_in(first - 1), Effect::Kind::Jiggle)) << interval;
        EXPECT_TRUE(has(r.tick_in(1), Effect::Kind::Jiggle)) << interval;
        EXPECT_EQ(r.s.status_detail, "Trabajando · movió recién");
    }
    Rig r;
    r.p.interval = 60;
    toggle(r.s, r.p, r.now, false);
    r.tick_in(5);
    r.tick_in(59);
    EXPECT_EQ(r.s.status_detail, "Trabajando · próximo en 1 s");
    EXPECT_TRUE(r.s.working);
    r.probes.idle = 0;  // the user moves: the count-down goes on, now labelled Activo
    EXPECT_FALSE(has(r.tick_in(0.5), Effect::Kind::Jiggle));
    EXPECT_EQ(r.s.status_detail, "Activo · próximo en 1 s");
    EXPECT_FALSE(r.s.working);
    EXPECT_TRUE(has(r.tick_in(0.5), Effect::Kind::Jiggle));
    EXPECT_EQ(r.s.move_count, 2u);
}

TEST(Engine, WhenIdleWaitsForTheUserToBeIdleForTheInterval) {
    Rig r;
    r.p.policy = MovePolicy::whenIdle;
    r.p.interval = 60;
    r.probes.idle = 0;
    toggle(r.s, r.p, r.now, false);
    for (int i = 0; i < 100; ++i)
        EXPECT_FALSE(has(r.tick_in(1), Effect::Kind::Jiggle));
    r.probes.idle = 10;
    r.tick_in(10);
    EXPECT_EQ(r.s.status_detail, "Esperando inactividad · 50 s");
    r.probes.idle = 60;
    EXPECT_TRUE(has(r.tick_in(50), Effect::Kind::Jiggle));
}

TEST(Engine, TheEnginesOwnNudgeIsNotUserInput) {
    Rig r;
    r.p.interval = 60;
    toggle(r.s, r.p, r.now, false);
    r.tick_in(5);
    LocalTime nudged = r.now;
    LocalTime user_input = r.s.last_user_input_at;
    r.probes.idle = 2;  // input 1 s after the nudge: the nudge itself
    r.tick_in(3);
    EXPECT_EQ(r.s.last_user_input_at, user_input);
    EXPECT_DOUBLE_EQ(r.s.idle_seconds, seconds_between(user_input, r.now));
    EXPECT_TRUE(r.s.working);
    r.probes.idle = 2;  // input 2 s after the nudge: the user
    r.tick_in(1);
    EXPECT_EQ(r.s.last_user_input_at, nudged + milliseconds(2000));
    EXPECT_DOUBLE_EQ(r.s.idle_seconds, 2);
    EXPECT_FALSE(r.s.working);
}

TEST(Engine, CpuLoadIsSmoothedEvenWhileOff) {
    Rig r;
    r.probes.cpu = 0.8;
    r.tick_in(1);
    EXPECT_DOUBLE_EQ(r.s.cpu_average, 0.8);
    r.probes.cpu = 0.0;
    r.tick_in(1);
    EXPECT_DOUBLE_EQ(r.s.cpu_average, 0.6);
    r.probes.cpu.reset();
    r.tick_in(1);
    EXPECT_DOUBLE_EQ(r.s.cpu_average, 0.6);
    EXPECT_EQ(r.probes.cpu_calls, 3);
}

TEST(Engine, BlockRulesApplyInOrder) {
    Rig r;
    r.p.neverOnBattery = true;
    r.p.neverFrontmost = true;
    r.p.neverFrontmostList = "zoom, teams";
    r.p.reqAudio = true;
    r.probes.locked = true;
    r.probes.bat = {true, 50};
    r.probes.front = ForegroundApp{"Microsoft Teams", "ms-teams"};
    toggle(r.s, r.p, r.now, false);
    EXPECT_FALSE(has(r.tick_in(10), Effect::Kind::Jiggle));
    EXPECT_EQ(r.s.status_detail, "Pausado: pantalla bloqueada");
    EXPECT_TRUE(r.s.blocked);
    r.probes.locked = false;
    r.tick_in(1);
    EXPECT_EQ(r.s.status_detail, "Pausado: usando batería");
    r.probes.bat = {};
    r.tick_in(1);
    EXPECT_EQ(r.s.status_detail, "Pausado: Microsoft Teams está al frente");
    r.probes.front = ForegroundApp{"Reunión", "Zoom"};  // matched by the executable name
    r.tick_in(1);
    EXPECT_EQ(r.s.status_detail, "Pausado: Reunión está al frente");
    r.probes.front = ForegroundApp{"Notas", "notepad"};
    r.tick_in(1);
    EXPECT_EQ(r.s.status_detail, "Pausado: no se cumple ninguna condición");
    r.probes.audio = true;
    EXPECT_TRUE(has(r.tick_in(1), Effect::Kind::Jiggle));
    EXPECT_FALSE(r.s.blocked);

    // A lock notification blocks for 5 s, before the desktop probe notices.
    session_event(r.s, r.p, r.now, true);
    r.tick_in(4.9);
    EXPECT_EQ(r.s.status_detail, "Pausado: pantalla bloqueada");
    r.tick_in(0.1);
    EXPECT_FALSE(r.s.blocked);
    session_event(r.s, r.p, r.now, false);
    session_event(r.s, r.p, r.now, true);
    session_event(r.s, r.p, r.now, false);
    EXPECT_FALSE(block_reason(r.s, r.p, r.probes, r.now));
    r.p.neverLocked = false;
    r.probes.locked = true;
    EXPECT_FALSE(block_reason(r.s, r.p, r.probes, r.now));
}

TEST(Engine, LowBatteryPausesOnlyOnBatteryAndBelowTheThreshold) {
    Rig r;
    auto reason = [&](bool on_battery, std::optional<int> percent) {
        r.probes.bat = {on_battery, percent};
        return block_reason(r.s, r.p, r.probes, r.now).value_or("");
    };
    EXPECT_EQ(reason(true, 15), "Pausado: batería baja (15%)");
    EXPECT_EQ(reason(true, 20), "");
    EXPECT_EQ(reason(false, 5), "");
    EXPECT_EQ(reason(true, std::nullopt), "");
    r.p.neverOnBattery = true;
    EXPECT_EQ(reason(true, 15), "Pausado: usando batería");
}

TEST(Engine, ConditionsStopAtTheFirstThatHolds) {
    Rig r;
    r.p.reqCPU = r.p.reqRemovableDisk = r.p.reqAudio = r.p.reqApps = true;
    r.p.cpuThreshold = 20;
    r.s.cpu_sampled = true;
    r.s.cpu_average = 0.2;
    EXPECT_FALSE(block_reason(r.s, r.p, r.probes, r.now));
    EXPECT_EQ(r.probes.disk_calls + r.probes.audio_calls + r.probes.app_calls, 0);

    r.s.cpu_average = 0.19;
    r.probes.disk = true;
    EXPECT_FALSE(block_reason(r.s, r.p, r.probes, r.now));
    EXPECT_EQ(r.probes.disk_calls, 1);
    EXPECT_EQ(r.probes.audio_calls + r.probes.app_calls, 0);

    r.p.reqRemovableDisk = false;
    EXPECT_EQ(block_reason(r.s, r.p, r.probes, r.now), "Pausado: no se cumple ninguna condición");
    EXPECT_EQ(r.probes.app_calls, 1);
    r.probes.app = "zoom";
    EXPECT_FALSE(block_reason(r.s, r.p, r.probes, r.now));
}

TEST(Engine, RemovableDiskAnswerIsCachedForFiveSeconds) {
    Rig r;
    r.p.reqRemovableDisk = true;
    r.probes.disk = true;
    EXPECT_FALSE(block_reason(r.s, r.p, r.probes, r.now));
    r.probes.disk = false;
    EXPECT_FALSE(block_reason(r.s, r.p, r.probes, r.now + milliseconds(4999)));
    EXPECT_EQ(r.probes.disk_calls, 1);
    EXPECT_TRUE(block_reason(r.s, r.p, r.probes, r.now + milliseconds(5000)));
    EXPECT_EQ(r.probes.disk_calls, 2);
    r.probes.disk = true;  // a clock set back does not keep a stale answer
    EXPECT_FALSE(block_reason(r.s, r.p, r.probes, r.now - std::chrono::hours(1)));
}

TEST(Engine, RandomizedIntervalVariesWithinTwentyPercent) {
    Rig r;
    r.p.interval = 100;
    r.p.randomize = true;
    nudge_now(r.s, r.p, r.now);
    EXPECT_EQ(r.s.next_move_at - r.now, milliseconds(91233));  // xorshift64* from seed 1
    double low = 1e9, high = 0;
    for (int i = 0; i < 500; ++i) {
        EXPECT_EQ(nudge_now(r.s, r.p, r.now).size(), 1u);
        double delay = seconds_between(r.now, r.s.next_move_at);
        low = std::min(low, delay);
        high = std::max(high, delay);
    }
    EXPECT_GE(low, 80);
    EXPECT_LT(high, 120);
    EXPECT_LT(low, 85);
    EXPECT_GT(high, 115);
}

TEST(Engine, NotifiesOnlyWithATextAndNotificationsOn) {
    Rig r;
    EXPECT_EQ(toggle(r.s, r.p, r.now, true),
              (Effects{power(true), note("Torvane activado", "Con el atajo de teclado")}));
    EXPECT_EQ(toggle(r.s, r.p, r.now, true),
              (Effects{power(false), note("Torvane desactivado", "Con el atajo de teclado")}));
    r.p.notifications = false;
    r.p.preventDisplaySleep = false;
    EXPECT_EQ(toggle(r.s, r.p, r.now, true), Effects{power(false)});
}

TEST(Engine, ActivationTimerSwitchesOffAndMayQuit) {
    Rig r;
    EXPECT_EQ(activate_for(r.s, r.p, r.now, 3600), Effects{power(true)});
    EXPECT_TRUE(activate_for(r.s, r.p, r.now, 60).empty());  // only moves the deadline
    EXPECT_FALSE(has(r.tick_in(59), Effect::Kind::Power));
    EXPECT_EQ(r.tick_in(1),
              (Effects{power(false), note("Torvane desactivado", "Terminó el temporizador")}));
    EXPECT_EQ(r.s.status_detail, "Apagado");

    activate_until(r.s, r.p, r.now, 18 * 60);
    EXPECT_EQ(r.s.timer_until, at(18));
    activate_until(r.s, r.p, at(19), 18 * 60);
    EXPECT_EQ(r.s.timer_until, at(18, 0, 0, 5));
    r.p.quitWhenTimerEnds = true;
    Effects end = r.tick_at(at(18, 0, 0, 5));
    ASSERT_EQ(end.size(), 3u);
    EXPECT_EQ(end[1].body, "Terminó el temporizador");
    EXPECT_EQ(end[2].kind, Effect::Kind::Quit);

    activate_for(r.s, r.p, r.now, 60);
    cancel_timers(r.s, r.p, r.now);
    EXPECT_TRUE(r.s.on);
    EXPECT_FALSE(has(r.tick_in(120), Effect::Kind::Power));
}

TEST(Engine, PauseSavesAndRestoresTheTimer) {
    Rig r;
    activate_for(r.s, r.p, r.now, 3600);
    EXPECT_EQ(pause_for(r.s, r.p, r.now, 300), Effects{power(false)});
    EXPECT_EQ(r.s.status_detail, "En pausa");
    EXPECT_EQ(r.tick_in(300), (Effects{power(true), note("Torvane activado", "Terminó la pausa")}));
    EXPECT_EQ(r.s.timer_until, at(11));

    pause_for(r.s, r.p, r.now, 7200);  // outlasts the timer
    EXPECT_TRUE(r.tick_in(7200).empty());
    EXPECT_FALSE(r.s.on);
    EXPECT_FALSE(r.s.timer_until);
    EXPECT_EQ(r.s.status_detail, "Apagado");
}

TEST(Engine, ProgrammedSwitchOnAndOff) {
    Rig r;
    r.now = at(21);
    toggle(r.s, r.p, r.now, false);
    program(r.s, r.p, r.now, 22 * 60, 6 * 60);
    toggle(r.s, r.p, r.now, false);  // switching off keeps the program
    EXPECT_EQ(r.s.status_detail, "Programado");
    EXPECT_TRUE(r.tick_at(at(21, 59, 59)).empty());
    EXPECT_EQ(r.tick_at(at(22)), (Effects{power(true), note("Torvane activado",
                                                            "Encendido programado hasta las "
                                                            "mar 06:00")}));
    EXPECT_EQ(r.s.timer_until, at(6, 0, 0, 5));
    EXPECT_TRUE(has(r.tick_at(at(6, 0, 0, 5)), Effect::Kind::Power));
    EXPECT_FALSE(r.s.on);

    program(r.s, r.p, at(8, 0, 0, 5), 9 * 60, 18 * 60);
    EXPECT_EQ(r.tick_at(at(9, 0, 0, 5)).back().body, "Encendido programado hasta las 18:00");
    EXPECT_EQ(r.s.timer_until, at(18, 0, 0, 5));

    program(r.s, r.p, at(10, 0, 0, 5), 9 * 60, std::nullopt);  // 09:00 has passed today
    EXPECT_EQ(r.s.programmed_start_at, at(9, 0, 0, 6));
    toggle(r.s, r.p, r.now, false);
    EXPECT_EQ(r.tick_at(at(9, 0, 0, 6)).back().body, "Encendido programado");
    EXPECT_FALSE(r.s.timer_until);

    toggle(r.s, r.p, r.now, false);
    program(r.s, r.p, at(8, 0, 0, 7), 9 * 60, 9 * 60 + 30);
    EXPECT_TRUE(r.tick_at(at(10, 0, 0, 7)).empty());  // the window passed while asleep
    EXPECT_FALSE(r.s.on);
    EXPECT_FALSE(r.s.programmed_start_at);
}

Schedule monday(std::string id, std::string name, unsigned start, unsigned end) {
    return {std::move(id), true, std::move(name), DaySet{2}, start, end};
}

TEST(Engine, SchedulesSwitchOnAndOff) {
    Rig r;
    r.p.schedulesEnabled = true;
    r.p.schedules = {monday("a", "Mañana", 9 * 60, 12 * 60),
                     monday("b", "Tarde", 10 * 60, 14 * 60)};
    EXPECT_TRUE(r.tick_at(at(8, 59)).empty());
    EXPECT_EQ(r.tick_at(at(9)),
              (Effects{power(true), note("Torvane activado", "Empezó \"Mañana\"")}));
    EXPECT_TRUE(r.s.on_by_schedule);
    r.tick_at(at(10, 30));
    EXPECT_EQ(r.s.active_schedule_id, "a");
    EXPECT_EQ(r.s.active_schedule_index, 0u);
    toggle(r.s, r.p, r.now, false);
    EXPECT_TRUE(r.tick_at(at(11)).empty());  // switched off by hand inside the window
    EXPECT_FALSE(r.s.on);
    EXPECT_EQ(r.tick_at(at(12)).back().body, "Empezó \"Tarde\"");
    EXPECT_EQ(r.s.active_schedule_index, 1u);

    pause_for(r.s, r.p, r.now, 60);  // the pause remembers who switched on
    r.tick_in(60);
    EXPECT_EQ(r.tick_at(at(14)),
              (Effects{power(false), note("Torvane desactivado", "Terminó el horario")}));

    r.tick_at(at(9, 0, 0, 11));
    EXPECT_TRUE(r.s.on);
    r.p.schedulesEnabled = false;
    EXPECT_EQ(r.tick_in(1).back().body, "Terminó el horario");
    EXPECT_FALSE(r.s.has_active_schedule);

    // A schedule does not switch off what the user switched on.
    r.p.schedulesEnabled = true;
    toggle(r.s, r.p, r.now, false);
    r.tick_at(at(13, 0, 0, 18));
    EXPECT_FALSE(has(r.tick_at(at(14, 0, 0, 18)), Effect::Kind::Power));
    EXPECT_TRUE(r.s.on);
}

}  // namespace
}  // namespace torvane
