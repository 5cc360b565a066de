// The update package pipeline as the program runs it on a download, all in memory: SHA-256
// digest, Ed25519 signature, then inflating "Torvane.exe" with its CRC-32. Measured against
// the same work done by sha256sum, sha512sum and gzip -d on the same bytes, started as
// processes in the same run, and with the pipeline's peak memory beside the package and
// executable sizes.
//
//   package_bench [MiB]     (default 100)

#include <fcntl.h>
#include <malloc.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "core/appcast.h"
#include "core/package.h"
#include "core/package_proof.h"
#include "tests/core/signing.h"
#include "tools/release/release.h"
#include "tools/release/zip_write.h"

extern char** environ;

// Live and peak bytes held through operator new, to see what the pipeline itself allocates.
namespace {
std::atomic<std::size_t> live_bytes{0}, peak_bytes{0};
}  // namespace

void* operator new(std::size_t size) {
    void* p = std::malloc(size ? size : 1);
    if (!p) throw std::bad_alloc();
    const std::size_t now = live_bytes += malloc_usable_size(p);
    std::size_t peak = peak_bytes;
    while (now > peak && !peak_bytes.compare_exchange_weak(peak, now)) {
    }
    return p;
}
// GCC sees the replaced operator new inlined here and takes the free for a mismatch.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept {
    if (!p) return;
    live_bytes -= malloc_usable_size(p);
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    operator delete(p);
}
#pragma GCC diagnostic pop

namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;
constexpr double mib = 1024.0 * 1024.0;

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// An executable's mix: machine code and tables made of a limited vocabulary of byte strings,
// a quarter of already compressed or random data (resources, the signature), and zero
// padding.
Bytes exe_like(std::size_t size) {
    std::mt19937_64 random(20251207);
    std::vector<std::array<std::uint8_t, 8>> vocabulary(512);
    for (auto& word : vocabulary)
        for (auto& b : word)
            b = static_cast<std::uint8_t>(random());
    Bytes bytes(size);
    constexpr std::size_t block = 64 * 1024;
    for (std::size_t at = 0; at < size; at += block) {
        const std::size_t end = std::min(size, at + block);
        const unsigned kind = random() % 16;
        if (kind < 4) {  // random
            for (std::size_t i = at; i < end; ++i)
                bytes[i] = static_cast<std::uint8_t>(random());
        } else if (kind == 4) {  // padding
            std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                      bytes.begin() + static_cast<std::ptrdiff_t>(end), 0);
        } else {  // code: words of the vocabulary, some with an immediate operand
            for (std::size_t i = at; i < end;) {
                const auto& word = vocabulary[random() % vocabulary.size()];
                for (std::size_t k = 0; k < word.size() && i < end; ++k)
                    bytes[i++] = word[k];
                if (random() % 8 == 0 && i < end) bytes[i++] = static_cast<std::uint8_t>(random());
            }
        }
    }
    return bytes;
}

// The package's deflate stream in a gzip wrapper: the same compressed bytes for gzip -d.
Bytes gzip_of(const Bytes& package, const Bytes& exe) {
    const auto u16 = [&](std::size_t at) { return package[at] | package[at + 1] << 8; };
    const std::size_t compressed = u16(18) | static_cast<std::size_t>(u16(20)) << 16;
    const std::size_t data = 30 + u16(26) + u16(28);
    Bytes gz = {0x1F, 0x8B, 8, 0, 0, 0, 0, 0, 2, 3};
    gz.insert(gz.end(), package.begin() + static_cast<std::ptrdiff_t>(data),
              package.begin() + static_cast<std::ptrdiff_t>(data + compressed));
    torvane::zip_write::put32(gz, torvane::zip_write::crc32_of(exe));
    torvane::zip_write::put32(gz, static_cast<std::uint32_t>(exe.size()));
    return gz;
}

void write_file(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

// Wall time of one process from start to exit, its output thrown away; negative on failure.
double run_process(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    const Clock::time_point start = Clock::now();
    pid_t pid = 0;
    const int started = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (started != 0) return -1;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return -1;
    const double elapsed = seconds_since(start);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? elapsed : -1;
}

// A field of /proc/self/status in bytes (VmRSS, VmHWM); 0 if unreadable.
std::size_t status_bytes(const std::string& field) {
    std::ifstream in("/proc/self/status");
    for (std::string line; std::getline(in, line);)
        if (line.starts_with(field + ":")) return std::stoull(line.substr(field.size() + 1)) * 1024;
    return 0;
}

// Starts a new peak of the resident set at its present size (Linux 4.0 and later).
bool reset_peak_rss() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return static_cast<bool>(clear);
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t size_mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100;
    if (size_mib == 0 || size_mib > 150) {
        std::fprintf(stderr, "usage: package_bench [MiB, 1 to 150]\n");
        return 1;
    }
    const int repetitions = 5;

    std::printf("Building a %zu MiB executable-like payload and its package (deflate level 9)...\n",
                size_mib);
    Clock::time_point start = Clock::now();
    Bytes exe = exe_like(size_mib * 1024 * 1024);
    torvane::Result<Bytes> packed = torvane::release::pack(exe);
    if (!packed) {
        std::fprintf(stderr, "pack: %s\n", packed.error().message.c_str());
        return 1;
    }
    Bytes package = std::move(packed.value());
    // Signed with the private half of the default built-in key, which the verification uses.
    torvane::Ed25519Seed seed{};
    const Bytes seed_bytes = torvane::signing::from_hex(torvane::signing::update_test_seed);
    std::copy(seed_bytes.begin(), seed_bytes.end(), seed.begin());
    torvane::release::FeedFields fields;
    fields.version = "1.0.0";
    fields.build = 2;
    fields.url = "https://localhost/software/torvane/Torvane-1.0.0.zip";
    torvane::Result<std::string> feed_text = torvane::release::make_feed(package, seed, fields);
    if (!feed_text) {
        std::fprintf(stderr, "feed: %s\n", feed_text.error().message.c_str());
        return 1;
    }
    const torvane::Appcast feed = torvane::parse_appcast(feed_text.value()).value();
    std::printf("  payload %.1f MiB, package %.1f MiB (%.2f:1), built in %.1f s\n",
                exe.size() / mib, package.size() / mib,
                static_cast<double>(exe.size()) / package.size(), seconds_since(start));

    std::string pattern =
        (std::filesystem::temp_directory_path() / "torvane-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::filesystem::path dir = pattern;
    write_file(dir / "package.zip", package);
    write_file(dir / "Torvane.exe", exe);
    write_file(dir / "Torvane.exe.gz", gzip_of(package, exe));
    const std::string package_path = (dir / "package.zip").string();
    const std::string gz_path = (dir / "Torvane.exe.gz").string();

    // The program's pipeline, checked once for the right outcome.
    const std::size_t exe_size = exe.size();
    bool all_ok = true;
    auto pipeline = [&](double* digest, double* signature, double* extract) {
        Clock::time_point t = Clock::now();
        all_ok = torvane::verify_package_digest(package, feed) && all_ok;
        *digest = seconds_since(t);
        t = Clock::now();
        all_ok = torvane::verify_package_signature(package, feed) && all_ok;
        *signature = seconds_since(t);
        t = Clock::now();
        torvane::Result<Bytes> app = torvane::extract_app_bytes(package);
        *extract = seconds_since(t);
        all_ok = app.ok() && app.value().size() == exe_size && all_ok;
    };
    {
        torvane::Result<Bytes> app = torvane::extract_app_bytes(package);
        if (!app || app.value() != exe || !torvane::verify_package_digest(package, feed) ||
            !torvane::verify_package_signature(package, feed)) {
            std::fprintf(stderr, "the package does not verify or extract\n");
            return 1;
        }
    }

    // Peak memory of one run, with only the package and the payload's size to compare with:
    // the payload itself is written out and dropped first.
    Bytes().swap(exe);
    malloc_trim(0);
    const bool peak_known = reset_peak_rss();
    const std::size_t rss_before = status_bytes("VmRSS");
    const std::size_t new_before = live_bytes;
    peak_bytes = new_before;
    double d = 0, s = 0, x = 0;
    pipeline(&d, &s, &x);
    const std::size_t rss_peak = status_bytes("VmHWM");
    const std::size_t new_peak = peak_bytes - new_before;

    std::vector<double> ours, digest, signature, extract;
    for (int i = 0; i < repetitions; ++i) {
        Clock::time_point t = Clock::now();
        pipeline(&d, &s, &x);
        ours.push_back(seconds_since(t));
        digest.push_back(d);
        signature.push_back(s);
        extract.push_back(x);
    }

    std::vector<double> tools, sha256, sha512, gunzip;
    run_process({"sha256sum", package_path});  // the files are in the page cache from here on
    run_process({"sha512sum", package_path});
    run_process({"gzip", "-dc", gz_path});
    for (int i = 0; i < repetitions; ++i) {
        const double a = run_process({"sha256sum", package_path});
        const double b = run_process({"sha512sum", package_path});
        const double c = run_process({"gzip", "-dc", gz_path});
        if (a < 0 || b < 0 || c < 0) {
            std::fprintf(stderr, "sha256sum, sha512sum or gzip failed\n");
            all_ok = false;
            break;
        }
        sha256.push_back(a);
        sha512.push_back(b);
        gunzip.push_back(c);
        tools.push_back(a + b + c);
    }
    std::filesystem::remove_all(dir);
    if (!all_ok) return 1;

    const double package_mib = package.size() / mib;
    std::printf("\nMedian of %d runs over the %.1f MiB package (%.1f MiB out):\n", repetitions,
                package_mib, exe_size / mib);
    std::printf(
        "  pipeline  %7.3f s  %7.1f MiB/s   (digest %.3f s, signature %.3f s, "
        "extract %.3f s)\n",
        median(ours), package_mib / median(ours), median(digest), median(signature),
        median(extract));
    std::printf(
        "  tools     %7.3f s  %7.1f MiB/s   (sha256sum %.3f s, sha512sum %.3f s, "
        "gzip -d %.3f s)\n",
        median(tools), package_mib / median(tools), median(sha256), median(sha512), median(gunzip));
    std::printf("  pipeline / tools throughput: %.2f\n", median(tools) / median(ours));
    std::printf("\nMemory of one run, beyond the %.1f MiB package it starts with:\n", package_mib);
    if (peak_known && rss_peak >= rss_before) {
        const double peak = rss_peak - rss_before;
        std::printf("  resident set peak +%.1f MiB; package + that = %.2f x (package + exe)\n",
                    peak / mib, (package.size() + peak) / (package.size() + exe_size));
    } else {
        std::printf("  resident set peak: not measurable here\n");
    }
    std::printf("  operator new peak +%.1f MiB (%.2f x exe)\n", new_peak / mib,
                static_cast<double>(new_peak) / exe_size);
    return 0;
}
