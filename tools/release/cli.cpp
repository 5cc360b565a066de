// The release tool's command line: options, one function per command, and the dispatch.

#include "tools/release/cli.h"

#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <map>
#include <optional>
#include <ostream>

#include "core/appcast.h"
#include "core/crypto.h"
#include "core/package.h"
#include "core/pe_version.h"
#include "core/strings.h"
#include "core/url.h"
#include "tools/release/files.h"
#include "tools/release/release.h"

namespace torvane::release {

namespace {

constexpr std::string_view feed_name = "appcast-windows.json";
constexpr std::string_view feed_path = "/software/torvane/appcast-windows.json";
// A file's bytes are signed in one piece, and libgcrypt takes their length as an int.
constexpr std::size_t max_signed_file = 0x7FFFFFFF;
// The build's default key, whose private half is in the repository: anyone can sign with it.
constexpr std::string_view test_public_key = "VxHHCe8OkIEtSfm6pHP81Av6d46+GY6Gh7eYvsto5hU=";

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
    if (!iequals_ascii(host, https_host(url_base)))
        return Error{"it fetches updates from " + host + ", not from " +
                     std::string(https_host(url_base)) + " of --url-base"};
    return success();
}

// Where the program finds the feed: always this path on the host the packages come from.
std::string feed_url(std::string_view package_url) {
    return "https://" + std::string(https_host(package_url)) + std::string(feed_path);
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

// The exe as given: a build of Torvane with a build number, trusting our key and host.
Result<ExeVersion> publishable_version(const Options& o, const Ed25519Seed& seed,
                                       const std::string& base) {
    const std::string& exe_path = o["--exe"];
    Result<Bytes> input = read_file(exe_path, max_package_size);
    if (!input) return input.error();
    Result<ExeVersion> version = read_exe_version(input.value());
    if (!version) return Error{exe_path + ": " + version.error().message};
    if (version.value().product_name != "Torvane")
        return Error{exe_path + ": its ProductName is not \"Torvane\""};
    if (version.value().file_version[3] == 0)
        return Error{exe_path + ": its build (fourth version part) is 0"};
    if (Status trusted =
            check_update_settings(input.value(), seed, base, o.get("--allow-test-key").has_value());
        !trusted)
        return Error{exe_path + ": " + trusted.error().message};
    return version;
}

// Signs the exe into the output folder and returns the signed bytes, checked to be a signed
// copy of the same version.
Result<Bytes> signed_copy(const Options& o, const ExeVersion& input, std::ostream& err) {
    const std::string& exe_path = o["--exe"];
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
    if (Status signed_ = sign_exe(exe_path, o["--cert"], o["--cert-key"], signed_exe, timestamp);
        !signed_)
        return signed_.error();
    Result<Bytes> exe = read_file(signed_exe, max_package_size);
    if (!exe) return exe.error();
    Result<ExeVersion> version = read_exe_version(exe.value());
    if (!version) return Error{signed_exe + ": " + version.error().message};
    if (version.value().file_version != input.file_version ||
        version.value().product_name != input.product_name || !version.value().authenticode)
        return Error{signed_exe + " is not a signed copy of " + exe_path};
    return exe;
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
    std::string base = o["--url-base"];
    if (base.find_first_of("?#") != std::string::npos ||
        !package_url_allowed(base, https_host(base)))
        return Error{
            "--url-base must be an https URL on the default port, like "
            "https://updates.example.org/software/torvane/"};
    if (!base.ends_with('/')) base += '/';

    // Everything that can be refused is checked before anything is written.
    Result<Ed25519Seed> seed = key_argument(o["--key"]);
    if (!seed) return seed.error();
    Result<ExeVersion> input = publishable_version(o, seed.value(), base);
    if (!input) return input.error();
    Result<Bytes> exe = signed_copy(o, input.value(), err);
    if (!exe) return exe.error();

    const auto& v = input.value().file_version;
    const std::string version_text =
        std::to_string(v[0]) + "." + std::to_string(v[1]) + "." + std::to_string(v[2]);
    const std::string zip_name = "Torvane-" + version_text + ".zip";
    fields.value().version = version_text;
    fields.value().build = v[3];
    fields.value().url = base + zip_name;
    const std::filesystem::path dir = o["--out"];
    const std::string signed_exe = (dir / app_name).string();
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
