// A program that only carries the version resource it is built with. Started by a test with
// TORVANE_TEST_EXIT_CODE set, it ends at once with that code, as a build that cannot start.

#include <cstdlib>

int main() {
    const char* code = std::getenv("TORVANE_TEST_EXIT_CODE");
    return code ? static_cast<int>(std::strtoul(code, nullptr, 0)) : 0;
}
