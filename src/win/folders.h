#pragma once
// The user's special folders, with the fallbacks the program uses when a lookup fails, the
// program's own path, and file operations on them.

#include <windows.h>
// After windows.h:
#include <shlobj.h>

#include <filesystem>

#include "core/result.h"

namespace torvane {

// The known folder; when that lookup fails or is empty, the environment variable when set and
// not empty, joined with `below_variable`; otherwise the system's temporary folder.
std::filesystem::path known_folder_or(REFKNOWNFOLDERID folder, const wchar_t* variable,
                                      const wchar_t* below_variable = L"");

// The running program's own path.
Result<std::filesystem::path> running_exe_path();

// The system's temporary folder for this user.
Result<std::filesystem::path> temp_folder();

bool is_file(const std::filesystem::path& path);
bool is_folder(const std::filesystem::path& path);

// Creates `folder` and any missing parents.
Status create_folder_tree(const std::filesystem::path& folder);

// Writes what the system still caches of the file to the disk.
Status flush_file(const std::filesystem::path& path);

// Renames `from` to `to`, replacing it, written through to the disk before it returns.
Status rename_durably(const std::filesystem::path& from, const std::filesystem::path& to);

// Removes `path` and, when it is a folder, everything in it, without ever following a link: a
// junction or symbolic link is removed as a link and never entered, so what it points at stays.
// With `only_own`, nothing is removed unless the current user owns `path`, and another's entry
// left alone is no failure. Succeeds when it was not there either; a part inside that cannot go
// keeps the folder, and is the failure.
Status remove_tree(const std::filesystem::path& path, bool only_own = false);

}  // namespace torvane
