#pragma once
// The user's special folders, with the fallbacks the program uses when a lookup fails.

#include <windows.h>
// After windows.h:
#include <shlobj.h>

#include <filesystem>

namespace torvane {

// The known folder; when that lookup fails or is empty, the environment variable when set and
// not empty, joined with `below_variable`; otherwise the system's temporary folder.
std::filesystem::path known_folder_or(REFKNOWNFOLDERID folder, const wchar_t* variable,
                                      const wchar_t* below_variable = L"");

}  // namespace torvane
