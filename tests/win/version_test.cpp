// Version resources of small programs built with chosen resources (see version.cmake).

#include "win/version.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <string>

#include "test_util.h"

namespace torvane {
namespace {

TEST(Version, FixedVersionAndStringTables) {
    auto es = beside_tests(L"version_es.exe");
    // Parts above 32767 stay unsigned; the product version is not used.
    EXPECT_EQ(file_fixed_version(es), (FileVersion{3, 0, 65535, 40000}));
    EXPECT_EQ(file_fixed_version(beside_tests(L"no_such_program.exe")), std::nullopt);
    // This test program has no version resource.
    EXPECT_EQ(running_version(), "dev");
    EXPECT_EQ(running_build(), 0u);

    // The translation table's language comes before the U.S. English fallback.
    EXPECT_EQ(file_version_string(es, L"FileDescription"), "Aplicación de prueba");
    // An empty value does not win; the next table is asked.
    EXPECT_EQ(file_version_string(es, L"Comments"), "English comments");
    // Spanish without a translation table: found through the fallback list.
    EXPECT_EQ(file_version_string(beside_tests(L"version_es_untranslated.exe"), L"FileDescription"),
              "Aplicación sin traducciones");
    // A language outside the fallback list, named by the translation table in upper case.
    EXPECT_EQ(file_version_string(beside_tests(L"version_upper.exe"), L"ProductName"), "Torvane");

    // Values are cut at 4096 units, and an unpaired surrogate becomes U+FFFD.
    auto long_values = beside_tests(L"version_long.exe");
    EXPECT_EQ(file_version_string(long_values, L"Comments"), std::string(4096, 'a'));
    EXPECT_EQ(file_version_string(long_values, L"FileDescription"), "x\xEF\xBF\xBDy");
}

}  // namespace
}  // namespace torvane
