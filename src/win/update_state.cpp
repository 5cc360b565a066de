#include "win/update_state.h"

#include "core/url.h"
#include "win/log.h"

namespace torvane {

bool begin_install(UpdaterState& state, const Appcast& appcast) {
    {
        std::lock_guard lock(state.lock);
        if (state.busy) return false;
        state.busy = true;
    }
    if (!package_url_allowed(appcast.url, update_host())) {
        update_failed(state, download_failure);
        return false;
    }
    publish(state, [&] { state.status = "Descargando " + appcast.version + "…"; });
    return true;
}

void update_failed(UpdaterState& state, std::string_view message, std::string_view detail) {
    publish(state, [&] {
        state.busy = false;
        state.status = message;
    });
    std::string line = "Actualización fallida: " + std::string(message);
    if (!detail.empty()) line += " (" + std::string(detail) + ")";
    for (char& c : line) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    log_line(line);
}

std::optional<Appcast> available_update(UpdaterState& state) {
    std::lock_guard lock(state.lock);
    return state.available;
}

bool is_busy(UpdaterState& state) {
    std::lock_guard lock(state.lock);
    return state.busy;
}

std::string update_status(UpdaterState& state) {
    std::lock_guard lock(state.lock);
    return state.status;
}

UpdateView update_view(UpdaterState& state) {
    std::lock_guard lock(state.lock);
    UpdateView view{state.status, std::nullopt, state.busy};
    if (state.available) view.offered_version = state.available->version;
    return view;
}

UpdateNotice take_update_notice(UpdaterState& state) {
    std::lock_guard lock(state.lock);
    return {std::exchange(state.pending_notification, std::nullopt), state.restart_requested};
}

void set_auto_install(UpdaterState& state, bool enabled) {
    std::lock_guard lock(state.lock);
    state.auto_install = enabled;
}

}  // namespace torvane
