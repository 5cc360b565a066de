#include "win/log.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

namespace fs = std::filesystem;
using namespace torvane;

namespace {

struct TempDir {
    fs::path path =
        fs::temp_directory_path() / ("torvane-log-" + std::to_string(GetCurrentProcessId()) + "-" +
                                     std::to_string(GetTickCount64()));
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
};

std::string contents(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

TEST(Log, LineFormatFolderCreationAndSanitising) {
    TempDir dir;
    fs::path file = dir.path / "nested" / "torvane.log";
    append_log_line(file, "Versión nueva\r\nsegunda");
    append_log_line(file, "otra");
    std::string text = contents(file);
    std::regex line(R"((\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}) (.*)\r\n)");
    auto first = std::sregex_iterator(text.begin(), text.end(), line);
    ASSERT_NE(first, std::sregex_iterator());
    EXPECT_EQ((*first)[2].str(), "Versión nueva  segunda");
    EXPECT_EQ(std::distance(first, std::sregex_iterator()), 2);
    // UTF-8 without a byte-order mark.
    EXPECT_NE(text.find("Versi\xC3\xB3n"), std::string::npos);
    EXPECT_EQ(text.rfind("\xEF\xBB\xBF", 0), std::string::npos);
}

TEST(Log, SizeLimitDeletesOnlyWhenAboveLimit) {
    TempDir dir;
    fs::create_directories(dir.path);
    fs::path file = dir.path / "torvane.log";
    {
        std::ofstream out(file, std::ios::binary);
        out << std::string(log_size_limit, 'x');
    }
    append_log_line(file, "sigue");  // exactly at the limit: appended
    auto after_first = fs::file_size(file);
    EXPECT_GT(after_first, log_size_limit);
    EXPECT_NE(contents(file).find("sigue"), std::string::npos);
    append_log_line(file, "nuevo");  // above the limit: a fresh file with only this line
    std::string text = contents(file);
    EXPECT_EQ(text.find('x'), std::string::npos);
    EXPECT_EQ(text.size(), std::string("2026-01-01 00:00:00 nuevo\r\n").size());
}

TEST(Log, SharedWhileAnotherReaderHoldsTheFile) {
    TempDir dir;
    fs::create_directories(dir.path);
    fs::path file = dir.path / "torvane.log";
    append_log_line(file, "uno");
    HANDLE reader = CreateFileW(file.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    append_log_line(file, "dos");
    CloseHandle(reader);
    EXPECT_NE(contents(file).find("dos"), std::string::npos);
}

TEST(Log, DataDirIsTheRoamingFolder) {
    fs::path dir = data_dir();
    EXPECT_EQ(dir.filename(), "Torvane");
    EXPECT_TRUE(fs::exists(dir.parent_path()));
}
