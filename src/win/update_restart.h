#pragma once
// The hand-over to a newly installed build: the previous process starts it and watches its first
// seconds, and puts itself back in its place when the new build cannot start.

#include <windows.h>

#include <filesystem>

namespace torvane {

// How long a new build has to show that it starts.
inline constexpr DWORD new_build_trial_ms = 30000;

enum class NewBuildStart { running, rolled_back, rollback_failed };

// Starts the build installed at `exe` and waits up to `trial_ms` for it to end. When it cannot be
// started, or ends within that time with anything but exit code 0, "Torvane.old.exe" beside it
// takes its place again, the build is refused in the state file (with the reason, for the
// restored copy to report) and the restored copy is started.
NewBuildStart start_new_build(const std::filesystem::path& exe,
                              DWORD trial_ms = new_build_trial_ms);

}  // namespace torvane
