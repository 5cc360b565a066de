// A running program with a distinctive name, a FileDescription and a visible window that asks
// to be in the foreground. The test ends it; it also ends itself after a minute.

#include <windows.h>

namespace {

constexpr UINT_PTR give_up_timer = 1;

LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_TIMER || message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = window_proc;
    window_class.hInstance = instance;
    window_class.lpszClassName = L"TorvaneProbeHelper";
    if (!RegisterClassW(&window_class)) return 1;
    HWND window = CreateWindowExW(0, window_class.lpszClassName, L"Ayudante de sondeo",
                                  WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 300, 200, nullptr,
                                  nullptr, instance, nullptr);
    if (!window) return 1;
    SetForegroundWindow(window);
    SetTimer(window, give_up_timer, 60000, nullptr);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        DispatchMessageW(&message);
    return 0;
}
