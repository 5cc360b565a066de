#include "win/registry.h"

#include <cstring>
#include <vector>

namespace torvane {

std::optional<DWORD> read_dword(HKEY root, const wchar_t* subkey, const wchar_t* name) {
    RegKey key;
    if (RegOpenKeyExW(root, subkey, 0, KEY_READ, key.put()) != ERROR_SUCCESS) return std::nullopt;
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(key.get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        type != REG_DWORD || size < sizeof(DWORD))
        return std::nullopt;
    std::vector<BYTE> data(size);
    if (RegQueryValueExW(key.get(), name, nullptr, &type, data.data(), &size) != ERROR_SUCCESS ||
        type != REG_DWORD || size < sizeof(DWORD))
        return std::nullopt;
    DWORD value = 0;
    std::memcpy(&value, data.data(), sizeof value);
    return value;
}

}  // namespace torvane
