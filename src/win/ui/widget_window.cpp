#include "win/ui/widget_window.h"

namespace torvane {

WidgetWindow::WidgetWindow(Renderer& renderer, Color Theme::*background)
    : ui_(nullptr, renderer), background_(background) {}

WidgetWindow::~WidgetWindow() {
    detach(accessible_);
}

std::optional<LRESULT> WidgetWindow::on_message(UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_DESTROY) {
        // A client may hold the object longer than the window lives.
        detach(accessible_);
        accessible_ = nullptr;
    }
    if (std::optional<LRESULT> result = on_window_message(message, wparam, lparam)) return result;
    if (std::optional<LRESULT> result = on_pointer_message(message, wparam, lparam)) return result;
    switch (message) {
        case WM_GETOBJECT:
            if (static_cast<LONG>(lparam) != OBJID_CLIENT) return std::nullopt;
            if (!accessible_) accessible_ = make_accessible(ui_, [this](uint32_t id) { act(id); });
            return answer_get_object(accessible_, wparam, lparam);
        case WM_PAINT:
            paint();
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_KEYDOWN:
            if (focus_key(ui_, wparam)) {
                follow_focus();
                return 0;
            }
            if (const std::optional<float> delta = scroll_key(wparam, view_height())) {
                scroll_by(*delta);
                return 0;
            }
            return std::nullopt;
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORSTATIC:
            if (HBRUSH brush = field_colors(ui_, reinterpret_cast<HDC>(wparam),
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

// The pointer's messages; none for the others and for those left to the default handling.
std::optional<LRESULT> WidgetWindow::on_pointer_message(UINT message, WPARAM wparam,
                                                        LPARAM lparam) {
    switch (message) {
        case WM_SETCURSOR:
            // A native field keeps its own I-beam.
            if (LOWORD(lparam) != HTCLIENT || reinterpret_cast<HWND>(wparam) != handle())
                return std::nullopt;
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
        case WM_LBUTTONUP: {
            const uint32_t pressed = ui_.active_id;
            on_button_up();
            if (pressed != 0) notify_state(ui_, pressed);
            return 0;
        }
        case WM_CANCELMODE:
            ReleaseCapture();
            if (capture_lost(ui_)) relayout();
            return std::nullopt;
        case WM_CAPTURECHANGED:
            // Another window took the pointer (Alt+Tab, a prompt): a drag must not go on.
            if (reinterpret_cast<HWND>(lparam) != handle() && capture_lost(ui_)) relayout();
            return 0;
    }
    return std::nullopt;
}

void WidgetWindow::invalidate_if_changed() {
    // A lost target invalidated the window itself, and a failed paint forgot its frame.
    if (ui_.commands != painted_ || ui_.theme.*background_ != painted_background_)
        InvalidateRect(handle(), nullptr, FALSE);
}

void WidgetWindow::follow_focus() {
    if (const Focusable* focused = find_focusable(ui_, ui_.focus_id)) reveal(*focused);
    const uint32_t clicked = ui_.clicked_id;
    const uint32_t keyed = ui_.pending_key ? ui_.focus_id : 0;  // a slider a key steps
    on_button_up();
    const HWND target = focus_target(ui_);
    if (handle() && GetFocus() != target) SetFocus(target);
    notify_focus(ui_);
    if (clicked != 0) notify_state(ui_, clicked);
    if (keyed != 0) notify_state(ui_, keyed);
}

void WidgetWindow::act(uint32_t id) {
    const Focusable* f = find_focusable(ui_, id);
    if (!f || !f->available) return;
    ui_.focus_id = id;
    if (f->kind == FocusKind::control || f->kind == FocusKind::radio) ui_.clicked_id = id;
    follow_focus();
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
