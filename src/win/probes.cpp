// Condition probes on Windows. Each call is synchronous and cheap; the expensive ones keep
// small caches so that a tick every second costs next to nothing.

#include "win/probes.h"

#include <mmdeviceapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <filesystem>

#include "core/strings.h"
#include "win/handle.h"
#include "win/version.h"
#include "win/wtext.h"

namespace torvane {
namespace {

constexpr uint64_t app_answer_ms = 3000;
constexpr std::size_t max_foreground_entries = 200;
constexpr float silence_peak = 0.0001f;
constexpr int max_title_units = 512;
constexpr DWORD image_path_units = 1024;
constexpr BYTE no_system_battery = 0x80;

constexpr CLSID clsid_mm_device_enumerator = {
    0xBCDE0395, 0xE52F, 0x467C, {0x8E, 0x3D, 0xC4, 0x57, 0x92, 0x91, 0x69, 0x2E}};
constexpr IID iid_mm_device_enumerator = {
    0xA95664D2, 0x9614, 0x4F35, {0xA7, 0x46, 0xDE, 0x8D, 0xB6, 0x36, 0x17, 0xE6}};
constexpr IID iid_audio_meter_information = {
    0xC02216F6, 0x8C67, 0x4B5B, {0x9D, 0x00, 0xD0, 0x08, 0xE7, 0x3E, 0x00, 0x64}};

// IAudioMeterInformation up to the one method used; mingw-w64 10 declares it without methods.
struct PeakMeter : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetPeakValue(float* peak) = 0;
};

uint64_t ticks(const FILETIME& t) {
    return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

std::optional<ForegroundApp> describe_process(DWORD pid) {
    Handle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    if (!process) return std::nullopt;
    wchar_t buffer[image_path_units];
    DWORD units = image_path_units;
    if (!QueryFullProcessImageNameW(process.get(), 0, buffer, &units)) return std::nullopt;
    std::filesystem::path path(std::wstring_view(buffer, units));
    std::wstring file = path.filename().wstring();
    if (file.empty()) return std::nullopt;

    ForegroundApp app;
    app.exe_name = narrow(std::wstring_view(file).substr(0, file.rfind(L'.')));
    auto description = file_version_string(path, L"FileDescription");
    std::string_view display = description ? trim(*description) : std::string_view();
    app.display_name = display.empty() ? app.exe_name : std::string(display);
    return app;
}

std::optional<std::string> process_matching(const NameList& list) {
    FileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return std::nullopt;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
         more = Process32NextW(snapshot.get(), &entry)) {
        std::wstring_view file(entry.szExeFile, wcsnlen(entry.szExeFile, MAX_PATH));
        std::string name = narrow(file);
        if (name.size() >= 4 &&
            iequals_ascii(std::string_view(name).substr(name.size() - 4), ".exe")) {
            name.resize(name.size() - 4);
        }
        if (name_matches(name, list)) return name;
    }
    return std::nullopt;
}

struct TitleSearch {
    const NameList& list;
    std::optional<std::string> found;
};

BOOL CALLBACK match_title(HWND window, LPARAM param) {
    auto& search = *reinterpret_cast<TitleSearch*>(param);
    if (!IsWindowVisible(window)) return TRUE;
    int length = GetWindowTextLengthW(window);
    if (length < 1 || length > max_title_units) return TRUE;
    wchar_t title[max_title_units + 1];
    int units = GetWindowTextW(window, title, max_title_units + 1);
    if (units <= 0) return TRUE;
    std::string text = narrow(std::wstring_view(title, static_cast<std::size_t>(units)));
    if (!name_matches(text, search.list)) return TRUE;
    search.found = std::move(text);
    return FALSE;
}

std::optional<std::string> window_matching(const NameList& list) {
    TitleSearch search{list, std::nullopt};
    EnumWindows(match_title, reinterpret_cast<LPARAM>(&search));
    return std::move(search.found);
}

std::optional<float> default_output_peak(IMMDeviceEnumerator& devices) {
    ComPtr<IMMDevice> device;
    if (FAILED(devices.GetDefaultAudioEndpoint(eRender, eMultimedia, &device))) return std::nullopt;
    ComPtr<PeakMeter> meter;
    if (FAILED(device->Activate(iid_audio_meter_information, CLSCTX_ALL, nullptr, &meter)))
        return std::nullopt;
    float peak = 0;
    if (FAILED(meter->GetPeakValue(&peak))) return std::nullopt;
    return peak;
}

}  // namespace

std::optional<double> processor_load(const CpuTimes& before, const CpuTimes& after) {
    if (after.total == before.total) return std::nullopt;
    auto delta_total = static_cast<double>(static_cast<int64_t>(after.total - before.total));
    auto delta_idle = static_cast<double>(static_cast<int64_t>(after.idle - before.idle));
    double busy = std::max(delta_total - delta_idle, 0.0);
    return std::clamp(busy / delta_total, 0.0, 1.0);
}

BatteryReading battery_reading(const SYSTEM_POWER_STATUS& status) {
    BatteryReading reading;
    reading.on_battery = status.ACLineStatus == 0;
    if (status.BatteryLifePercent <= 100 && !(status.BatteryFlag & no_system_battery)) {
        reading.percent = status.BatteryLifePercent;
    }
    return reading;
}

WinProbes::WinProbes() = default;
WinProbes::~WinProbes() = default;

double WinProbes::idle_seconds_now() {
    LASTINPUTINFO info{sizeof(LASTINPUTINFO), 0};
    if (!GetLastInputInfo(&info)) return 0;
    DWORD elapsed_ms = GetTickCount() - info.dwTime;  // wraps harmlessly after 49.7 days
    return elapsed_ms / 1000.0;
}

std::optional<double> WinProbes::cpu_sample() {
    FILETIME idle, kernel, user;
    if (!GetSystemTimes(&idle, &kernel, &user)) return std::nullopt;
    CpuTimes now{ticks(idle), ticks(kernel) + ticks(user)};
    std::optional<double> load;
    if (previous_cpu_) load = processor_load(*previous_cpu_, now);
    previous_cpu_ = now;
    return load;
}

bool WinProbes::workstation_locked() {
    Desktop desktop(OpenInputDesktop(0, FALSE, DESKTOP_SWITCHDESKTOP));
    if (!desktop) return true;
    // Switching to the input desktop fails while it is the secure or lock desktop.
    return !SwitchDesktop(desktop.get());
}

BatteryReading WinProbes::battery() {
    SYSTEM_POWER_STATUS status{};
    if (!GetSystemPowerStatus(&status)) return {};
    return battery_reading(status);
}

std::optional<ForegroundApp> WinProbes::foreground_app() {
    HWND window = GetForegroundWindow();
    if (!window) return std::nullopt;
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == 0) return std::nullopt;
    if (auto cached = foreground_.find(pid); cached != foreground_.end()) return cached->second;
    auto app = describe_process(pid);
    if (!app) return std::nullopt;
    if (foreground_.size() > max_foreground_entries) foreground_.clear();
    foreground_.emplace(pid, *app);
    return app;
}

bool WinProbes::writable_removable_disk() {
    // No "insert a disk" dialogs for empty drives while scanning.
    UINT previous_mode = SetErrorMode(SEM_FAILCRITICALERRORS);
    DWORD drives = GetLogicalDrives();
    bool found = false;
    for (int i = 0; i < 26 && !found; ++i) {
        if (!(drives & (1u << i))) continue;
        const wchar_t root[] = {static_cast<wchar_t>(L'A' + i), L':', L'\\', L'\0'};
        DWORD flags = 0;
        found = GetDriveTypeW(root) == DRIVE_REMOVABLE &&
                GetVolumeInformationW(root, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0) &&
                !(flags & FILE_READ_ONLY_VOLUME);
    }
    SetErrorMode(previous_mode);
    return found;
}

bool WinProbes::audio_playing() {
    if (!audio_devices_) {
        if (FAILED(CoCreateInstance(clsid_mm_device_enumerator, nullptr, CLSCTX_ALL,
                                    iid_mm_device_enumerator, &audio_devices_)))
            return false;
    }
    auto peak = default_output_peak(*audio_devices_.Get());
    if (!peak) {
        // The device may have gone; a new enumerator sees the new default next time.
        audio_devices_.Reset();
        return false;
    }
    return *peak > silence_peak;
}

std::optional<std::string> WinProbes::any_app_running(std::string_view text) {
    uint64_t now = GetTickCount64();
    bool fresh = apps_ && now - apps_->at_ms < app_answer_ms;
    if (fresh && apps_->text == text) return apps_->answer;
    NameList list = parse_name_list(text);
    if (list.empty()) return std::nullopt;
    if (fresh && apps_->list == list) {
        apps_->text = text;
        return apps_->answer;
    }
    auto answer = process_matching(list);
    if (!answer) answer = window_matching(list);
    apps_ = AppAnswer{std::string(text), std::move(list), now, answer};
    return answer;
}

}  // namespace torvane
