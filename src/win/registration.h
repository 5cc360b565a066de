#pragma once
// What makes the installed copy known to the system: the uninstall entry, the Start-menu
// shortcut and the log-on start value.

#include <windows.h>

#include <string>
#include <variant>
#include <vector>

namespace torvane {

// The entry in the list of installed programs, describing the installed file as it is now: the
// values in the order they are written.
struct RegistryValue {
    const wchar_t* name;
    std::variant<std::wstring, DWORD> data;
};
std::vector<RegistryValue> uninstall_entry_values();
void write_uninstall_entry();
void remove_uninstall_entry();

void create_start_menu_shortcut();

// Log-on start: the Run value always names the installed copy, whichever copy asks. Failures
// are silent; the settings window shows autostart_enabled() afterwards.
void set_autostart(bool enabled);
// True for any non-empty Run value of the program, wherever it points.
bool autostart_enabled();

}  // namespace torvane
