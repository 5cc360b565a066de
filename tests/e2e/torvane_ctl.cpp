// Test tool: talks to a running Torvane through its instance objects, as a second start would.
// Usage: torvane_ctl running|show|quit|wait|close — exit code 0 on success (for "running": a
// copy runs), 1 otherwise. "close" posts WM_CLOSE to the hidden main window, as any program can.

#include <windows.h>

#include <string_view>

#include "win/instance.h"

int wmain(int argc, wchar_t** argv) {
    using namespace torvane;
    if (argc != 2) return 2;
    std::wstring_view command = argv[1];
    if (command == L"running") return instance_running() ? 0 : 1;
    if (command == L"show")
        signal_show();
    else if (command == L"quit")
        signal_quit();
    else if (command == L"wait")
        wait_for_exit();
    else if (command == L"close")
        return PostMessageW(FindWindowW(L"TorvaneMain", nullptr), WM_CLOSE, 0, 0) ? 0 : 1;
    else
        return 2;
    return 0;
}
