#pragma once
// The record shared between the UI thread and the update threads, and its transitions: what the
// check and the installation both change, so that neither needs the other.

#include <windows.h>

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "core/appcast.h"

namespace torvane {

struct UpdaterState;
using InstallUpdate = void (*)(UpdaterState& state, const Appcast& appcast);

// Every field is read and written under `lock`; the update-status message is posted to
// `window` after unlocking, and only once both `window` and `message` are set.
struct UpdaterState {
    std::mutex lock;
    std::string status;
    std::optional<Appcast> available;  // the newer build last found, notes cleaned
    std::optional<std::pair<std::string, std::string>> pending_notification;  // title, body
    bool busy = false;
    bool restart_requested = false;
    bool auto_install = true;
    std::optional<std::int64_t> refused_build;  // one that could not start: never installed alone
    // What a periodic check runs on its own thread to install by itself; none: it only offers.
    InstallUpdate install = nullptr;
    HWND window = nullptr;
    UINT message = 0;
};

// Applies `change` under the lock, then tells the main window, outside the lock.
template <class Change>
void publish(UpdaterState& state, Change&& change) {
    HWND window = nullptr;
    UINT message = 0;
    {
        std::lock_guard lock(state.lock);
        change();
        window = state.window;
        message = state.message;
    }
    if (window && message) PostMessageW(window, message, 0, 0);
}

inline constexpr std::string_view download_failure = "No se pudo descargar";

// Marks the state busy for an installation of the feed's package when its URL is acceptable;
// refuses, with "No se pudo descargar", otherwise.
bool begin_install(UpdaterState& state, const Appcast& appcast);

// The common failure exit: not busy any more, `message` as the status and in the log, followed
// there by `detail` when there is one.
void update_failed(UpdaterState& state, std::string_view message, std::string_view detail = {});

// Copies taken under the lock.
std::optional<Appcast> available_update(UpdaterState& state);
bool is_busy(UpdaterState& state);
std::string update_status(UpdaterState& state);

// What the panel and the settings window show.
struct UpdateView {
    std::string status;
    std::optional<std::string> offered_version;
    bool busy = false;
};
UpdateView update_view(UpdaterState& state);

// For the main window when told of a change: the notification to show, taken so that it shows
// once, and whether the program is to quit for the new build.
struct UpdateNotice {
    std::optional<std::pair<std::string, std::string>> notification;
    bool restart = false;
};
UpdateNotice take_update_notice(UpdaterState& state);

void set_auto_install(UpdaterState& state, bool enabled);

}  // namespace torvane
