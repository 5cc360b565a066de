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

Status set_state_key(std::string_view key, nlohmann::json value) {
    return set_state_key(state_path(), key, std::move(value));
}

Status remove_state_key(std::string_view key) {
    return remove_state_key(state_path(), key);
}

void save_run_state(const EngineState& s, RunSnapshot& snapshot, bool force) {
    // Called every second: look the data folder up only when something changed.
    if (!force && run_fields(s) == snapshot.fields) return;
    log_failure("No se pudo guardar el estado", save_run_state(state_path(), s, snapshot, force));
}

RunSnapshot restore_run_state(EngineState& s, const Preferences& p, LocalTime now,
                              Effects& effects) {
    return restore_run_state(state_path(), s, p, now, effects);
}

}  // namespace torvane
