#pragma once
// Reading the few registry values the program looks at.

#include <windows.h>

#include <optional>

#include "win/handle.h"

namespace torvane {

// A REG_DWORD of at least 4 bytes under `root`\`subkey` (longer data counts by its first 4);
// absent when the key or value is missing or of another type.
std::optional<DWORD> read_dword(HKEY root, const wchar_t* subkey, const wchar_t* name);

}  // namespace torvane
