#pragma once
// The one window type every window of the program derives from. Its class is registered once,
// the object is stored on the window, and every message reaches one dispatch point,
// `on_message`, behind the fault boundary. UI thread only.

#include <windows.h>

#include <optional>
#include <string>

namespace torvane {

// What a window class needs beyond its name; everything else is left at zero.
struct WindowClass {
    const wchar_t* name = nullptr;
    UINT style = 0;
    HCURSOR cursor = nullptr;
    HICON icon = nullptr;
};

class Window {
public:
    Window() = default;
    // Destroys a window still there without dispatching its last messages: a derived window
    // that must hear WM_DESTROY calls destroy() in its own destructor.
    virtual ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    HWND handle() const { return window_; }
    void destroy();

protected:
    // Registers the class on its first use in the process, then creates the window with this
    // object attached. False when either fails.
    bool create(const WindowClass& window_class, DWORD ex_style, const wchar_t* title, DWORD style,
                RECT bounds, HWND owner);

    // The one dispatch point. A message it does not handle returns nothing and goes to
    // DefWindowProcW.
    virtual std::optional<LRESULT> on_message(UINT message, WPARAM wparam, LPARAM lparam) = 0;
    // Runs after every message, handled or not, inside the same fault boundary.
    virtual void after_message() {}

private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
    LRESULT dispatch(UINT message, WPARAM wparam, LPARAM lparam);

    HWND window_ = nullptr;
    std::string class_name_;  // for the log
};

}  // namespace torvane
