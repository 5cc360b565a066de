#pragma once
// The fault boundary at each entry point the system calls into (window procedures, thread
// bodies, the process entry): an exception that gets there is logged as one line instead of
// ending the process.

#include <exception>
#include <string_view>

namespace torvane {

// "Error inesperado en {where}: {what}" in the log. Never throws.
void log_fault(std::string_view where, std::string_view what) noexcept;

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
