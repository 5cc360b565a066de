#include "win/registry.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace torvane {

namespace {

// The raw data of a value of type `wanted`, or absent.
std::optional<std::vector<BYTE>> read_raw(HKEY root, const wchar_t* subkey, const wchar_t* name,
                                          DWORD wanted) {
    RegKey key;
    if (RegOpenKeyExW(root, subkey, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS)
        return std::nullopt;
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(key.get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        type != wanted)
        return std::nullopt;
    std::vector<BYTE> data(size);
    if (RegQueryValueExW(key.get(), name, nullptr, &type, data.data(), &size) != ERROR_SUCCESS ||
        type != wanted)
        return std::nullopt;
    // The value may have shrunk between the two queries.
    data.resize(std::min<size_t>(size, data.size()));
    return data;
}

Status set_value(HKEY key, const wchar_t* name, DWORD type, const void* data, DWORD bytes) {
    const LSTATUS status =
        RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), bytes);
    if (status != ERROR_SUCCESS) return Error{"RegSetValueExW", status};
    return success();
}

}  // namespace

std::optional<DWORD> read_dword(HKEY root, const wchar_t* subkey, const wchar_t* name) {
    auto data = read_raw(root, subkey, name, REG_DWORD);
    if (!data || data->size() < sizeof(DWORD)) return std::nullopt;
    DWORD value = 0;
    std::memcpy(&value, data->data(), sizeof value);
    return value;
}

std::optional<std::wstring> read_string(HKEY root, const wchar_t* subkey, const wchar_t* name) {
    auto data = read_raw(root, subkey, name, REG_SZ);
    if (!data) return std::nullopt;
    std::wstring text(data->size() / sizeof(wchar_t), L'\0');
    std::memcpy(text.data(), data->data(), text.size() * sizeof(wchar_t));
    text.resize(std::wcslen(text.c_str()));
    return text;
}

Status write_string(HKEY key, const wchar_t* name, std::wstring_view text) {
    const std::wstring terminated(text);
    const auto bytes = static_cast<DWORD>((terminated.size() + 1) * sizeof(wchar_t));
    return set_value(key, name, REG_SZ, terminated.c_str(), bytes);
}

Status write_dword(HKEY key, const wchar_t* name, DWORD value) {
    return set_value(key, name, REG_DWORD, &value, sizeof value);
}

}  // namespace torvane
