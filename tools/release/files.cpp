#include "tools/release/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "core/strings.h"
#include "tools/release/release.h"

namespace torvane::release {

namespace {

bool write_all(int fd, std::span<const std::uint8_t> bytes) {
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// The bytes of an open regular file, or what is wrong with it.
Result<Bytes> read_open_file(int fd, const std::string& path, std::size_t max_size) {
    struct stat info {};
    if (fstat(fd, &info) != 0) return Error{system_error("cannot read " + path, errno)};
    if (!S_ISREG(info.st_mode)) return Error{path + " is not a file"};
    if (static_cast<std::uint64_t>(info.st_size) > max_size)
        return Error{path + " is larger than " + std::to_string(max_size) + " bytes"};
    Bytes bytes(static_cast<std::size_t>(info.st_size));
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = read(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return Error{system_error("cannot read " + path, errno)};
        if (n == 0) return Error{path + " changed while it was read"};
        done += static_cast<std::size_t>(n);
    }
    return bytes;
}

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::string system_error(const std::string& what, int error) {
    return what + ": " + std::strerror(error);
}

Result<Bytes> read_file(const std::string& path, std::size_t max_size) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return Error{system_error("cannot open " + path, errno)};
    Result<Bytes> bytes = read_open_file(fd, path, max_size);
    close(fd);
    return bytes;
}

std::span<const std::uint8_t> bytes_of(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

bool holds_private_key(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= 66 &&
           read_private_key(path).ok();
}

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

}  // namespace torvane::release
