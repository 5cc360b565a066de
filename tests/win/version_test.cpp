// Version resources of small programs built with chosen resources (see version.cmake).

#include "win/version.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <string>

#include "win/handle.h"

namespace torvane {
namespace {

std::filesystem::path beside_tests(const wchar_t* file) {
    wchar_t self[MAX_PATH];
    DWORD units = GetModuleFileNameW(nullptr, self, MAX_PATH);
    return std::filesystem::path(std::wstring(self, units)).parent_path() / file;
}

// What a program prints on its standard output, without the final line break.
std::string output_of(const std::filesystem::path& program) {
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    HANDLE read_raw = nullptr;
    HANDLE write_raw = nullptr;
    if (!CreatePipe(&read_raw, &write_raw, &inheritable, 0)) return "no pipe";
    Handle read_end(read_raw);
    Handle write_end(write_raw);
    SetHandleInformation(read_end.get(), HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = write_end.get();
    startup.hStdError = write_end.get();
    PROCESS_INFORMATION started{};
    std::wstring command = L"\"" + program.wstring() + L"\"";
    if (!CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                        nullptr, &startup, &started)) {
        return "not started";
    }
    Handle process(started.hProcess);
    Handle thread(started.hThread);
    write_end.reset();

    std::string out;
    char buffer[256];
    DWORD got = 0;
    while (ReadFile(read_end.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) {
        out.append(buffer, got);
    }
    WaitForSingleObject(process.get(), 10000);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r'))
        out.pop_back();
    return out;
}

TEST(Version, RunningVersionComesFromTheProgramsOwnResource) {
    EXPECT_EQ(output_of(beside_tests(L"version_1437.exe")), "1.4.2 37");
    EXPECT_EQ(output_of(beside_tests(L"version_none.exe")), "dev 0");
    // Parts above 32767 stay unsigned; the product version is not used.
    EXPECT_EQ(output_of(beside_tests(L"version_es.exe")), "3.0.65535 40000");
}

TEST(Version, FixedFileVersion) {
    EXPECT_EQ(file_fixed_version(beside_tests(L"version_1437.exe")), (FileVersion{1, 4, 2, 37}));
    EXPECT_EQ(file_fixed_version(beside_tests(L"version_es.exe")),
              (FileVersion{3, 0, 65535, 40000}));
    EXPECT_EQ(file_fixed_version(beside_tests(L"version_none.exe")), std::nullopt);
    EXPECT_EQ(file_fixed_version(beside_tests(L"no_such_program.exe")), std::nullopt);
}

TEST(Version, StringTableLookup) {
    auto es = beside_tests(L"version_es.exe");
    // The translation table's language comes before the U.S. English fallback.
    EXPECT_EQ(file_version_string(es, L"FileDescription"), "Aplicación de prueba");
    // An empty value does not win; the next table is asked.
    EXPECT_EQ(file_version_string(es, L"Comments"), "English comments");
    EXPECT_EQ(file_version_string(es, L"ProductName"), "Torvane");
    EXPECT_EQ(file_version_string(es, L"InternalName"), std::nullopt);

    // Spanish without a translation table: found through the fallback list.
    EXPECT_EQ(file_version_string(beside_tests(L"version_es_untranslated.exe"), L"FileDescription"),
              "Aplicación sin traducciones");
    // A language outside the fallback list, named by the translation table in upper case.
    EXPECT_EQ(file_version_string(beside_tests(L"version_1437.exe"), L"ProductName"), "Torvane");

    EXPECT_EQ(file_version_string(beside_tests(L"version_none.exe"), L"ProductName"), std::nullopt);
    EXPECT_EQ(file_version_string(beside_tests(L"no_such_program.exe"), L"ProductName"),
              std::nullopt);
}

TEST(Version, LongAndBrokenValues) {
    auto program = beside_tests(L"version_long.exe");
    EXPECT_EQ(file_version_string(program, L"Comments"), std::string(4096, 'a'));
    EXPECT_EQ(file_version_string(program, L"FileDescription"), "x\xEF\xBF\xBDy");
}

}  // namespace
}  // namespace torvane
