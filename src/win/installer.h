#pragma once
// Installation for the current user. Copying the program into place, the uninstall entry and
// the uninstaller come later; the shell already calls them through these seams.

#include <filesystem>

namespace torvane {

enum class InstallOutcome { run_here, handed_over };

// Seam: will install or hand over to the installed copy. For now every start runs here.
InstallOutcome install_if_needed();

// Seam: will confirm, stop a running copy and remove everything. For now it does nothing and
// returns exit code 0.
int uninstall();

// Seam: when running from the install folder, will keep the uninstall entry's version current
// after an update. Does nothing yet.
void write_uninstall_entry_if_installed();

// The local install folder ("Programs\Torvane") and the installed executable in it.
std::filesystem::path install_dir();
std::filesystem::path installed_exe_path();

// The running program's own path; empty when it cannot be determined.
std::filesystem::path running_exe_path();

// Starts an executable without arguments; false when it could not be started.
bool launch_executable(const std::filesystem::path& exe);

// Log-on start: the Run value always names the installed copy, whichever copy asks. Failures
// are silent; the settings window shows autostart_enabled() afterwards.
void set_autostart(bool enabled);
// True for any non-empty Run value of the program, wherever it points.
bool autostart_enabled();

}  // namespace torvane
