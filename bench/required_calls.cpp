// Reference for the idle-cost measurement: once a second, exactly the system calls one tick of
// Torvane cannot avoid in the state named on the command line, and nothing else. Under Wine
// each of those calls costs tens of microseconds, so this, not a bare message loop, is the floor
// Torvane's idle cost is compared with.
//
//   required_calls off        clock, idle time, processor sample
//   required_calls on         + lock and battery probes; the tooltip's status text counts down
//                             in seconds (to idleness or to the next nudge), so it changes
//                             every second too
//   required_calls countdown  + lock and battery probes; the tooltip counts the timer down
//
// In every state the notification-area icon is added once at start, as Torvane's always is.

#include <windows.h>
// After windows.h:
#include <shellapi.h>

#include <cwchar>
#include <iterator>
#include <string_view>

namespace {

enum class Mode { off, on, countdown };

constexpr UINT tick_timer = 1;
constexpr UINT tray_callback = WM_APP + 16;
constexpr int timer_seconds = 3600;
constexpr int idle_seconds = 120;

Mode mode = Mode::off;
NOTIFYICONDATAW tray{};
int ticks = 0;

Mode parse_mode(int argc, wchar_t** argv) {
    if (argc < 2) return Mode::off;
    std::wstring_view arg = argv[1];
    if (arg == L"on") return Mode::on;
    if (arg == L"countdown") return Mode::countdown;
    return Mode::off;
}

// The texts have the shape and length of Torvane's; what matters is that they change.
void next_tip() {
    if (mode == Mode::countdown) {
        int left = timer_seconds - 1 - ticks % timer_seconds;
        swprintf(tray.szTip, std::size(tray.szTip), L"Torvane \u00b7 se apaga en %d:%02d",
                 left / 60, left % 60);
    } else {
        int left = idle_seconds - 1 - ticks % idle_seconds;
        swprintf(tray.szTip, std::size(tray.szTip),
                 L"Torvane \u00b7 Esperando inactividad \u00b7 %d min %d s", left / 60, left % 60);
    }
}

void tick() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    LASTINPUTINFO input{sizeof input, 0};
    if (GetLastInputInfo(&input)) (void)(GetTickCount() - input.dwTime);
    FILETIME idle, kernel, user;
    GetSystemTimes(&idle, &kernel, &user);
    if (mode == Mode::off) return;

    if (HDESK desktop = OpenInputDesktop(0, FALSE, DESKTOP_SWITCHDESKTOP)) {
        SwitchDesktop(desktop);
        CloseDesktop(desktop);
    }
    SYSTEM_POWER_STATUS power;
    GetSystemPowerStatus(&power);

    ++ticks;
    next_tip();
    tray.uFlags = NIF_TIP;
    Shell_NotifyIconW(NIM_MODIFY, &tray);
}

LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_TIMER && wparam == tick_timer) {
        tick();
        return 0;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    mode = parse_mode(argc, argv);
    LocalFree(argv);

    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = window_proc;
    window_class.hInstance = instance;
    window_class.lpszClassName = L"TorvaneRequiredCalls";
    RegisterClassExW(&window_class);
    HWND window = CreateWindowExW(WS_EX_TOOLWINDOW, L"TorvaneRequiredCalls", L"", 0, 0, 0, 0, 0,
                                  nullptr, nullptr, instance, nullptr);

    tray.cbSize = sizeof tray;
    tray.hWnd = window;
    tray.uID = 1;
    tray.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    tray.uCallbackMessage = tray_callback;
    tray.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    if (mode == Mode::off)
        wcscpy(tray.szTip, L"Torvane \u00b7 Apagado");
    else
        next_tip();
    Shell_NotifyIconW(NIM_ADD, &tray);

    SetTimer(window, tick_timer, 1000, nullptr);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        DispatchMessageW(&message);
    return 0;
}
