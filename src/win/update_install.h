#pragma once
// Turning an offered build into the running one: the download, the three proofs (digest,
// package signature, Authenticode signer) on the new executable written beside the running one,
// its swap for the running one, and the clean-up of what a swap leaves behind at the next start.

#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "core/appcast.h"
#include "core/result.h"
#include "win/folders.h"
#include "win/handle.h"
#include "win/update_state.h"

namespace torvane {

using RenameFile = Status (*)(const std::filesystem::path& from, const std::filesystem::path& to);

// The program being replaced: its own path (empty when unknown) and build number, and how the
// swap renames it out of the way and back (tests put one in that fails or meddles).
struct InstallTarget {
    std::filesystem::path exe;
    std::uint32_t build = 0;
    RenameFile rename = rename_durably;
};

// The new executable, written as "Torvane.new.exe" beside the program and held open, without
// write or delete sharing, from its creation until it takes the program's place, so that what
// is proven is what gets installed.
struct NewProgram {
    FileHandle file;
    std::filesystem::path path;
};

// The command behind "Instalar": installs the available build on its own thread, unless none is
// available or a check or an installation runs. UI thread.
void start_install(const std::shared_ptr<UpdaterState>& state);

// The whole installation on the calling background thread; reports only through `state`.
void install_update(UpdaterState& state, const Appcast& appcast);

// Everything after the download, for a package in memory. Ends with `restart_requested` set, or
// with `update_failed`, the running program untouched and no new file left.
void install_package(UpdaterState& state, const Appcast& appcast,
                     std::span<const std::uint8_t> package, const InstallTarget& target);

// SHA-256 of the certificate that Authenticode-signed `file`, as 64 lowercase hex digits;
// absent when the file has no valid signature. A root the system does not trust still counts.
// With `opened`, the file is read through that handle only.
std::optional<std::string> signer_thumbprint(const std::filesystem::path& file,
                                             HANDLE opened = nullptr);

// Body of the start-up thread: removes the previous executable, a half-copied new one and
// every work folder in the temporary folder.
void cleanup_after_update();
void remove_update_leftovers(const std::filesystem::path& exe, const std::filesystem::path& temp);

}  // namespace torvane
