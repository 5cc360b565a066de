// Installation for the current user: the log-on start value.

#include "win/installer.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "win/handle.h"

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
    void TearDown() override { set_autostart(false); }
};

TEST_F(Autostart, ValueNamesTheInstalledCopyAndGoesAway) {
    set_autostart(true);
    const std::wstring expected = L"\"" + installed_exe_path().native() + L"\"";
    EXPECT_EQ(raw_value(run_key, L"Torvane"), sz(expected));
    EXPECT_NE(expected.find(L"\\Programs\\Torvane\\Torvane.exe\""), std::wstring::npos);
    EXPECT_TRUE(autostart_enabled());
    // Another program's value is left alone.
    put_raw(L"Other", REG_SZ, L"x", 4);

    set_autostart(false);
    EXPECT_EQ(raw_value(run_key, L"Torvane"), std::nullopt);
    EXPECT_FALSE(autostart_enabled());
    EXPECT_NE(raw_value(run_key, L"Other"), std::nullopt);
    // Switching off twice is harmless.
    set_autostart(false);
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
    // Data without its terminating NUL still holds text.
    put_raw(L"Torvane", REG_SZ, L"ab", 4);
    EXPECT_TRUE(autostart_enabled());
    // Empty, empty before a NUL, no data at all, or another type: off.
    put_raw(L"Torvane", REG_SZ, L"", 2);
    EXPECT_FALSE(autostart_enabled());
    put_raw(L"Torvane", REG_SZ, L"\0ab", 8);
    EXPECT_FALSE(autostart_enabled());
    put_raw(L"Torvane", REG_SZ, nullptr, 0);
    EXPECT_FALSE(autostart_enabled());
    put_raw(L"Torvane", REG_EXPAND_SZ, elsewhere.c_str(),
            static_cast<DWORD>(2 * (elsewhere.size() + 1)));
    EXPECT_FALSE(autostart_enabled());
}

}  // namespace
}  // namespace torvane
