// The user's configuration and its file, prefs.json.

#include "core/prefs.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>
#include <optional>

#include "core/platform.h"
#include "core/strings.h"

namespace torvane {

namespace {

using json = nlohmann::json;
using ordered_json = nlohmann::ordered_json;

constexpr std::array<const char*, 2> policy_names{"always", "whenIdle"};
constexpr std::array<const char*, 3> mode_names{"standard", "zen", "click"};
constexpr std::string_view byte_order_mark = "\xEF\xBB\xBF";
constexpr uint32_t last_minute_of_day = 1439;
constexpr uint32_t max_custom_minutes = 5999;

// Every key in file order, with its load range. Both the reader and the writer walk this list.
template <class P, class F>
void for_each_field(P& p, F&& f) {
    f("interval", p.interval, 5.0, 86400.0);
    f("policy", p.policy);
    f("mode", p.mode);
    f("distance", p.distance, 1.0, 60.0);
    f("randomize", p.randomize);
    f("showIconOnJiggle", p.showIconOnJiggle);
    f("preventDisplaySleep", p.preventDisplaySleep);
    f("reqCPU", p.reqCPU);
    f("cpuThreshold", p.cpuThreshold, 5.0, 95.0);
    f("reqRemovableDisk", p.reqRemovableDisk);
    f("reqAudio", p.reqAudio);
    f("reqApps", p.reqApps);
    f("reqAppsList", p.reqAppsList);
    f("neverOnBattery", p.neverOnBattery);
    f("neverBatteryLow", p.neverBatteryLow);
    f("batteryThreshold", p.batteryThreshold, 5.0, 80.0);
    f("neverLocked", p.neverLocked);
    f("neverFrontmost", p.neverFrontmost);
    f("neverFrontmostList", p.neverFrontmostList);
    f("schedulesEnabled", p.schedulesEnabled);
    f("schedules", p.schedules);
    f("restoreState", p.restoreState);
    f("notifications", p.notifications);
    f("hotkey", p.hotkey);
    f("countdownInMenuBar", p.countdownInMenuBar);
    f("quitWhenTimerEnds", p.quitWhenTimerEnds);
    f("autoCheckUpdates", p.autoCheckUpdates);
    f("autoInstallUpdates", p.autoInstallUpdates);
    f("lastUntilMinutes", p.lastUntilMinutes, last_minute_of_day);
    f("lastStartMinutes", p.lastStartMinutes, last_minute_of_day);
    f("lastStopMinutes", p.lastStopMinutes, last_minute_of_day);
    f("lastStopEnabled", p.lastStopEnabled);
    f("customActivateMinutes", p.customActivateMinutes, max_custom_minutes);
    f("customPauseMinutes", p.customPauseMinutes, max_custom_minutes);
}

// ---- Reading

const json* find(const json& object, const char* key) {
    auto it = object.find(key);
    return it == object.end() ? nullptr : &*it;
}

// A JSON integer that fits in a signed 64-bit value.
std::optional<int64_t> as_int64(const json& v) {
    if (v.is_number_unsigned()) {
        uint64_t u = v.get<uint64_t>();
        if (u > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) return std::nullopt;
        return static_cast<int64_t>(u);
    }
    if (v.is_number_integer()) return v.get<int64_t>();
    return std::nullopt;
}

// A JSON integer within the signed 32-bit range, clamped to 0 … max.
std::optional<uint32_t> clamped_minutes(const json& v, uint32_t max) {
    std::optional<int64_t> n = as_int64(v);
    if (!n || *n < std::numeric_limits<int32_t>::min() || *n > std::numeric_limits<int32_t>::max())
        return std::nullopt;
    return static_cast<uint32_t>(std::clamp<int64_t>(*n, 0, max));
}

bool is_hex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// 32 hex digits, or 8-4-4-4-12 hex groups, optionally wrapped in braces.
bool valid_schedule_id(std::string_view id) {
    while (!id.empty() && id.front() == '{')
        id.remove_prefix(1);
    while (!id.empty() && id.back() == '}')
        id.remove_suffix(1);
    if (id.size() == 32) return std::all_of(id.begin(), id.end(), is_hex);
    if (id.size() != 36) return false;
    for (std::size_t i = 0; i < id.size(); ++i) {
        bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash ? id[i] != '-' : !is_hex(id[i])) return false;
    }
    return true;
}

// Each item must be a number without fraction, not above the largest signed 64-bit value;
// only 1 … 7 are kept. False when an item is unacceptable.
bool read_days(const json& items, DaySet& days) {
    days = DaySet{};
    for (const json& item : items) {
        double day = 0;
        if (std::optional<int64_t> n = as_int64(item)) {
            day = static_cast<double>(*n);
        } else if (item.is_number_float()) {
            day = item.get<double>();
            if (day != std::trunc(day) || day >= 0x1p63) return false;
        } else {
            return false;
        }
        if (day >= 1 && day <= 7) days.add(static_cast<unsigned>(day));
    }
    return true;
}

bool read_schedule_minute(const json& element, const char* key, uint32_t& out) {
    const json* v = find(element, key);
    if (!v) return true;
    std::optional<uint32_t> minute = clamped_minutes(*v, last_minute_of_day);
    if (minute) out = *minute;
    return minute.has_value();
}

// Absent when the element is unacceptable and must be left out.
std::optional<Schedule> parse_schedule(const json& element) {
    if (!element.is_object()) return std::nullopt;
    Schedule s = Schedule::new_default();
    if (const json* v = find(element, "id")) {
        if (!v->is_string()) return std::nullopt;
        std::string_view id = trim(v->get_ref<const std::string&>());
        if (!valid_schedule_id(id)) return std::nullopt;
        s.id = id;
    }
    if (const json* v = find(element, "enabled")) {
        if (!v->is_boolean()) return std::nullopt;
        s.enabled = v->get<bool>();
    }
    if (const json* v = find(element, "name")) {
        if (v->is_null()) {
            s.name.clear();
        } else if (v->is_string()) {
            s.name = v->get<std::string>();
        } else {
            return std::nullopt;
        }
    }
    if (!read_schedule_minute(element, "start", s.start)) return std::nullopt;
    if (!read_schedule_minute(element, "end", s.end)) return std::nullopt;
    if (const json* v = find(element, "days")) {
        if (v->is_null()) {
            s.days = DaySet{};
        } else if (!v->is_array() || !read_days(*v, s.days)) {
            return std::nullopt;
        }
    }
    return s;
}

// A trimmed name (ASCII case ignored) or a non-negative index; anything else keeps `out`.
template <class E, std::size_t N>
void read_choice(const json& v, const std::array<const char*, N>& names, E& out) {
    if (v.is_string()) {
        std::string_view text = trim(v.get_ref<const std::string&>());
        for (std::size_t i = 0; i < N; ++i) {
            if (iequals_ascii(text, names[i])) out = static_cast<E>(i);
        }
    } else if (std::optional<int64_t> index = as_int64(v);
               index && *index >= 0 && static_cast<std::size_t>(*index) < N) {
        out = static_cast<E>(*index);
    }
}

struct FieldReader {
    const json& object;

    void operator()(const char* key, bool& out) const {
        const json* v = find(object, key);
        if (v && v->is_boolean()) out = v->get<bool>();
    }
    void operator()(const char* key, double& out, double lo, double hi) const {
        const json* v = find(object, key);
        if (v && v->is_number()) out = std::clamp(v->get<double>(), lo, hi);
    }
    void operator()(const char* key, uint32_t& out, uint32_t max) const {
        const json* v = find(object, key);
        if (!v) return;
        if (std::optional<uint32_t> minutes = clamped_minutes(*v, max)) out = *minutes;
    }
    void operator()(const char* key, std::string& out) const {
        const json* v = find(object, key);
        if (v && v->is_string()) out = v->get<std::string>();
    }
    void operator()(const char* key, MovePolicy& out) const {
        if (const json* v = find(object, key)) read_choice(*v, policy_names, out);
    }
    void operator()(const char* key, MoveMode& out) const {
        if (const json* v = find(object, key)) read_choice(*v, mode_names, out);
    }
    void operator()(const char* key, std::vector<Schedule>& out) const {
        const json* v = find(object, key);
        if (!v || !v->is_array()) return;
        out.clear();
        for (const json& element : *v) {
            if (std::optional<Schedule> s = parse_schedule(element)) out.push_back(std::move(*s));
        }
    }
};

// ---- Writing

ordered_json schedule_json(const Schedule& s) {
    ordered_json days = ordered_json::array();
    for (unsigned d = 1; d <= 7; ++d) {
        if (s.days.contains(d)) days.push_back(d);
    }
    ordered_json out = ordered_json::object();
    out["id"] = s.id;
    out["enabled"] = s.enabled;
    out["name"] = s.name;
    out["days"] = std::move(days);
    out["start"] = s.start;
    out["end"] = s.end;
    return out;
}

struct FieldWriter {
    ordered_json& out;

    void operator()(const char* key, bool value) const { out[key] = value; }
    void operator()(const char* key, double value, double, double) const { out[key] = value; }
    void operator()(const char* key, uint32_t value, uint32_t) const { out[key] = value; }
    void operator()(const char* key, const std::string& value) const { out[key] = value; }
    void operator()(const char* key, MovePolicy value) const {
        out[key] = policy_names[static_cast<std::size_t>(value)];
    }
    void operator()(const char* key, MoveMode value) const {
        out[key] = mode_names[static_cast<std::size_t>(value)];
    }
    void operator()(const char* key, const std::vector<Schedule>& schedules) const {
        ordered_json list = ordered_json::array();
        for (const Schedule& s : schedules)
            list.push_back(schedule_json(s));
        out[key] = std::move(list);
    }
};

}  // namespace

Preferences Preferences::defaults() {
    Preferences prefs;
    prefs.schedules.push_back(Schedule::new_default());
    return prefs;
}

Preferences parse_preferences(std::string_view text) {
    Preferences prefs = Preferences::defaults();
    if (!valid_utf8(text)) return prefs;
    while (text.starts_with(byte_order_mark))
        text.remove_prefix(byte_order_mark.size());
    json root = json::parse(text.begin(), text.end(), nullptr, false);
    if (!root.is_object()) return prefs;
    for_each_field(prefs, FieldReader{root});
    return prefs;
}

Preferences load_preferences(const std::filesystem::path& path) {
    // A file that cannot be read counts as none, as at the first start.
    const Result<std::string> text = read_file(path);
    return text ? parse_preferences(text.value()) : Preferences::defaults();
}

std::string serialize_preferences(const Preferences& prefs) {
    ordered_json out = ordered_json::object();
    for_each_field(prefs, FieldWriter{out});
    try {
        return out.dump(2);
    } catch (const nlohmann::json::exception&) {
        return "{}";  // text that is not UTF-8 cannot be written as JSON
    }
}

Status save_preferences(const std::filesystem::path& path, const Preferences& prefs) {
    return write_file_atomic(path, serialize_preferences(prefs));
}

}  // namespace torvane
