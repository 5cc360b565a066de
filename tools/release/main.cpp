// torvane_release: the publisher's tool for signed update packages and feeds.

#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "tools/release/cli.h"

int main(int argc, char** argv) {
    try {
        const std::vector<std::string> args(argv + 1, argv + argc);
        return torvane::release::run(args, std::cout, std::cerr);
    } catch (const std::exception& e) {  // out of memory, in practice
        std::cerr << "torvane_release: " << e.what() << "\n";
        return 1;
    }
}
