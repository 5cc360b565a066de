#include "tools/release/release.h"
#include "tools/release/cli.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>
#include <tuple>

#include "core/appcast.h"
#include "core/crypto.h"
#include "core/package.h"
#include "core/package_proof.h"
#include "core/pe_version.h"
#include "core/strings.h"
#include "pe_image.h"
#include "tests/core/signing.h"

namespace torvane::release {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

struct Outcome {
    int status = -1;
    std::string out, err;
};

Outcome tool(std::vector<std::string> args) {
    std::ostringstream out, err;
    Outcome r;
    r.status = run(args, out, err);
    r.out = out.str();
    r.err = err.str();
    return r;
}

Bytes read_bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::string read_text(const fs::path& path) {
    const Bytes bytes = read_bytes(path);
    return {bytes.begin(), bytes.end()};
}

void write_bytes(const fs::path& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

// Half random, half repetitive, as an executable compresses.
Bytes program(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = (i / 4096) % 2 ? static_cast<std::uint8_t>(random())
                                  : static_cast<std::uint8_t>("mov rax, [rbp+8]\n"[i % 17]);
    return bytes;
}

class Release : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "torvane-release-test-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string path(const std::string& name) const { return (dir_ / name).string(); }

    // A key file holding the private half of the build's default update key.
    std::string test_key() const {
        const std::string key = path("test.key");
        write_bytes(key, signing::bytes_of(std::string(signing::update_test_seed) + "\n"));
        chmod(key.c_str(), 0600);
        return key;
    }

    fs::path dir_;
};

Bytes decode(const std::string& base64_line) {
    EXPECT_TRUE(base64_line.ends_with('\n'));
    const auto bytes = base64_decode(trim(base64_line));
    EXPECT_TRUE(bytes.has_value()) << base64_line;
    return bytes.value_or(Bytes{});
}

TEST_F(Release, KeygenWritesAPrivateKeyOnceAndItsPublicKeySignsAndVerifies) {
    const std::string key = path("publisher.key");
    const Outcome made = tool({"keygen", key});
    ASSERT_EQ(made.status, 0) << made.err;
    EXPECT_NE(made.err.find("-DTORVANE_UPDATE_PUBLIC_KEY=" + std::string(trim(made.out))),
              std::string::npos);
    struct stat info {};
    ASSERT_EQ(stat(key.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    const std::string text = read_text(key);

    const Outcome again = tool({"keygen", key});
    EXPECT_EQ(again.status, 1);
    EXPECT_EQ(read_text(key), text);
    EXPECT_EQ(tool({"public-key", key}).out, made.out);
    const Outcome other = tool({"keygen", path("other.key")});
    EXPECT_NE(other.out, made.out);

    const Bytes message = program(100, 1);
    write_bytes(path("message"), message);
    const Bytes signature = decode(tool({"sign", key, path("message")}).out);
    EXPECT_TRUE(ed25519_verify_strict(decode(made.out), message, signature));
    EXPECT_FALSE(ed25519_verify_strict(decode(other.out), message, signature));
    // A key others may read is refused.
    chmod(key.c_str(), 0640);
    const Outcome refused = tool({"public-key", key});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("chmod 600"), std::string::npos) << refused.err;
}

TEST_F(Release, RefusesKeyFilesThatAreNotKeysAndNeverWritesOverAKey) {
    for (const std::string& text : {std::string(63, 'a') + "\n", std::string(64, 'g') + "\n",
                                    std::string(64, 'a') + "\n\n"}) {
        write_bytes(path("bad.key"), signing::bytes_of(text));
        const Outcome r = tool({"public-key", path("bad.key")});
        EXPECT_EQ(r.status, 1) << text;
        EXPECT_NE(r.err.find("not a private key"), std::string::npos) << r.err;
    }
    // CR LF line ends, as a key copied through Windows may have.
    write_bytes(path("crlf.key"),
                signing::bytes_of(std::string(signing::update_test_seed) + "\r\n"));
    chmod(path("crlf.key").c_str(), 0600);
    EXPECT_EQ(tool({"public-key", path("crlf.key")}).out,
              "VxHHCe8OkIEtSfm6pHP81Av6d46+GY6Gh7eYvsto5hU=\n");

    const std::string key = test_key();
    const std::string before = read_text(key);
    write_bytes(path("app.exe"), program(5000, 2));
    EXPECT_EQ(tool({"pack", path("app.exe"), key}).status, 1);
    EXPECT_EQ(read_text(key), before);
}

TEST_F(Release, PackGivesBackTheExactExecutableDeflated) {
    const Bytes exe = program(70'000, 3);
    write_bytes(path("app.exe"), exe);
    const Outcome r = tool({"pack", path("app.exe"), path("app.zip")});
    ASSERT_EQ(r.status, 0) << r.err;
    const Bytes zip = read_bytes(path("app.zip"));
    Result<Bytes> back = extract_app_bytes(zip);
    ASSERT_TRUE(back.ok());
    EXPECT_EQ(back.value(), exe);
    EXPECT_LT(zip.size(), exe.size() * 3 / 4);

    write_bytes(path("empty.exe"), {});
    EXPECT_EQ(tool({"pack", path("empty.exe"), path("empty.zip")}).status, 1);
    EXPECT_FALSE(fs::exists(path("empty.zip")));
    EXPECT_FALSE(pack(Bytes(max_package_size + 1)).ok());
}

TEST_F(Release, FeedIsWhatTheProgramParsesAndVerifies) {
    write_bytes(path("app.exe"), program(20'000, 5));
    ASSERT_EQ(tool({"pack", path("app.exe"), path("app.zip")}).status, 0);
    const Bytes package = read_bytes(path("app.zip"));
    const std::string url = "https://updates.example.org/software/torvane/Torvane-1.4.2.zip";
    const Outcome r =
        tool({"feed", "--package", path("app.zip"), "--key", test_key(), "--url", url, "--version",
              "1.4.2", "--build", "37", "--notes", "  Arreglos de la pausa.\n", "--minimum-system",
              "10.0.19045", path("appcast.json")});
    ASSERT_EQ(r.status, 0) << r.err;
    Result<Appcast> feed = parse_appcast(read_text(path("appcast.json")));
    ASSERT_TRUE(feed.ok());
    const Appcast& a = feed.value();
    EXPECT_EQ(std::tie(a.version, a.build, a.size, a.url, a.notes, a.minimumSystem),
              std::make_tuple("1.4.2", 37, std::optional<std::int64_t>(package.size()), url,
                              std::optional<std::string>("Arreglos de la pausa."),
                              std::optional<std::string>("10.0.19045")));
    EXPECT_TRUE(verify_package_digest(package, a));
    EXPECT_TRUE(verify_package_signature(package, a));
    // The same signature as the sign command's, over the whole package.
    EXPECT_EQ(tool({"sign", test_key(), path("app.zip")}).out, a.signature + "\n");

    // Notes from a file, without the optional fields.
    write_bytes(path("notes.txt"), signing::bytes_of("Primera línea\n"));
    ASSERT_EQ(
        tool({"feed", "--package", path("app.zip"), "--key", test_key(), "--url", url, "--version",
              "1.4.2", "--build", "37", "--notes-file", path("notes.txt"), path("plain.json")})
            .status,
        0);
    Result<Appcast> plain = parse_appcast(read_text(path("plain.json")));
    ASSERT_TRUE(plain.ok());
    EXPECT_EQ(plain.value().notes, "Primera línea");
    EXPECT_EQ(plain.value().minimumSystem, std::nullopt);
}

TEST_F(Release, FeedRefusesWhatTheProgramWouldNotTake) {
    write_bytes(path("app.exe"), program(10'000, 6));
    ASSERT_EQ(tool({"pack", path("app.exe"), path("app.zip")}).status, 0);
    const std::string key = test_key();
    const std::vector<std::string> good = {
        "--package", path("app.zip"), "--key",   key, "--url", "https://h.example/p/T.zip",
        "--version", "1.4.2",         "--build", "37"};
    // `good` with one option's value replaced (or the option left out), or one more option.
    auto feed = [&](const std::string& option, const std::string& value) {
        std::vector<std::string> args = {"feed"};
        bool replaced = false;
        for (std::size_t i = 0; i < good.size(); i += 2) {
            replaced = replaced || good[i] == option;
            if (good[i] != option) {
                args.insert(args.end(), {good[i], good[i + 1]});
            } else if (value != "<none>") {
                args.insert(args.end(), {good[i], value});
            }
        }
        if (!replaced) args.insert(args.end(), {option, value});
        args.push_back(path("out.json"));
        return tool(args);
    };
    auto refused = [&](const std::string& option, const std::string& value) {
        const Outcome r = feed(option, value);
        const bool one_line = r.err.find('\n') == r.err.size() - 1;
        return r.status == 1 && one_line && r.out.empty() && !fs::exists(path("out.json"));
    };
    ASSERT_EQ(feed("--build", "37").status, 0);
    fs::remove(path("out.json"));
    // One case of each kind: the rules themselves are the program's own, tested with it.
    EXPECT_TRUE(refused("--version", "1.4"));
    EXPECT_TRUE(refused("--build", "0"));
    EXPECT_TRUE(refused("--build", "37a"));
    EXPECT_TRUE(refused("--url", "http://h.example/p/T.zip"));
    EXPECT_TRUE(refused("--url", "<none>"));
    EXPECT_TRUE(refused("--package", path("app.exe")));
    EXPECT_TRUE(refused("--key", path("app.exe")));
    EXPECT_TRUE(refused("--minimum-system", "10"));
    EXPECT_TRUE(refused("--notes", "\xFF"));
    EXPECT_TRUE(refused("--color", "blue"));
}

TEST_F(Release, CommandLineSaysWhatIsWrong) {
    EXPECT_NE(tool({"--help"}).out.find("publish --exe"), std::string::npos);
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {}, {"frobnicate"}, {"keygen", "a", "b"}, {"feed", "--package"}}) {
        const Outcome r = tool(args);
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(r.err.starts_with("torvane_release")) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
}

// A Torvane build that fetches updates from `host` and trusts `key`, as the program carries
// both: in its code section, after a marker.
Bytes build_trusting(std::string_view host, std::string_view key) {
    Bytes exe = testing_pe::image(testing_pe::version_info({})).bytes;
    const std::string settings =
        std::string(update_settings_marker) + std::string(host) + " " + std::string(key);
    std::copy(settings.begin(), settings.end(), exe.begin() + 0x210);
    return exe;
}

// Authenticode signing needs osslsigncode and a certificate from openssl.
class Signing : public Release {
protected:
    void SetUp() override {
        Release::SetUp();
        if (std::system("command -v osslsigncode >/dev/null && command -v openssl >/dev/null"))
            GTEST_SKIP() << "osslsigncode or openssl is not installed";
        const std::string make =
            "openssl req -x509 -newkey rsa:2048 -nodes -days 30 -subj '/CN=Torvane test' "
            "-keyout " +
            path("k.pem") + " -out " + path("c.pem") + " 2>/dev/null";
        ASSERT_EQ(std::system(make.c_str()), 0);
    }
};

// A time-stamping authority on a loopback port: openssl answers one RFC 3161 query (within a
// minute) behind a small HTTP server, which writes its port to DIR/port.
constexpr const char* time_stamp_server = R"(
import http.server, subprocess, sys
d = sys.argv[1]
class Handler(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        query = self.rfile.read(int(self.headers["Content-Length"]))
        reply = subprocess.run(["openssl", "ts", "-reply", "-config", d + "/tsa.cnf", "-queryfile",
                                "/dev/stdin", "-out", "/dev/stdout"], input=query,
                               capture_output=True).stdout
        self.send_response(200)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)
    def log_message(self, *args):
        pass
server = http.server.HTTPServer(("127.0.0.1", 0), Handler)
server.timeout = 60
open(d + "/port.tmp", "w").write(str(server.server_port))
__import__("os").rename(d + "/port.tmp", d + "/port")
server.handle_request()
)";

TEST_F(Signing, SignExeTimeStampsWithTheGivenServer) {
    const std::string tsa =
        "openssl req -x509 -newkey rsa:2048 -nodes -days 30 -subj '/CN=TSA' "
        "-addext extendedKeyUsage=critical,timeStamping -keyout " +
        path("tsa.key") + " -out " + path("tsa.pem") + " 2>/dev/null";
    ASSERT_EQ(std::system(tsa.c_str()), 0);
    write_bytes(path("tsa.cnf"),
                signing::bytes_of("[tsa]\ndefault_tsa = t\n[t]\nserial = " + path("serial") +
                                  "\nsigner_cert = " + path("tsa.pem") +
                                  "\nsigner_key = " + path("tsa.key") +
                                  "\nsigner_digest = sha256\ndefault_policy = 1.2.3.4.1\n"
                                  "digests = sha256\ness_cert_id_alg = sha256\n"));
    write_bytes(path("tsa.py"), signing::bytes_of(time_stamp_server));
    ASSERT_EQ(std::system(("python3 " + path("tsa.py") + " " + dir_.string() + " &").c_str()), 0);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!fs::exists(path("port")) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(fs::exists(path("port"))) << "the time-stamping server did not start";

    write_bytes(path("in.exe"), testing_pe::image(testing_pe::version_info({})).bytes);
    const Outcome r =
        tool({"sign-exe", "--timestamp-url", "http://127.0.0.1:" + read_text(path("port")),
              path("in.exe"), path("c.pem"), path("k.pem"), path("out.exe")});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string verify = "osslsigncode verify -CAfile " + path("c.pem") + " -TSA-CAfile " +
                               path("tsa.pem") + " -in " + path("out.exe") +
                               " 2>&1 | grep -q 'Timestamp Server Signature verification: ok'";
    EXPECT_EQ(std::system(verify.c_str()), 0);
}

TEST_F(Signing, PublishSignsPacksAndWritesTheFeedFromTheVersionResource) {
    const std::string key = path("publisher.key");
    const std::string public_key(trim(tool({"keygen", key}).out));
    write_bytes(path("Torvane.exe"), build_trusting("Updates.Example.org", public_key));
    const std::string out = path("release");
    const Outcome r = tool({"publish", "--exe", path("Torvane.exe"), "--key", key, "--cert",
                            path("c.pem"), "--cert-key", path("k.pem"), "--url-base",
                            "https://updates.example.org/software/torvane", "--out", out, "--notes",
                            "Novedades"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("https://updates.example.org/software/torvane/appcast-windows.json"),
              std::string::npos)
        << r.out;
    const Bytes signed_exe = read_bytes(fs::path(out) / "Torvane.exe");
    ASSERT_TRUE(read_exe_version(signed_exe).ok());
    EXPECT_TRUE(read_exe_version(signed_exe).value().authenticode);
    const std::string verify = "osslsigncode verify -CAfile " + path("c.pem") + " -in " + out +
                               "/Torvane.exe >/dev/null 2>&1";
    EXPECT_EQ(std::system(verify.c_str()), 0);
    EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 3)
        << "the program, its package and its feed: nothing left of the signing";
    const Bytes package = read_bytes(fs::path(out) / "Torvane-1.4.2.zip");
    Result<Bytes> extracted = extract_app_bytes(package);
    ASSERT_TRUE(extracted.ok());
    EXPECT_EQ(extracted.value(), signed_exe);
    Result<Appcast> feed = parse_appcast(read_text(fs::path(out) / "appcast-windows.json"));
    ASSERT_TRUE(feed.ok());
    const Appcast& a = feed.value();
    EXPECT_EQ(std::tie(a.version, a.build, a.url, a.notes),
              std::make_tuple("1.4.2", 37,
                              "https://updates.example.org/software/torvane/Torvane-1.4.2.zip",
                              std::optional<std::string>("Novedades")));
    EXPECT_TRUE(verify_package_digest(package, a));
    EXPECT_NE(r.err.find("warning: no --timestamp-url"), std::string::npos) << r.err;

    // Another product, no version resource, a build no installed copy would accept or anyone
    // could forge: refused, saying why, before anything is written.
    testing_pe::Version other;
    other.tables[0].strings = {{u"ProductName", u"Torvane Beta"}};
    write_bytes(path("other.exe"), testing_pe::image(testing_pe::version_info(other)).bytes);
    write_bytes(path("plain.exe"), program(5000, 8));
    write_bytes(path("unset.exe"), testing_pe::image(testing_pe::version_info({})).bytes);
    write_bytes(path("test-key.exe"),
                build_trusting("updates.example.org", trim(tool({"public-key", test_key()}).out)));
    write_bytes(path("other-key.exe"),
                build_trusting("updates.example.org", trim(tool({"keygen", path("o.key")}).out)));
    write_bytes(path("localhost.exe"), build_trusting("localhost", public_key));
    const std::vector<std::tuple<const char*, std::string, const char*>> refusals = {
        {"other.exe", key, "ProductName"},
        {"plain.exe", key, ""},
        {"unset.exe", key, "no update settings"},
        {"test-key.exe", test_key(), "test update key"},
        {"other-key.exe", key, "no installed copy would accept"},
        {"localhost.exe", key, "fetches updates from localhost"}};
    for (const auto& [exe, with_key, reason] : refusals) {
        const std::string elsewhere = path(std::string("out-") + exe);
        const Outcome refused =
            tool({"publish", "--exe", path(exe), "--key", with_key, "--cert", path("c.pem"),
                  "--cert-key", path("k.pem"), "--url-base",
                  "https://updates.example.org/software/torvane/", "--out", elsewhere});
        EXPECT_EQ(refused.status, 1) << exe;
        EXPECT_NE(refused.err.find(reason), std::string::npos) << refused.err;
        EXPECT_FALSE(fs::exists(elsewhere)) << exe;
    }
    const Outcome http = tool({"publish", "--exe", path("Torvane.exe"), "--key", key, "--cert",
                               path("c.pem"), "--cert-key", path("k.pem"), "--url-base",
                               "http://updates.example.org/", "--out", path("http")});
    EXPECT_EQ(http.status, 1);
    EXPECT_FALSE(fs::exists(path("http")));
    // osslsigncode fails on a key that is not one: a clear error, and nothing in the folder.
    const Outcome unsigned_ = tool({"publish", "--exe", path("Torvane.exe"), "--key", key, "--cert",
                                    path("c.pem"), "--cert-key", path("c.pem"), "--url-base",
                                    "https://updates.example.org/", "--out", path("unsigned")});
    EXPECT_NE(unsigned_.err.find("osslsigncode failed"), std::string::npos) << unsigned_.err;
    EXPECT_TRUE(fs::is_empty(path("unsigned")));
}

}  // namespace
}  // namespace torvane::release
