// state.json in the data folder.

#include "win/state_file.h"

#include "win/log.h"

namespace torvane {

std::filesystem::path state_path() {
    return data_dir() / L"state.json";
}

nlohmann::json read_state() {
    return read_state(state_path());
}

void set_state_key(std::string_view key, nlohmann::json value) {
    set_state_key(state_path(), key, std::move(value));
}

void remove_state_key(std::string_view key) {
    remove_state_key(state_path(), key);
}

void save_run_state(const EngineState& s, RunSnapshot& snapshot, bool force) {
    // Called every second: look the data folder up only when something changed.
    if (!force && run_fields(s) == snapshot.fields) return;
    save_run_state(state_path(), s, snapshot, force);
}

RunSnapshot restore_run_state(EngineState& s, const Preferences& p, LocalTime now,
                              Effects& effects) {
    return restore_run_state(state_path(), s, p, now, effects);
}

}  // namespace torvane
