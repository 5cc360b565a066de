#include "win/log.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "win/handle.h"

namespace fs = std::filesystem;
using namespace torvane;

TEST(Log, AppendsSanitisedLinesAndStartsAfreshOnlyAboveTheLimit) {
    const fs::path dir =
        fs::temp_directory_path() / ("torvane-log-" + std::to_string(GetCurrentProcessId()) + "-" +
                                     std::to_string(GetTickCount64()));
    const fs::path file = dir / "nested" / "torvane.log";
    const std::string stamp = R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d )";
    // Whether the file from byte `from` on is `pattern`.
    auto holds = [&](const std::string& pattern, size_t from = 0) {
        std::ostringstream text;
        text << std::ifstream(file, std::ios::binary).rdbuf();
        return from <= text.str().size() &&
               std::regex_match(text.str().substr(from), std::regex(pattern));
    };

    append_log_line(file, "Versión nueva\r\nsegunda");  // creates the folders
    append_log_line(file, "otra");
    // UTF-8 without a byte-order mark, CR LF endings, line breaks in a message become blanks.
    EXPECT_TRUE(holds(stamp + "Versi\xC3\xB3n nueva  segunda\r\n" + stamp + "otra\r\n"));

    std::ofstream(file, std::ios::binary) << std::string(log_size_limit, 'x');
    {
        // A viewer holding the file open does not keep lines out.
        FileHandle reader(CreateFileW(file.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, 0, nullptr));
        EXPECT_TRUE(reader);
        append_log_line(file, "sigue");  // exactly at the limit: appended
    }
    EXPECT_TRUE(holds(stamp + "sigue\r\n", log_size_limit));
    append_log_line(file, "nuevo");  // above it: a fresh file with only this line
    EXPECT_TRUE(holds(stamp + "nuevo\r\n"));
    fs::remove_all(dir);
}
