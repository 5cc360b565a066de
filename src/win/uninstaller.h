#pragma once
// Removal of everything the program placed.

namespace torvane {

// Asks for confirmation, stops a running copy and removes everything; the exit code: 1 when not
// confirmed, 0 otherwise.
int uninstall();

}  // namespace torvane
