#include "win/update_install.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "../core/signing.h"
#include "../core/zip_writer.h"
#include "core/crypto.h"
#include "test_util.h"
#include "win/folders.h"
#include "win/handle.h"
#include "win/last_error.h"
#include "win/log.h"
#include "win/state_file.h"
#include "win/update_restart.h"

using namespace torvane;
namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

namespace {

constexpr std::string_view digest_mismatch = "El archivo descargado no coincide";
constexpr std::string_view bad_signature = "Firma de la actualización inválida";
constexpr std::string_view no_app = "El paquete no contiene la app";
constexpr std::string_view wrong_signer = "La actualización no está firmada por brisol";
constexpr std::string_view bad_version = "La versión descargada no es válida";

// The signed test programs (see update.cmake).
fs::path fixture(const wchar_t* name) {
    return beside_tests(L"update-fixtures") / name;
}

Bytes read_file(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), {});
}

void write_file(const fs::path& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

Bytes package_of(const fs::path& exe, std::string entry = "Torvane.exe") {
    return testing_zip::zip(
        {{"LEEME.txt", signing::bytes_of("hola"), false}, {std::move(entry), read_file(exe)}});
}

// A feed offering `package` as build `build`, signed with the built-in key's private half.
Appcast offer(const Bytes& package, std::int32_t build = 2) {
    Appcast a;
    a.version = "0.1.2";
    a.build = build;
    a.url = "https://localhost/software/torvane/Torvane-0.1.2.zip";
    a.sha256 = sha256_hex(package);
    a.signature =
        signing::base64(signing::sign(signing::from_hex(signing::update_test_seed), package));
    a.notes = "\u200bArreglos\nvarios";
    return a;
}

std::vector<fs::path> work_folders() {
    std::vector<fs::path> found;
    for (const auto& entry : fs::directory_iterator(temp_folder().value()))
        if (entry.path().filename().wstring().starts_with(L"torvane-update-"))
            found.push_back(entry.path());
    return found;
}

// Starts a shell command on the host: Wine runs Unix programs, though without a process
// handle to wait on. Only the host can make the Unix symbolic links that Wine shows as links.
void host_shell(const std::wstring& command) {
    std::wstring line = L"sh -c \"" + command + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessW(L"Z:\\bin\\sh", line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &process));
    Handle thread(process.hThread), child(process.hProcess);
}

std::wstring unix_path(const fs::path& path) {
    return fs::path(host_path(path)).wstring();
}

// An installed program in a folder of its own, as the running executable.
class UpdateInstall : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = temp_folder().value() /
                  (L"torvane-install-test-" + std::to_wstring(GetCurrentProcessId()));
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        exe_ = folder_ / L"Torvane.exe";
        install_running(fixture(L"running-a.exe"));
        for (const fs::path& stale : work_folders())
            ASSERT_TRUE(remove_tree(stale).ok());
        state_.available = offer(package_of(fixture(L"next-a.exe")));
    }
    void TearDown() override {
        fs::remove_all(folder_);
        for (const char* key : {"updatedTo", "refusedBuild", "rolledBack"})
            EXPECT_TRUE(remove_state_key(key).ok());
    }

    void install_running(const fs::path& program) {
        fs::copy_file(program, exe_, fs::copy_options::overwrite_existing);
        running_bytes_ = read_file(exe_);
    }

    // One installation as the install thread runs it, after `begin_install` accepted.
    std::string install(const Appcast& appcast, const Bytes& package, std::uint32_t build = 1) {
        EXPECT_TRUE(begin_install(state_, appcast));
        install_package(state_, appcast, package, {exe_, build});
        return update_status(state_);
    }

    // What every failed attempt must leave: the program as it was, the offer, no busy state,
    // and no half-written file.
    void expect_untouched(std::string_view message, std::string_view detail = {}) {
        EXPECT_TRUE(read_file(exe_) == running_bytes_);
        EXPECT_FALSE(fs::exists(folder_ / L"Torvane.new.exe"));
        EXPECT_FALSE(is_busy(state_));
        EXPECT_FALSE(state_.restart_requested);
        EXPECT_TRUE(available_update(state_).has_value());
        EXPECT_EQ(last_log_line(), "Actualización fallida: " + std::string(message) +
                                       (detail.empty() ? "" : " (" + std::string(detail) + ")"));
    }

    fs::path folder_, exe_;
    Bytes running_bytes_;
    UpdaterState state_;
};

// Between the proofs and the swap, tries to write, replace and remove the proven file.
int intrusions = 0;
Status intrude(const fs::path& from, const fs::path& to) {
    const fs::path fresh = to.parent_path() / L"Torvane.new.exe";
    const fs::path other = to.parent_path() / L"other.exe";
    write_file(other, {1});
    const FileHandle writer(CreateFileW(fresh.c_str(), GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, 0, nullptr));
    intrusions += bool(writer) +
                  MoveFileExW(other.c_str(), fresh.c_str(), MOVEFILE_REPLACE_EXISTING) +
                  DeleteFileW(fresh.c_str());
    return rename_durably(from, to);
}

TEST_F(UpdateInstall, AGenuineBuildReplacesTheProgramAndAsksForARestart) {
    const Bytes package = package_of(fixture(L"next-a.exe"));
    write_file(folder_ / L"Torvane.new.exe", {1, 2, 3});  // left by a crashed attempt
    EXPECT_TRUE(begin_install(state_, offer(package)));
    install_package(state_, offer(package), package, {exe_, 1, intrude});
    EXPECT_EQ(update_status(state_), "Instalando…");
    EXPECT_EQ(intrusions, 0);
    EXPECT_TRUE(state_.restart_requested);
    EXPECT_TRUE(is_busy(state_)) << "nothing else may start before the restart";
    EXPECT_TRUE(read_file(exe_) == read_file(fixture(L"next-a.exe")));
    EXPECT_TRUE(read_file(folder_ / L"Torvane.old.exe") == running_bytes_);
    EXPECT_FALSE(fs::exists(folder_ / L"Torvane.new.exe"));
    EXPECT_EQ(last_log_line(), "Instalada la build 2; reiniciando");
    EXPECT_EQ(read_state()["updatedTo"], (nlohmann::json{{"notes", "Arreglosvarios"}}));

    // The next start clears what the swap left, waiting for a previous process that still holds
    // the old file, and keeps what only looks like a work folder.
    write_file(folder_ / L"Torvane.new.exe", {1, 2, 3});
    fs::create_directories(temp_folder().value() / L"torvane-update-0123456789abcdef" / L"sub");
    write_file(temp_folder().value() / L"torvane-update-stray", {4});
    fs::create_directories(temp_folder().value() / L"Torvane-update-keep");
    FileHandle holder(CreateFileW((folder_ / L"Torvane.old.exe").c_str(), GENERIC_READ,
                                  FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(holder);
    std::thread releaser([&] {
        Sleep(700);
        holder.reset();
    });
    remove_update_leftovers(exe_, temp_folder().value());
    releaser.join();
    EXPECT_FALSE(fs::exists(folder_ / L"Torvane.old.exe"));
    EXPECT_FALSE(fs::exists(folder_ / L"Torvane.new.exe"));
    EXPECT_TRUE(fs::exists(exe_));
    EXPECT_TRUE(work_folders().empty());
    EXPECT_TRUE(fs::exists(temp_folder().value() / L"Torvane-update-keep"));
    fs::remove_all(temp_folder().value() / L"Torvane-update-keep");
}

TEST_F(UpdateInstall, TheCleanupRemovesLinksWithoutEnteringThem) {
    // Outside the prefix, reached through a link inside a work folder and through a link that
    // is itself named like one.
    const fs::path target =
        L"Z:\\tmp\\torvane-link-target-" + std::to_wstring(GetCurrentProcessId());
    const fs::path work = temp_folder().value() / L"torvane-update-x";
    fs::create_directories(target);
    write_file(target / L"keep.txt", {7});
    fs::create_directories(work / L"sub");
    write_file(work / L"sub" / L"a.txt", {1});
    host_shell(L"ln -s '" + unix_path(target) + L"' '" + unix_path(work) + L"/link' && ln -s '" +
               unix_path(target) + L"' '" + unix_path(temp_folder().value()) +
               L"/torvane-update-link'");
    ASSERT_TRUE(within(std::chrono::seconds(30),
                       [&] { return fs::exists(temp_folder().value() / L"torvane-update-link"); }));

    remove_update_leftovers(exe_, temp_folder().value());
    EXPECT_TRUE(read_file(target / L"keep.txt") == Bytes{7});
    EXPECT_FALSE(fs::exists(work / L"sub"));
    host_shell(L"rm -rf '" + unix_path(target) + L"' '" + unix_path(work) + L"' '" +
               unix_path(temp_folder().value()) + L"/torvane-update-link'");
    EXPECT_TRUE(within(std::chrono::seconds(30), [&] { return work_folders().empty(); }));
}

TEST_F(UpdateInstall, EveryFailedProofNamesItselfAndChangesNothing) {
    const Bytes genuine = package_of(fixture(L"next-a.exe"));
    Bytes flipped = genuine;
    flipped[flipped.size() / 2] ^= 0x01;
    EXPECT_EQ(install(offer(genuine), flipped), digest_mismatch);
    expect_untouched(digest_mismatch);

    Appcast over_digest = offer(genuine);
    over_digest.signature = signing::base64(signing::sign(
        signing::from_hex(signing::update_test_seed), signing::bytes_of(over_digest.sha256)));
    EXPECT_EQ(install(over_digest, genuine), bad_signature);
    expect_untouched(bad_signature);

    const Bytes misnamed = package_of(fixture(L"next-a.exe"), "bin/Torvane.exe");
    EXPECT_EQ(install(offer(misnamed), misnamed), no_app);
    expect_untouched(no_app, "no app entry");

    for (const wchar_t* impostor : {L"next-unsigned.exe", L"next-b.exe"}) {
        const Bytes package = package_of(fixture(impostor));
        EXPECT_EQ(install(offer(package), package), wrong_signer);
        expect_untouched(wrong_signer);
    }

    const Bytes foreign = package_of(fixture(L"foreign-a.exe"));
    EXPECT_EQ(install(offer(foreign), foreign), bad_version) << "ProductName is not Torvane";
    EXPECT_EQ(install(offer(genuine, 3), genuine), bad_version) << "not the feed's build";
    EXPECT_EQ(install(offer(genuine), genuine, 2), bad_version) << "not newer";
    expect_untouched(bad_version);

    // A program that is not signed itself can never be updated.
    install_running(fixture(L"next-unsigned.exe"));
    EXPECT_EQ(install(offer(genuine), genuine), wrong_signer);
    expect_untouched(wrong_signer);
}

TEST_F(UpdateInstall, ALockedOldFileStopsTheSwapWithTheSystemsReason) {
    write_file(folder_ / L"Torvane.old.exe", {9});
    FileHandle holder(CreateFileW((folder_ / L"Torvane.old.exe").c_str(), GENERIC_READ,
                                  FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(holder);
    const Bytes genuine = package_of(fixture(L"next-a.exe"));
    const std::string status = install(offer(genuine), genuine);
    EXPECT_TRUE(status.starts_with("No se pudo reemplazar la app: ")) << status;
    EXPECT_TRUE(status.ends_with(" (os error 32)")) << status;
    expect_untouched(status, "DeleteFileW");  // the log names the failed call
    EXPECT_TRUE(read_file(folder_ / L"Torvane.old.exe") == Bytes{9});
}

// A folder takes the program's name as soon as it is free, so the new build cannot have it;
// the rename back then works once that folder is gone, or fails.
Status name_taken(const fs::path& from, const fs::path& to) {
    Status renamed = rename_durably(from, to);
    if (to.filename() == L"Torvane.old.exe") CreateDirectoryW(from.c_str(), nullptr);
    return renamed;
}
Status name_taken_then_refused(const fs::path& from, const fs::path& to) {
    if (to.filename() != L"Torvane.exe") return name_taken(from, to);
    RemoveDirectoryW(to.c_str());
    return Error{"MoveFileExW", ERROR_ACCESS_DENIED};
}

TEST_F(UpdateInstall, AFailedRollbackStillLeavesAProgramOrSaysWhereItIs) {
    const Bytes genuine = package_of(fixture(L"next-a.exe"));
    state_.available = offer(genuine);
    EXPECT_TRUE(begin_install(state_, offer(genuine)));
    // Renaming back fails as well: the previous program is copied into place.
    install_package(state_, offer(genuine), genuine, {exe_, 1, name_taken_then_refused});
    EXPECT_EQ(update_status(state_),
              "No se pudo reemplazar la app: " + system_error_text(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(read_file(exe_) == running_bytes_);

    // Nothing can take the program's place: the status says where the previous one is.
    EXPECT_TRUE(begin_install(state_, offer(genuine)));
    install_package(state_, offer(genuine), genuine, {exe_, 1, name_taken});
    EXPECT_EQ(update_status(state_),
              "No se pudo reemplazar la app: " + system_error_text(ERROR_ACCESS_DENIED) +
                  ". Torvane.exe no se pudo restaurar: la versión anterior quedó en " +
                  (folder_ / L"Torvane.old.exe").string());
    EXPECT_TRUE(read_file(folder_ / L"Torvane.old.exe") == running_bytes_);
    EXPECT_FALSE(fs::exists(folder_ / L"Torvane.new.exe"));
    RemoveDirectoryW(exe_.c_str());
}

TEST_F(UpdateInstall, ANewBuildThatDoesNotStartGivesWayToThePreviousOne) {
    struct Case {
        const wchar_t* exit_code;  // of the new build; none when it is no program at all
        NewBuildStart outcome;
        std::optional<std::int64_t> refused;
    };
    const Bytes next = read_file(fixture(L"next-a.exe"));
    for (const Case& c : {Case{L"0", NewBuildStart::running, std::nullopt},
                          Case{L"0xC0000005", NewBuildStart::rolled_back, 2},
                          Case{nullptr, NewBuildStart::rolled_back, std::nullopt}}) {
        SCOPED_TRACE(c.exit_code ? c.exit_code : L"not a program");
        write_file(exe_, c.exit_code ? next : Bytes(4096, 0x90));
        write_file(folder_ / L"Torvane.old.exe", running_bytes_);
        ASSERT_TRUE(set_state_key("updatedTo", {{"notes", ""}}).ok());
        SetEnvironmentVariableW(L"TORVANE_TEST_EXIT_CODE", c.exit_code ? c.exit_code : L"0");
        EXPECT_EQ(start_new_build(exe_), c.outcome);
        const nlohmann::json state = read_state();
        EXPECT_EQ(refused_build(state), c.refused);
        if (c.outcome == NewBuildStart::running) {
            EXPECT_TRUE(read_file(exe_) == next);
            EXPECT_TRUE(fs::exists(folder_ / L"Torvane.old.exe"));
            EXPECT_FALSE(state.contains("rolledBack"));
            continue;
        }
        EXPECT_TRUE(read_file(exe_) == running_bytes_);
        EXPECT_FALSE(fs::exists(folder_ / L"Torvane.old.exe"));
        EXPECT_FALSE(state.contains("updatedTo")) << "the restored copy is no update";
        if (c.exit_code)
            EXPECT_EQ(state["rolledBack"]["reason"], "terminó con el código 0xC0000005");
        else  // the failed call, for the log
            EXPECT_TRUE(state["rolledBack"]["reason"].get<std::string>().starts_with(
                "no se pudo iniciar: CreateProcessW (código "));
        // The restored copy was started, and holds its file until it ends.
        EXPECT_TRUE(within(std::chrono::seconds(30), [&] { return DeleteFileW(exe_.c_str()); }));
        EXPECT_TRUE(remove_state_key("refusedBuild").ok());
    }
    SetEnvironmentVariableW(L"TORVANE_TEST_EXIT_CODE", nullptr);
}

TEST_F(UpdateInstall, TheSignerIsTheSigningCertificateWhateverTheRoot) {
    // Self-made certificates chain to no trusted root, and still identify their signer.
    const std::optional<std::string> a = signer_thumbprint(fixture(L"running-a.exe"));
    ASSERT_TRUE(a.has_value());
    EXPECT_EQ(signer_thumbprint(fixture(L"next-a.exe")), a);
    const std::optional<std::string> b = signer_thumbprint(fixture(L"next-b.exe"));
    ASSERT_TRUE(b.has_value());
    EXPECT_NE(*b, *a);
    EXPECT_EQ(signer_thumbprint(fixture(L"next-unsigned.exe")), std::nullopt);

    // One byte changed after signing breaks the signature.
    Bytes tampered = read_file(fixture(L"next-a.exe"));
    tampered[tampered.size() / 3] ^= 0x20;
    write_file(folder_ / L"tampered.exe", tampered);
    EXPECT_EQ(signer_thumbprint(folder_ / L"tampered.exe"), std::nullopt);
}

}  // namespace
