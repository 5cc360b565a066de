#pragma once
// The error of a failed system call, from the thread's last-error code, and the system's own
// description of such a code.

#include <windows.h>

#include <cwctype>
#include <string>

#include "core/result.h"
#include "win/handle.h"
#include "win/wtext.h"

namespace torvane {

inline Error last_error(const char* call) {
    return Error{call, static_cast<long>(GetLastError())};
}

// "{the system's description} (os error {code})".
inline std::string system_error_text(DWORD code) {
    LocalMemory<LPWSTR> message;
    const DWORD units = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<LPWSTR>(message.put()), 0, nullptr);
    std::wstring description = units && message ? std::wstring(message.get(), units) : L"";
    while (!description.empty() && iswspace(description.back()))
        description.pop_back();
    const std::string suffix = "(os error " + std::to_string(code) + ")";
    return description.empty() ? suffix : narrow(description) + " " + suffix;
}

}  // namespace torvane
