#pragma once
// The error of a failed system call, from the thread's last-error code.

#include <windows.h>

#include "core/result.h"

namespace torvane {

inline Error last_error(const char* call) {
    return Error{call, static_cast<long>(GetLastError())};
}

}  // namespace torvane
