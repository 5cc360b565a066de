#pragma once
// state.json in the data folder: the calls the shell makes, bound to the file's real place.

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string_view>

#include "core/state.h"

namespace torvane {

// The data folder joined with "state.json".
std::filesystem::path state_path();

nlohmann::json read_state();
Status set_state_key(std::string_view key, nlohmann::json value);
Status remove_state_key(std::string_view key);
// A failed write goes to the log.
void save_run_state(const EngineState& s, RunSnapshot& snapshot, bool force);
RunSnapshot restore_run_state(EngineState& s, const Preferences& p, LocalTime now,
                              Effects& effects);

}  // namespace torvane
