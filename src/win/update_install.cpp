#include "win/update_install.h"

#include <softpub.h>
#include <wintrust.h>

#include <algorithm>
#include <string_view>
#include <system_error>
#include <utility>
#include <variant>
#include <vector>

#include "core/crypto.h"
#include "core/package.h"
#include "core/package_proof.h"
#include "core/pe_version.h"
#include "win/fault.h"
#include "win/folders.h"
#include "win/handle.h"
#include "win/last_error.h"
#include "win/log.h"
#include "win/net.h"
#include "win/state_file.h"
#include "win/threads.h"
#include "win/update_restart.h"
#include "win/version.h"
#include "win/wtext.h"

namespace torvane {

namespace {

constexpr std::string_view digest_mismatch = "El archivo descargado no coincide";
constexpr std::string_view bad_signature = "Firma de la actualización inválida";
constexpr std::string_view no_app = "El paquete no contiene la app";
constexpr std::string_view wrong_signer = "La actualización no está firmada por brisol";
constexpr std::string_view bad_version = "La versión descargada no es válida";
constexpr std::string_view not_replaced = "No se pudo reemplazar la app";
constexpr unsigned download_timeout_seconds = 300;
constexpr std::wstring_view work_folder_prefix = L"torvane-update-";

bool present(const std::filesystem::path& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::optional<std::string> signing_certificate_digest(HANDLE trust_state) {
    CRYPT_PROVIDER_DATA* provider = WTHelperProvDataFromStateData(trust_state);
    CRYPT_PROVIDER_SGNR* signer =
        provider ? WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0) : nullptr;
    if (!signer || signer->csCertChain == 0 || !signer->pasCertChain) return std::nullopt;
    const CERT_CONTEXT* certificate = signer->pasCertChain[0].pCert;
    if (!certificate || !certificate->pbCertEncoded) return std::nullopt;
    // The certificate's SHA-256 thumbprint is by definition the digest of its encoded bytes;
    // computed here because not every system keeps that property for the certificate.
    return sha256_hex({certificate->pbCertEncoded, certificate->cbCertEncoded});
}

bool same_signer(const std::filesystem::path& running, const NewProgram& fresh) {
    const std::optional<std::string> ours = signer_thumbprint(running);
    const std::optional<std::string> theirs = signer_thumbprint(fresh.path, fresh.file.get());
    return ours && theirs && *ours == *theirs;
}

// Read from the bytes that were written and verified, never from the file again.
bool acceptable_version(std::span<const std::uint8_t> exe, const Appcast& appcast,
                        std::uint32_t running_build) {
    const Result<ExeVersion> version = read_exe_version(exe);
    if (!version) return false;
    const std::uint16_t build = version.value().file_version[3];
    return version.value().product_name == "Torvane" && std::int64_t{build} == appcast.build &&
           build > running_build;
}

// Removes the new file through its own handle, so that only the file written here can go. One
// that stays is removed at the next start.
void discard(NewProgram& fresh) {
    FILE_DISPOSITION_INFO remove{TRUE};
    if (!SetFileInformationByHandle(fresh.file.get(), FileDispositionInfo, &remove, sizeof remove))
        log_line("No se pudo borrar Torvane.new.exe: " +
                 error_text(last_error("SetFileInformationByHandle")));
    fresh.file.reset();
}

Status write_all(HANDLE file, std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 24));
        DWORD written = 0;
        if (!WriteFile(file, bytes.data(), chunk, &written, nullptr))
            return last_error("WriteFile");
        if (written == 0) return Error{"WriteFile", ERROR_WRITE_FAULT};
        bytes = bytes.subspan(written);
    }
    // On the disk, not only in the system's cache, before any name points at it.
    if (!FlushFileBuffers(file)) return last_error("FlushFileBuffers");
    return success();
}

// Creates "Torvane.new.exe" in `folder` as a new file (a leftover of a crashed attempt is removed
// first) and writes `bytes` to it, flushed to the disk; the failed call and its system error
// otherwise, with nothing left behind.
Result<NewProgram> write_new_program(const std::filesystem::path& folder,
                                     std::span<const std::uint8_t> bytes) {
    NewProgram fresh{{}, folder / L"Torvane.new.exe"};
    // What a crashed attempt left; never followed if it is a link.
    if (Status cleared = remove_tree(fresh.path); !cleared) return cleared.error();
    // Others may read it, as the system's loader and scanners do, but never write, rename or
    // remove it while this handle lives.
    fresh.file.reset(CreateFileW(fresh.path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                                 FILE_SHARE_READ, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, nullptr));
    if (!fresh.file) return last_error("CreateFileW");
    if (Status written = write_all(fresh.file.get(), bytes); !written) {
        discard(fresh);
        return written.error();
    }
    return fresh;
}

// Gives the open file the name `to`, replacing what has it, and writes that through.
Status rename_open_file(HANDLE file, const std::filesystem::path& to) {
    const std::wstring& name = to.native();
    std::vector<std::uint8_t> buffer(sizeof(FILE_RENAME_INFO) + name.size() * sizeof(wchar_t));
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    rename->ReplaceIfExists = TRUE;
    rename->FileNameLength = static_cast<DWORD>(name.size() * sizeof(wchar_t));
    std::copy(name.begin(), name.end(), rename->FileName);
    if (!SetFileInformationByHandle(file, FileRenameInfo, rename,
                                    static_cast<DWORD>(buffer.size())))
        return last_error("SetFileInformationByHandle");
    if (!FlushFileBuffers(file)) return last_error("FlushFileBuffers");
    return success();
}

// After the new file could not take its place: the previous program goes back, renamed or, if
// that fails too, copied, so that the path still starts a program. False when neither worked.
bool put_back(const std::filesystem::path& old, const std::filesystem::path& current,
              RenameFile rename) {
    const Status renamed = rename(old, current);
    if (renamed) return true;
    log_failure("No se pudo devolver la versión anterior a su lugar", renamed);
    const Status copied = CopyFileW(old.c_str(), current.c_str(), FALSE)
                              ? flush_file(current)
                              : Status(last_error("CopyFileW"));
    if (copied) return true;
    log_line("Tampoco se pudo copiar: " + error_text(copied.error()) + "; no hay Torvane.exe");
    return false;
}

// A swap that failed: the failed step, and whether a program is left at the running program's
// path.
struct SwapFailure {
    Error error;
    bool program_in_place = true;
};

// Swaps the new file in for `current`, keeping the previous program as "Torvane.old.exe". After
// a failed step the previous program is put back: renamed, or else copied.
std::optional<SwapFailure> replace_executable(NewProgram& fresh,
                                              const std::filesystem::path& current,
                                              RenameFile rename) {
    const std::filesystem::path old = current.parent_path() / L"Torvane.old.exe";
    if (present(old) && !DeleteFileW(old.c_str())) return SwapFailure{last_error("DeleteFileW")};
    // A running executable may be renamed, though not deleted or overwritten.
    if (Status moved = rename(current, old); !moved) return SwapFailure{moved.error()};
    if (Status renamed = rename_open_file(fresh.file.get(), current); !renamed) {
        // Before the old file goes back: it may only replace a file nobody holds.
        discard(fresh);
        return SwapFailure{renamed.error(), put_back(old, current, rename)};
    }
    fresh.file.reset();
    return std::nullopt;
}

// A failed step: the status the user sees, and what the log adds to it (the failed call).
struct Refusal {
    explicit Refusal(std::string_view text, std::string why = {})
        : message(text), detail(std::move(why)) {}
    std::string message;
    std::string detail;
};

std::string swap_failure_text(const SwapFailure& failure, const std::filesystem::path& exe) {
    std::string message = std::string(not_replaced) + ": " +
                          system_error_text(static_cast<DWORD>(failure.error.code));
    if (!failure.program_in_place)
        message += ". Torvane.exe no se pudo restaurar: la versión anterior quedó en " +
                   narrow((exe.parent_path() / L"Torvane.old.exe").native());
    return message;
}

// The proofs on the written file and its swap; the message of the first that fails, nothing
// when the new build is in place.
std::optional<Refusal> prove_and_replace(UpdaterState& state, const Appcast& appcast,
                                         std::span<const std::uint8_t> app, NewProgram& fresh,
                                         const InstallTarget& target) {
    if (!same_signer(target.exe, fresh)) return Refusal(wrong_signer);
    if (!acceptable_version(app, appcast, target.build)) return Refusal(bad_version);
    publish(state, [&] { state.status = "Instalando…"; });
    const std::optional<SwapFailure> failure = replace_executable(fresh, target.exe, target.rename);
    if (!failure) return std::nullopt;
    return Refusal(swap_failure_text(*failure, target.exe), failure->error.message);
}

// The steps between the download and the restart, in order; the message of the first that
// fails, nothing when the new build is in place.
std::optional<Refusal> verify_and_replace(UpdaterState& state, const Appcast& appcast,
                                          std::span<const std::uint8_t> package,
                                          const InstallTarget& target) {
    if (!verify_package_digest(package, appcast)) return Refusal(digest_mismatch);
    if (!verify_package_signature(package, appcast)) return Refusal(bad_signature);
    const Result<std::vector<std::uint8_t>> app = extract_app_bytes(package);
    if (!app) return Refusal(no_app, app.error().message);
    if (target.exe.empty() || !target.exe.has_parent_path()) return Refusal(not_replaced);
    Result<NewProgram> fresh = write_new_program(target.exe.parent_path(), app.value());
    if (!fresh)
        return Refusal(swap_failure_text({fresh.error()}, target.exe), fresh.error().message);
    std::optional<Refusal> failure =
        prove_and_replace(state, appcast, app.value(), fresh.value(), target);
    if (fresh.value().file) discard(fresh.value());
    return failure;
}

void installed(UpdaterState& state, const Appcast& appcast) {
    log_line("Instalada la build " + std::to_string(appcast.build) + "; reiniciando");
    // Read by the new build at its start, for the balloon with the release notes. The new build
    // is in place whatever happens here, so a failure only costs the balloon.
    guarded("torvane-update-install", [&] {
        log_failure(
            "No se pudieron guardar las notas de la versión",
            set_state_key("updatedTo", {{"notes", sanitize_notes(appcast.notes).value_or("")}}));
    });
    publish(state, [&] { state.restart_requested = true; });
}

}  // namespace

void start_install(const std::shared_ptr<UpdaterState>& state) {
    std::optional<Appcast> offer = available_update(*state);
    if (!offer || !begin_install(*state, *offer)) return;
    start_thread(
        "torvane-update-install",
        [state, offer = std::move(*offer)] { install_update(*state, offer); },
        [state] { update_failed(*state, download_failure); });
}

void install_update(UpdaterState& state, const Appcast& appcast) {
    const std::uint64_t expected =
        appcast.size && *appcast.size >= 1 && *appcast.size <= std::int64_t{max_package_size}
            ? static_cast<std::uint64_t>(*appcast.size)
            : 0;
    const Result<std::filesystem::path> exe = running_exe_path();
    if (!exe)
        return update_failed(state, swap_failure_text({exe.error()}, {}), exe.error().message);
    const HttpResult fetched =
        http_get(appcast.url, download_timeout_seconds, max_package_size, expected);
    if (!fetched) return update_failed(state, download_failure);
    install_package(state, appcast, fetched.value(), {exe.value(), running_build()});
}

void install_package(UpdaterState& state, const Appcast& appcast,
                     std::span<const std::uint8_t> package, const InstallTarget& target) {
    const std::optional<Refusal> failure = verify_and_replace(state, appcast, package, target);
    if (failure) return update_failed(state, failure->message, failure->detail);
    installed(state, appcast);
}

std::optional<std::string> signer_thumbprint(const std::filesystem::path& file, HANDLE opened) {
    WINTRUST_FILE_INFO file_info{};
    file_info.cbStruct = sizeof file_info;
    file_info.pcwszFilePath = file.c_str();
    file_info.hFile = opened;
    WINTRUST_DATA data{};
    data.cbStruct = sizeof data;
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &file_info;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    data.dwProvFlags = WTD_REVOCATION_CHECK_NONE | WTD_CACHE_ONLY_URL_RETRIEVAL;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    const HWND no_window = static_cast<HWND>(INVALID_HANDLE_VALUE);

    const LONG result = WinVerifyTrust(no_window, &action, &data);
    std::optional<std::string> thumbprint;
    // A signer whose root this system does not trust is still the same signer.
    if (result == ERROR_SUCCESS || result == static_cast<LONG>(CERT_E_UNTRUSTEDROOT))
        thumbprint = signing_certificate_digest(data.hWVTStateData);
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    WinVerifyTrust(no_window, &action, &data);
    return thumbprint;
}

void cleanup_after_update() {
    // A program path that cannot be found is logged at the start.
    const Result<std::filesystem::path> temp = temp_folder();
    log_failure("No se encontró la carpeta temporal", temp);
    remove_update_leftovers(running_exe_path().value_or({}), temp.value_or({}));
}

void remove_update_leftovers(const std::filesystem::path& exe, const std::filesystem::path& temp) {
    if (!exe.empty() && exe.has_parent_path()) {
        const std::filesystem::path folder = exe.parent_path();
        const std::filesystem::path old = folder / L"Torvane.old.exe";
        // The previous process holds its file while it watches this build start, and then exits.
        const ULONGLONG give_up = GetTickCount64() + new_build_trial_ms + 5000;
        Status removed = remove_tree(old);
        for (; !removed && GetTickCount64() < give_up; removed = remove_tree(old))
            Sleep(300);
        log_failure("No se pudo borrar Torvane.old.exe", removed);
        log_failure("No se pudo borrar Torvane.new.exe", remove_tree(folder / L"Torvane.new.exe"));
    }
    if (temp.empty()) return;
    std::error_code error;
    for (std::filesystem::directory_iterator it(temp, error), end; !error && it != end;
         it.increment(error)) {
        // A shared temporary folder may hold other users' entries of that name: never theirs.
        if (it->path().filename().wstring().starts_with(work_folder_prefix))
            log_failure("No se pudo borrar " + narrow(it->path().native()),
                        remove_tree(it->path(), true));
    }
}

}  // namespace torvane
