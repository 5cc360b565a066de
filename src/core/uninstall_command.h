#pragma once
// The delayed removal of the install folder: the uninstaller cannot delete the folder that
// holds its own running executable, so it leaves that to cmd.exe a moment after it has ended.

#include <string>
#include <string_view>

namespace torvane {

// Whether a folder path (UTF-8) can be put inside a cmd.exe command in double quotes without
// cmd reading any of it as syntax: a drive path ("X:\…") whose rest holds no quote, no
// variable or escape character, no redirection or command separator and no control character.
bool is_safe_for_cmd(std::string_view folder);

// The command line that waits about two seconds and then removes `folder` with everything in
// it, using the cmd.exe and ping.exe of `system_folder`. Only for folders is_safe_for_cmd
// accepts.
std::string removal_command_line(std::string_view system_folder, std::string_view folder);

}  // namespace torvane
