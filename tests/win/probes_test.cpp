// The condition probes against real processes, windows and drives under Wine.

#include "win/probes.h"

#include <gtest/gtest.h>
#include <objbase.h>
#include <windows.h>
#include <winioctl.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "win/handle.h"

namespace torvane {
namespace {

std::filesystem::path beside_tests(const wchar_t* file) {
    wchar_t self[MAX_PATH];
    DWORD units = GetModuleFileNameW(nullptr, self, MAX_PATH);
    return std::filesystem::path(std::wstring(self, units)).parent_path() / file;
}

// A top-level window of this process, destroyed with the object. A popup, because Wine without
// a window manager takes two seconds to destroy a captioned window.
class TestWindow {
public:
    TestWindow(const wchar_t* title, bool visible) {
        static const ATOM window_class = [] {
            WNDCLASSW wc{};
            wc.lpfnWndProc = DefWindowProcW;
            wc.hInstance = GetModuleHandleW(nullptr);
            wc.lpszClassName = L"TorvaneProbeTestWindow";
            return RegisterClassW(&wc);
        }();
        window_ = CreateWindowExW(0, MAKEINTATOM(window_class), title, WS_POPUP, 50, 50, 200, 100,
                                  nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        if (window_ && visible) ShowWindow(window_, SW_SHOWNOACTIVATE);
    }
    ~TestWindow() { destroy(); }
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;

    HWND get() const { return window_; }
    void destroy() {
        if (window_) DestroyWindow(window_);
        window_ = nullptr;
    }

private:
    HWND window_ = nullptr;
};

// TorvaneProbeHelper.exe (see probes.cmake), ended with the object.
class HelperProcess {
public:
    HelperProcess() {
        auto program = beside_tests(L"TorvaneProbeHelper.exe");
        std::wstring command = L"\"" + program.wstring() + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION started{};
        if (!CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                            nullptr, &startup, &started)) {
            return;
        }
        process_.reset(started.hProcess);
        CloseHandle(started.hThread);
        WaitForInputIdle(process_.get(), 10000);
    }
    ~HelperProcess() {
        if (!process_) return;
        TerminateProcess(process_.get(), 0);
        WaitForSingleObject(process_.get(), 10000);
    }
    HelperProcess(const HelperProcess&) = delete;
    HelperProcess& operator=(const HelperProcess&) = delete;

    bool running() const { return static_cast<bool>(process_); }

private:
    Handle process_;
};

// Pumps this thread's messages while waiting, so that its own windows stay responsive.
void pump_for(DWORD ms) {
    ULONGLONG end = GetTickCount64() + ms;
    while (GetTickCount64() < end) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
        Sleep(20);
    }
}

// Polls the foreground probe until it names the expected executable, for up to 5 s.
std::optional<ForegroundApp> foreground_named(WinProbes& probes, std::string_view exe_name) {
    for (int i = 0; i < 100; ++i) {
        auto app = probes.foreground_app();
        if (app && app->exe_name == exe_name) return app;
        pump_for(50);
    }
    return std::nullopt;
}

TEST(ProbesLogic, ProcessorLoadBetweenSamples) {
    EXPECT_EQ(processor_load({100, 1000}, {100, 1000}), std::nullopt);
    EXPECT_EQ(processor_load({0, 0}, {1000, 1000}), 0.0);
    EXPECT_EQ(processor_load({0, 0}, {0, 1000}), 1.0);
    EXPECT_DOUBLE_EQ(*processor_load({200, 1000}, {700, 3000}), 0.75);
    // Counters that disagree never give a load outside 0 … 1.
    EXPECT_EQ(processor_load({0, 0}, {1500, 1000}), 0.0);
}

TEST(ProbesLogic, BatteryReadingRules) {
    SYSTEM_POWER_STATUS status{};
    status.ACLineStatus = 0;
    status.BatteryFlag = 0;
    status.BatteryLifePercent = 15;
    BatteryReading reading = battery_reading(status);
    EXPECT_TRUE(reading.on_battery);
    EXPECT_EQ(reading.percent, 15);

    status.ACLineStatus = 1;
    status.BatteryFlag = 8;  // charging
    status.BatteryLifePercent = 80;
    reading = battery_reading(status);
    EXPECT_FALSE(reading.on_battery);
    EXPECT_EQ(reading.percent, 80);

    status.ACLineStatus = 255;  // unknown counts as mains power
    status.BatteryFlag = 255;   // unknown charge
    status.BatteryLifePercent = 40;
    reading = battery_reading(status);
    EXPECT_FALSE(reading.on_battery);
    EXPECT_EQ(reading.percent, std::nullopt);

    status.ACLineStatus = 0;
    status.BatteryFlag = 128;  // no system battery
    status.BatteryLifePercent = 100;
    EXPECT_EQ(battery_reading(status).percent, std::nullopt);

    status.BatteryFlag = 1;
    status.BatteryLifePercent = 255;
    EXPECT_EQ(battery_reading(status).percent, std::nullopt);
}

TEST(Probes, DesktopMachineReadings) {
    WinProbes probes;
    // Wine reports a desktop on mains power without a battery.
    BatteryReading battery = probes.battery();
    EXPECT_FALSE(battery.on_battery);
    EXPECT_EQ(battery.percent, std::nullopt);

    EXPECT_FALSE(probes.workstation_locked());

    EXPECT_EQ(probes.cpu_sample(), std::nullopt);
    volatile uint64_t sink = 0;
    ULONGLONG end = GetTickCount64() + 300;
    while (GetTickCount64() < end)
        sink = sink + 1;
    Sleep(100);
    auto load = probes.cpu_sample();
    ASSERT_TRUE(load.has_value());
    EXPECT_GE(*load, 0.0);
    EXPECT_LE(*load, 1.0);
}

TEST(Probes, IdleTimeAdvancesAfterInput) {
    WinProbes probes;
    INPUT moves[2]{};
    moves[0].type = moves[1].type = INPUT_MOUSE;
    moves[0].mi.dwFlags = moves[1].mi.dwFlags = MOUSEEVENTF_MOVE;
    moves[0].mi.dx = 1;
    moves[1].mi.dx = -1;
    ASSERT_EQ(SendInput(2, moves, sizeof(INPUT)), 2u);
    EXPECT_LT(probes.idle_seconds_now(), 0.5);
    Sleep(1300);
    double idle = probes.idle_seconds_now();
    EXPECT_GE(idle, 1.2);
    EXPECT_LT(idle, 5.0);
}

TEST(Probes, AppsFoundByProcessNameOrWindowTitle) {
    HelperProcess helper;
    ASSERT_TRUE(helper.running());
    TestWindow zoom(L"Reunión de Zoom", true);
    TestWindow hidden(L"Ventana oculta de Torvane", false);
    ASSERT_TRUE(zoom.get() && hidden.get());

    WinProbes probes;
    // The list is parsed leniently and the name is reported without ".exe".
    EXPECT_EQ(probes.any_app_running(" Nada ,, TORVANEPROBEHELPER"), "TorvaneProbeHelper");
    // No process is called zoom: the visible window's title is.
    EXPECT_EQ(probes.any_app_running("zoom"), "Reunión de Zoom");
    EXPECT_EQ(probes.any_app_running("ventana oculta de torvane"), std::nullopt);
    // Process names are asked before titles (the helper's window is "Ayudante de sondeo").
    EXPECT_EQ(probes.any_app_running("ayudante de sondeo, probehelper"), "TorvaneProbeHelper");
    EXPECT_EQ(probes.any_app_running(" , ,"), std::nullopt);
}

TEST(Probes, AppAnswerKeptThreeSecondsForTheSameList) {
    WinProbes probes;
    std::wstring pid = std::to_wstring(GetCurrentProcessId());
    std::string list = "caché " + std::to_string(GetCurrentProcessId());
    std::wstring title = L"Torvane caché " + pid;

    TestWindow first(title.c_str(), true);
    ASSERT_TRUE(first.get());
    EXPECT_TRUE(probes.any_app_running(list).has_value());
    first.destroy();
    // Served from memory, also for another spelling of the same list.
    EXPECT_TRUE(probes.any_app_running(list).has_value());
    EXPECT_TRUE(probes.any_app_running(" CACHÉ " + std::to_string(GetCurrentProcessId()) + ",")
                    .has_value());
    Sleep(3100);
    EXPECT_EQ(probes.any_app_running(list), std::nullopt);

    // A changed list is looked up afresh at once.
    TestWindow second(title.c_str(), true);
    std::string other_list = "torvane " + list;
    EXPECT_TRUE(probes.any_app_running(other_list).has_value());
    second.destroy();
    EXPECT_EQ(probes.any_app_running(other_list + ", nada"), std::nullopt);
}

TEST(Probes, ForegroundAppNamedFromItsDescription) {
    WinProbes probes;
    HelperProcess helper;
    ASSERT_TRUE(helper.running());
    auto app = foreground_named(probes, "TorvaneProbeHelper");
    ASSERT_TRUE(app.has_value()) << "the helper's window never came to the foreground";
    EXPECT_EQ(app->display_name, "Ayudante de sondeo Torvane");

    // Without a FileDescription the executable name stands in.
    TestWindow own(L"Ventana de primer plano", true);
    ASSERT_TRUE(own.get());
    SetForegroundWindow(own.get());
    app = foreground_named(probes, "torvane_win_tests");
    ASSERT_TRUE(app.has_value()) << "the test's window never came to the foreground";
    EXPECT_EQ(app->display_name, "torvane_win_tests");
}

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
constexpr DWORD kDefineWineDrive =
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
    return DeviceIoControl(manager.get(), kDefineWineDrive, request.data(),
                           static_cast<DWORD>(request.size()), nullptr, 0, &returned, nullptr);
}

std::string wine_host_path(const std::filesystem::path& path) {
    using ToUnix = char*(CDECL*)(const wchar_t*);
    auto to_unix = reinterpret_cast<ToUnix>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!to_unix) return {};
    char* host = to_unix(path.c_str());
    if (!host) return {};
    std::string result = host;
    HeapFree(GetProcessHeap(), 0, host);
    return result;
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
        host_folder_ = wine_host_path(folder_);
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

TEST(Probes, WritableRemovableDiskUnderWine) {
    WineDrive drive;
    if (!drive.usable()) GTEST_SKIP() << "needs Wine's mount manager to create a removable drive";

    WinProbes probes;
    UINT outer_mode = SetErrorMode(SEM_NOGPFAULTERRORBOX);
    EXPECT_FALSE(probes.writable_removable_disk());
    EXPECT_EQ(GetErrorMode(), static_cast<UINT>(SEM_NOGPFAULTERRORBOX));
    SetErrorMode(outer_mode);

    ASSERT_EQ(drive.map_as(DRIVE_CDROM), static_cast<UINT>(DRIVE_CDROM));
    EXPECT_FALSE(probes.writable_removable_disk());
    ASSERT_EQ(drive.map_as(DRIVE_REMOVABLE), static_cast<UINT>(DRIVE_REMOVABLE));
    EXPECT_TRUE(probes.writable_removable_disk());
}

TEST(Probes, AudioFailuresCountAsSilence) {
    WinProbes probes;
    // Without COM the enumerator cannot be created.
    EXPECT_FALSE(probes.audio_playing());
    HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    ASSERT_TRUE(SUCCEEDED(com));
    // Under Wine without a sound server there is no default output to meter; the enumerator
    // is dropped and created again on the next call.
    EXPECT_FALSE(probes.audio_playing());
    EXPECT_FALSE(probes.audio_playing());
    CoUninitialize();
}

}  // namespace
}  // namespace torvane
