#include "win/update_install.h"

#include <softpub.h>
#include <wintrust.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string_view>
#include <system_error>
#include <thread>
#include <variant>
#include <vector>

#include "core/crypto.h"
#include "core/package.h"
#include "core/package_proof.h"
#include "win/fault.h"
#include "win/folders.h"
#include "win/handle.h"
#include "win/installer.h"
#include "win/log.h"
#include "win/net.h"
#include "win/state_file.h"
#include "win/threads.h"
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

// A fresh name per attempt, so that a folder a crashed attempt left cannot be reused.
std::wstring work_folder_name() {
    std::random_device random;
    std::uniform_int_distribution<unsigned long long> any;
    wchar_t digits[33];
    std::swprintf(digits, std::size(digits), L"%016llx%016llx", any(random), any(random));
    return std::wstring(work_folder_prefix) + digits;
}

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

bool same_signer(const std::filesystem::path& running, const std::filesystem::path& extracted) {
    const std::optional<std::string> ours = signer_thumbprint(running);
    const std::optional<std::string> theirs = signer_thumbprint(extracted);
    return ours && theirs && *ours == *theirs;
}

bool acceptable_version(const std::filesystem::path& exe, const Appcast& appcast,
                        std::uint32_t running_build) {
    const std::optional<FileVersion> version = file_fixed_version(exe);
    return version && file_version_string(exe, L"ProductName") == "Torvane" &&
           std::int64_t{version->build} == appcast.build && version->build > running_build;
}

// The steps between the download and the restart, in order; the message of the first that
// fails, nothing when the new build is in place.
std::optional<std::string> verify_and_replace(UpdaterState& state, const Appcast& appcast,
                                              std::span<const std::uint8_t> package,
                                              const InstallTarget& target,
                                              const std::filesystem::path& work) {
    if (!verify_package_digest(package, appcast)) return std::string(digest_mismatch);
    if (!verify_package_signature(package, appcast)) return std::string(bad_signature);
    if (work.empty() || create_folder_tree(work) != ERROR_SUCCESS) return std::string(no_app);
    const std::optional<std::filesystem::path> extracted = extract_app(package, work);
    if (!extracted) return std::string(no_app);
    if (!same_signer(target.exe, *extracted)) return std::string(wrong_signer);
    if (!acceptable_version(*extracted, appcast, target.build)) return std::string(bad_version);
    publish(state, [&] { state.status = "Instalando…"; });
    if (target.exe.empty() || !target.exe.has_parent_path()) return std::string(not_replaced);
    const std::optional<SwapFailure> failure =
        replace_executable(*extracted, target.exe, target.rename);
    if (!failure) return std::nullopt;
    std::string message = std::string(not_replaced) + ": " + system_error_text(failure->error);
    if (!failure->program_in_place)
        message += ". Torvane.exe no se pudo restaurar: la versión anterior quedó en " +
                   narrow((target.exe.parent_path() / L"Torvane.old.exe").native());
    return message;
}

void installed(UpdaterState& state, const Appcast& appcast) {
    log_line("Instalada la build " + std::to_string(appcast.build) + "; reiniciando");
    // Read by the new build at its start, for the balloon with the release notes. The new build
    // is in place whatever happens here, so a failure only costs the balloon.
    guarded("torvane-update-install", [&] {
        set_state_key("updatedTo", {{"notes", sanitize_notes(appcast.notes).value_or("")}});
    });
    publish(state, [&] { state.restart_requested = true; });
}

DWORD write_new_file(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
    FileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return GetLastError();
    while (!bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 24));
        DWORD written = 0;
        if (!WriteFile(file.get(), bytes.data(), chunk, &written, nullptr)) return GetLastError();
        if (written == 0) return ERROR_WRITE_FAULT;
        bytes = bytes.subspan(written);
    }
    return ERROR_SUCCESS;
}

// A failed step of the swap: the half-copied new file goes, and the step's error is reported.
SwapFailure abandon_swap(const std::filesystem::path& fresh, SwapFailure failure) {
    remove_tree(fresh);
    return failure;
}

// After the new file could not take its place: the previous program goes back, renamed or, if
// that fails too, copied, so that the path still starts a program. False when neither worked.
bool put_back(const std::filesystem::path& old, const std::filesystem::path& current,
              RenameFile rename) {
    if (rename(old, current)) return true;
    log_line("No se pudo devolver la versión anterior a su lugar: " +
             system_error_text(GetLastError()));
    if (CopyFileW(old.c_str(), current.c_str(), FALSE)) return flush_file(current) == 0;
    log_line("Tampoco se pudo copiar: " + system_error_text(GetLastError()) +
             "; no hay Torvane.exe");
    return false;
}

}  // namespace

void start_install(const std::shared_ptr<UpdaterState>& state) {
    std::optional<Appcast> offer = available_update(*state);
    if (!offer || !begin_install(*state, *offer)) return;
    try {
        std::thread([state, offer = std::move(*offer)] {
            name_current_thread(L"torvane-update-install");
            if (!guarded("torvane-update-install", [&] { install_update(*state, offer); }))
                update_failed(*state, download_failure);
        }).detach();
    } catch (...) {
        update_failed(*state, download_failure);
    }
}

void install_update(UpdaterState& state, const Appcast& appcast) {
    const std::uint64_t expected =
        appcast.size && *appcast.size >= 1 && *appcast.size <= std::int64_t{max_package_size}
            ? static_cast<std::uint64_t>(*appcast.size)
            : 0;
    const HttpResult fetched =
        http_get(appcast.url, download_timeout_seconds, max_package_size, expected);
    if (!fetched) return update_failed(state, download_failure);
    install_package(state, appcast, fetched.value(), {running_exe_path(), running_build()});
}

void install_package(UpdaterState& state, const Appcast& appcast,
                     std::span<const std::uint8_t> package, const InstallTarget& target) {
    // Empty when the system names no temporary folder: the attempt then fails at that step.
    const std::filesystem::path temp = temp_folder();
    const std::filesystem::path work = temp.empty() ? temp : temp / work_folder_name();
    const std::optional<std::string> failure =
        verify_and_replace(state, appcast, package, target, work);
    if (!work.empty()) remove_tree(work);
    if (failure) return update_failed(state, *failure);
    installed(state, appcast);
}

std::optional<std::filesystem::path> extract_app(std::span<const std::uint8_t> package,
                                                 const std::filesystem::path& folder) {
    const Result<std::vector<std::uint8_t>> app = extract_app_bytes(package);
    if (!app) return std::nullopt;
    std::filesystem::path exe = folder / L"Torvane.exe";
    if (write_new_file(exe, app.value()) != ERROR_SUCCESS) return std::nullopt;
    return exe;
}

std::optional<std::string> signer_thumbprint(const std::filesystem::path& file) {
    WINTRUST_FILE_INFO file_info{};
    file_info.cbStruct = sizeof file_info;
    file_info.pcwszFilePath = file.c_str();
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

std::optional<SwapFailure> replace_executable(const std::filesystem::path& extracted,
                                              const std::filesystem::path& current,
                                              RenameFile rename) {
    const std::filesystem::path folder = current.parent_path();
    const std::filesystem::path fresh = folder / L"Torvane.new.exe";
    const std::filesystem::path old = folder / L"Torvane.old.exe";
    if (!CopyFileW(extracted.c_str(), fresh.c_str(), FALSE))
        return abandon_swap(fresh, {GetLastError()});
    // On the disk, not only in the system's cache, before any name points at it.
    if (const DWORD error = flush_file(fresh)) return abandon_swap(fresh, {error});
    if (present(old) && !DeleteFileW(old.c_str())) return abandon_swap(fresh, {GetLastError()});
    // A running executable may be renamed, though not deleted or overwritten.
    if (!rename(current, old)) return abandon_swap(fresh, {GetLastError()});
    if (!rename(fresh, current)) {
        const DWORD error = GetLastError();
        return abandon_swap(fresh, {error, put_back(old, current, rename)});
    }
    return std::nullopt;
}

void cleanup_after_update() {
    remove_update_leftovers(running_exe_path(), temp_folder());
}

void remove_update_leftovers(const std::filesystem::path& exe, const std::filesystem::path& temp) {
    if (!exe.empty() && exe.has_parent_path()) {
        const std::filesystem::path folder = exe.parent_path();
        const std::filesystem::path old = folder / L"Torvane.old.exe";
        // The previous process may still be exiting and holding its file.
        for (int attempt = 0; attempt < 10 && !remove_tree(old); ++attempt)
            Sleep(300);
        remove_tree(folder / L"Torvane.new.exe");
    }
    if (temp.empty()) return;
    std::error_code error;
    for (std::filesystem::directory_iterator it(temp, error), end; !error && it != end;
         it.increment(error)) {
        // A shared temporary folder may hold other users' entries of that name: never theirs.
        if (it->path().filename().wstring().starts_with(work_folder_prefix))
            remove_tree(it->path(), true);
    }
}

}  // namespace torvane
