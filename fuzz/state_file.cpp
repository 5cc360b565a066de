// state.json as any program may have left it, and the read-modify-write that every writer does:
// reading gives an object without members nested deeper than the writer can take, changing
// one key and writing the object back keeps every other key as it was, and the run-state
// record decodes only time stamps in range.

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "check.h"
#include "core/appcast.h"
#include "core/state.h"

namespace {

using json = nlohmann::json;

constexpr int carried_depth = 64;
constexpr std::string_view byte_order_mark = "\xEF\xBB\xBF";

// Containers on the longest path from `value` down, counting `value` itself; without
// recursion, so that a value the parser should not have let through cannot overflow here.
int depth(const json& value) {
    int deepest = 0;
    std::vector<std::pair<const json*, int>> pending{{&value, 1}};
    while (!pending.empty()) {
        auto [v, level] = pending.back();
        pending.pop_back();
        if (!v->is_structured()) continue;
        deepest = std::max(deepest, level);
        for (const json& child : *v)
            pending.emplace_back(&child, level + 1);
    }
    return deepest;
}

// The object that reading must give: the text as the JSON library reads it, less the members
// nested too deep to write back.
json expected_object(std::string_view text) {
    if (text.starts_with(byte_order_mark)) text.remove_prefix(byte_order_mark.size());
    if (text.starts_with(byte_order_mark)) return json::object();
    json full = json::parse(text, nullptr, false);
    if (!full.is_object()) return json::object();
    for (auto it = full.begin(); it != full.end();)
        it = depth(*it) > carried_depth ? full.erase(it) : std::next(it);
    return full;
}

// An instant in range decodes to exactly that millisecond (truncated); anything else is absent.
// The process runs in UTC, so local time and Unix time coincide.
void check_time_stamp(double v) {
    std::optional<torvane::LocalTime> t = torvane::decode_time_stamp(v);
    FUZZ_CHECK(t.has_value() == (v > 0 && v < 4e11));
    if (!t) return;
    FUZZ_CHECK(t->time_since_epoch().count() == static_cast<int64_t>(v * 1000.0));
    // Writing it reads back the same, except for the epoch itself, whose 0.0 means absent.
    if (t->time_since_epoch().count() > 0)
        FUZZ_CHECK(torvane::decode_time_stamp(torvane::encode_time_stamp(*t)) == t);
}

// The writer's cycle: change `key` (remove it when `value` is absent), write, read back.
void check_write(const json& object, const std::string& key, std::optional<json> value) {
    json changed = object;
    if (value) {
        changed[key] = *value;
    } else {
        changed.erase(key);
    }
    std::string text = torvane::serialize_state(changed);
    FUZZ_CHECK(!text.ends_with('\n'));
    json back = torvane::parse_state(text);
    FUZZ_CHECK(back.is_object());
    FUZZ_CHECK(torvane::serialize_state(back) == text);
    if (value) {
        auto it = back.find(key);
        FUZZ_CHECK(it != back.end());
        FUZZ_CHECK(*it == *value);
    } else {
        FUZZ_CHECK(!back.contains(key));
    }
    // Every other key is carried along unchanged, and nothing is added.
    std::size_t others = 0;
    for (const auto& [name, old] : object.items()) {
        if (name == key) continue;
        ++others;
        auto it = back.find(name);
        FUZZ_CHECK(it != back.end());
        FUZZ_CHECK(*it == old);
    }
    FUZZ_CHECK(back.size() == others + (value ? 1 : 0));
}

// Eight doubles of every kind (NaN, infinities, subnormals, negative zero) from the input's
// bytes, as a record to write; non-finite values must come back as null, the rest bit for bit.
void check_run_record_write(const json& object, std::string_view bytes) {
    std::array<double, 8> record{};
    for (std::size_t i = 0; i < record.size(); ++i) {
        unsigned char raw[8] = {};
        for (std::size_t k = 0; k < 8; ++k) {
            std::size_t at = i * 8 + k;
            raw[k] =
                at < bytes.size() ? static_cast<unsigned char>(bytes[bytes.size() - 1 - at]) : 0;
        }
        std::memcpy(&record[i], raw, sizeof raw);
        check_time_stamp(record[i]);
    }
    json numbers = json::array();
    for (double v : record)
        numbers.push_back(v);
    json changed = object;
    changed["state.v1"] = numbers;
    json back = torvane::parse_state(torvane::serialize_state(changed));
    const json& stored = back["state.v1"];
    FUZZ_CHECK(stored.is_array() && stored.size() == record.size());
    for (std::size_t i = 0; i < record.size(); ++i) {
        if (std::isfinite(record[i])) {
            FUZZ_CHECK(stored[i].is_number());
            FUZZ_CHECK(std::bit_cast<uint64_t>(stored[i].get<double>()) ==
                       std::bit_cast<uint64_t>(record[i]));
        } else {
            FUZZ_CHECK(stored[i].is_null());
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("TZ", "UTC", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    json object = torvane::parse_state(text);
    FUZZ_CHECK(object.is_object());
    for (const auto& [name, value] : object.items())
        FUZZ_CHECK(depth(value) <= carried_depth);
    FUZZ_CHECK(object == expected_object(text));

    // The run state as start-up reads it: the first eight elements, when all are numbers.
    auto run = object.find("state.v1");
    if (run != object.end() && run->is_array()) {
        for (std::size_t i = 0; i < run->size() && i < 8; ++i) {
            if ((*run)[i].is_number()) check_time_stamp((*run)[i].get<double>());
        }
    }

    // What the program itself writes, and what it removes.
    check_write(object, "onboarded", json(true));
    std::optional<std::string> notes = torvane::sanitize_notes(text.substr(0, 512));
    check_write(object, "updatedTo", json{{"notes", notes.value_or("")}});
    check_write(object, "updatedTo", std::nullopt);
    check_run_record_write(object, text);
    // A key of another program or version, replaced and removed.
    for (const auto& [name, value] : object.items()) {
        if (name == "onboarded" || name == "state.v1" || name == "updatedTo") continue;
        check_write(object, name, json::array({1, "x"}));
        check_write(object, name, std::nullopt);
        break;
    }
    return 0;
}
