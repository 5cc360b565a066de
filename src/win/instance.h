#pragma once
// One running copy per logon session: the copy that runs owns a named mutex and listens on two
// named events, through which any other start can ask it to show its panel or to quit.

#include <windows.h>

#include <string>
#include <string_view>

namespace torvane {

// How long a start waits for the running copy to let go of the mutex.
inline constexpr DWORD acquire_timeout_ms = 8000;
// How long a start waits for a copy it asked to quit.
inline constexpr DWORD exit_timeout_ms = 10000;

// The kernel object names of one program identity.
struct InstanceNames {
    std::wstring mutex;
    std::wstring show;
    std::wstring quit;
};

InstanceNames instance_names(std::wstring_view base);

// The program's own names, fixed for every version: a newer copy must find an older one.
const InstanceNames& program_instance_names();

// Creates the instance mutex and waits up to `timeout_ms` for it; an abandoned mutex counts as
// acquired. On success the handle goes into the instance slot. On failure nothing stays open;
// the caller then signals "show" and ends. Called once, on the UI thread.
bool acquire_instance(DWORD timeout_ms = acquire_timeout_ms,
                      const InstanceNames& names = program_instance_names());

// Releases and closes the mutex in the instance slot, if any. Must run on the thread that
// acquired it.
void release_instance();

// Whether some process holds the instance mutex open.
bool instance_running(const InstanceNames& names = program_instance_names());

// Ask the running copy to show its panel, or to quit. Lost silently when no copy listens.
void signal_show(const InstanceNames& names = program_instance_names());
void signal_quit(const InstanceNames& names = program_instance_names());

// Waits up to `exit_timeout_ms` for the running copy to release the mutex; returns at once
// when there is none.
void wait_for_exit(const InstanceNames& names = program_instance_names());

// Creates the show and quit events and starts the "torvane-signals" thread, which posts
// show_request_message and quit_request_message to `window`. Does nothing when a listener is
// recorded already. Returns whether a listener is recorded afterwards.
bool start_listener(HWND window, const InstanceNames& names = program_instance_names());

// Stops the listener thread, waits for it and closes its events. Does nothing without one.
void stop_listener();

}  // namespace torvane
