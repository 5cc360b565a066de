#pragma once
// The fault boundary at each entry point the system calls into (window procedures, thread
// bodies, the process entry): an exception that gets there is logged as one line instead of
// ending the process. A structured exception nobody handles is logged before the process ends.

#include <exception>
#include <string_view>

namespace torvane {

// "Error inesperado en {where}: {what}" in the log. Never throws.
void log_fault(std::string_view where, std::string_view what) noexcept;

// For faults no C++ handler can catch (an access violation, say): the exception code and
// address go to the log as a fault of the process, which then ends with that code.
void log_structured_exceptions();

// Runs `body`; returns false when an exception escaped it (and was logged).
template <class Body>
bool guarded(std::string_view where, Body&& body) noexcept {
    try {
        body();
        return true;
    } catch (const std::exception& e) {
        log_fault(where, e.what());
    } catch (...) {
        log_fault(where, "excepción desconocida");
    }
    return false;
}

}  // namespace torvane
