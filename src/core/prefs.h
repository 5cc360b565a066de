#pragma once
// The user's configuration and its file, prefs.json.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "core/result.h"
#include "core/schedule.h"

namespace torvane {

enum class MovePolicy : uint8_t { always, whenIdle };
enum class MoveMode : uint8_t { standard, zen, click };

// Field order is the file's key order.
struct Preferences {
    double interval = 120;
    MovePolicy policy = MovePolicy::whenIdle;
    MoveMode mode = MoveMode::standard;
    double distance = 4;
    bool randomize = true;
    bool showIconOnJiggle = false;
    bool preventDisplaySleep = true;
    bool reqCPU = false;
    double cpuThreshold = 20;
    bool reqRemovableDisk = false;
    bool reqAudio = false;
    bool reqApps = false;
    std::string reqAppsList = "Teams, Slack, Zoom";
    bool neverOnBattery = false;
    bool neverBatteryLow = true;
    double batteryThreshold = 20;
    bool neverLocked = true;
    bool neverFrontmost = false;
    std::string neverFrontmostList;
    bool schedulesEnabled = false;
    std::vector<Schedule> schedules;
    bool restoreState = true;
    bool notifications = true;
    bool hotkey = true;
    bool countdownInMenuBar = true;
    bool quitWhenTimerEnds = false;
    bool autoCheckUpdates = true;
    bool autoInstallUpdates = true;
    uint32_t lastUntilMinutes = 1080;
    uint32_t lastStartMinutes = 540;
    uint32_t lastStopMinutes = 1080;
    bool lastStopEnabled = true;
    uint32_t customActivateMinutes = 90;
    uint32_t customPauseMinutes = 30;

    // Defaults, with one default schedule under a fresh id.
    static Preferences defaults();
    bool operator==(const Preferences&) const = default;
};

// Tolerant, key by key: anything unreadable keeps its default. Never fails.
Preferences parse_preferences(std::string_view text);
Preferences load_preferences(const std::filesystem::path& path);

// Pretty-printed JSON, keys in field order, floats in shortest round-trip form ("120.0").
std::string serialize_preferences(const Preferences& prefs);
Status save_preferences(const std::filesystem::path& path, const Preferences& prefs);

}  // namespace torvane
