// Baseline for the idle-cost measurement: a window, a 1-second timer and a message loop, doing
// nothing else.

#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = DefWindowProcW;
    window_class.hInstance = instance;
    window_class.lpszClassName = L"TorvaneIdleLoop";
    RegisterClassExW(&window_class);
    HWND window = CreateWindowExW(WS_EX_TOOLWINDOW, L"TorvaneIdleLoop", L"", 0, 0, 0, 0, 0, nullptr,
                                  nullptr, instance, nullptr);
    SetTimer(window, 1, 1000, nullptr);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        DispatchMessageW(&message);
    return 0;
}
