#pragma once
// Turning an offered build into the running one: the download, the three proofs (digest,
// package signature, Authenticode signer), the extraction of the new executable, its swap for
// the running one, and the clean-up of what a swap leaves behind at the next start.

#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "core/appcast.h"
#include "win/folders.h"
#include "win/update.h"

namespace torvane {

using RenameFile = bool (*)(const std::filesystem::path& from, const std::filesystem::path& to);

// The program being replaced: its own path (empty when unknown) and build number, and how the
// swap renames files (tests put one in that fails).
struct InstallTarget {
    std::filesystem::path exe;
    std::uint32_t build = 0;
    RenameFile rename = rename_durably;
};

// A swap that failed: the system error of the failed step, and whether a program is left at the
// running program's path.
struct SwapFailure {
    DWORD error = ERROR_SUCCESS;
    bool program_in_place = true;
};

// The command behind "Instalar": installs the available build on its own thread, unless none is
// available or a check or an installation runs. UI thread.
void start_install(const std::shared_ptr<UpdaterState>& state);

// The whole installation on the calling background thread; reports only through `state`.
void install_update(UpdaterState& state, const Appcast& appcast);

// Everything after the download, for a package in memory. Ends with `restart_requested` set, or
// with `update_failed` and the running program untouched; the work folder is gone either way.
void install_package(UpdaterState& state, const Appcast& appcast,
                     std::span<const std::uint8_t> package, const InstallTarget& target);

// Writes the package's "Torvane.exe" into `folder` as a new file; absent when the package is
// not a valid one or the file cannot be written.
std::optional<std::filesystem::path> extract_app(std::span<const std::uint8_t> package,
                                                 const std::filesystem::path& folder);

// SHA-256 of the certificate that Authenticode-signed `file`, as 64 lowercase hex digits;
// absent when the file has no valid signature. A root the system does not trust still counts.
std::optional<std::string> signer_thumbprint(const std::filesystem::path& file);

// Swaps `extracted` in for `current` through "Torvane.new.exe" and "Torvane.old.exe" beside it,
// the new file flushed and every rename written through. After a failed step the previous program
// is put back: renamed, or else copied; absent on success.
std::optional<SwapFailure> replace_executable(const std::filesystem::path& extracted,
                                              const std::filesystem::path& current,
                                              RenameFile rename = rename_durably);

// Body of the start-up thread: removes the previous executable, a half-copied new one and
// every work folder in the temporary folder.
void cleanup_after_update();
void remove_update_leftovers(const std::filesystem::path& exe, const std::filesystem::path& temp);

}  // namespace torvane
