#include "win/window.h"

#include "win/fault.h"
#include "win/wtext.h"

namespace torvane {

namespace {

HINSTANCE module_instance() {
    return GetModuleHandleW(nullptr);
}

void register_once(const WindowClass& window_class, WNDPROC procedure) {
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof existing;
    if (GetClassInfoExW(module_instance(), window_class.name, &existing)) return;
    WNDCLASSEXW registration{};
    registration.cbSize = sizeof registration;
    registration.style = window_class.style;
    registration.lpfnWndProc = procedure;
    registration.hInstance = module_instance();
    registration.hCursor = window_class.cursor;
    registration.hIcon = window_class.icon;
    registration.lpszClassName = window_class.name;
    // A failure shows up as a failed creation.
    RegisterClassExW(&registration);
}

}  // namespace

Window::~Window() {
    if (!window_) return;
    // The derived part is gone already: the window's last messages go to the default procedure.
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
}

bool Window::create(const WindowClass& window_class, DWORD ex_style, const wchar_t* title,
                    DWORD style, RECT bounds, HWND owner) {
    register_once(window_class, procedure);
    class_name_ = narrow(window_class.name);
    return CreateWindowExW(ex_style, window_class.name, title, style, bounds.left, bounds.top,
                           bounds.right - bounds.left, bounds.bottom - bounds.top, owner, nullptr,
                           module_instance(), this) != nullptr;
}

void Window::destroy() {
    if (window_) DestroyWindow(window_);
}

LRESULT CALLBACK Window::procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* self = reinterpret_cast<Window*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_NCCREATE) {
        self = static_cast<Window*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
        self->window_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    if (!self) return DefWindowProcW(window, message, wparam, lparam);
    if (message == WM_NCDESTROY) {
        // The object may outlive its window; it must not reach a dead handle.
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        self->window_ = nullptr;
        return DefWindowProcW(window, message, wparam, lparam);
    }
    return self->dispatch(message, wparam, lparam);
}

LRESULT Window::dispatch(UINT message, WPARAM wparam, LPARAM lparam) {
    const HWND window = window_;
    std::optional<LRESULT> result;
    // Not `result = on_message(...)`: GCC 12 builds that answer in `result` itself and drops
    // the empty initialization as dead, though a handler that throws never writes it; the
    // answer was then stack garbage.
    guarded(class_name_, [&] {
        if (const auto answer = on_message(message, wparam, lparam)) result = *answer;
    });
    guarded(class_name_, [&] { after_message(); });
    return result ? *result : DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace torvane
