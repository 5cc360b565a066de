#include "tools/release/release.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <ostream>

#include "core/appcast.h"
#include "core/crypto.h"
#include "core/package.h"
#include "core/pe_version.h"
#include "core/text.h"
#include "tools/release/zip_write.h"

extern char** environ;

namespace torvane::release {

namespace {

using Bytes = std::vector<std::uint8_t>;
using PublicKey = std::array<std::uint8_t, 32>;

constexpr std::string_view app_name = "Torvane.exe";
constexpr std::string_view feed_name = "appcast-windows.json";
constexpr std::string_view feed_path = "/software/torvane/appcast-windows.json";
// A file's bytes are signed in one piece, and libgcrypt takes their length as an int.
constexpr std::size_t max_signed_file = 0x7FFFFFFF;
// The build's default key, whose private half is in the repository: anyone can sign with it.
constexpr std::string_view test_public_key = "VxHHCe8OkIEtSfm6pHP81Av6d46+GY6Gh7eYvsto5hU=";

std::string system_error(const std::string& what, int error) {
    return what + ": " + std::strerror(error);
}

Result<Bytes> read_file(const std::string& path, std::size_t max_size) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return Error{system_error("cannot open " + path, errno)};
    struct stat info {};
    Bytes bytes;
    std::string problem;
    if (fstat(fd, &info) != 0) {
        problem = system_error("cannot read " + path, errno);
    } else if (!S_ISREG(info.st_mode)) {
        problem = path + " is not a file";
    } else if (static_cast<std::uint64_t>(info.st_size) > max_size) {
        problem = path + " is larger than " + std::to_string(max_size) + " bytes";
    } else {
        bytes.resize(static_cast<std::size_t>(info.st_size));
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = read(fd, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                problem = n < 0 ? system_error("cannot read " + path, errno)
                                : path + " changed while it was read";
                break;
            }
            done += static_cast<std::size_t>(n);
        }
    }
    close(fd);
    if (!problem.empty()) return Error{problem};
    return bytes;
}

bool write_all(int fd, std::span<const std::uint8_t> bytes) {
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

std::span<const std::uint8_t> bytes_of(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// The key file's text, when `path` names one: nothing the tool writes may replace a key.
bool holds_private_key(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= 66 &&
           read_private_key(path).ok();
}

// Written beside the target into a new file of a fresh name (never an existing file or a link
// someone placed there) and moved over it, so a failure never leaves half a file.
Status write_file(const std::string& path, std::span<const std::uint8_t> bytes) {
    if (holds_private_key(path)) return Error{"refusing to overwrite the private key " + path};
    std::string temporary = path + ".XXXXXX";
    const int fd = mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) return Error{system_error("cannot create " + temporary, errno)};
    const bool written = fchmod(fd, 0644) == 0 && write_all(fd, bytes) && fsync(fd) == 0;
    const int error = errno;
    if (close(fd) != 0 || !written || rename(temporary.c_str(), path.c_str()) != 0) {
        const std::string message = system_error("cannot write " + path, written ? errno : error);
        unlink(temporary.c_str());
        return Error{message};
    }
    return success();
}

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string hex(std::span<const std::uint8_t> bytes) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string text;
    for (std::uint8_t b : bytes) {
        text += digits[b >> 4];
        text += digits[b & 0xF];
    }
    return text;
}

// The host of an https URL, without a port.
std::string_view url_host(std::string_view url) {
    constexpr std::string_view scheme = "https://";
    if (url.size() < scheme.size() || !iequals_ascii(url.substr(0, scheme.size()), scheme))
        return {};
    std::string_view authority = url.substr(scheme.size());
    authority = authority.substr(0, authority.find_first_of("/?#"));
    return authority.substr(0, authority.rfind(':'));
}

// Two to four dot-separated decimal numbers below 2^32, as the program compares them.
bool valid_minimum_system(std::string_view text) {
    std::size_t parts = 0;
    for (;;) {
        const std::size_t dot = text.find('.');
        const std::string_view part = text.substr(0, dot);
        std::uint32_t value = 0;
        const auto [end, error] = std::from_chars(part.data(), part.data() + part.size(), value);
        if (part.empty() || error != std::errc{} || end != part.data() + part.size()) return false;
        ++parts;
        if (dot == std::string_view::npos) break;
        text.remove_prefix(dot + 1);
    }
    return parts >= 2 && parts <= 4;
}

Result<PublicKey> public_key_of(const Ed25519Seed& seed) {
    const auto key = ed25519_public_key(seed);
    if (!key) return Error{"libgcrypt could not derive the public key"};
    return *key;
}

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

// ---- The command line ----

const char* const usage = R"(Usage: torvane_release COMMAND ...

  keygen PRIVATE_KEY_FILE
      Makes the publisher's Ed25519 signing key (once) and prints its public key for
      -DTORVANE_UPDATE_PUBLIC_KEY=... Never overwrites a file.
  public-key PRIVATE_KEY_FILE
      Prints the public key of a key file.
  sign-exe [--timestamp-url URL] IN.exe CERT.pem CERT_KEY.pem OUT.exe
      Authenticode-signs IN.exe with osslsigncode into OUT.exe, with an RFC 3161 time stamp
      from URL when given.
  pack EXE OUT.zip
      Writes the update package: EXE as its only entry, Torvane.exe.
  sign PRIVATE_KEY_FILE FILE
      Prints the Base64 Ed25519 signature of the whole FILE.
  feed --package ZIP --key PRIVATE_KEY_FILE --url URL --version X.Y.Z --build N
       [--notes TEXT | --notes-file FILE] [--minimum-system V] OUT.json
      Writes the update feed of a package.
  publish --exe Torvane.exe --key PRIVATE_KEY_FILE --cert CERT.pem --cert-key CERT_KEY.pem
          --url-base https://HOST/software/torvane/ --out DIR [--timestamp-url URL]
          [--notes TEXT | --notes-file FILE] [--minimum-system V] [--allow-test-key]
      Signs the exe into DIR/Torvane.exe, packs DIR/Torvane-X.Y.Z.zip with the version of
      its version resource and writes DIR/appcast-windows.json. Refuses an exe that does not
      trust the public key of the key file or fetches updates from another host than the
      URL's, and one built with the test key (unless --allow-test-key, for tests only).
)";

struct Options {
    std::map<std::string, std::string, std::less<>> named;
    std::vector<std::string> positional;

    std::optional<std::string> get(std::string_view name) const {
        const auto found = named.find(name);
        if (found == named.end()) return std::nullopt;
        return found->second;
    }
    // One of the required options, which parsing has made sure of.
    const std::string& operator[](std::string_view name) const { return named.find(name)->second; }
};

// The release notes and the minimum system, which the feed and publish commands take.
const std::vector<std::string_view> feed_extras = {"--notes", "--notes-file", "--minimum-system"};

// `flags` take no value; they are present with an empty one.
Result<Options> parse_options(std::span<const std::string> args,
                              const std::vector<std::string_view>& required,
                              const std::vector<std::string_view>& optional, std::size_t positional,
                              const std::vector<std::string_view>& flags = {}) {
    Options options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (!a.starts_with("--")) {
            options.positional.push_back(a);
            continue;
        }
        if (std::find(flags.begin(), flags.end(), a) != flags.end()) {
            options.named.emplace(a, "");
            continue;
        }
        if (std::find(required.begin(), required.end(), a) == required.end() &&
            std::find(optional.begin(), optional.end(), a) == optional.end())
            return Error{"unknown option " + a};
        if (i + 1 == args.size()) return Error{a + " needs a value"};
        if (!options.named.emplace(a, args[i + 1]).second) return Error{a + " is given twice"};
        ++i;
    }
    for (std::string_view name : required) {
        if (!options.named.contains(name)) return Error{"missing " + std::string(name)};
    }
    if (options.positional.size() != positional)
        return Error{"expected " + std::to_string(positional) + " file argument" +
                     (positional == 1 ? "" : "s") + ", got " +
                     std::to_string(options.positional.size()) + " (see --help)"};
    return options;
}

Result<std::optional<std::string>> notes_option(const Options& options) {
    const auto text = options.get("--notes");
    const auto file = options.get("--notes-file");
    if (text && file) return Error{"give either --notes or --notes-file, not both"};
    std::string notes;
    if (text) {
        notes = *text;
    } else if (file) {
        Result<Bytes> bytes = read_file(*file, 1 << 20);
        if (!bytes) return bytes.error();
        notes.assign(bytes.value().begin(), bytes.value().end());
    } else {
        return std::optional<std::string>{};
    }
    if (!valid_utf8(notes)) return Error{"the release notes are not UTF-8 text"};
    const std::string_view trimmed = trim(notes);
    if (trimmed.empty()) return std::optional<std::string>{};
    return std::optional<std::string>{std::string(trimmed)};
}

Result<FeedFields> feed_options(const Options& options) {
    FeedFields fields;
    Result<std::optional<std::string>> notes = notes_option(options);
    if (!notes) return notes.error();
    fields.notes = notes.value();
    fields.minimum_system = options.get("--minimum-system");
    return fields;
}

// The host and Base64 key a built executable trusts, from its marked settings text.
std::optional<std::pair<std::string, std::string>> embedded_update_settings(
    std::span<const std::uint8_t> exe) {
    const std::string_view bytes(reinterpret_cast<const char*>(exe.data()), exe.size());
    const std::size_t at = bytes.find(update_settings_marker);
    if (at == std::string_view::npos) return std::nullopt;
    std::string_view rest = bytes.substr(at + update_settings_marker.size());
    rest = rest.substr(0, rest.find('\0'));
    const std::size_t space = rest.find(' ');
    if (space == 0 || space == std::string_view::npos) return std::nullopt;
    return std::pair{std::string(rest.substr(0, space)), std::string(rest.substr(space + 1))};
}

// A release no installed copy would accept, or that anyone could forge, is not published.
Status check_update_settings(std::span<const std::uint8_t> exe, const Ed25519Seed& seed,
                             std::string_view url_base, bool allow_test_key) {
    const auto settings = embedded_update_settings(exe);
    if (!settings) return Error{"it carries no update settings; is it a build of Torvane?"};
    const auto& [host, key] = *settings;
    Result<PublicKey> ours = public_key_of(seed);
    if (!ours) return ours.error();
    if (key == test_public_key && !allow_test_key)
        return Error{
            "it was built with the test update key, whose private half is public; configure "
            "the build with -DTORVANE_UPDATE_PUBLIC_KEY=<your public key>"};
    if (key != base64_encode(ours.value()))
        return Error{"it trusts the update key " + key + ", not " + base64_encode(ours.value()) +
                     " of --key; no installed copy would accept this release"};
    if (!iequals_ascii(host, url_host(url_base)))
        return Error{"it fetches updates from " + host + ", not from " +
                     std::string(url_host(url_base)) + " of --url-base"};
    return success();
}

// Where the program finds the feed: always this path on the host the packages come from.
std::string feed_url(std::string_view package_url) {
    return "https://" + std::string(url_host(package_url)) + std::string(feed_path);
}

Status keygen_command(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
    Result<Options> options = parse_options(args, {}, {}, 1);
    if (!options) return options.error();
    const std::string& path = options.value().positional[0];
    const Ed25519Seed seed = ed25519_new_seed();
    Result<PublicKey> key = public_key_of(seed);
    if (!key) return key.error();
    if (Status written = write_new_private_key(path, seed); !written) return written;
    out << base64_encode(key.value()) << "\n";
    err << "Wrote the private key to " << path
        << ". Keep it secret and backed up: every update must be signed with it.\n"
        << "Configure the Windows build with -DTORVANE_UPDATE_PUBLIC_KEY="
        << base64_encode(key.value()) << "\n";
    return success();
}

// A key others may read is no longer the publisher's alone: it is refused, not used.
Result<Ed25519Seed> key_argument(const std::string& path) {
    Result<Ed25519Seed> seed = read_private_key(path);
    struct stat info {};
    if (seed && stat(path.c_str(), &info) == 0 && (info.st_mode & 077) != 0)
        return Error{"others may read the private key " + path + "; chmod 600 it"};
    return seed;
}

Status public_key_command(std::span<const std::string> args, std::ostream& out, std::ostream&) {
    Result<Options> options = parse_options(args, {}, {}, 1);
    if (!options) return options.error();
    Result<Ed25519Seed> seed = key_argument(options.value().positional[0]);
    if (!seed) return seed.error();
    Result<PublicKey> key = public_key_of(seed.value());
    if (!key) return key.error();
    out << base64_encode(key.value()) << "\n";
    return success();
}

Status sign_exe_command(std::span<const std::string> args, std::ostream& out, std::ostream&) {
    Result<Options> options = parse_options(args, {}, {"--timestamp-url"}, 4);
    if (!options) return options.error();
    const auto& p = options.value().positional;
    const std::string timestamp = options.value().get("--timestamp-url").value_or("");
    if (Status signed_ = sign_exe(p[0], p[1], p[2], p[3], timestamp); !signed_) return signed_;
    out << "Signed " << p[3] << "\n";
    return success();
}

Status pack_command(std::span<const std::string> args, std::ostream& out, std::ostream&) {
    Result<Options> options = parse_options(args, {}, {}, 2);
    if (!options) return options.error();
    const auto& p = options.value().positional;
    Result<Bytes> exe = read_file(p[0], max_package_size);
    if (!exe) return exe.error();
    Result<Bytes> package = pack(exe.value());
    if (!package) return Error{p[0] + ": " + package.error().message};
    if (Status written = write_file(p[1], package.value()); !written) return written;
    out << "Wrote " << p[1] << " (" << package.value().size() << " bytes)\n";
    return success();
}

Status sign_command(std::span<const std::string> args, std::ostream& out, std::ostream&) {
    Result<Options> options = parse_options(args, {}, {}, 2);
    if (!options) return options.error();
    const auto& p = options.value().positional;
    Result<Ed25519Seed> seed = key_argument(p[0]);
    if (!seed) return seed.error();
    Result<Bytes> file = read_file(p[1], max_signed_file);
    if (!file) return file.error();
    const auto signature = ed25519_sign(seed.value(), file.value());
    if (!signature) return Error{"libgcrypt could not sign " + p[1]};
    out << base64_encode(*signature) << "\n";
    return success();
}

Status feed_command(std::span<const std::string> args, std::ostream& out, std::ostream&) {
    Result<Options> options = parse_options(
        args, {"--package", "--key", "--url", "--version", "--build"}, feed_extras, 1);
    if (!options) return options.error();
    const Options& o = options.value();
    Result<FeedFields> fields = feed_options(o);
    if (!fields) return fields.error();
    std::uint32_t build_number = 0;
    const std::string& b = o["--build"];
    const auto [end, error] = std::from_chars(b.data(), b.data() + b.size(), build_number);
    if (error != std::errc{} || end != b.data() + b.size() || build_number < 1 ||
        build_number > 0xFFFF)
        return Error{
            "--build must be a whole number from 1 to 65535 (the fourth part of the "
            "file version)"};
    fields.value().version = o["--version"];
    fields.value().build = static_cast<std::int32_t>(build_number);
    fields.value().url = o["--url"];

    Result<Ed25519Seed> seed = key_argument(o["--key"]);
    if (!seed) return seed.error();
    Result<Bytes> package = read_file(o["--package"], max_package_size);
    if (!package) return package.error();
    Result<std::string> feed = make_feed(package.value(), seed.value(), fields.value());
    if (!feed) return feed.error();
    const std::string& out_path = o.positional[0];
    if (Status written = write_file(out_path, bytes_of(feed.value())); !written) return written;
    out << "Wrote " << out_path << " (version " << fields.value().version << ", build "
        << fields.value().build << ")\n";
    return success();
}

Status publish_command(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
    std::vector<std::string_view> optional = feed_extras;
    optional.push_back("--timestamp-url");
    Result<Options> options =
        parse_options(args, {"--exe", "--key", "--cert", "--cert-key", "--url-base", "--out"},
                      optional, 0, {"--allow-test-key"});
    if (!options) return options.error();
    const Options& o = options.value();
    Result<FeedFields> fields = feed_options(o);
    if (!fields) return fields.error();
    const std::string &exe_path = o["--exe"], &cert = o["--cert"], &cert_key = o["--cert-key"];
    std::string base = o["--url-base"];
    if (base.find_first_of("?#") != std::string::npos || !package_url_allowed(base, url_host(base)))
        return Error{
            "--url-base must be an https URL on the default port, like "
            "https://updates.example.org/software/torvane/"};
    if (!base.ends_with('/')) base += '/';

    // Everything that can be refused is checked before anything is written.
    Result<Ed25519Seed> seed = key_argument(o["--key"]);
    if (!seed) return seed.error();
    Result<Bytes> input = read_file(exe_path, max_package_size);
    if (!input) return input.error();
    Result<ExeVersion> input_version = read_exe_version(input.value());
    if (!input_version) return Error{exe_path + ": " + input_version.error().message};
    if (input_version.value().product_name != "Torvane")
        return Error{exe_path + ": its ProductName is not \"Torvane\""};
    const auto& v = input_version.value().file_version;
    if (v[3] == 0) return Error{exe_path + ": its build (fourth version part) is 0"};
    if (Status trusted = check_update_settings(input.value(), seed.value(), base,
                                               o.get("--allow-test-key").has_value());
        !trusted)
        return Error{exe_path + ": " + trusted.error().message};
    const std::string timestamp = o.get("--timestamp-url").value_or("");
    if (timestamp.empty())
        err << "warning: no --timestamp-url: once the signing certificate expires, Windows "
               "reports this signature as expired and installed copies can no longer verify "
               "the release\n";

    const std::filesystem::path dir = o["--out"];
    std::error_code failure;
    std::filesystem::create_directories(dir, failure);
    if (failure) return Error{"cannot create " + dir.string() + ": " + failure.message()};
    const std::string signed_exe = (dir / app_name).string();
    if (std::filesystem::equivalent(exe_path, signed_exe, failure))
        return Error{"--exe must not be " + signed_exe + ", where the signed copy goes"};

    if (Status signed_ = sign_exe(exe_path, cert, cert_key, signed_exe, timestamp); !signed_)
        return signed_;
    Result<Bytes> exe = read_file(signed_exe, max_package_size);
    if (!exe) return exe.error();
    Result<ExeVersion> version = read_exe_version(exe.value());
    if (!version) return Error{signed_exe + ": " + version.error().message};
    if (version.value().file_version != v ||
        version.value().product_name != input_version.value().product_name ||
        !version.value().authenticode)
        return Error{signed_exe + " is not a signed copy of " + exe_path};

    const std::string version_text =
        std::to_string(v[0]) + "." + std::to_string(v[1]) + "." + std::to_string(v[2]);
    const std::string zip_name = "Torvane-" + version_text + ".zip";
    fields.value().version = version_text;
    fields.value().build = v[3];
    fields.value().url = base + zip_name;
    Result<Bytes> package = pack(exe.value());
    if (!package) return Error{signed_exe + ": " + package.error().message};
    Result<std::string> feed = make_feed(package.value(), seed.value(), fields.value());
    if (!feed) return feed.error();
    const std::string zip_path = (dir / zip_name).string();
    const std::string json_path = (dir / feed_name).string();
    if (Status written = write_file(zip_path, package.value()); !written) return written;
    if (Status written = write_file(json_path, bytes_of(feed.value())); !written) return written;

    out << "Signed   " << signed_exe << " (Torvane " << version_text << ", build " << v[3] << ")\n"
        << "Packed   " << zip_path << " (" << package.value().size() << " bytes, SHA-256 "
        << sha256_hex(package.value()) << ")\n"
        << "Wrote    " << json_path << "\n"
        << "Upload " << zip_name << " to " << fields.value().url << " first, then " << feed_name
        << " to " << feed_url(base) << "\n";
    return success();
}

}  // namespace

Status write_new_private_key(const std::string& path, const Ed25519Seed& seed) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        if (errno == EEXIST) return Error{path + " already exists; a key is never overwritten"};
        return Error{system_error("cannot create " + path, errno)};
    }
    const std::string text = hex(seed) + "\n";
    // The mode asked for at creation may have been narrowed by the umask, never widened.
    const bool written = fchmod(fd, 0600) == 0 && write_all(fd, bytes_of(text)) && fsync(fd) == 0;
    const int error = errno;
    if (close(fd) != 0 || !written) {
        const std::string message = system_error("cannot write " + path, written ? errno : error);
        unlink(path.c_str());
        return Error{message};
    }
    return success();
}

Result<Ed25519Seed> read_private_key(const std::string& path) {
    Result<Bytes> bytes = read_file(path, 1024);
    if (!bytes) return bytes.error();
    std::string_view text(reinterpret_cast<const char*>(bytes.value().data()),
                          bytes.value().size());
    if (text.ends_with("\r\n")) {
        text.remove_suffix(2);
    } else if (text.ends_with('\n')) {
        text.remove_suffix(1);
    }
    Ed25519Seed seed{};
    if (text.size() != 2 * seed.size() ||
        !std::all_of(text.begin(), text.end(), [](char c) { return hex_value(c) >= 0; }))
        return Error{path + " is not a private key made by keygen (64 hexadecimal digits)"};
    for (std::size_t i = 0; i < seed.size(); ++i)
        seed[i] =
            static_cast<std::uint8_t>(hex_value(text[2 * i]) << 4 | hex_value(text[2 * i + 1]));
    return seed;
}

Result<std::vector<std::uint8_t>> pack(std::span<const std::uint8_t> exe) {
    if (exe.empty()) return Error{"the executable is empty"};
    if (exe.size() > max_package_size)
        return Error{"the executable is larger than " + std::to_string(max_package_size) +
                     " bytes"};
    zip_write::Record record;
    record.name = record.local_name = app_name;
    record.data = zip_write::raw_deflate(exe);
    if (record.data.empty()) return Error{"zlib could not compress the executable"};
    record.crc = zip_write::crc32_of(exe);
    record.size = static_cast<std::uint32_t>(exe.size());
    Bytes package = zip_write::write({record});
    if (package.size() > max_package_size)
        return Error{"the package would be larger than " + std::to_string(max_package_size) +
                     " bytes, which the program refuses to download"};
    // What the program will take out of it.
    Result<Bytes> extracted = extract_app_bytes(package);
    if (!extracted ||
        !std::equal(exe.begin(), exe.end(), extracted.value().begin(), extracted.value().end()))
        return Error{"the package does not give back the executable"};
    return package;
}

Result<std::string> make_feed(std::span<const std::uint8_t> package, const Ed25519Seed& seed,
                              const FeedFields& fields) {
    if (package.empty() || package.size() > max_package_size)
        return Error{"a package must have 1 to " + std::to_string(max_package_size) + " bytes"};
    if (Result<Bytes> app = extract_app_bytes(package); !app)
        return Error{"the package is not one the program accepts: " + app.error().message};
    if (fields.build < 1 || fields.build > 0xFFFF) return Error{"the build must be 1 to 65535"};
    const std::string_view host = url_host(fields.url);
    if (host.empty() || !package_url_allowed(fields.url, host))
        return Error{"the package URL must be an https URL on the default port: " + fields.url};
    if (fields.minimum_system && !valid_minimum_system(*fields.minimum_system))
        return Error{"the minimum system must be two to four numbers, like 10.0.19045"};
    if (fields.notes && !valid_utf8(*fields.notes))
        return Error{"the release notes are not UTF-8 text"};
    Result<PublicKey> key = public_key_of(seed);
    if (!key) return key.error();
    const auto signature = ed25519_sign(seed, package);
    if (!signature) return Error{"libgcrypt could not sign the package"};

    nlohmann::ordered_json feed;
    feed["version"] = fields.version;
    feed["build"] = fields.build;
    feed["size"] = package.size();
    feed["url"] = fields.url;
    feed["sha256"] = sha256_hex(package);
    feed["signature"] = base64_encode(*signature);
    if (fields.notes) feed["notes"] = *fields.notes;
    if (fields.minimum_system) feed["minimumSystem"] = *fields.minimum_system;
    const std::string text =
        feed.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";

    // Read back as the program reads it.
    Result<Appcast> parsed = parse_appcast(text);
    if (!parsed)
        return Error{
            "the program would not accept the feed; is the version three numbers of "
            "up to four digits, like 1.4.2? (" +
            fields.version + ")"};
    const Appcast& a = parsed.value();
    const auto signature_bytes = base64_decode(a.signature);
    if (a.version != fields.version || a.build != fields.build ||
        a.size != static_cast<std::int64_t>(package.size()) || a.url != fields.url ||
        a.notes != fields.notes || a.minimumSystem != fields.minimum_system ||
        !verify_package_digest(package, a) || !signature_bytes ||
        !ed25519_verify_strict(key.value(), package, *signature_bytes))
        return Error{"the feed does not verify against its package"};
    return text;
}

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

int run(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
    using Command = Status (*)(std::span<const std::string>, std::ostream&, std::ostream&);
    static const std::map<std::string_view, Command> commands = {
        {"keygen", keygen_command},     {"public-key", public_key_command},
        {"sign-exe", sign_exe_command}, {"pack", pack_command},
        {"sign", sign_command},         {"feed", feed_command},
        {"publish", publish_command},
    };
    if (!args.empty() && (args[0] == "--help" || args[0] == "-h" || args[0] == "help")) {
        out << usage;
        return 0;
    }
    const auto command = args.empty() ? commands.end() : commands.find(args[0]);
    if (command == commands.end()) {
        err << "torvane_release: "
            << (args.empty() ? std::string("no command") : "unknown command " + args[0])
            << " (see --help)\n";
        return 1;
    }
    const Status done = command->second(args.subspan(1), out, err);
    if (!done) {
        err << "torvane_release " << args[0] << ": " << done.error().message << "\n";
        return 1;
    }
    return 0;
}

}  // namespace torvane::release
