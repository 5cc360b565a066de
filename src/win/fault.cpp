#include "win/fault.h"

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "win/log.h"

namespace torvane {

void log_fault(std::string_view where, std::string_view what) noexcept {
    try {
        std::string line = "Error inesperado en ";
        line.append(where).append(": ").append(what);
        log_line(line);
    } catch (...) {
        // Out of memory for the line itself: nothing more can be done.
    }
}

namespace {

LONG WINAPI log_unhandled(EXCEPTION_POINTERS* info) {
    char what[80];
    std::snprintf(what, sizeof what, "excepción 0x%08lX en 0x%016llX",
                  static_cast<unsigned long>(info->ExceptionRecord->ExceptionCode),
                  static_cast<unsigned long long>(
                      reinterpret_cast<std::uintptr_t>(info->ExceptionRecord->ExceptionAddress)));
    log_fault("el proceso", what);
    // Ends the process with the exception code, without the system's crash dialog.
    return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

void log_structured_exceptions() {
    SetUnhandledExceptionFilter(log_unhandled);
}

}  // namespace torvane
