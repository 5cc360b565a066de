#pragma once
// The user's special folders, with the fallbacks the program uses when a lookup fails.

#include <windows.h>
// After windows.h:
#include <shlobj.h>

#include <filesystem>

namespace torvane {

// The known folder; when that lookup fails or is empty, the environment variable when set and
// not empty; otherwise the system's temporary folder.
std::filesystem::path known_folder_or(REFKNOWNFOLDERID folder, const wchar_t* variable);

}  // namespace torvane
