// Ends in an access violation after setting up the program's structured-exception logging.

#include <cstdint>

#include "win/fault.h"

int main() {
    torvane::log_structured_exceptions();
    volatile std::uintptr_t address = 0;
    *reinterpret_cast<volatile int*>(address) = 1;
    return 0;
}
