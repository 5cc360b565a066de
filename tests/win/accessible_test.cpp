// The widget windows as a screen reader reads and drives them: a client in another process
// (TorvaneA11yClient, see a11y.cmake) walks the window's accessible children.

#include "win/ui/accessible.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "app_fixture.h"

namespace torvane {
namespace {

class Accessible : public AppFixture {
protected:
    void TearDown() override {
        if (app_ && app_->panel) app_->panel->hide();
        if (app_ && app_->settings) app_->settings->destroy();
        AppFixture::TearDown();
    }

    // The client's lines for `window` ("name\trole\tstate\tvalue"), after it ran the default
    // action of the child named `act`; this thread answers its requests meanwhile.
    std::string client(HWND window, const char* act) {
        wchar_t self[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        std::wstring program = self;
        program = program.substr(0, program.find_last_of(L"\\/") + 1) + L"TorvaneA11yClient.exe";
        std::filesystem::create_directories(dir_);
        // A file of its own each time: Wine may close the last client's handle late.
        const std::filesystem::path out = dir_ / ("tree" + std::to_string(++runs_) + ".txt");
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        HANDLE file = CreateFileW(out.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                  CREATE_ALWAYS, 0, nullptr);
        STARTUPINFOW start{};
        start.cb = sizeof start;
        start.dwFlags = STARTF_USESTDHANDLES;
        start.hStdOutput = start.hStdError = file;
        wchar_t command[600];
        swprintf(command, 600, L"\"%ls\" %llx \"%hs\"", program.c_str(),
                 static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(window)), act);
        PROCESS_INFORMATION process{};
        const BOOL started = CreateProcessW(nullptr, command, nullptr, nullptr, TRUE,
                                            CREATE_NO_WINDOW, nullptr, nullptr, &start, &process);
        CloseHandle(file);
        if (!started) return "not started";
        const ULONGLONG deadline = GetTickCount64() + 30000;
        while (MsgWaitForMultipleObjects(1, &process.hProcess, FALSE, 100, QS_ALLINPUT) !=
                   WAIT_OBJECT_0 &&
               GetTickCount64() < deadline) {
            MSG message;
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageW(&message);
        }
        DWORD code = 1;
        GetExitCodeProcess(process.hProcess, &code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        std::stringstream text;
        text << std::ifstream(out).rdbuf();
        std::printf("%s", text.str().c_str());  // the tree, for the reader of the log
        EXPECT_EQ(code, 0u) << "no child named " << act;
        return text.str();
    }

    int runs_ = 0;
};

constexpr auto missing = std::string::npos;

TEST_F(Accessible, ThePanelReadsAsNamedControlsAndTheirDefaultActionsClick) {
    app_->prefs.customActivateMinutes = 90;
    app_->prefs.lastStopEnabled = true;
    app_->prefs.customPauseMinutes = 0;
    show_panel(*app_);
    const std::string tree = client(app_->panel->handle(), "1 h");
    // Focusable (0x100000), focused (0x4), checked (0x10), unavailable (0x1).
    EXPECT_NE(tree.find("Torvane\tcheck button\t100004\t\n"), missing);
    EXPECT_NE(tree.find("1 h\tpush button\t100000\t\n"), missing);
    EXPECT_NE(tree.find("Activar durante, minutos\ttext\t100000\t30\n"), missing);
    EXPECT_NE(tree.find("Apagar a las\tcheck button\t100010\t\n"), missing);
    EXPECT_NE(tree.find("Preferencias\tpush button\t100000\t\n"), missing);
    EXPECT_NE(tree.find("Salir\tpush button\t100000\t\n"), missing);
    EXPECT_NE(tree.find("Pausar\tpush button\t1\t\n"), missing) << "unavailable at 0 minutes";
    EXPECT_NE(tree.find("\nPAUSAR\tstatic text\t40\t\n"), missing) << "the headings";
    EXPECT_TRUE(app_->engine.timer_until.has_value()) << "\"1 h\" did what a click does";

    // The timer's row is read out before the link that cancels it.
    const std::string timed = client(app_->panel->handle(), "Torvane");
    EXPECT_NE(timed.find("\nSe apaga en "), missing);
    EXPECT_NE(timed.find("\tstatic text\t40\t\nCancelar temporizadores\tlink\t"), missing);
    EXPECT_FALSE(app_->engine.on) << "the switch did what a click does";
}

TEST_F(Accessible, SettingsTabsAreSelectedByTheirDefaultAction) {
    open_settings(*app_, 3);
    const std::string tree = client(app_->settings->handle(), "General");
    EXPECT_NE(tree.find("Horarios\tpage tab\t100006\t\n"), missing) << "selected and focused";
    EXPECT_NE(tree.find("Usar horarios programados\tcheck button\t100000\t\n"), missing);
    // With the schedules off, a schedule's controls are unavailable but still named.
    EXPECT_NE(tree.find("\nHorario laboral\tcheck button\t11\t\n"), missing);
    EXPECT_NE(tree.find("\nBorrar horario\tpush button\t1\t\n"), missing);
    EXPECT_NE(tree.find("\nLunes\tcheck button\t11\t\n"), missing);
    EXPECT_EQ(app_->settings->tab(), SettingsTab::general);
}

}  // namespace
}  // namespace torvane
