// state.json: the run state and the one-off marks, with one lock around every
// read-modify-write.

#include "core/state.h"

#include <bit>
#include <cmath>
#include <mutex>
#include <string>
#include <vector>

#include "core/platform.h"

namespace torvane {

namespace {

using json = nlohmann::json;

constexpr std::string_view byte_order_mark = "\xEF\xBB\xBF";
constexpr std::string_view run_key = "state.v1";
constexpr double latest_time_stamp = 4e11;
// Levels of nesting a member of the file may have; the member's own value is level 1.
constexpr int carried_depth = 64;

std::mutex state_lock;

double flag(bool value) {
    return value ? 1.0 : 0.0;
}

json read_unlocked(const std::filesystem::path& file) {
    const Result<std::string> text = read_file(file);
    return text ? parse_state(text.value()) : json::object();
}

// The write procedure: read, change one key, write the whole object back.
template <class Change>
Status update_state(const std::filesystem::path& file, Change&& change) {
    std::lock_guard lock(state_lock);
    json object = read_unlocked(file);
    change(object);
    return write_file_atomic(file, serialize_state(object));
}

// The first eight elements of "state.v1" when all of them are numbers.
std::optional<RunRecord> stored_record(const json& state) {
    auto it = state.find(run_key);
    if (it == state.end() || !it->is_array() || it->size() < 8) return std::nullopt;
    RunRecord record;
    for (std::size_t i = 0; i < record.size(); ++i) {
        const json& v = (*it)[i];
        if (!v.is_number()) return std::nullopt;
        record[i] = v.get<double>();
    }
    return record;
}

std::optional<LocalTime> future_stamp(double v, LocalTime now) {
    std::optional<LocalTime> t = decode_time_stamp(v);
    if (t && *t > now) return t;
    return std::nullopt;
}

void apply_record(const RunRecord& r, EngineState& s, const Preferences& p, LocalTime now,
                  Effects& effects) {
    if (std::optional<LocalTime> start = future_stamp(r[2], now)) {
        s.programmed_start_at = start;
        s.programmed_stop_at = decode_time_stamp(r[3]);
    }
    std::optional<LocalTime> timer = decode_time_stamp(r[1]);
    if (std::optional<LocalTime> pause = future_stamp(r[4], now)) {
        s.pause_until = pause;
        s.timer_saved_by_pause = decode_time_stamp(r[5]);
        s.on_by_schedule_saved_by_pause = r[7] == 1.0;
        refresh_label(s);
    } else if (r[0] == 1.0 && (!timer || *timer > now)) {
        set_on(s, p, now, true, std::nullopt, effects);
        s.timer_until = timer;
        s.on_by_schedule = r[6] == 1.0;
        refresh_label(s);
    }
}

}  // namespace

double encode_time_stamp(std::optional<LocalTime> t) {
    if (!t) return 0.0;
    double v = local_to_unix_seconds(*t);
    if (!std::isfinite(v)) return v;
    // The reader truncates v × 1000; when the quotient came out just below the intended
    // millisecond (it can, beyond 2038), the next double up reads back correctly.
    auto ms = static_cast<int64_t>(std::llround(v * 1000.0));
    if (static_cast<int64_t>(v * 1000.0) < ms) v = std::nextafter(v, INFINITY);
    return v;
}

std::optional<LocalTime> decode_time_stamp(double v) {
    if (!(v > 0 && v < latest_time_stamp)) return std::nullopt;
    return unix_ms_to_local(static_cast<int64_t>(v * 1000.0));
}

RunRecord run_record(const EngineState& s) {
    return {flag(s.on),
            encode_time_stamp(s.timer_until),
            encode_time_stamp(s.programmed_start_at),
            encode_time_stamp(s.programmed_stop_at),
            encode_time_stamp(s.pause_until),
            encode_time_stamp(s.timer_saved_by_pause),
            flag(s.on_by_schedule),
            flag(s.on_by_schedule_saved_by_pause)};
}

RunFields run_fields(const EngineState& s) {
    return {s.on,
            s.timer_until,
            s.programmed_start_at,
            s.programmed_stop_at,
            s.pause_until,
            s.timer_saved_by_pause,
            s.on_by_schedule,
            s.on_by_schedule_saved_by_pause};
}

bool same_record(const RunRecord& a, const RunRecord& b) {
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::bit_cast<uint64_t>(a[i]) != std::bit_cast<uint64_t>(b[i])) return false;
    return true;
}

std::string serialize_state(const json& object) {
    // Keys of nlohmann::json live in a std::map, so they come out in byte order already.
    return object.dump(2, ' ', false, json::error_handler_t::replace);
}

json parse_state(std::string_view text) {
    if (text.starts_with(byte_order_mark)) text.remove_prefix(byte_order_mark.size());
    // The parser would skip a second mark of its own accord; only one belongs there.
    if (text.starts_with(byte_order_mark)) return json::object();
    // The parser keeps its own stack, but the serialiser recurses once per level: a member
    // nested deeper than carried_depth would overflow the stack on every later write. Its
    // deep part is never built, and the member is dropped whole afterwards.
    std::string member;  // the top-level key whose value is being parsed
    std::vector<std::string> too_deep;
    auto bound_depth = [&](int depth, json::parse_event_t event, json& parsed) {
        if (event == json::parse_event_t::key && depth == 1) {
            if (const std::string* key = parsed.get_ptr<const std::string*>()) member = *key;
            // A repeated key replaces the earlier value, deep or not.
            std::erase(too_deep, member);
        } else if ((event == json::parse_event_t::object_start ||
                    event == json::parse_event_t::array_start) &&
                   depth > carried_depth) {
            if (too_deep.empty() || too_deep.back() != member) too_deep.push_back(member);
            return false;
        }
        return true;
    };
    json object = json::parse(text, bound_depth, false);
    if (!object.is_object()) return json::object();
    for (const std::string& key : too_deep)
        object.erase(key);
    return object;
}

json read_state(const std::filesystem::path& file) {
    std::lock_guard lock(state_lock);
    return read_unlocked(file);
}

Status set_state_key(const std::filesystem::path& file, std::string_view key, json value) {
    return update_state(file, [&](json& object) { object[std::string(key)] = std::move(value); });
}

Status remove_state_key(const std::filesystem::path& file, std::string_view key) {
    return update_state(file, [&](json& object) { object.erase(std::string(key)); });
}

std::optional<std::int64_t> refused_build(const nlohmann::json& state) {
    const auto found = state.find("refusedBuild");
    if (found == state.end() || !found->is_number_integer()) return std::nullopt;
    return found->get<std::int64_t>();
}

Status save_run_state(const std::filesystem::path& file, const EngineState& s,
                      RunSnapshot& snapshot, bool force) {
    RunFields fields = run_fields(s);
    if (!force && fields == snapshot.fields) return success();
    snapshot.fields = fields;
    RunRecord record = run_record(s);
    if (!force && same_record(record, snapshot.record)) return success();
    snapshot.record = record;
    json numbers = json::array();
    for (double v : record)
        numbers.push_back(v);
    return set_state_key(file, run_key, std::move(numbers));
}

RunSnapshot restore_run_state(const std::filesystem::path& file, EngineState& s,
                              const Preferences& p, LocalTime now, Effects& effects) {
    if (p.restoreState) {
        if (std::optional<RunRecord> record = stored_record(read_state(file)))
            apply_record(*record, s, p, now, effects);
    }
    return {run_record(s), run_fields(s)};
}

}  // namespace torvane
