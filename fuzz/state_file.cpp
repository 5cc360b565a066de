// state.json as any program may have left it: reading gives an object whose members nest no
// deeper than the writer can take, and the writer's cycle (change one key, write, read back)
// keeps every other key as it was.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "check.h"
#include "core/state.h"

using json = nlohmann::json;

// Without recursion, so that a value the parser should not have let through cannot overflow.
static int depth(const json& value) {
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

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    json object = torvane::parse_state(std::string_view(reinterpret_cast<const char*>(data), size));
    FUZZ_CHECK(object.is_object());
    for (const auto& [name, value] : object.items())
        FUZZ_CHECK(depth(value) <= 64);
    json changed = object;
    changed["onboarded"] = true;
    const std::string text = torvane::serialize_state(changed);
    FUZZ_CHECK(torvane::parse_state(text) == changed);
    return 0;
}
