#pragma once
// state.json: things kept between runs that are not settings. The engine's run state
// ("state.v1"), the first-run mark ("onboarded"), the updater's hand-over ("updatedTo") and
// the build that could not start after an update ("refusedBuild").
// Every writer reads the file, changes one key and writes the whole object back under one
// process-wide lock; keys it does not know are carried along.

#include <array>
#include <cstdint>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "core/engine.h"
#include "core/prefs.h"
#include "core/result.h"
#include "core/time.h"

namespace torvane {

// "state.v1": on, timer_until, programmed_start_at, programmed_stop_at, pause_until,
// timer_saved_by_pause, on_by_schedule, on_by_schedule_saved_by_pause.
using RunRecord = std::array<double, 8>;

// Unix seconds with millisecond precision; 0.0 when absent.
double encode_time_stamp(std::optional<LocalTime> t);
// 0 < v < 4e11 is an instant; anything else (0, negative, huge, NaN) is absent.
std::optional<LocalTime> decode_time_stamp(double v);

RunRecord run_record(const EngineState& s);

// The engine fields the record is computed from.
struct RunFields {
    bool on = false;
    std::optional<LocalTime> timer_until;
    std::optional<LocalTime> programmed_start_at;
    std::optional<LocalTime> programmed_stop_at;
    std::optional<LocalTime> pause_until;
    std::optional<LocalTime> timer_saved_by_pause;
    bool on_by_schedule = false;
    bool on_by_schedule_saved_by_pause = false;
    bool operator==(const RunFields&) const = default;
};
RunFields run_fields(const EngineState& s);

// The run state last written or restored: the record, and the fields it came from, so that the
// check every second recognises an unchanged state without converting its times through the
// time zone (costly on some systems).
struct RunSnapshot {
    RunRecord record{};
    RunFields fields;
};
// Bit for bit, so that a record holding NaN does not count as changed on every tick.
bool same_record(const RunRecord& a, const RunRecord& b);

// The object as written: keys in byte order, two-space indentation, no trailing newline.
std::string serialize_state(const nlohmann::json& object);
// One leading byte-order mark is skipped. Text that does not parse as an object gives an
// empty object. A member nested more than 64 levels deep is left out.
nlohmann::json parse_state(std::string_view text);

// The whole object; a missing or damaged file gives an empty one.
nlohmann::json read_state(const std::filesystem::path& file);
// A write that fails leaves the old file as it was, and gives the failed call.
Status set_state_key(const std::filesystem::path& file, std::string_view key, nlohmann::json value);
Status remove_state_key(const std::filesystem::path& file, std::string_view key);

// "refusedBuild": a build that could not start after its installation, never installed
// automatically again. Absent from older files, and when the value is not a whole number.
std::optional<std::int64_t> refused_build(const nlohmann::json& state);

// Writes "state.v1" when the record differs from `snapshot` (or always when forced) and
// makes it the new snapshot, whether the write succeeds or not: a failed write is not retried
// until the state changes again.
Status save_run_state(const std::filesystem::path& file, const EngineState& s,
                      RunSnapshot& snapshot, bool force);

// Brings back the on/off state and the deadlines that have not yet passed, when
// `restoreState` allows it and "state.v1" holds eight numbers. The effects of switching on
// are appended for the caller to execute. Returns the snapshot for the next save.
RunSnapshot restore_run_state(const std::filesystem::path& file, EngineState& s,
                              const Preferences& p, LocalTime now, Effects& effects);

}  // namespace torvane
