#pragma once
// The record shared between the UI thread and the update threads. Checking the feed and
// installing updates come later; until then the shell only publishes its version here.

#include <windows.h>

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

namespace torvane {

// A newer build the feed offers.
struct AvailableUpdate {
    std::string version;
};

struct UpdaterState {
    std::mutex lock;
    std::string status;
    std::optional<AvailableUpdate> available;
    std::optional<std::pair<std::string, std::string>> pending_notification;  // title, body
    bool busy = false;
    bool restart_requested = false;
    bool auto_install = true;
    HWND window = nullptr;
    UINT message = 0;
};

// Seam for the periodic and manual update check, which is not built yet: it does nothing.
void check_for_updates(const std::shared_ptr<UpdaterState>& state, bool manual);

// Seam for downloading and installing the available build, which is not built yet: it does
// nothing (and nothing offers a build until the check exists).
void start_install(const std::shared_ptr<UpdaterState>& state);

// Seam for removing what a previous update left beside the executable, which is not built
// yet: it does nothing.
void cleanup_after_update();

}  // namespace torvane
