#pragma once
// Reading and writing the few registry values the program uses.

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

#include "core/result.h"
#include "win/handle.h"

namespace torvane {

// A REG_DWORD of at least 4 bytes under `root`\`subkey` (longer data counts by its first 4);
// absent when the key or value is missing or of another type.
std::optional<DWORD> read_dword(HKEY root, const wchar_t* subkey, const wchar_t* name);

// A REG_SZ's text up to its first NUL (data need not be terminated); absent when the key or
// value is missing or of another type.
std::optional<std::wstring> read_string(HKEY root, const wchar_t* subkey, const wchar_t* name);

// Store a REG_SZ with its terminating NUL, or a REG_DWORD.
Status write_string(HKEY key, const wchar_t* name, std::wstring_view text);
Status write_dword(HKEY key, const wchar_t* name, DWORD value);

}  // namespace torvane
