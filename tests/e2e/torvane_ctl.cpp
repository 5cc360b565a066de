// Test tool: talks to a running Torvane through its instance objects, as a second start would.
// Usage: torvane_ctl running|show|quit|wait|close|close-settings|overlay — exit code 0 on
// success (for "running": a copy runs; for "overlay": the nudge icon's window exists, shown or
// not), 1 otherwise. "close" posts WM_CLOSE to the hidden main window, as any program can;
// "close-settings" to the settings window, as its title bar's close button does.
// torvane_ctl clicked X Y WIDTH HEIGHT SECONDS opens a plain window on that screen rectangle,
// below any topmost one, and exits 0 once a left button press reaches it, 1 when none does in
// time.

#include <windows.h>

#include <cwchar>
#include <string_view>

#include "win/instance.h"

namespace {

LRESULT CALLBACK click_target(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_LBUTTONDOWN) PostQuitMessage(0);
    return DefWindowProcW(window, message, wparam, lparam);
}

int wait_for_click(int x, int y, int width, int height, UINT seconds) {
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = click_target;
    window_class.lpszClassName = L"TorvaneCtlClickTarget";
    window_class.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
    if (!RegisterClassW(&window_class)) return 2;
    HWND window = CreateWindowExW(0, window_class.lpszClassName, L"torvane_ctl click target",
                                  WS_POPUP | WS_VISIBLE, x, y, width, height, nullptr, nullptr,
                                  nullptr, nullptr);
    if (!window) return 2;
    SetTimer(window, 1, seconds * 1000, nullptr);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_TIMER && message.hwnd == window) return 1;
        DispatchMessageW(&message);
    }
    return 0;  // WM_QUIT: the press arrived
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    using namespace torvane;
    if (argc == 7 && std::wstring_view(argv[1]) == L"clicked") {
        int v[5];
        for (int i = 0; i < 5; ++i)
            v[i] = static_cast<int>(std::wcstol(argv[i + 2], nullptr, 10));
        return wait_for_click(v[0], v[1], v[2], v[3], static_cast<UINT>(v[4]));
    }
    if (argc != 2) return 2;
    std::wstring_view command = argv[1];
    if (command == L"running") return instance_running() ? 0 : 1;
    if (command == L"show")
        signal_show();
    else if (command == L"quit")
        signal_quit();
    else if (command == L"wait")
        wait_for_exit();
    else if (command == L"close")
        return PostMessageW(FindWindowW(L"TorvaneMain", nullptr), WM_CLOSE, 0, 0) ? 0 : 1;
    else if (command == L"close-settings")
        return PostMessageW(FindWindowW(L"TorvaneSettings", nullptr), WM_CLOSE, 0, 0) ? 0 : 1;
    else if (command == L"overlay")
        return FindWindowW(L"TorvaneOverlay", nullptr) ? 0 : 1;
    else
        return 2;
    return 0;
}
