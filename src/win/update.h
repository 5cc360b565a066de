#pragma once
// The update check: fetching and judging the feed on the "torvane-update-check" thread, and
// publishing what it found in the shared record.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/appcast.h"
#include "win/update_state.h"

namespace torvane {

// What the check compares the feed with.
struct RunningSystem {
    std::optional<OsVersion> os;  // absent when the system does not say
    std::uint32_t build = 0;
    std::string version;  // "dev" without a version resource
};

// The feed's only location.
std::string feed_url();

// Starts a check on its own thread unless a check or an installation is running. `manual`
// when the user asked for it.
void check_for_updates(const std::shared_ptr<UpdaterState>& state, bool manual);

// Body of the check thread: fetch, judge, publish.
void run_update_check(UpdaterState& state, bool manual);

// Publishes the outcome of one fetch of the feed and ends the check (clears `busy`).
void conclude_check(UpdaterState& state, std::string_view body, bool fetched, bool manual,
                    const RunningSystem& running);

}  // namespace torvane
