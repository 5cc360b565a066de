// Authenticode signing, by osslsigncode.

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "tools/release/files.h"
#include "tools/release/release.h"

extern char** environ;

namespace torvane::release {

namespace {

Status run_osslsigncode(const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    for (const std::string& a : arguments)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    // Its progress report goes to our standard error; our output stays what we print.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, STDERR_FILENO, STDOUT_FILENO);
    pid_t pid = 0;
    const int started = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (started == ENOENT)
        return Error{"osslsigncode is not installed (apt-get install osslsigncode)"};
    if (started != 0) return Error{system_error("cannot start osslsigncode", started)};
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return Error{system_error("osslsigncode", errno)};
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return Error{"osslsigncode failed" +
                     (WIFEXITED(status)
                          ? " (exit status " + std::to_string(WEXITSTATUS(status)) + ")"
                          : std::string(" (killed)"))};
    return success();
}

}  // namespace

Status sign_exe(const std::string& in, const std::string& cert, const std::string& cert_key,
                const std::string& out, const std::string& timestamp_url) {
    if (holds_private_key(out)) return Error{"refusing to overwrite the private key " + out};
    // osslsigncode signs into a folder made for it alone beside the target, so it never writes
    // through a name someone else prepared; the result is moved over the target.
    std::string folder = out + ".signing-XXXXXX";
    if (!mkdtemp(folder.data())) return Error{system_error("cannot create " + folder, errno)};
    const std::string temporary = folder + "/signed.exe";
    std::vector<std::string> command = {"osslsigncode", "sign", "-certs", cert,     "-key",
                                        cert_key,       "-h",   "sha256", "-n",     "Torvane",
                                        "-in",          in,     "-out",   temporary};
    if (!timestamp_url.empty()) command.insert(command.end(), {"-ts", timestamp_url});
    Status signed_ = run_osslsigncode(command);
    if (signed_ && rename(temporary.c_str(), out.c_str()) != 0)
        signed_ = Error{system_error("cannot write " + out, errno)};
    unlink(temporary.c_str());
    rmdir(folder.c_str());
    return signed_;
}

}  // namespace torvane::release
