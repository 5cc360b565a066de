// Thread naming through SetThreadDescription.

#include "win/threads.h"

#include <windows.h>

// Exported by kernel32 since Windows 10 1607, but missing from the mingw-w64 10 headers.
extern "C" __declspec(dllimport) HRESULT WINAPI
    SetThreadDescription(HANDLE thread, PCWSTR description);

namespace torvane {

void name_current_thread(const wchar_t* name) {
    SetThreadDescription(GetCurrentThread(), name);
}

}  // namespace torvane
