// Prints the running version and build, so that a test can read them from a program whose
// version resource it chose.

#include <cstdio>

#include "win/version.h"

int main() {
    std::printf("%s %u\n", torvane::running_version().c_str(),
                static_cast<unsigned>(torvane::running_build()));
    return 0;
}
