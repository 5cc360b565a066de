#pragma once
// A real hidden main window with an application object installed, preferences in a temporary
// folder and a silent notification area, for the tests of the shell and its windows.

#include <gtest/gtest.h>
#include <objbase.h>

#include <filesystem>
#include <memory>
#include <string>

#include "core/platform.h"
#include "test_util.h"
#include "win/app.h"
#include "win/screens.h"
#include "win/ui/panel.h"
#include "win/ui/settings.h"

namespace torvane {

inline int pending_quit_messages() {
    int count = 0;
    MSG message;
    while (PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE))
        ++count;
    return count;
}

// Dispatches what is queued, paints included; returns how many of them painted `window`.
inline int paints_dispatched(HWND window) {
    int paints = 0;
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        paints += message.message == WM_PAINT && message.hwnd == window;
        DispatchMessageW(&message);
    }
    return paints;
}

class AppFixture : public ::testing::Test {
protected:
    void SetUp() override {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        auto renderer = Renderer::create();
        ASSERT_TRUE(renderer.ok());
        ASSERT_TRUE(main_window_.create());
        window_ = main_window_.handle();
        dir_ = std::filesystem::temp_directory_path() /
               ("torvane-app-" + std::to_string(GetTickCount64()));
        Preferences prefs = Preferences::defaults();
        prefs.hotkey = false;
        auto app = std::make_unique<App>(window_, renderer.value(), prefs, dir_ / "prefs.json",
                                         local_now());
        // The notification area is the tray tests' business (and removing an icon costs two
        // seconds under Wine).
        app->tray.shell_notify = [](DWORD, PNOTIFYICONDATAW) -> BOOL { return TRUE; };
        app_ = app.get();
        install_app(std::move(app));
    }
    void TearDown() override {
        take_app().reset();
        main_window_.destroy();
        pending_quit_messages();
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

    // Windows switches to the dark palette and tells every window, as the system does.
    void switch_to_dark_theme() {
        RegKey personalize;
        ASSERT_EQ(
            RegCreateKeyExW(HKEY_CURRENT_USER,
                            L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize", 0,
                            nullptr, 0, KEY_SET_VALUE, nullptr, personalize.put(), nullptr),
            ERROR_SUCCESS);
        const DWORD dark = 0;
        RegSetValueExW(personalize.get(), L"AppsUseLightTheme", 0, REG_DWORD,
                       reinterpret_cast<const BYTE*>(&dark), sizeof dark);
        SendMessageW(window_, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(L"ImmersiveColorSet"));
        RegDeleteValueW(personalize.get(), L"AppsUseLightTheme");
    }

    MainWindow main_window_;
    HWND window_ = nullptr;
    App* app_ = nullptr;
    std::filesystem::path dir_;
};

}  // namespace torvane
