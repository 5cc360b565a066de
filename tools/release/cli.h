#pragma once
// The release tool's command line.

#include <iosfwd>
#include <span>
#include <string>

namespace torvane::release {

// The whole command line after the program name; the exit status.
int run(std::span<const std::string> args, std::ostream& out, std::ostream& err);

}  // namespace torvane::release
