#include "core/engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

namespace torvane {
namespace {

using std::chrono::milliseconds;

// Monday 4 March 2024.
LocalTime at(unsigned h, unsigned m = 0, unsigned s = 0, unsigned day = 4) {
    return make_local(2024, 3, day, h, m, s);
}

bool has(const Effects& effects, Effect::Kind kind) {
    return std::ranges::any_of(effects, [kind](const Effect& e) { return e.kind == kind; });
}

Effect power(bool keep) {
    return {Effect::Kind::Power, keep, {}, {}};
}
Effect note(std::string title, std::string body) {
    return {Effect::Kind::Notify, false, std::move(title), std::move(body)};
}

// The engine, off, at Monday 10:00, and the probes of a machine idle for a long time.
struct Rig : ProbeSet {
    double idle = 1000;
    std::optional<double> cpu;
    bool locked = false, disk = false, audio = false;
    BatteryReading bat;
    std::optional<ForegroundApp> front;
    std::string asked;  // the costly probes called, in order: disk, audio, programs
    Preferences p;
    LocalTime now = at(10);
    EngineState s = initial_engine_state(now, 1000, 1);

    double idle_seconds_now() override { return idle; }
    std::optional<double> cpu_sample() override { return cpu; }
    bool workstation_locked() override { return locked; }
    BatteryReading battery() override { return bat; }
    std::optional<ForegroundApp> foreground_app() override { return front; }
    bool writable_removable_disk() override { return asked += 'd', disk; }
    bool audio_playing() override { return asked += 'a', audio; }
    std::optional<std::string> any_app_running(std::string_view) override {
        return asked += 'p', std::nullopt;
    }

    Effects tick_at(LocalTime t) { return tick(s, p, *this, now = t); }
    Effects tick_in(double seconds) { return tick_at(add_seconds(now, seconds)); }
    std::string reason() { return block_reason(s, p, *this, now).value_or(""); }
};

TEST(Engine, SwitchingOnNudgesWithinFiveSecondsThenEveryInterval) {
    for (double interval : {120.0, 3.0}) {
        SCOPED_TRACE(interval);
        Rig r;
        r.p.policy = MovePolicy::always;
        r.p.randomize = false;
        r.p.interval = interval;
        EXPECT_EQ(toggle(r.s, r.p, r.now, true),
                  (Effects{power(true), note("Torvane activado", "Con el atajo de teclado")}));
        EXPECT_FALSE(has(r.tick_in(std::min(interval, 5.0) - 1), Effect::Kind::Jiggle));
        EXPECT_TRUE(has(r.tick_in(1), Effect::Kind::Jiggle));
        r.idle = interval - 2.5;  // input 1.5 s after the nudge: the nudge itself
        r.tick_in(interval - 1);
        EXPECT_EQ(r.s.status_detail, "Trabajando · próximo en 1 s");
        r.idle = 0;  // the user moves: the count-down goes on, now labelled Activo
        EXPECT_FALSE(has(r.tick_in(0.5), Effect::Kind::Jiggle));
        EXPECT_EQ(r.s.status_detail, "Activo · próximo en 1 s");
        EXPECT_TRUE(has(r.tick_in(0.5), Effect::Kind::Jiggle));
    }
}

TEST(Engine, WhenIdleWaitsForTheUserToBeIdleForTheInterval) {
    Rig r;
    r.p.policy = MovePolicy::whenIdle;
    r.idle = 10;
    toggle(r.s, r.p, r.now, false);
    EXPECT_FALSE(has(r.tick_in(200), Effect::Kind::Jiggle));
    EXPECT_EQ(r.s.status_detail, "Esperando inactividad · 1 min 50 s");
    r.idle = 120;
    EXPECT_TRUE(has(r.tick_in(110), Effect::Kind::Jiggle));
    EXPECT_EQ(r.s.next_move_at - r.now, milliseconds(109480));  // 0.912 × 120 s: ±20% at random
}

TEST(Engine, BlockRulesApplyInOrderAndConditionsStopAtTheFirstThatHolds) {
    Rig r;
    r.tick_in(1);  // sampled while off too: no sample, then the first, which counts whole
    r.cpu = 1.0;
    r.tick_in(1);
    r.cpu = 0.0;
    r.p.neverOnBattery = r.p.neverFrontmost = true;
    r.p.neverFrontmostList = "zoom, teams";
    r.bat = {true, 15};
    r.front = ForegroundApp{"Microsoft Teams", "ms-teams"};
    toggle(r.s, r.p, r.now, false);
    session_event(r.s, r.p, r.now, true);  // blocks for 5 s, before the desktop probe notices
    EXPECT_FALSE(has(r.tick_at(r.now + milliseconds(4999)), Effect::Kind::Jiggle));
    EXPECT_EQ(r.s.status_detail, "Pausado: pantalla bloqueada");
    r.now += milliseconds(1);
    EXPECT_EQ(r.reason(), "Pausado: usando batería");
    r.p.neverOnBattery = false;
    EXPECT_EQ(r.reason(), "Pausado: batería baja (15%)");
    r.bat = {false, 15};
    EXPECT_EQ(r.reason(), "Pausado: Microsoft Teams está al frente");
    r.bat = {true, 20};
    EXPECT_EQ(r.reason(), "Pausado: Microsoft Teams está al frente");
    r.front = ForegroundApp{"Reunión", "Zoom"};  // matched by the executable name
    EXPECT_EQ(r.reason(), "Pausado: Reunión está al frente");
    r.front = ForegroundApp{"Notas", "notepad"};

    r.p.reqCPU = r.p.reqRemovableDisk = r.p.reqAudio = r.p.reqApps = true;
    r.p.cpuThreshold = 75;  // the load averages 0.75 · 100% + 0.25 · 0%
    EXPECT_EQ(r.reason(), "");
    EXPECT_EQ(r.asked, "");
    r.p.cpuThreshold = 76;
    r.disk = true;
    EXPECT_EQ(r.reason(), "");
    r.disk = false;
    r.now += milliseconds(4999);  // the disk's answer is kept for 5 s
    EXPECT_EQ(r.reason(), "");
    r.now += milliseconds(1);
    EXPECT_EQ(r.reason(), "Pausado: no se cumple ninguna condición");
    EXPECT_EQ(r.asked, "ddap");
    r.disk = true;  // a clock set back, as when summer time ends, does not keep the answer
    r.now -= std::chrono::hours(1);
    EXPECT_EQ(r.reason(), "");
}

TEST(Engine, TimersPausesAndProgrammedSwitchOn) {
    Rig r;
    EXPECT_EQ(activate_for(r.s, r.p, r.now, 3600), Effects{power(true)});
    EXPECT_TRUE(activate_for(r.s, r.p, r.now, 600).empty());  // only moves the deadline
    EXPECT_EQ(pause_for(r.s, r.p, r.now, 300), Effects{power(false)});
    EXPECT_EQ(r.tick_in(300), (Effects{power(true), note("Torvane activado", "Terminó la pausa")}));
    EXPECT_EQ(r.tick_at(at(10, 10)),
              (Effects{power(false), note("Torvane desactivado", "Terminó el temporizador")}));

    toggle(r.s, r.p, r.now, false);
    program(r.s, r.p, r.now, 22 * 60, 6 * 60);
    toggle(r.s, r.p, r.now, false);  // switching off keeps the program
    EXPECT_EQ(r.tick_at(at(22)),
              (Effects{power(true),
                       note("Torvane activado", "Encendido programado hasta las mar 06:00")}));
    EXPECT_EQ(r.tick_at(at(6, 0, 0, 5)).at(0), power(false));
    program(r.s, r.p, at(8, 0, 0, 7), 9 * 60, 9 * 60 + 30);
    EXPECT_TRUE(r.tick_at(at(10, 0, 0, 7)).empty());  // the window passed while asleep

    activate_until(r.s, r.p, r.now, 9 * 60);
    EXPECT_EQ(r.s.timer_until, at(9, 0, 0, 8));
    r.p.quitWhenTimerEnds = true;
    r.p.notifications = false;
    EXPECT_EQ(r.tick_at(at(9, 0, 0, 8)),
              (Effects{power(false), {Effect::Kind::Quit, false, {}, {}}}));
}

// The system comes back from a pause with what the first pause saved: pausing again only
// moves the end. A timer that ends with the pause, or before it, keeps the system off.
TEST(Engine, PausesKeepTheTimerBehindThem) {
    Rig r;
    const Effects pause_ended{power(true), note("Torvane activado", "Terminó la pausa")};
    activate_for(r.s, r.p, r.now, 3600);
    pause_for(r.s, r.p, r.now, 300);
    r.tick_in(60);
    EXPECT_TRUE(pause_for(r.s, r.p, r.now, 900).empty());
    EXPECT_TRUE(r.tick_at(at(10, 15, 59)).empty());
    EXPECT_EQ(r.tick_at(at(10, 16)), pause_ended);
    EXPECT_EQ(r.tick_at(at(11)),
              (Effects{power(false), note("Torvane desactivado", "Terminó el temporizador")}));

    activate_for(r.s, r.p, r.now, 600);
    pause_for(r.s, r.p, r.now, 600);  // ends with the timer
    EXPECT_TRUE(r.tick_in(600).empty());
    EXPECT_EQ(r.s.status_detail, "Apagado");
    activate_for(r.s, r.p, r.now, 601);
    pause_for(r.s, r.p, r.now, 600);  // the timer has a second left
    EXPECT_EQ(r.tick_in(600), pause_ended);
    EXPECT_EQ(r.s.timer_until, add_seconds(r.now, 1));
}

TEST(Engine, SchedulesSwitchOnAndOff) {
    Rig r;
    r.p.schedulesEnabled = true;
    r.p.schedules = {{"a", true, "Mañana", DaySet{2}, 9 * 60, 12 * 60},
                     {"b", true, "Tarde", DaySet{2}, 10 * 60, 14 * 60}};
    EXPECT_EQ(r.tick_at(at(9)),
              (Effects{power(true), note("Torvane activado", "Empezó \"Mañana\"")}));
    toggle(r.s, r.p, r.now, false);
    EXPECT_TRUE(r.tick_at(at(11)).empty());  // off by hand inside "Mañana", which is listed first
    EXPECT_EQ(r.tick_at(at(12)).at(1).body, "Empezó \"Tarde\"");
    EXPECT_EQ(r.tick_at(at(14)),
              (Effects{power(false), note("Torvane desactivado", "Terminó el horario")}));

    // A schedule does not switch off what the user switched on.
    toggle(r.s, r.p, r.now, false);
    r.tick_at(at(13, 0, 0, 11));
    EXPECT_FALSE(has(r.tick_at(at(14, 0, 0, 11)), Effect::Kind::Power));
}

// A schedule starting during a pause leaves the pause be. One ending during a pause after it
// had switched the system on leaves the system off when the pause ends, as its end would
// have; when an overlapping schedule takes over, or the user had switched on, it comes back.
TEST(Engine, SchedulesMeetPauses) {
    Rig r;
    r.p.schedulesEnabled = true;
    r.p.schedules = {{"a", true, "Mañana", DaySet{2}, 9 * 60, 12 * 60},
                     {"b", true, "Tarde", DaySet{2}, 11 * 60, 14 * 60},
                     {"c", true, "Noche", DaySet{2}, 17 * 60, 18 * 60}};
    const Effects pause_ended{power(true), note("Torvane activado", "Terminó la pausa")};
    const Effects schedule_ended{power(false), note("Torvane desactivado", "Terminó el horario")};

    r.tick_at(at(9));
    pause_for(r.s, r.p, r.now, 300);
    r.tick_in(60);
    pause_for(r.s, r.p, r.now, 900);  // still remembers that "Mañana" switched on
    EXPECT_EQ(r.tick_at(at(9, 16)), pause_ended);
    pause_for(r.s, r.p, at(11, 55), 600);
    EXPECT_TRUE(r.tick_at(at(12)).empty());  // "Tarde" takes over from "Mañana"
    EXPECT_EQ(r.tick_at(at(12, 5)), pause_ended);
    EXPECT_EQ(r.tick_at(at(14)), schedule_ended);

    toggle(r.s, r.p, at(16, 50), false);
    pause_for(r.s, r.p, at(16, 55), 600);
    EXPECT_TRUE(r.tick_at(at(17)).empty());
    EXPECT_EQ(r.s.status_detail, "En pausa");
    EXPECT_EQ(r.tick_at(at(17, 5)), pause_ended);
    pause_for(r.s, r.p, at(17, 55), 600);  // on by hand: the end of "Noche" does not count
    EXPECT_TRUE(r.tick_at(at(18)).empty());
    EXPECT_EQ(r.tick_at(at(18, 5)), pause_ended);
    toggle(r.s, r.p, r.now, false);

    r.tick_at(at(17, 0, 0, 11));
    EXPECT_TRUE(r.s.on);
    pause_for(r.s, r.p, at(17, 50, 0, 11), 3600);
    EXPECT_TRUE(r.tick_at(at(18, 0, 0, 11)).empty());
    // A restart during the pause brings back only what the run state holds.
    Rig restarted;
    restarted.p = r.p;
    restarted.s.pause_until = r.s.pause_until;
    restarted.s.timer_saved_by_pause = r.s.timer_saved_by_pause;
    restarted.s.on_by_schedule_saved_by_pause = r.s.on_by_schedule_saved_by_pause;
    for (Rig* rig : {&r, &restarted}) {
        EXPECT_TRUE(rig->tick_at(at(18, 50, 0, 11)).empty());
        EXPECT_EQ(rig->s.status_detail, "Apagado");
    }
}

}  // namespace
}  // namespace torvane
