#pragma once
// The version resource of an executable file: the program's own version and build number,
// the version of a downloaded update, and string values such as "FileDescription".

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace torvane {

// The fixed file version; the fourth part is the build that installation and updates compare.
struct FileVersion {
    uint16_t major = 0;
    uint16_t minor = 0;
    uint16_t patch = 0;
    uint16_t build = 0;

    bool operator==(const FileVersion&) const = default;
};

std::optional<FileVersion> file_fixed_version(const std::filesystem::path& path);

// A value of the string table ("ProductName", "FileDescription", …): the languages the file
// lists first, then U.S. English and Spanish; absent when no table has a non-empty value.
std::optional<std::string> file_version_string(const std::filesystem::path& path,
                                               std::wstring_view name);

// "{major}.{minor}.{patch}" of the running executable, or "dev" without a version resource.
// Read once per process.
const std::string& running_version();
// The running executable's build number, 0 without a version resource.
uint32_t running_build();

}  // namespace torvane
