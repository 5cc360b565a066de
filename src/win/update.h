#pragma once
// The record shared between the UI thread and the update threads, and the update check that
// fills it: fetching and judging the feed on the "torvane-update-check" thread.

#include <windows.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "core/appcast.h"

namespace torvane {

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
    HWND window = nullptr;
    UINT message = 0;
};

// What the check compares the feed with.
struct RunningSystem {
    std::optional<OsVersion> os;  // absent when the system does not say
    std::uint32_t build = 0;
    std::string version;  // "dev" without a version resource
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

// Marks the state busy for an installation of the feed's package when its URL is acceptable;
// refuses, with "No se pudo descargar", otherwise.
bool begin_install(UpdaterState& state, const Appcast& appcast);

// The common failure exit: not busy any more, `message` as the status and in the log.
void update_failed(UpdaterState& state, std::string_view message);

// Copies taken under the lock, for the panel and the settings window.
std::optional<Appcast> available_update(UpdaterState& state);
bool is_busy(UpdaterState& state);
std::string update_status(UpdaterState& state);

}  // namespace torvane
