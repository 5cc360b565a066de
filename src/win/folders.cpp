#include "win/folders.h"

#include <aclapi.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "win/handle.h"
#include "win/last_error.h"
#include "win/late_bound.h"

namespace torvane {

namespace {

Result<std::filesystem::path> known_folder(REFKNOWNFOLDERID folder) {
    CoTaskMemory<PWSTR> path;
    const HRESULT result = SHGetKnownFolderPath(folder, 0, nullptr, path.put());
    if (FAILED(result)) return Error{"SHGetKnownFolderPath", result};
    if (!path || !*path.get()) return Error{"SHGetKnownFolderPath: ruta vacía"};
    return std::filesystem::path(path.get());
}

std::filesystem::path environment_folder(const wchar_t* name) {
    wchar_t buffer[MAX_PATH * 2];
    DWORD n = GetEnvironmentVariableW(name, buffer, static_cast<DWORD>(std::size(buffer)));
    if (n == 0 || n >= std::size(buffer)) return {};
    return std::filesystem::path(std::wstring(buffer, n));
}

// The entry at `path` itself, never what a link points at, open for listing and deletion. It is
// not shared for deletion, so while it is held nobody can rename it or put a link in its place.
FileHandle open_entry(const std::filesystem::path& path) {
    return FileHandle(CreateFileW(
        path.c_str(), DELETE | FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | READ_CONTROL,
        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

// Asked both of the open entry and by its (now pinned) path: some systems report a link only
// through the path and describe its target through the handle.
DWORD entry_attributes(HANDLE entry, const std::filesystem::path& path) {
    FILE_ATTRIBUTE_TAG_INFO tag{};
    const DWORD by_handle =
        GetFileInformationByHandleEx(entry, FileAttributeTagInfo, &tag, sizeof tag)
            ? tag.FileAttributes
            : 0;
    const DWORD by_path = GetFileAttributesW(path.c_str());
    return by_handle | (by_path == INVALID_FILE_ATTRIBUTES ? 0 : by_path);
}

std::optional<std::vector<BYTE>> token_information(TOKEN_INFORMATION_CLASS kind) {
    Handle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) return std::nullopt;
    DWORD size = 0;
    GetTokenInformation(token.get(), kind, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    if (size == 0 || !GetTokenInformation(token.get(), kind, buffer.data(), size, &size))
        return std::nullopt;
    return buffer;
}

// The user, or the owner this user's new files get (the Administrators group when elevated).
bool owned_by_current_user(HANDLE entry) {
    PSID owner = nullptr;
    LocalMemory<PSECURITY_DESCRIPTOR> descriptor;
    if (GetSecurityInfo(entry, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                        nullptr, descriptor.put()) != ERROR_SUCCESS ||
        !owner)
        return false;
    const auto user = token_information(TokenUser);
    const auto default_owner = token_information(TokenOwner);
    return (user && EqualSid(owner, reinterpret_cast<const TOKEN_USER*>(user->data())->User.Sid)) ||
           (default_owner &&
            EqualSid(owner, reinterpret_cast<const TOKEN_OWNER*>(default_owner->data())->Owner));
}

// The names in the folder open as `folder`, listed through that handle.
std::vector<std::wstring> folder_names(HANDLE folder) {
    std::vector<std::wstring> names;
    std::vector<std::uint64_t> buffer(8192);  // 64 KiB, aligned for the records
    const DWORD bytes = static_cast<DWORD>(buffer.size() * sizeof buffer[0]);
    while (GetFileInformationByHandleEx(folder, FileIdBothDirectoryInfo, buffer.data(), bytes)) {
        const auto* record = reinterpret_cast<const BYTE*>(buffer.data());
        for (;;) {
            const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(record);
            std::wstring name(entry->FileName, entry->FileNameLength / sizeof(wchar_t));
            if (name != L"." && name != L"..") names.push_back(std::move(name));
            if (entry->NextEntryOffset == 0) break;
            record += entry->NextEntryOffset;
        }
    }
    return names;
}

}  // namespace

Status remove_tree(const std::filesystem::path& path, bool only_own) {
    const FileHandle entry = open_entry(path);
    if (!entry) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return success();
        return Error{"CreateFileW", static_cast<long>(error)};
    }
    if (only_own && !owned_by_current_user(entry.get())) return success();
    const DWORD attributes = entry_attributes(entry.get(), path);
    Status inside = success();
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        for (const std::wstring& name : folder_names(entry.get()))
            if (Status removed = remove_tree(path / name); !removed && inside) inside = removed;
    // Through the handle opened on the entry itself: a link goes, its target is not touched.
    FILE_DISPOSITION_INFO disposition{TRUE};
    if (SetFileInformationByHandle(entry.get(), FileDispositionInfo, &disposition,
                                   sizeof disposition))
        return success();
    // What stayed inside says more than the folder that is therefore not empty.
    return inside ? Status(last_error("SetFileInformationByHandle")) : inside;
}

Status flush_file(const std::filesystem::path& path) {
    FileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return last_error("CreateFileW");
    if (!FlushFileBuffers(file.get())) return last_error("FlushFileBuffers");
    return success();
}

Status rename_durably(const std::filesystem::path& from, const std::filesystem::path& to) {
    if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return success();
    return last_error("MoveFileExW");
}

bool is_file(const std::filesystem::path& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool is_folder(const std::filesystem::path& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

Status create_folder_tree(const std::filesystem::path& folder) {
    if (is_folder(folder)) return success();
    const std::filesystem::path parent = folder.parent_path();
    if (!parent.empty() && parent != folder)
        if (Status parent_made = create_folder_tree(parent); !parent_made) return parent_made;
    if (CreateDirectoryW(folder.c_str(), nullptr)) return success();
    const DWORD error = GetLastError();
    // Created meanwhile by someone else is as good; a file of that name is not.
    if (error == ERROR_ALREADY_EXISTS && is_folder(folder)) return success();
    return Error{"CreateDirectoryW", static_cast<long>(error)};
}

Result<std::filesystem::path> temp_folder() {
    // GetTempPath2W exists only on newer systems; fall back to GetTempPathW.
    using GetTempPath2 = DWORD(WINAPI*)(DWORD, LPWSTR);
    static const auto get_temp_path2 =
        system_function<GetTempPath2>(L"kernel32.dll", "GetTempPath2W");
    const char* call = get_temp_path2 ? "GetTempPath2W" : "GetTempPathW";
    wchar_t buffer[MAX_PATH + 1];
    DWORD n =
        get_temp_path2 ? get_temp_path2(MAX_PATH + 1, buffer) : GetTempPathW(MAX_PATH + 1, buffer);
    if (n == 0) return last_error(call);
    if (n > MAX_PATH) return Error{call, ERROR_INSUFFICIENT_BUFFER};
    return std::filesystem::path(std::wstring(buffer, n));
}

Result<std::filesystem::path> running_exe_path() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return last_error("GetModuleFileNameW");
        if (n < buffer.size()) return std::filesystem::path(buffer.substr(0, n));
        if (buffer.size() >= 32768) return Error{"GetModuleFileNameW", ERROR_INSUFFICIENT_BUFFER};
        buffer.resize(buffer.size() * 2);
    }
}

// Never logs: the log's own folder is found through here.
std::filesystem::path known_folder_or(REFKNOWNFOLDERID folder, const wchar_t* variable,
                                      const wchar_t* below_variable) {
    if (Result<std::filesystem::path> known = known_folder(folder)) return known.value();
    std::filesystem::path path = environment_folder(variable);
    if (path.empty()) return temp_folder().value_or({});
    if (*below_variable) path /= below_variable;
    return path;
}

}  // namespace torvane
