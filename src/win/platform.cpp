// Platform services for Windows: files, lower-casing, randomness.

#include <windows.h>

#include <random>

#include "core/platform.h"
#include "core/utf8.h"
#include "win/wtext.h"

namespace torvane {

std::wstring widen(std::string_view utf8) {
    std::wstring out;
    out.reserve(utf8.size());
    for_each_code_point(utf8, [&](char32_t cp, bool valid, std::string_view) {
        if (!valid) cp = 0xFFFD;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<wchar_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<wchar_t>(cp));
        }
    });
    return out;
}

std::string narrow(std::wstring_view utf16) {
    std::string out;
    out.reserve(utf16.size());
    for (std::size_t i = 0; i < utf16.size(); ++i) {
        char32_t cp = utf16[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
            utf16[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        append_utf8(out, cp);
    }
    return out;
}

namespace {

struct Handle {
    HANDLE h;
    explicit Handle(HANDLE handle) : h(handle) {}
    ~Handle() {
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
};

Error last_error(const char* what) { return Error{what, static_cast<long>(GetLastError())}; }

}  // namespace

std::optional<std::string> read_file(const std::filesystem::path& path) {
    Handle file(CreateFileW(path.c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.h == INVALID_HANDLE_VALUE) return std::nullopt;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.h, &size) || size.QuadPart > (1LL << 30)) return std::nullopt;
    std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD got = 0;
        DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
        if (!ReadFile(file.h, bytes.data() + done, want, &got, nullptr)) return std::nullopt;
        if (got == 0) break;
        done += got;
    }
    bytes.resize(done);
    return bytes;
}

Status write_file_atomic(const std::filesystem::path& target, std::string_view bytes) {
    std::error_code ec;
    if (target.has_parent_path()) std::filesystem::create_directories(target.parent_path(), ec);
    std::filesystem::path tmp = target;
    tmp += L".tmp";
    {
        Handle file(CreateFileW(tmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file.h == INVALID_HANDLE_VALUE) return last_error("CreateFileW");
        while (!bytes.empty()) {
            DWORD put = 0;
            DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 20));
            if (!WriteFile(file.h, bytes.data(), want, &put, nullptr) || put == 0) {
                Error error = last_error("WriteFile");
                CloseHandle(file.h);
                file.h = INVALID_HANDLE_VALUE;
                DeleteFileW(tmp.c_str());
                return error;
            }
            bytes.remove_prefix(put);
        }
    }
    if (!MoveFileExW(tmp.c_str(), target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        Error error = last_error("MoveFileExW");
        DeleteFileW(tmp.c_str());
        return error;
    }
    return success();
}

std::string lower_utf8(std::string_view text) {
    std::wstring wide = widen(text);
    if (wide.empty()) return std::string(text);
    std::wstring lower(wide.size() * 2, L'\0');
    int n = LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_LOWERCASE, wide.data(),
                          static_cast<int>(wide.size()), lower.data(),
                          static_cast<int>(lower.size()), nullptr, nullptr, 0);
    if (n <= 0) return std::string(text);
    lower.resize(static_cast<std::size_t>(n));
    return narrow(lower);
}

void random_bytes(void* out, std::size_t size) {
    static thread_local std::random_device device;
    auto* bytes = static_cast<unsigned char*>(out);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<unsigned char>(device());
}

}  // namespace torvane
