// Thread naming through SetThreadDescription, which Windows 10 has only since 1607.

#include "win/threads.h"

#include <windows.h>

#include "win/late_bound.h"

namespace torvane {

void name_current_thread(const wchar_t* name) {
    using SetDescription = HRESULT(WINAPI*)(HANDLE, PCWSTR);
    static const auto set_description =
        system_function<SetDescription>(L"kernel32.dll", "SetThreadDescription");
    if (set_description) set_description(GetCurrentThread(), name);
}

}  // namespace torvane
