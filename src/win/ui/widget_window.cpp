#include "win/ui/widget_window.h"

#include "win/app.h"

namespace torvane {

WidgetWindow::WidgetWindow(Renderer& renderer, float width, Color Theme::*background)
    : ui_(nullptr, renderer, width), background_(background) {}

std::optional<LRESULT> WidgetWindow::on_message(UINT message, WPARAM wparam, LPARAM lparam) {
    if (std::optional<LRESULT> result = on_window_message(message, wparam, lparam)) return result;
    switch (message) {
        case WM_PAINT:
            paint();
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_SETCURSOR:
            if (LOWORD(lparam) != HTCLIENT) return std::nullopt;
            set_pointer_cursor(ui_);
            return TRUE;
        case WM_MOUSEMOVE:
            if (pointer_moved(ui_, lparam)) relayout();
            return 0;
        case WM_MOUSELEAVE:
            if (pointer_left(ui_)) relayout();
            return 0;
        case WM_LBUTTONDOWN:
            if (button_pressed(ui_)) relayout();
            return 0;
        case WM_LBUTTONUP:
            on_button_up();
            return 0;
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORSTATIC:
            if (HBRUSH brush = field_colours(ui_, reinterpret_cast<HDC>(wparam),
                                             reinterpret_cast<HWND>(lparam)))
                return reinterpret_cast<LRESULT>(brush);
            return std::nullopt;
        case WM_COMMAND:
            if (field_command(ui_, wparam, lparam)) on_field_report(0, 0);
            return 0;
        case field_report_message:
            on_field_report(wparam, lparam);
            return 0;
    }
    return std::nullopt;
}

void WidgetWindow::after_message() {
    run_pending_actions();
}

void WidgetWindow::invalidate_if_changed() {
    // A lost target invalidated the window itself, and a failed paint forgot its frame.
    if (ui_.commands != painted_ || ui_.theme.*background_ != painted_background_)
        InvalidateRect(handle(), nullptr, FALSE);
}

void WidgetWindow::paint() {
    PAINTSTRUCT ps;
    if (!BeginPaint(handle(), &ps)) return;
    const Color background = ui_.theme.*background_;
    if (ui_.renderer->render(target_, ps.hdc, background, ui_.commands)) {
        painted_ = ui_.commands;
        painted_background_ = background;
    } else {
        painted_.clear();
    }
    EndPaint(handle(), &ps);
}

}  // namespace torvane
