// state.json as any program may have left it, and the read-modify-write that every writer does:
// reading gives an object without members nested deeper than the writer can take, changing
// one key and writing the object back keeps every other key as it was, and the run-state
// record decodes only time stamps in range.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "check.h"
#include "core/state.h"

namespace {

using json = nlohmann::json;

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

// An instant in range decodes; anything else is absent. Writing it reads back the same, except
// for the epoch itself, whose 0.0 means absent.
void check_time_stamp(double v) {
    std::optional<torvane::LocalTime> t = torvane::decode_time_stamp(v);
    FUZZ_CHECK(t.has_value() == (v > 0 && v < 4e11));
    if (t && t->time_since_epoch().count() > 0)
        FUZZ_CHECK(torvane::decode_time_stamp(torvane::encode_time_stamp(*t)) == t);
}

// The writer's cycle: change `key` (remove it when `value` is absent), write, read back; every
// other key comes back unchanged and nothing is added.
void check_write(const json& object, const std::string& key, std::optional<json> value) {
    json changed = object;
    if (value) {
        changed[key] = *value;
    } else {
        changed.erase(key);
    }
    std::string text = torvane::serialize_state(changed);
    json back = torvane::parse_state(text);
    FUZZ_CHECK(back == changed);
    FUZZ_CHECK(torvane::serialize_state(back) == text);
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
        FUZZ_CHECK(depth(value) <= 64);

    // The run state as start-up reads it: the first eight elements, when all are numbers.
    auto run = object.find("state.v1");
    if (run != object.end() && run->is_array()) {
        for (std::size_t i = 0; i < run->size() && i < 8; ++i) {
            if ((*run)[i].is_number()) check_time_stamp((*run)[i].get<double>());
        }
    }

    // What the program itself writes, and what it removes.
    check_write(object, "onboarded", json(true));
    check_write(object, "updatedTo", std::nullopt);
    // A key of another program or version, replaced and removed.
    for (const auto& [name, value] : object.items()) {
        if (name == "onboarded" || name == "updatedTo") continue;
        check_write(object, name, json::array({1, "x"}));
        check_write(object, name, std::nullopt);
        break;
    }
    return 0;
}
