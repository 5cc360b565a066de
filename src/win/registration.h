#pragma once
// What makes the installed copy known to the system: the uninstall entry, the Start-menu
// shortcut and the log-on start value.

#include <windows.h>

#include "core/result.h"

namespace torvane {

// The entry in the list of installed programs, describing the installed file as it is now. A
// value that cannot be set is left out, the others are still written; the first failure.
Status write_uninstall_entry();
// Succeeds when there is no entry.
Status remove_uninstall_entry();

Status create_start_menu_shortcut();

// Log-on start: the Run value always names the installed copy, whichever copy asks. Switching
// off succeeds when there is no value. The user sees no failure: the settings window shows
// autostart_enabled() afterwards.
Status set_autostart(bool enabled);
// True for any non-empty Run value of the program, wherever it points.
bool autostart_enabled();

}  // namespace torvane
