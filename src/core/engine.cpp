#include "core/engine.h"

#include <algorithm>
#include <chrono>

#include "core/app_lists.h"
#include "core/rng.h"
#include "core/schedule.h"
#include "core/status_text.h"

namespace torvane {
namespace {

using std::chrono::milliseconds;

constexpr double first_nudge_max_delay = 5.0;
constexpr double cache_seconds = 5.0;  // lock notification and removable-disk answer
constexpr milliseconds own_nudge_before{500};
constexpr milliseconds own_nudge_after{1500};

// A time stamp counts as recent when it lies in [now - 5 s, now]; one from the future
// (the clock was set back) does not, so a stale answer cannot stick for hours.
bool recent(std::optional<LocalTime> at, LocalTime now) {
    if (!at) return false;
    double age = seconds_between(*at, now);
    return age >= 0 && age < cache_seconds;
}

Effect power(bool keep_display) {
    return Effect{Effect::Kind::Power, keep_display, {}, {}};
}

Effect notify(std::string_view title, std::string_view body) {
    return Effect{Effect::Kind::Notify, false, std::string(title), std::string(body)};
}

void nudge(EngineState& s, const Preferences& p, LocalTime now, Effects& effects) {
    effects.push_back(Effect{Effect::Kind::Jiggle, false, {}, {}});
    s.last_move_at = now;
    ++s.move_count;
    double delay = p.interval;
    if (p.randomize) delay *= 0.8 + 0.4 * next_unit(s.rng_state);
    s.next_move_at = add_seconds(now, delay);
    s.status_detail.assign(text::just_moved);
}

void start_programmed(EngineState& s, const Preferences& p, LocalTime now, Effects& effects) {
    if (!s.programmed_start_at || *s.programmed_start_at > now) return;
    std::optional<LocalTime> stop = s.programmed_stop_at;
    s.programmed_start_at.reset();
    s.programmed_stop_at.reset();
    if (stop && *stop <= now) return;  // the whole window passed unseen
    s.pause_until.reset();
    s.timer_saved_by_pause.reset();
    if (stop) {
        set_on(s, p, now, true, text::programmed_on_until(*stop, date_of(now)), effects);
    } else {
        set_on(s, p, now, true, text::programmed_on, effects);
    }
    s.on_by_schedule = false;
    s.timer_until = stop;
}

void end_pause(EngineState& s, const Preferences& p, LocalTime now, Effects& effects) {
    if (!s.pause_until || *s.pause_until > now) return;
    s.pause_until.reset();
    std::optional<LocalTime> saved = s.timer_saved_by_pause;
    s.timer_saved_by_pause.reset();
    if (saved && *saved <= now) return;  // the timer ran out during the pause
    set_on(s, p, now, true, text::pause_ended, effects);
    s.timer_until = saved;
    s.on_by_schedule = s.on_by_schedule_saved_by_pause;
}

// True when the application is to quit.
bool end_timer(EngineState& s, const Preferences& p, LocalTime now, Effects& effects) {
    if (!s.timer_until || *s.timer_until > now) return false;
    s.timer_until.reset();
    set_on(s, p, now, false, text::timer_ended, effects);
    if (!p.quitWhenTimerEnds) return false;
    effects.push_back(Effect{Effect::Kind::Quit, false, {}, {}});
    return true;
}

void follow_schedules(EngineState& s, const Preferences& p, LocalTime now, Effects& effects) {
    const Schedule* active = nullptr;
    std::size_t index = 0;
    if (p.schedulesEnabled) {
        for (; index < p.schedules.size(); ++index) {
            if (active_until(p.schedules[index], now)) {
                active = &p.schedules[index];
                break;
            }
        }
    }
    bool changed = active ? s.active_schedule_id != active->id : s.active_schedule_id.has_value();
    if (changed) {
        if (!active) {
            if (s.on_by_schedule && s.on) set_on(s, p, now, false, text::schedule_ended, effects);
            // The schedule that switched on before a pause ended during it, so without the
            // pause the system would switch off now. Saving now as the timer makes the end of
            // the pause leave it off, as for a timer that ran out, and the run state keeps
            // that across a restart.
            if (s.pause_until && s.on_by_schedule_saved_by_pause) {
                if (!s.timer_saved_by_pause || *s.timer_saved_by_pause > now)
                    s.timer_saved_by_pause = now;
                s.on_by_schedule_saved_by_pause = false;
            }
            s.active_schedule_id.reset();
        } else {
            if (!s.on && !s.pause_until) {
                set_on(s, p, now, true, text::schedule_started(active->name), effects);
                s.on_by_schedule = true;
            }
            s.active_schedule_id = active->id;
        }
    }
    s.has_active_schedule = active != nullptr;
    s.active_schedule_index = active ? index : 0;
}

// Inputs right around the engine's own nudge are the nudge itself, not the user.
void track_idle(EngineState& s, ProbeSet& probes, LocalTime now) {
    double idle = probes.idle_seconds_now();
    if (!(idle > 0)) idle = 0;
    LocalTime input_at = add_seconds(now, -idle);
    bool own = s.last_move_at && input_at >= *s.last_move_at - own_nudge_before &&
               input_at <= *s.last_move_at + own_nudge_after;
    if (!own && input_at > s.last_user_input_at) s.last_user_input_at = input_at;
    s.idle_seconds = seconds_between(s.last_user_input_at, now);
}

void sample_cpu(EngineState& s, ProbeSet& probes) {
    std::optional<double> sample = probes.cpu_sample();
    if (!sample) return;
    s.cpu_average = 0.25 * *sample + 0.75 * (s.cpu_sampled ? s.cpu_average : *sample);
    s.cpu_sampled = true;
}

bool disk_connected(EngineState& s, ProbeSet& probes, LocalTime now) {
    if (recent(s.last_disk_check, now)) return s.disk_answer_cached;
    s.disk_answer_cached = probes.writable_removable_disk();
    s.last_disk_check = now;
    return s.disk_answer_cached;
}

// Alternatives in a fixed order; the first that holds ends the search.
bool any_condition_holds(EngineState& s, const Preferences& p, ProbeSet& probes, LocalTime now) {
    double load_percent = s.cpu_sampled ? s.cpu_average * 100 : 0;
    if (p.reqCPU && load_percent >= p.cpuThreshold) return true;
    if (p.reqRemovableDisk && disk_connected(s, probes, now)) return true;
    if (p.reqAudio && probes.audio_playing()) return true;
    return p.reqApps && probes.any_app_running(p.reqAppsList).has_value();
}

bool locked(const EngineState& s, ProbeSet& probes, LocalTime now) {
    return (s.session_locked && recent(s.lock_event_at, now)) || probes.workstation_locked();
}

// Writes the reason into `out` only when there is one, so that the tick can let it
// overwrite the status text in place.
bool find_block_reason(EngineState& s, const Preferences& p, ProbeSet& probes, LocalTime now,
                       std::string& out) {
    if (p.neverLocked && locked(s, probes, now)) {
        out.assign(text::blocked_locked);
        return true;
    }
    if (p.neverOnBattery || p.neverBatteryLow) {
        BatteryReading battery = probes.battery();
        if (p.neverOnBattery && battery.on_battery) {
            out.assign(text::blocked_battery);
            return true;
        }
        if (!p.neverOnBattery && p.neverBatteryLow && battery.on_battery && battery.percent &&
            p.batteryThreshold > *battery.percent) {
            out = text::blocked_battery_low(*battery.percent);
            return true;
        }
    }
    if (p.neverFrontmost) {
        if (std::optional<ForegroundApp> app = probes.foreground_app()) {
            NameList list = parse_name_list(p.neverFrontmostList);
            if (name_matches(app->display_name, list) || name_matches(app->exe_name, list)) {
                out = text::blocked_frontmost(app->display_name);
                return true;
            }
        }
    }
    if (!p.reqCPU && !p.reqRemovableDisk && !p.reqAudio && !p.reqApps) return false;
    if (any_condition_holds(s, p, probes, now)) return false;
    out.assign(text::blocked_no_condition);
    return true;
}

// On and not blocked: wait for idleness, nudge, or count down to the next nudge.
void run_unblocked(EngineState& s, const Preferences& p, LocalTime now, Effects& effects) {
    s.blocked = false;
    if (p.policy == MovePolicy::whenIdle && p.interval > s.idle_seconds) {
        s.status_detail.assign(text::waiting_idle_prefix);
        append_human_duration(s.status_detail, p.interval - s.idle_seconds);
        return;
    }
    if (now >= s.next_move_at) {
        nudge(s, p, now, effects);
        return;
    }
    bool moved_last = s.last_move_at && *s.last_move_at > s.last_user_input_at;
    s.status_detail.assign(moved_last ? text::working : text::active);
    s.status_detail.append(text::next_in_infix);
    append_human_duration(s.status_detail, seconds_between(now, s.next_move_at));
}

Effects finish(EngineState& s, Effects effects) {
    refresh_label(s);
    return effects;
}

Effects activate_with_deadline(EngineState& s, const Preferences& p, LocalTime now,
                               LocalTime deadline) {
    Effects effects;
    s.pause_until.reset();
    s.timer_saved_by_pause.reset();
    s.programmed_start_at.reset();
    s.programmed_stop_at.reset();
    set_on(s, p, now, true, std::nullopt, effects);
    s.on_by_schedule = false;
    s.timer_until = deadline;
    return finish(s, std::move(effects));
}

}  // namespace

EngineState initial_engine_state(LocalTime now, double idle_seconds, uint64_t seed) {
    EngineState s;
    if (!(idle_seconds > 0)) idle_seconds = 0;
    s.idle_seconds = idle_seconds;
    s.last_tick = now;
    s.next_move_at = now;
    s.last_user_input_at = add_seconds(now, -idle_seconds);
    if (seed != 0) s.rng_state = seed;
    return s;
}

void set_on(EngineState& s, const Preferences& p, LocalTime now, bool value,
            std::optional<std::string_view> text, Effects& effects) {
    if (s.on == value) return;
    s.on = value;
    if (value) {
        s.next_move_at = add_seconds(now, std::min(p.interval, first_nudge_max_delay));
        effects.push_back(power(p.preventDisplaySleep));
    } else {
        s.timer_until.reset();
        s.on_by_schedule = false;
        effects.push_back(power(false));
    }
    if (text && p.notifications) {
        effects.push_back(notify(value ? text::title_on : text::title_off, *text));
    }
}

void refresh_label(EngineState& s) {
    if (s.on) {
        if (!s.blocked) s.status_detail.assign(text::active);
        return;
    }
    s.blocked = false;
    if (s.pause_until) {
        s.status_detail.assign(text::paused);
    } else if (s.programmed_start_at) {
        s.status_detail.assign(text::programmed);
    } else {
        s.status_detail.assign(text::off);
    }
}

Effects tick(EngineState& s, const Preferences& p, ProbeSet& probes, LocalTime now) {
    Effects effects;
    s.last_tick = now;
    start_programmed(s, p, now, effects);
    end_pause(s, p, now, effects);
    if (!end_timer(s, p, now, effects)) {
        follow_schedules(s, p, now, effects);
        track_idle(s, probes, now);
        sample_cpu(s, probes);
        if (!s.on) {
            refresh_label(s);
        } else if (find_block_reason(s, p, probes, now, s.status_detail)) {
            s.blocked = true;
        } else {
            run_unblocked(s, p, now, effects);
        }
    }
    s.working = s.on && !s.blocked && s.last_move_at && *s.last_move_at > s.last_user_input_at;
    return effects;
}

Effects toggle(EngineState& s, const Preferences& p, LocalTime now, bool from_hotkey) {
    Effects effects;
    bool value = !s.on;
    s.pause_until.reset();
    s.timer_saved_by_pause.reset();
    if (value) {  // switching off keeps a programmed switch-on
        s.programmed_start_at.reset();
        s.programmed_stop_at.reset();
    }
    s.on_by_schedule = false;
    std::optional<std::string_view> text;
    if (from_hotkey) text = text::by_hotkey;
    set_on(s, p, now, value, text, effects);
    return finish(s, std::move(effects));
}

Effects activate_for(EngineState& s, const Preferences& p, LocalTime now, double seconds) {
    return activate_with_deadline(s, p, now, add_seconds(now, seconds));
}

Effects activate_until(EngineState& s, const Preferences& p, LocalTime now, unsigned minute) {
    return activate_with_deadline(s, p, now, next_occurrence(minute, now));
}

Effects pause_for(EngineState& s, const Preferences& p, LocalTime now, double seconds) {
    Effects effects;
    // A pause during a pause only moves its end: the first one already switched off, which
    // cleared the timer and the schedule flag it saved.
    if (!s.pause_until) {
        s.timer_saved_by_pause = s.timer_until;
        s.on_by_schedule_saved_by_pause = s.on_by_schedule;
    }
    set_on(s, p, now, false, std::nullopt, effects);
    s.pause_until = add_seconds(now, seconds);
    return finish(s, std::move(effects));
}

Effects program(EngineState& s, const Preferences&, LocalTime now, unsigned start_minute,
                std::optional<unsigned> stop_minute) {
    LocalTime start = next_occurrence(start_minute, now);
    s.pause_until.reset();
    s.programmed_start_at = start;
    s.programmed_stop_at.reset();
    if (stop_minute) s.programmed_stop_at = next_occurrence(*stop_minute, start);
    return finish(s, {});
}

Effects cancel_timers(EngineState& s, const Preferences&, LocalTime) {
    s.timer_until.reset();
    s.programmed_start_at.reset();
    s.programmed_stop_at.reset();
    s.pause_until.reset();
    s.timer_saved_by_pause.reset();
    return finish(s, {});
}

Effects session_event(EngineState& s, const Preferences&, LocalTime now, bool locked) {
    s.session_locked = locked;
    if (locked) s.lock_event_at = now;
    return finish(s, {});
}

Effects nudge_now(EngineState& s, const Preferences& p, LocalTime now) {
    Effects effects;
    nudge(s, p, now, effects);
    return effects;
}

std::optional<std::string> block_reason(EngineState& s, const Preferences& p, ProbeSet& probes,
                                        LocalTime now) {
    std::string reason;
    if (!find_block_reason(s, p, probes, now, reason)) return std::nullopt;
    return reason;
}

}  // namespace torvane
