// The update package's ZIP container: what is accepted, and every way a damaged or hostile
// archive is refused.

#include "core/package.h"

#include <gtest/gtest.h>

#include "zip_writer.h"

namespace torvane {
namespace {

using testing_zip::Entry;
using testing_zip::zip;

std::vector<uint8_t> program(std::size_t size) {
    std::vector<uint8_t> bytes(size);
    uint32_t x = 12345;
    for (std::size_t i = 0; i < size; ++i) {
        x = x * 1103515245 + 12345;
        bytes[i] = static_cast<uint8_t>((x >> 16) % 7);  // compressible, not trivial
    }
    return bytes;
}

bool refused(const std::vector<uint8_t>& package) {
    return !extract_app_bytes(package).ok();
}

TEST(Package, FindsTheAppStoredOrDeflatedBesideOtherFilesAndBehindAComment) {
    const std::vector<uint8_t> app = program(300'000);
    for (bool deflate : {false, true}) {
        const auto package = zip({{"LÉAME.txt", program(10)},
                                  {"Torvane.exe", app, deflate},
                                  {"otros/Torvane.exe.sig", program(64)}});
        const Result<std::vector<uint8_t>> found = extract_app_bytes(package);
        ASSERT_TRUE(found.ok()) << found.error().message;
        EXPECT_EQ(found.value(), app);
        // The buffer grew to the declared size and no further: a package near the limit must
        // not cost twice its executable.
        EXPECT_EQ(found.value().capacity(), app.size());
    }
    // The longest comment still lets the end record be found; one byte more hides it.
    auto commented = zip({{"Torvane.exe", app}}, std::string(65'535, 'c'));
    EXPECT_TRUE(extract_app_bytes(commented).ok());
    commented.push_back('x');
    EXPECT_TRUE(refused(commented));
}

TEST(Package, RefusesAMissingDuplicatedOrDisguisedApp) {
    const std::vector<uint8_t> app = program(1000);
    EXPECT_TRUE(refused(zip({{"torvane.exe", app}})));      // other letter case
    EXPECT_TRUE(refused(zip({{"bin/Torvane.exe", app}})));  // in a folder
    EXPECT_TRUE(refused(zip({{"LÉAME.txt", app}})));
    EXPECT_TRUE(refused(zip({{"Torvane.exe", app}, {"Torvane.exe", app}})));
    Entry encrypted{"Torvane.exe", app};
    encrypted.flags = 1;
    EXPECT_TRUE(refused(zip({encrypted})));
    Entry bzip{"Torvane.exe", app, false};
    bzip.method = 12;
    EXPECT_TRUE(refused(zip({bzip})));
    Entry renamed{"Torvane.exe", app};
    renamed.local_name = "Otro.exe";  // the local header names another file
    EXPECT_TRUE(refused(zip({renamed})));
    EXPECT_TRUE(refused(zip({{"Torvane.exe", {}}})));  // empty
}

TEST(Package, RefusesSizesAndChecksumsThatDoNotMatchTheContent) {
    const std::vector<uint8_t> app = program(5000);
    Entry stored{"Torvane.exe", app, false};
    stored.declared_size = 4999;
    EXPECT_TRUE(refused(zip({stored})));
    for (int64_t size : {4999, 5001}) {
        Entry deflated{"Torvane.exe", app};
        deflated.declared_size = size;
        EXPECT_TRUE(refused(zip({deflated}))) << size;
    }
    Entry huge{"Torvane.exe", app};
    huge.declared_size = static_cast<int64_t>(max_package_size) + 1;
    EXPECT_TRUE(refused(zip({huge})));
    for (bool deflated : {true, false}) {
        Entry wrong_crc{"Torvane.exe", app, deflated};
        wrong_crc.crc = 0x12345678;
        EXPECT_TRUE(refused(zip({wrong_crc}))) << deflated;
    }

    // Flipped bytes in the deflated data: refused, never a crash.
    auto damaged = zip({{"Torvane.exe", app}});
    for (std::size_t at = 40; at < 140; at += 7) {
        auto copy = damaged;
        copy[at] ^= 0x5A;
        EXPECT_TRUE(refused(copy)) << at;
    }
}

TEST(Package, RefusesEveryTruncationAndStructuralLie) {
    const auto package = zip({{"LÉAME.txt", program(50)}, {"Torvane.exe", program(2000)}});
    ASSERT_TRUE(extract_app_bytes(package).ok());
    for (std::size_t n = 0; n < package.size(); ++n)
        EXPECT_TRUE(refused({package.begin(), package.begin() + static_cast<long>(n)})) << n;

    const std::size_t end = package.size() - 22;
    auto patch16 = [&](std::size_t at, uint16_t v) {
        auto copy = package;
        copy[at] = static_cast<uint8_t>(v);
        copy[at + 1] = static_cast<uint8_t>(v >> 8);
        return copy;
    };
    EXPECT_TRUE(refused(patch16(end + 4, 1)));        // another disk
    EXPECT_TRUE(refused(patch16(end + 10, 0xFFFF)));  // ZIP64 marker
    EXPECT_TRUE(refused(patch16(end + 10, 3)));       // counts disagree
    EXPECT_TRUE(refused(patch16(end + 8, 3)));
    EXPECT_TRUE(refused(patch16(end + 16, 0x7FFF)));  // directory past the end record
    EXPECT_TRUE(refused(patch16(end + 12, 0xFFFF)));  // directory size too large
    // A directory entry whose name runs past the directory.
    const std::size_t directory = package[end + 16] | package[end + 17] << 8;
    EXPECT_TRUE(refused(patch16(directory + 28, 0xFFFF)));
}

}  // namespace
}  // namespace torvane
