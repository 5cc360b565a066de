#pragma once
// The engine's questions about the machine, answered by Windows: idle time, processor load,
// lock screen, battery, foreground app, removable disks, audio and running apps.
// Used on the UI thread only, with COM already initialised there.

#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "core/app_lists.h"
#include "core/engine.h"
#include "win/handle.h"

struct IMMDeviceEnumerator;

namespace torvane {

// Cumulative processor times from GetSystemTimes, in 100 ns units; kernel time includes idle.
struct CpuTimes {
    uint64_t idle = 0;
    uint64_t total = 0;  // kernel + user
};

// Load fraction 0 … 1 between two samples; absent when no time passed between them.
std::optional<double> processor_load(const CpuTimes& before, const CpuTimes& after);

// On battery only when the line is reported offline; the percentage only when the system has
// a battery and knows its charge.
BatteryReading battery_reading(const SYSTEM_POWER_STATUS& status);

class WinProbes final : public ProbeSet {
public:
    WinProbes();
    ~WinProbes() override;
    WinProbes(const WinProbes&) = delete;
    WinProbes& operator=(const WinProbes&) = delete;

    double idle_seconds_now() override;
    std::optional<double> cpu_sample() override;
    bool workstation_locked() override;
    BatteryReading battery() override;
    std::optional<ForegroundApp> foreground_app() override;
    bool writable_removable_disk() override;
    bool audio_playing() override;
    std::optional<std::string> any_app_running(std::string_view list) override;

private:
    struct AppAnswer {
        std::string text;  // as given, so that an unchanged list skips parsing
        NameList list;
        uint64_t at_ms = 0;  // GetTickCount64
        std::optional<std::string> answer;
    };

    std::optional<CpuTimes> previous_cpu_;
    ComPtr<IMMDeviceEnumerator> audio_devices_;
    std::optional<AppAnswer> apps_;
    std::unordered_map<uint32_t, ForegroundApp> foreground_;
};

}  // namespace torvane
