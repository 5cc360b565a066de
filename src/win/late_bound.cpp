#include "win/late_bound.h"

namespace torvane {

FARPROC system_procedure(const wchar_t* dll, const char* name) {
    HMODULE module = GetModuleHandleW(dll);
    // Never searched beside the executable; the library stays loaded for the process's life.
    if (!module) module = LoadLibraryExW(dll, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    return module ? GetProcAddress(module, name) : nullptr;
}

}  // namespace torvane
