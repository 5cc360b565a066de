// Version resources through the Version API. The block is untrusted (an update may be read
// before it is verified), so every pointer the API returns is checked against it.

#include "win/version.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/strings.h"
#include "win/folders.h"
#include "win/wtext.h"

namespace torvane {
namespace {

constexpr std::size_t max_value_units = 4096;
constexpr std::size_t max_translations = 16;
constexpr DWORD fixed_info_signature = 0xFEEF04BD;

using Block = std::vector<unsigned char>;

std::optional<Block> load_block(const std::filesystem::path& path) {
    DWORD size = GetFileVersionInfoSizeW(path.c_str(), nullptr);
    if (size == 0) return std::nullopt;
    Block block(size);
    if (!GetFileVersionInfoW(path.c_str(), 0, size, block.data())) return std::nullopt;
    return block;
}

// Bytes from `p` to the end of the block; 0 when `p` lies outside it.
std::size_t bytes_left(const Block& block, const void* p) {
    auto at = reinterpret_cast<std::uintptr_t>(p);
    auto begin = reinterpret_cast<std::uintptr_t>(block.data());
    if (at < begin || at > begin + block.size()) return 0;
    return begin + block.size() - at;
}

struct Value {
    const void* data = nullptr;
    UINT length = 0;  // bytes for binary values, UTF-16 units for strings
};

std::optional<Value> query(const Block& block, const std::wstring& sub_block) {
    void* data = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), sub_block.c_str(), &data, &length) || !data) {
        return std::nullopt;
    }
    return Value{data, length};
}

// "{language}{code page}" names of the string tables to try, in order.
std::vector<std::wstring> table_candidates(const Block& block) {
    std::vector<std::wstring> candidates;
    if (auto table = query(block, L"\\VarFileInfo\\Translation")) {
        std::size_t bytes = std::min<std::size_t>(table->length, bytes_left(block, table->data));
        std::size_t pairs = std::min(bytes / 4, max_translations);
        auto* raw = static_cast<const unsigned char*>(table->data);
        for (std::size_t i = 0; i < pairs; ++i) {
            // Two little-endian words, each written as four digits.
            const unsigned char* pair = raw + i * 4;
            const std::uint8_t digits_order[] = {pair[1], pair[0], pair[3], pair[2]};
            candidates.push_back(widen(hex(digits_order)));
        }
    }
    for (const wchar_t* fallback : {L"040904b0", L"0c0a04b0", L"040904e4"}) {
        candidates.emplace_back(fallback);
    }
    return candidates;
}

std::optional<std::string> read_string(const Block& block, const std::wstring& sub_block) {
    auto value = query(block, sub_block);
    if (!value) return std::nullopt;
    std::size_t units =
        std::min({std::size_t{value->length}, bytes_left(block, value->data) / 2, max_value_units});
    std::wstring_view text(static_cast<const wchar_t*>(value->data), units);
    text = text.substr(0, text.find(L'\0'));
    if (text.empty()) return std::nullopt;
    return narrow(text);
}

struct RunningVersion {
    std::string text;
    uint32_t build = 0;
};

const RunningVersion& running() {
    static const RunningVersion running = [] {
        const Result<std::filesystem::path> exe = running_exe_path();
        auto version = exe ? file_fixed_version(exe.value()) : std::nullopt;
        if (!version) return RunningVersion{"dev", 0};
        return RunningVersion{std::to_string(version->major) + "." +
                                  std::to_string(version->minor) + "." +
                                  std::to_string(version->patch),
                              version->build};
    }();
    return running;
}

}  // namespace

std::optional<FileVersion> file_fixed_version(const std::filesystem::path& path) {
    auto block = load_block(path);
    if (!block) return std::nullopt;
    auto fixed = query(*block, L"\\");
    if (!fixed || fixed->length < sizeof(VS_FIXEDFILEINFO) ||
        bytes_left(*block, fixed->data) < sizeof(VS_FIXEDFILEINFO)) {
        return std::nullopt;
    }
    VS_FIXEDFILEINFO info;
    std::memcpy(&info, fixed->data, sizeof info);
    if (info.dwSignature != fixed_info_signature) return std::nullopt;
    return FileVersion{HIWORD(info.dwFileVersionMS), LOWORD(info.dwFileVersionMS),
                       HIWORD(info.dwFileVersionLS), LOWORD(info.dwFileVersionLS)};
}

std::optional<std::string> file_version_string(const std::filesystem::path& path,
                                               std::wstring_view name) {
    auto block = load_block(path);
    if (!block) return std::nullopt;
    for (const std::wstring& candidate : table_candidates(*block)) {
        std::wstring sub_block = L"\\StringFileInfo\\" + candidate + L"\\";
        sub_block += name;
        if (auto value = read_string(*block, sub_block)) return value;
    }
    return std::nullopt;
}

const std::string& running_version() {
    return running().text;
}

uint32_t running_build() {
    return running().build;
}

}  // namespace torvane
