// The condition probes against real processes and windows under Wine.

#include "win/probes.h"

#include <gtest/gtest.h>
#include <process.h>
#include <windows.h>

#include <filesystem>
#include <memory>
#include <string>

#include "test_util.h"
#include "win/handle.h"

namespace torvane {
namespace {

// A top-level popup of this process. (Wine without a window manager takes two seconds to
// destroy a captioned window.)
using Window = std::unique_ptr<HWND__, BOOL(WINAPI*)(HWND)>;
Window popup(const std::wstring& title, bool visible = true) {
    Window window(CreateWindowExW(0, L"STATIC", title.c_str(), WS_POPUP, 50, 50, 200, 100, nullptr,
                                  nullptr, nullptr, nullptr),
                  DestroyWindow);
    if (window && visible) ShowWindow(window.get(), SW_SHOWNOACTIVATE);
    return window;
}

// TorvaneProbeHelper.exe beside this program (see probes.cmake), ended with the object.
struct HelperProcess {
    FileHandle process;  // _wspawnl reports failure with -1
    HelperProcess() {
        process.reset(reinterpret_cast<HANDLE>(
            _wspawnl(_P_NOWAIT, beside_tests(L"TorvaneProbeHelper.exe").c_str(),
                     L"TorvaneProbeHelper", nullptr)));
        if (process) WaitForInputIdle(process.get(), 10000);
    }
    ~HelperProcess() {
        if (!process) return;
        TerminateProcess(process.get(), 0);
        WaitForSingleObject(process.get(), 10000);
    }
};

// Polls the foreground probe, pumping this thread's messages, until it names the expected
// executable, for up to 5 s.
std::optional<ForegroundApp> foreground_named(WinProbes& probes, std::string_view exe_name) {
    std::optional<ForegroundApp> app;
    const bool named = within(milliseconds(5000), [&] {
        app = probes.foreground_app();
        return app && app->exe_name == exe_name;
    });
    return named ? app : std::nullopt;
}

TEST(ProbesLogic, ProcessorLoadBetweenSamples) {
    EXPECT_EQ(processor_load({100, 1000}, {100, 1000}), std::nullopt);
    EXPECT_EQ(processor_load({0, 0}, {1000, 1000}), 0.0);
    EXPECT_DOUBLE_EQ(*processor_load({200, 1000}, {700, 3000}), 0.75);
    // Counters that disagree never give a load outside 0 … 1.
    EXPECT_EQ(processor_load({0, 0}, {1500, 1000}), 0.0);
}

// Line status 255 (unknown) counts as mains power; flags 8 charging, 128 no system battery,
// 255 unknown; a percentage of 255 is unknown.
TEST(ProbesLogic, BatteryReadingRules) {
    struct Case {
        BYTE line, flag, percent;
        bool on_battery;
        std::optional<int> reading;
    };
    const Case cases[] = {
        {0, 0, 15, true, 15},    {1, 8, 80, false, 80}, {255, 255, 40, false, {}},
        {0, 128, 100, true, {}}, {0, 1, 255, true, {}},
    };
    for (const Case& c : cases) {
        SYSTEM_POWER_STATUS status{};
        status.ACLineStatus = c.line;
        status.BatteryFlag = c.flag;
        status.BatteryLifePercent = c.percent;
        EXPECT_EQ(battery_reading(status).on_battery, c.on_battery) << int{c.line};
        EXPECT_EQ(battery_reading(status).percent, c.reading)
            << int{c.flag} << " " << int{c.percent};
    }
}

TEST(Probes, DesktopReadings) {
    WinProbes probes;
    EXPECT_FALSE(probes.workstation_locked());
    // The first processor sample has nothing to compare with.
    EXPECT_EQ(probes.cpu_sample(), std::nullopt);

    INPUT move{};
    move.type = INPUT_MOUSE;
    move.mi.dwFlags = MOUSEEVENTF_MOVE;
    ASSERT_EQ(SendInput(1, &move, sizeof move), 1u);
    const auto moved = TestClock::now();
    EXPECT_LT(probes.idle_seconds_now(), 0.5);
    // Seconds, not milliseconds: 1.2 is reached only after about as long.
    ASSERT_TRUE(within(milliseconds(5000), [&] { return probes.idle_seconds_now() >= 1.2; }));
    EXPECT_GE(TestClock::now() - moved, milliseconds(1100));

    auto load = probes.cpu_sample();
    ASSERT_TRUE(load.has_value());
    EXPECT_GE(*load, 0.0);
    EXPECT_LE(*load, 1.0);

    // No removable drive here; the scan leaves the caller's error mode as it was.
    const UINT outer_mode = SetErrorMode(SEM_NOGPFAULTERRORBOX);
    EXPECT_FALSE(probes.writable_removable_disk());
    EXPECT_EQ(GetErrorMode(), static_cast<UINT>(SEM_NOGPFAULTERRORBOX));
    SetErrorMode(outer_mode);
}

TEST(Probes, AppsFoundByProcessNameOrWindowTitle) {
    HelperProcess helper;
    ASSERT_TRUE(helper.process);
    Window zoom = popup(L"Reunión de Zoom");
    Window hidden = popup(L"Ventana oculta de Torvane", false);
    ASSERT_TRUE(zoom && hidden);

    WinProbes probes;
    // The list is parsed leniently and the name is reported without ".exe".
    EXPECT_EQ(probes.any_app_running(" Nada ,, TORVANEPROBEHELPER"), "TorvaneProbeHelper");
    // No process is called zoom: the visible window's title is.
    EXPECT_EQ(probes.any_app_running("zoom"), "Reunión de Zoom");
    EXPECT_EQ(probes.any_app_running("ventana oculta de torvane"), std::nullopt);
    // Process names are asked before titles (the helper's window is "Ayudante de sondeo").
    EXPECT_EQ(probes.any_app_running("ayudante de sondeo, probehelper"), "TorvaneProbeHelper");

    // The foreground app is named by its trimmed FileDescription.
    auto app = foreground_named(probes, "TorvaneProbeHelper");
    ASSERT_TRUE(app.has_value()) << "the helper's window never came to the foreground";
    EXPECT_EQ(app->display_name, "Ayudante de sondeo Torvane");
}

TEST(Probes, ForegroundAppWithoutDescriptionIsNamedByItsExecutable) {
    WinProbes probes;
    Window own = popup(L"Ventana de primer plano");
    ASSERT_TRUE(own);
    SetForegroundWindow(own.get());
    auto app = foreground_named(probes, "torvane_win_tests");
    ASSERT_TRUE(app.has_value()) << "the test's window never came to the foreground";
    EXPECT_EQ(app->display_name, "torvane_win_tests");
}

TEST(Probes, AppAnswerKeptThreeSecondsForTheSameList) {
    WinProbes probes;
    const std::wstring title = L"Torvane caché " + std::to_wstring(GetCurrentProcessId());
    const std::string list = "caché " + std::to_string(GetCurrentProcessId());
    Window window = popup(title);
    EXPECT_TRUE(probes.any_app_running(list).has_value());
    window.reset();
    EXPECT_TRUE(probes.any_app_running(list).has_value());  // from memory
    EXPECT_TRUE(within(milliseconds(5000), [&] { return !probes.any_app_running(list); }));

    // A changed list is looked up afresh at once.
    window = popup(title);
    EXPECT_TRUE(probes.any_app_running("torvane " + list).has_value());
    window.reset();
    EXPECT_EQ(probes.any_app_running("torvane " + list + ", nada"), std::nullopt);
}

}  // namespace
}  // namespace torvane
