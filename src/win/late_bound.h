#pragma once
// Functions of newer Windows versions, looked up at run time so that the program still starts
// on the older ones it supports, and carries on without them there.

#include <windows.h>

namespace torvane {

// The address of `name` in the System32 library `dll`, or null when this Windows lacks it.
FARPROC system_procedure(const wchar_t* dll, const char* name);

template <class Function>
Function system_function(const wchar_t* dll, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(system_procedure(dll, name)));
}

}  // namespace torvane
