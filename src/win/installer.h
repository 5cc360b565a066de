#pragma once
// Installation for the current user: the program copies itself into the local install folder
// and hands over to the installed copy. Registration with the system is in win/registration.h,
// removal in win/uninstaller.h.

#include <windows.h>

#include <filesystem>
#include <string>

#include "core/result.h"
#include "win/handle.h"

namespace torvane {

enum class InstallOutcome { run_here, handed_over };

// For a start without arguments: runs here when this is the installed copy; otherwise installs
// this build when it is newer than the installed one, and hands over to the installed or
// running copy. A failed copy is reported in a warning box and the program runs here.
InstallOutcome install_if_needed();

// At a normal start: refreshes the entry when this is the installed copy, so that it follows
// updates. A failure goes to the log.
void write_uninstall_entry_if_installed();

// The local install folder ("Programs\Torvane") and the installed executable in it; the
// Start-menu shortcut.
std::filesystem::path install_dir();
std::filesystem::path installed_exe_path();
std::filesystem::path shortcut_path();

// Starts `program` with `command_line` in `folder`: the process.
Result<Handle> start_process(const std::wstring& program, std::wstring command_line,
                             const std::wstring& folder, DWORD flags = 0);
// Starts an executable without arguments, in its own folder.
Result<Handle> launch_executable(const std::filesystem::path& exe);

// The form in which two program paths are compared: the final path (links followed) when the
// file can be opened, "/" as "\", without a leading "\\?\" or trailing "\", in lower case.
std::wstring normalized_program_path(const std::filesystem::path& path);
bool same_program(const std::filesystem::path& a, const std::filesystem::path& b);

}  // namespace torvane
