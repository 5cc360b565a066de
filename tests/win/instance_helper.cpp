// The second process of the instance tests. Usage:
//   instance_helper running BASE        exit 1 when a copy holds BASE open, else 0
//   instance_helper acquire BASE MS     exit 0 when BASE was acquired within MS, else 1
//   instance_helper hold BASE MS READY  acquire BASE, set the event READY, hold it MS
//                                       milliseconds (-1: until killed), release, exit 0
//   instance_helper quit BASE           signal_quit on BASE

#include <windows.h>

#include <cstdlib>
#include <string_view>

#include "win/instance.h"
#include "win/wtext.h"

using namespace torvane;

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    const std::string_view mode = argv[1];
    const InstanceNames names = instance_names(widen(argv[2]));
    const DWORD ms = argc > 3 ? static_cast<DWORD>(std::atol(argv[3])) : 0;
    if (mode == "running") return instance_running(names) ? 1 : 0;
    if (mode == "quit") {
        signal_quit(names);
        return 0;
    }
    if (mode == "acquire") {
        if (!acquire_instance(ms, names)) return 1;
        release_instance();
        return 0;
    }
    if (mode == "hold" && argc > 4) {
        if (!acquire_instance(1000, names)) return 1;
        HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, widen(argv[4]).c_str());
        if (!ready || !SetEvent(ready)) return 3;
        CloseHandle(ready);
        Sleep(ms);
        release_instance();
        return 0;
    }
    return 2;
}
