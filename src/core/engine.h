#pragma once
// Decides once a second whether to keep the PC awake and whether to nudge now, and says why.
// Pure: every operation takes the time and returns the effects for the shell to carry out.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/prefs.h"
#include "core/time.h"

namespace torvane {

struct BatteryReading {
    bool on_battery = false;
    std::optional<int> percent;  // 0 … 100 when known
};

struct ForegroundApp {
    std::string display_name;
    std::string exe_name;
};

// The engine's view of the machine. The Windows side answers with real probes,
// tests with fakes.
class ProbeSet {
public:
    virtual ~ProbeSet() = default;
    virtual double idle_seconds_now() = 0;
    virtual std::optional<double> cpu_sample() = 0;
    virtual bool workstation_locked() = 0;
    virtual BatteryReading battery() = 0;
    virtual std::optional<ForegroundApp> foreground_app() = 0;
    virtual bool writable_removable_disk() = 0;
    virtual bool audio_playing() = 0;
    virtual std::optional<std::string> any_app_running(std::string_view list) = 0;
};

struct Effect {
    enum class Kind : uint8_t { Jiggle, Power, Notify, Quit };
    Kind kind = Kind::Jiggle;
    bool keep_display = false;  // Power
    std::string title;          // Notify
    std::string body;           // Notify

    bool operator==(const Effect&) const = default;
};
using Effects = std::vector<Effect>;

struct EngineState {
    bool has_active_schedule = false;
    std::size_t active_schedule_index = 0;
    bool cpu_sampled = false;
    double cpu_average = 0;
    std::string status_detail = "Apagado";
    std::optional<std::string> active_schedule_id;
    std::optional<LocalTime> last_disk_check;
    bool disk_answer_cached = false;
    double idle_seconds = 0;
    uint64_t rng_state = 0x9E3779B97F4A7C15ull;
    LocalTime last_tick{};
    LocalTime next_move_at{};
    LocalTime last_user_input_at{};
    std::optional<LocalTime> timer_until;
    std::optional<LocalTime> programmed_start_at;
    std::optional<LocalTime> programmed_stop_at;
    std::optional<LocalTime> pause_until;
    std::optional<LocalTime> last_move_at;
    uint32_t move_count = 0;
    std::optional<LocalTime> lock_event_at;
    std::optional<LocalTime> timer_saved_by_pause;
    bool on = false;
    bool blocked = false;
    bool working = false;
    bool on_by_schedule = false;
    bool session_locked = false;
    bool on_by_schedule_saved_by_pause = false;
};

// A fresh state: off, last input `idle_seconds` before now; a zero seed is replaced.
EngineState initial_engine_state(LocalTime now, double idle_seconds, uint64_t seed);

Effects tick(EngineState& s, const Preferences& p, ProbeSet& probes, LocalTime now);
Effects toggle(EngineState& s, const Preferences& p, LocalTime now, bool from_hotkey);
Effects activate_for(EngineState& s, const Preferences& p, LocalTime now, double seconds);
Effects activate_until(EngineState& s, const Preferences& p, LocalTime now, unsigned minute);
Effects pause_for(EngineState& s, const Preferences& p, LocalTime now, double seconds);
Effects program(EngineState& s, const Preferences& p, LocalTime now, unsigned start_minute,
                std::optional<unsigned> stop_minute);
Effects cancel_timers(EngineState& s, const Preferences& p, LocalTime now);
Effects session_event(EngineState& s, const Preferences& p, LocalTime now, bool locked);
Effects nudge_now(EngineState& s, const Preferences& p, LocalTime now);

// Why an active system must not nudge now, or nothing. Updates only the disk cache.
std::optional<std::string> block_reason(EngineState& s, const Preferences& p, ProbeSet& probes,
                                        LocalTime now);

// Switching on or off, with an optional notification text; used by restore too.
void set_on(EngineState& s, const Preferences& p, LocalTime now, bool value,
            std::optional<std::string_view> text, Effects& effects);
// The label refresh that ends every operation but tick and nudge_now.
void refresh_label(EngineState& s);

}  // namespace torvane
