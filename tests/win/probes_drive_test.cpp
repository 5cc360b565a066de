// The removable-disk probe against a drive letter that Wine is told to report as removable.

#include <gtest/gtest.h>
#include <windows.h>
#include <winioctl.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "test_util.h"
#include "win/handle.h"
#include "win/probes.h"

namespace torvane {
namespace {

// Wine's own mount manager request (what its drive configuration uses): maps a drive letter to
// a host folder with a chosen drive type. The layout is Wine 8's.
struct WineDriveRequest {
    ULONG size;
    ULONG type;
    ULONG fs_type;
    DWORD serial;
    ULONGLONG unix_dev;
    WCHAR letter;
    USHORT mount_point_offset;
    USHORT device_offset;
    USHORT label_offset;
};
constexpr DWORD ioctl_define_drive =
    CTL_CODE('m', 32, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);

bool define_wine_drive(wchar_t letter, UINT type, const std::string& host_folder) {
    FileHandle manager(CreateFileW(L"\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                   nullptr));
    if (!manager) return false;
    std::vector<char> request(sizeof(WineDriveRequest) + host_folder.size() + 1, '\0');
    WineDriveRequest header{};
    header.size = static_cast<ULONG>(request.size());
    header.type = type;
    header.letter = letter;
    if (!host_folder.empty()) {
        header.mount_point_offset = sizeof header;
        std::memcpy(request.data() + sizeof header, host_folder.c_str(), host_folder.size());
    }
    std::memcpy(request.data(), &header, sizeof header);
    DWORD returned = 0;
    return DeviceIoControl(manager.get(), ioctl_define_drive, request.data(),
                           static_cast<DWORD>(request.size()), nullptr, 0, &returned, nullptr);
}

// A drive letter mapped to a fresh folder for the duration of a test.
class WineDrive {
public:
    WineDrive() {
        wchar_t temp[MAX_PATH];
        DWORD units = GetTempPathW(MAX_PATH, temp);
        folder_ = std::filesystem::path(std::wstring(temp, units)) /
                  (L"torvane-drive-" + std::to_wstring(GetCurrentProcessId()));
        std::error_code ec;
        std::filesystem::create_directories(folder_, ec);
        host_folder_ = host_path(folder_);
        DWORD used = GetLogicalDrives();
        for (wchar_t letter = L'y'; letter >= L'm' && !letter_; --letter) {
            if (!(used & (1u << (letter - L'a')))) letter_ = letter;
        }
    }
    ~WineDrive() {
        if (letter_) define_wine_drive(letter_, DRIVE_NO_ROOT_DIR, {});
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
    }
    WineDrive(const WineDrive&) = delete;
    WineDrive& operator=(const WineDrive&) = delete;

    bool usable() const { return letter_ && !host_folder_.empty(); }
    // Maps the letter with this type and returns the type Windows now reports for it.
    UINT map_as(UINT type) {
        if (!define_wine_drive(letter_, type, host_folder_)) return DRIVE_UNKNOWN;
        const wchar_t root[] = {letter_, L':', L'\\', L'\0'};
        return GetDriveTypeW(root);
    }

private:
    std::filesystem::path folder_;
    std::string host_folder_;
    wchar_t letter_ = 0;
};

TEST(ProbesDrive, WritableRemovableDiskUnderWine) {
    WineDrive drive;
    if (!drive.usable()) GTEST_SKIP() << "needs Wine's mount manager to create a removable drive";
    WinProbes probes;
    ASSERT_EQ(drive.map_as(DRIVE_CDROM), static_cast<UINT>(DRIVE_CDROM));
    EXPECT_FALSE(probes.writable_removable_disk());
    ASSERT_EQ(drive.map_as(DRIVE_REMOVABLE), static_cast<UINT>(DRIVE_REMOVABLE));
    EXPECT_TRUE(probes.writable_removable_disk());
}

}  // namespace
}  // namespace torvane
