#include "core/uninstall_command.h"

#include "core/utf8.h"

namespace torvane {

namespace {

bool is_ascii_letter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool is_cmd_syntax(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == U'!' || c == U'"' || c == U'%' ||
           c == U'&' || c == U'<' || c == U'>' || c == U'^' || c == U'|';
}

std::string quoted(std::string_view text) {
    std::string out = "\"";
    out += text;
    out += '"';
    return out;
}

}  // namespace

bool is_safe_for_cmd(std::string_view folder) {
    if (folder.size() < 4 || !is_ascii_letter(folder[0]) || folder[1] != ':' || folder[2] != '\\')
        return false;
    bool safe = true;
    for_each_code_point(folder.substr(3), [&](char32_t c, bool valid, std::string_view) {
        if (!valid || is_cmd_syntax(c)) safe = false;
    });
    return safe;
}

std::string removal_command_line(std::string_view system_folder, std::string_view folder) {
    const std::string system(system_folder);
    return quoted(system + "\\cmd.exe") + " /d /c \"" + quoted(system + "\\ping.exe") +
           " -n 3 127.0.0.1 >nul & rmdir /s /q " + quoted(folder) + "\"";
}

}  // namespace torvane
