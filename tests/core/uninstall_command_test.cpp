// The uninstaller's delayed folder removal through cmd.exe.

#include "core/uninstall_command.h"

#include <gtest/gtest.h>

namespace torvane {
namespace {

TEST(Removal, CommandLineWaitsThenRemovesTheQuotedFolder) {
    EXPECT_EQ(removal_command_line("C:\\Windows\\System32",
                                   "C:\\Users\\u\\AppData\\Local\\Programs\\Torvane"),
              "\"C:\\Windows\\System32\\cmd.exe\" /d /c \"\"C:\\Windows\\System32\\ping.exe\" -n 3 "
              "127.0.0.1 >nul & rmdir /s /q \"C:\\Users\\u\\AppData\\Local\\Programs\\Torvane\"\"");
    // Blanks and letters outside ASCII stay as they are inside the quotes.
    EXPECT_EQ(removal_command_line("D:\\W\\S", "D:\\Usuarios\\José Pérez\\T"),
              "\"D:\\W\\S\\cmd.exe\" /d /c \"\"D:\\W\\S\\ping.exe\" -n 3 127.0.0.1 >nul & "
              "rmdir /s /q \"D:\\Usuarios\\José Pérez\\T\"\"");
}

TEST(Removal, SafeFoldersAreDrivePathsWithoutCmdSyntax) {
    for (const char* folder : {"C:\\Users\\u\\AppData\\Local\\Programs\\Torvane", "z:\\a",
                               "C:\\Usuarios\\José Pérez (casa)\\Programs\\Torvane",
                               "C:\\a b\\c.d-e_f@g#h$i'j,k;l=m+n~o[p]q{r}s\\\xF0\x9F\x98\x80"})
        EXPECT_TRUE(is_safe_for_cmd(folder)) << folder;
    // Not a drive path, too short, or starting with something other than a letter.
    for (const char* folder : {"", "C:\\", "C:a\\b", "C;\\a", "1:\\a", "\\\\server\\share\\x",
                               "\\\\?\\C:\\x", "relative\\Torvane", "\xC3\x89:\\a"})
        EXPECT_FALSE(is_safe_for_cmd(folder)) << folder;
    // Any of cmd's special characters after the drive, anywhere, one at a time.
    for (char c : std::string_view("!\"%&<>^|"))
        for (const std::string& folder :
             {std::string("C:\\") + c + "a", std::string("C:\\Users\\") + c + "\\Torvane",
              std::string("C:\\Torvane") + c})
            EXPECT_FALSE(is_safe_for_cmd(folder)) << folder;
    // Control characters: C0, DEL and C1 (U+0080 and U+009F as UTF-8), but not U+00A0.
    for (const char* folder :
         {"C:\\a\tb", "C:\\a\nb", "C:\\a\x7f", "C:\\a\xC2\x80", "C:\\a\xC2\x9F"})
        EXPECT_FALSE(is_safe_for_cmd(folder)) << folder;
    EXPECT_TRUE(is_safe_for_cmd("C:\\a\xC2\xA0"));
    EXPECT_FALSE(is_safe_for_cmd(std::string("C:\\a\0b", 6)));
    // Bytes that are not UTF-8 are not judged safe.
    EXPECT_FALSE(is_safe_for_cmd("C:\\a\xFF"));
}

}  // namespace
}  // namespace torvane
