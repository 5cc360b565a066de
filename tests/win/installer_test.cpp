// Installation for the current user: the log-on start value, the uninstall entry, the
// Start-menu shortcut, the comparison of program paths and the folder fallbacks.

#include "win/installer.h"
#include "win/registration.h"

#include <gtest/gtest.h>
#include <windows.h>
// After windows.h:
#include <shlguid.h>
#include <shobjidl.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "test_util.h"
#include "win/folders.h"
#include "win/handle.h"
#include "win/last_error.h"

namespace torvane {
namespace {

constexpr const wchar_t* run_key = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

struct RawValue {
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
    bool operator==(const RawValue&) const = default;
};

std::optional<RawValue> raw_value(const wchar_t* subkey, const wchar_t* name) {
    RegKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, subkey, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS)
        return std::nullopt;
    RawValue value;
    DWORD size = 0;
    if (RegQueryValueExW(key.get(), name, nullptr, &value.type, nullptr, &size) != ERROR_SUCCESS)
        return std::nullopt;
    value.data.resize(size);
    if (RegQueryValueExW(key.get(), name, nullptr, &value.type, value.data.data(), &size) !=
        ERROR_SUCCESS)
        return std::nullopt;
    return value;
}

// A REG_SZ's bytes as the system stores them: UTF-16 with the terminating NUL.
RawValue sz(const std::wstring& text) {
    const auto* bytes = reinterpret_cast<const BYTE*>(text.c_str());
    return {REG_SZ, std::vector<BYTE>(bytes, bytes + (text.size() + 1) * sizeof(wchar_t))};
}

void put_raw(const wchar_t* name, DWORD type, const void* data, DWORD bytes) {
    RegKey key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, run_key, 0, nullptr, 0, KEY_WRITE, nullptr,
                              key.put(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key.get(), name, 0, type, static_cast<const BYTE*>(data), bytes),
              ERROR_SUCCESS);
}

class Autostart : public testing::Test {
protected:
    void TearDown() override { EXPECT_TRUE(set_autostart(false).ok()); }
};

TEST_F(Autostart, ValueNamesTheInstalledCopyAndGoesAway) {
    ASSERT_TRUE(set_autostart(true).ok());
    const std::wstring expected = L"\"" + installed_exe_path().native() + L"\"";
    EXPECT_EQ(raw_value(run_key, L"Torvane"), sz(expected));
    EXPECT_NE(expected.find(L"\\Programs\\Torvane\\Torvane.exe\""), std::wstring::npos);
    EXPECT_TRUE(autostart_enabled());
    // Another program's value is left alone.
    put_raw(L"Other", REG_SZ, L"x", 4);

    ASSERT_TRUE(set_autostart(false).ok());
    EXPECT_EQ(raw_value(run_key, L"Torvane"), std::nullopt);
    EXPECT_FALSE(autostart_enabled());
    EXPECT_NE(raw_value(run_key, L"Other"), std::nullopt);
    // Switching off twice is harmless.
    EXPECT_TRUE(set_autostart(false).ok());
    EXPECT_FALSE(autostart_enabled());
    RegKey key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, run_key, 0, KEY_SET_VALUE, key.put()),
              ERROR_SUCCESS);
    RegDeleteValueW(key.get(), L"Other");
}

TEST_F(Autostart, AnyNonEmptyTextCountsWhereverItPoints) {
    const std::wstring elsewhere = L"\"D:\\otra\\Torvane.exe\"";
    put_raw(L"Torvane", REG_SZ, elsewhere.c_str(), static_cast<DWORD>(2 * (elsewhere.size() + 1)));
    EXPECT_TRUE(autostart_enabled());
    // Data without its terminating NUL still holds text; empty, empty before a NUL or no data
    // at all is off.
    for (auto [data, bytes, on] :
         {std::tuple{L"ab", 4, true}, {L"", 2, false}, {L"\0ab", 8, false}, {nullptr, 0, false}}) {
        put_raw(L"Torvane", REG_SZ, data, static_cast<DWORD>(bytes));
        EXPECT_EQ(autostart_enabled(), on) << bytes;
    }
    // Another type: off.
    put_raw(L"Torvane", REG_EXPAND_SZ, elsewhere.c_str(),
            static_cast<DWORD>(2 * (elsewhere.size() + 1)));
    EXPECT_FALSE(autostart_enabled());
}

constexpr const wchar_t* entry_key =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Torvane";

RawValue dword(DWORD value) {
    const auto* bytes = reinterpret_cast<const BYTE*>(&value);
    return {REG_DWORD, std::vector<BYTE>(bytes, bytes + 4)};
}

// Each case starts without an installed copy and leaves none behind.
class Installed : public testing::Test {
protected:
    void SetUp() override { TearDown(); }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(install_dir(), ignored);
        std::filesystem::remove(shortcut_path(), ignored);
        RegDeleteTreeW(HKEY_CURRENT_USER, entry_key);
    }
    void place(const std::filesystem::path& program) {
        std::filesystem::create_directories(install_dir());
        std::filesystem::copy_file(program, installed_exe_path(),
                                   std::filesystem::copy_options::overwrite_existing);
    }
};

TEST_F(Installed, UninstallEntryDescribesTheInstalledFile) {
    // Version 3.0.65535.40000, grown past 0x7FFF KiB to show the size in KiB, rounded down.
    place(beside_tests(L"version_es.exe"));
    const uintmax_t bytes = 40 * 1024 * 1024 + 1023;
    std::filesystem::resize_file(installed_exe_path(), bytes);
    ASSERT_TRUE(write_uninstall_entry().ok());

    const std::wstring exe = installed_exe_path().native();
    EXPECT_EQ(raw_value(entry_key, L"DisplayName"), sz(L"Torvane"));
    EXPECT_EQ(raw_value(entry_key, L"DisplayVersion"), sz(L"3.0.65535"));
    EXPECT_EQ(raw_value(entry_key, L"Publisher"), sz(L"brisol"));
    EXPECT_EQ(raw_value(entry_key, L"DisplayIcon"), sz(L"\"" + exe + L"\",0"));
    EXPECT_EQ(raw_value(entry_key, L"InstallLocation"), sz(install_dir().native()));
    EXPECT_EQ(raw_value(entry_key, L"UninstallString"), sz(L"\"" + exe + L"\" --uninstall"));
    EXPECT_EQ(raw_value(entry_key, L"NoModify"), dword(1));
    EXPECT_EQ(raw_value(entry_key, L"NoRepair"), dword(1));
    EXPECT_EQ(raw_value(entry_key, L"EstimatedSize"), dword(40 * 1024));

    // Without a version resource or a file: an empty version and size 0, rewritten in place.
    place(beside_tests(L"torvane_win_tests.exe"));
    ASSERT_TRUE(write_uninstall_entry().ok());
    EXPECT_EQ(raw_value(entry_key, L"DisplayVersion"), sz(L""));
    std::filesystem::remove(installed_exe_path());
    ASSERT_TRUE(write_uninstall_entry().ok());
    EXPECT_EQ(raw_value(entry_key, L"EstimatedSize"), dword(0));

    // Only the installed copy keeps the entry current at its start; this test program is not it.
    RegDeleteTreeW(HKEY_CURRENT_USER, entry_key);
    write_uninstall_entry_if_installed();
    EXPECT_EQ(raw_value(entry_key, L"DisplayName"), std::nullopt);
    // Removing it takes the whole key.
    ASSERT_TRUE(write_uninstall_entry().ok());
    ASSERT_TRUE(remove_uninstall_entry().ok());
    RegKey key;
    EXPECT_NE(RegOpenKeyExW(HKEY_CURRENT_USER, entry_key, 0, KEY_READ, key.put()), ERROR_SUCCESS);
}

TEST_F(Installed, ShortcutStartsTheInstalledCopyInItsFolder) {
    EXPECT_EQ(shortcut_path().filename(), L"Torvane.lnk");
    EXPECT_EQ(shortcut_path().parent_path().filename(), L"Programs");
    ASSERT_TRUE(create_start_menu_shortcut().ok());
    ASSERT_TRUE(std::filesystem::exists(shortcut_path()));

    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    {
        ComPtr<IShellLinkW> link;
        ComPtr<IPersistFile> file;
        ASSERT_TRUE(SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                               IID_IShellLinkW,
                                               reinterpret_cast<void**>(link.GetAddressOf()))));
        ASSERT_TRUE(SUCCEEDED(link.As(&file)));
        ASSERT_TRUE(SUCCEEDED(file->Load(shortcut_path().c_str(), STGM_READ)));
        wchar_t text[MAX_PATH];
        int index = -1;
        link->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH);
        EXPECT_EQ(std::wstring(text), installed_exe_path().native());
        link->GetWorkingDirectory(text, MAX_PATH);
        EXPECT_EQ(std::wstring(text), install_dir().native());
        link->GetIconLocation(text, MAX_PATH, &index);
        EXPECT_EQ(std::wstring(text), installed_exe_path().native());
        EXPECT_EQ(index, 0);
        link->GetDescription(text, MAX_PATH);
        EXPECT_EQ(std::wstring(text), L"Mantiene la PC despierta");
    }
    CoUninitialize();
}

TEST(ProgramPath, SameProgramComparesFinalPathsIgnoringCaseAndSpelling) {
    const std::filesystem::path self = beside_tests(L"torvane_win_tests.exe");
    std::wstring upper = self.native();
    CharUpperBuffW(upper.data(), static_cast<DWORD>(upper.size()));
    EXPECT_TRUE(same_program(self, upper));
    EXPECT_TRUE(same_program(self, L"\\\\?\\" + self.native()));
    EXPECT_TRUE(same_program(
        self, self.parent_path() / L".." / self.parent_path().filename() / self.filename()));
    std::wstring slashes = self.native();
    std::replace(slashes.begin(), slashes.end(), L'\\', L'/');
    EXPECT_TRUE(same_program(self, slashes));
    EXPECT_FALSE(same_program(self, beside_tests(L"version_es.exe")));

    // A path that cannot be resolved is taken as written, in the same form.
    EXPECT_EQ(normalized_program_path(L"\\\\?\\C:/Nada/Aquí\\PROGRAMA.EXE\\\\"),
              L"c:\\nada\\aquí\\programa.exe");
    EXPECT_TRUE(same_program(L"C:\\Nada\\X.exe", L"c:/nada/x.EXE"));
    EXPECT_FALSE(same_program(L"C:\\Nada\\X.exe", L"C:\\Nada\\X.exe.new"));
}

TEST(ProgramPath, SystemErrorTextEndsWithTheCode) {
    const std::string denied = system_error_text(ERROR_ACCESS_DENIED);
    EXPECT_TRUE(denied.ends_with(" (os error 5)")) << denied;
    EXPECT_EQ(denied.find_first_of("\r\n"), std::string::npos) << denied;
    // A code without a description still names itself.
    EXPECT_EQ(system_error_text(0x2FFFFFFF), "(os error 805306367)");
}

TEST(Folders, KnownFolderThenVariableBelowThenTemporary) {
    // A folder the system does not know moves to the variable, joined with the subfolder.
    static constexpr KNOWNFOLDERID unknown = {
        0x0badf00d, 0x1234, 0x5678, {0x9a, 0xbc, 0xde, 0xf0, 0x12, 0x34, 0x56, 0x78}};
    ASSERT_TRUE(SetEnvironmentVariableW(L"TORVANE_TEST_FOLDER", L"C:\\Prueba"));
    EXPECT_EQ(known_folder_or(unknown, L"TORVANE_TEST_FOLDER", L"Sub\\Carpeta"),
              std::filesystem::path(L"C:\\Prueba\\Sub\\Carpeta"));
    EXPECT_EQ(known_folder_or(unknown, L"TORVANE_TEST_FOLDER"),
              std::filesystem::path(L"C:\\Prueba"));
    // Unset or empty: the temporary folder, without the subfolder.
    wchar_t temp[MAX_PATH + 1];
    const std::filesystem::path temporary(std::wstring(temp, GetTempPathW(MAX_PATH + 1, temp)));
    ASSERT_TRUE(SetEnvironmentVariableW(L"TORVANE_TEST_FOLDER", L""));
    EXPECT_EQ(known_folder_or(unknown, L"TORVANE_TEST_FOLDER", L"Sub"), temporary);
    ASSERT_TRUE(SetEnvironmentVariableW(L"TORVANE_TEST_FOLDER", nullptr));
    EXPECT_EQ(known_folder_or(unknown, L"TORVANE_TEST_FOLDER", L"Sub"), temporary);
}

}  // namespace
}  // namespace torvane
