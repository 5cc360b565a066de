#include "win/update_restart.h"

#include <cstdio>
#include <optional>
#include <string>

#include "win/folders.h"
#include "win/handle.h"
#include "win/installer.h"
#include "win/log.h"
#include "win/state_file.h"
#include "win/version.h"

namespace torvane {

namespace {

// Why the build at `exe` did not start; nothing when it still runs after the trial or ended
// normally (a build that finds another copy running hands over to it and exits with 0).
std::optional<std::string> trial_failure(const std::filesystem::path& exe, DWORD trial_ms) {
    const Result<Handle> started = launch_executable(exe);
    if (!started) return "no se pudo iniciar: " + error_text(started.error());
    const Handle& process = started.value();
    if (WaitForSingleObject(process.get(), trial_ms) != WAIT_OBJECT_0) return std::nullopt;
    DWORD code = 0;
    if (!GetExitCodeProcess(process.get(), &code) || code == 0) return std::nullopt;
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08lX", code);
    return "terminó con el código 0x" + std::string(hex);
}

}  // namespace

NewBuildStart start_new_build(const std::filesystem::path& exe, DWORD trial_ms) {
    const std::optional<FileVersion> version = file_fixed_version(exe);
    const std::optional<std::string> failure = trial_failure(exe, trial_ms);
    if (!failure) return NewBuildStart::running;
    const std::string build = version ? std::to_string(version->build) : "desconocida";
    log_line("La build " + build + " " + *failure + "; se vuelve a la anterior");
    if (const Status back = rename_durably(exe.parent_path() / L"Torvane.old.exe", exe); !back) {
        log_line("No se pudo volver a la versión anterior: " + error_text(back.error()));
        return NewBuildStart::rollback_failed;
    }
    if (version)
        log_failure("No se pudo anotar la build rechazada",
                    set_state_key("refusedBuild", version->build));
    log_failure("No se pudo borrar el aviso de actualización", remove_state_key("updatedTo"));
    log_failure("No se pudo anotar la vuelta a la anterior",
                set_state_key("rolledBack", {{"build", build}, {"reason", *failure}}));
    const Result<Handle> restarted = launch_executable(exe);
    log_failure("No se pudo iniciar la versión anterior", restarted);
    return restarted ? NewBuildStart::rolled_back : NewBuildStart::rollback_failed;
}

}  // namespace torvane
