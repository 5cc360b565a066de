#include "win/fault.h"

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

}  // namespace torvane
