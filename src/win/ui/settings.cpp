#include "win/ui/settings.h"

#include <dwmapi.h>

#include <algorithm>
#include <cmath>
#include <utility>

#include "core/platform.h"
#include "win/registration.h"
#include "win/ui/settings_rows.h"

namespace torvane {

namespace {

constexpr float content_top = 67;
constexpr float card_left = 22;
constexpr float scroll_margin = 22;
constexpr float wheel_step = 48;
constexpr float scrollbar_room = 8;
constexpr DWORD dwm_dark_title_bar = 20;

// The tab bar's widget ids; the tabs' own controls number theirs from 10.
constexpr uint32_t id_tabs = 1;  // 1–4

struct TabLabel {
    const char* text;
    wchar_t glyph;  // 0: the status glyph with motion lines
};
constexpr TabLabel tab_labels[] = {
    {"General", L'\xE713'}, {"Movimiento", 0}, {"Condiciones", L'\xE9E9'}, {"Horarios", L'\xE787'}};

}  // namespace

RECT settings_bounds(const RECT& work, float scale) {
    const int width = static_cast<int>(std::lround(600 * scale));
    // A small screen gets a shorter window; the tabs scroll.
    const int height = std::min(static_cast<int>(std::lround(660 * scale)),
                                static_cast<int>(work.bottom - work.top));
    const int x = std::max(work.left, work.left + (work.right - work.left - width) / 2);
    const int y = std::max(work.top, work.top + (work.bottom - work.top - height) / 2);
    return {x, y, x + width, y + height};
}

SettingsWindow::SettingsWindow(Renderer& renderer, ScreenModel model)
    : Screen(renderer, &Theme::windowBackground, std::move(model)) {}

SettingsWindow::~SettingsWindow() {
    destroy();
}

bool SettingsWindow::create_window() {
    const float scale = monitor_scale_at({0, 0});
    MONITORINFO info{};
    info.cbSize = sizeof info;
    GetMonitorInfoW(MonitorFromPoint({0, 0}, MONITOR_DEFAULTTOPRIMARY), &info);
    const WindowClass settings_class{
        .name = L"TorvaneSettings",
        .cursor = LoadCursorW(nullptr, IDC_ARROW),
        .icon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1))};
    if (!create(settings_class, 0, L"Preferencias de Torvane",
                WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN,
                settings_bounds(info.rcWork, scale), nullptr))
        return false;
    ui_.window = target_.window = handle();
    take_scale(scale);
    return true;
}

// The fields' fonts and places, the render target and the view all follow the scale.
void SettingsWindow::take_scale(float scale) {
    ui_.scale = scale;
    forget_field_geometry(ui_);
    set_target_scale(target_, scale);
    RECT client{};
    GetClientRect(handle(), &client);
    width_ = static_cast<float>(client.right) / scale;
    view_height_ = static_cast<float>(client.bottom) / scale;
}

bool SettingsWindow::open(SettingsTab tab) {
    const bool created = !is_open();
    if (created) {
        if (!create_window()) return false;
        scroll_ = {};
        set_theme(model_.theme);
        autostart_shown_ = autostart_enabled();
    }
    tab_ = tab;
    ui_.focus_id = id_tabs + static_cast<uint32_t>(tab);
    if (tab_ == SettingsTab::conditions) refresh_preview();
    repaint();
    ShowWindow(handle(), IsIconic(handle()) ? SW_RESTORE : SW_SHOW);
    SetForegroundWindow(handle());
    return true;
}

void SettingsWindow::set_theme(const Theme& theme) {
    ui_.theme = theme;
    if (!is_open()) return;
    const BOOL dark = theme.dark;
    DwmSetWindowAttribute(handle(), dwm_dark_title_bar, &dark, sizeof dark);
}

void SettingsWindow::tick() {
    if (!is_open() || tab_ != SettingsTab::conditions) return;
    refresh_preview();
}

void SettingsWindow::refresh_preview() {
    preview_ = block_reason(model_.engine, model_.prefs, model_.probes, local_now());
}

void SettingsWindow::repaint() {
    if (!is_open()) return;
    layout();
    notify_texts(ui_,
                 read_texts_);  // the preview and the update status are read out as they change
    invalidate_if_changed();
}

// Runs until the need for a scroll bar no longer changes, which narrows the content.
void SettingsWindow::layout() {
    bool scrolls = content_width_ < width_ - 44;
    for (int pass = 0; pass < 3; ++pass) {
        content_width_ = width_ - 44 - (scrolls ? scrollbar_room : 0);
        begin_layout(ui_);
        const float end = tab_bar();
        // After the tab bar, which may have switched the tab: each tab keeps its own offset.
        float& scroll = scroll_[static_cast<size_t>(tab_)];
        const float bottom = content(end) + scroll;  // unscrolled end of the content
        const float most = std::max(0.0f, bottom + scroll_margin - view_height_);
        const bool needs_scroll = most > 0;
        const bool clamped = scroll > most;
        scroll = std::min(scroll, most);
        if (needs_scroll) {
            // A thin thumb in the room kept free beside the content.
            const float view = view_height_ - content_top;
            const float thumb = std::max(24.0f, view * view / (view + most));
            const float top = content_top + (view - thumb) * (most > 0 ? scroll / most : 0);
            filled_rect(ui_, {width_ - 8, top + 2, 4, thumb - 4}, 2, ui_.theme.subtleStrong);
        }
        end_layout(ui_);
        if (needs_scroll == scrolls && !clamped) return;
        scrolls = needs_scroll;
    }
}

float SettingsWindow::tab_bar() {
    float widths[4];
    float total = 18;
    for (size_t i = 0; i < 4; ++i) {
        widths[i] = ui_.renderer->text_width(tab_labels[i].text, 12, false) + 28;
        total += widths[i];
    }
    float x = (width_ - total) / 2;
    for (size_t i = 0; i < 4; ++i) {
        const Rect r{x, 8, widths[i], 50};
        const auto id = id_tabs + static_cast<uint32_t>(i);
        const Interaction state = interact(ui_, id, r);
        const bool current = static_cast<size_t>(tab_) == i;
        set_role(ui_, id, Role::page_tab, tab_labels[i].text, current);
        if (current)
            filled_rect(ui_, r, 7, ui_.theme.subtleHover);
        else if (state.hovered)
            filled_rect(ui_, r, 7, ui_.theme.subtle);
        const Color color = current ? ui_.theme.accent : ui_.theme.textSecondary;
        const float centre = x + widths[i] / 2;
        if (tab_labels[i].glyph)
            glyph(ui_, tab_labels[i].glyph, {centre, 23}, 18, color);
        else
            status_glyph(ui_, GlyphKind::pointer_with_motion_lines, {centre - 9.5f, 13.5f}, 19,
                         color);
        text_in_rect(ui_, tab_labels[i].text, {x, 36, widths[i], 16}, 12, false, TextAlign::center,
                     color);
        if (state.clicked) tab_ = static_cast<SettingsTab>(i);
        x += widths[i] + 6;
    }
    separator(ui_, {0, 66}, width_);
    return content_top;
}

float SettingsWindow::content(float top) {
    const Rect view{0, top, width_, view_height_ - top};
    ui_.commands.push_back({PushClip{view}, 0, 1});
    ui_.clip = view;
    Rows rows{top + 16 - scroll(), card_left + card_padding, content_width_ - 2 * card_padding};
    switch (tab_) {
        case SettingsTab::general:
            general(rows);
            break;
        case SettingsTab::movement:
            movement(rows);
            break;
        case SettingsTab::conditions:
            conditions(rows);
            break;
        case SettingsTab::schedules:
            schedules(rows);
            break;
    }
    ui_.clip.reset();
    ui_.commands.push_back({PopClip{}, 0, 1});
    return rows.y;
}

std::optional<LRESULT> SettingsWindow::on_window_message(UINT message, WPARAM wparam,
                                                         LPARAM lparam) {
    switch (message) {
        case WM_MOUSEWHEEL:
            scroll_by(-static_cast<float>(GET_WHEEL_DELTA_WPARAM(wparam)) / WHEEL_DELTA *
                      wheel_step);
            return 0;
        case WM_KEYDOWN:
            if (wparam == VK_ESCAPE) {
                destroy();
                return 0;
            }
            // Ctrl+Tab, Ctrl+Page Down: the next tab; with Shift, or Ctrl+Page Up: the previous.
            if (GetKeyState(VK_CONTROL) < 0 &&
                (wparam == VK_TAB || wparam == VK_PRIOR || wparam == VK_NEXT)) {
                const bool back =
                    wparam == VK_PRIOR || (wparam == VK_TAB && GetKeyState(VK_SHIFT) < 0);
                switch_tab(static_cast<SettingsTab>((static_cast<int>(tab_) + (back ? 3 : 1)) % 4));
                return 0;
            }
            return std::nullopt;
        case WM_CLOSE:
            destroy();  // the program runs on
            return 0;
        case WM_DPICHANGED: {
            const auto* suggested = reinterpret_cast<const RECT*>(lparam);
            SetWindowPos(handle(), nullptr, suggested->left, suggested->top,
                         suggested->right - suggested->left, suggested->bottom - suggested->top,
                         SWP_NOZORDER | SWP_NOACTIVATE);
            take_scale(static_cast<float>(HIWORD(wparam)) / USER_DEFAULT_SCREEN_DPI);
            relayout();
            return 0;
        }
        case WM_DESTROY:
            // The edit controls go with the window; the next opening starts afresh.
            ui_.fields.clear();
            reset_pointer(ui_);
            ui_.pending_event.reset();
            target_.target.Reset();
            return 0;
    }
    return std::nullopt;
}

void SettingsWindow::on_button_up() {
    button_released(ui_);
    model_.when_free([this] {
        const SettingsTab before = tab_;
        repaint();
        if (tab_ != before && tab_ == SettingsTab::conditions) refresh_preview();
        model_.refresh();
    });
}

void SettingsWindow::switch_tab(SettingsTab tab) {
    tab_ = tab;
    ui_.focus_id = id_tabs + static_cast<uint32_t>(tab);
    ui_.focus_cues = true;
    model_.when_free([this] {
        if (tab_ == SettingsTab::conditions) refresh_preview();
        repaint();
        // From a field of the tab left behind, now hidden: the keyboard comes to the tab bar.
        if (GetFocus() != handle()) SetFocus(handle());
        notify_focus(ui_);
    });
}

void SettingsWindow::reveal(const Focusable& focused) {
    if (focused.id >= id_tabs && focused.id < id_tabs + 4) return;  // the tab bar stays put
    const Rect& r = focused.rect;                                   // as laid out, scrolled
    constexpr float room = 4;                                       // for the focus ring
    float& scroll = scroll_[static_cast<size_t>(tab_)];
    if (r.y < content_top + room)
        scroll = std::max(0.0f, scroll + r.y - content_top - room);
    else if (r.y + r.h > view_height_ - room)
        scroll += r.y + r.h - (view_height_ - room);
}

void SettingsWindow::scroll_by(float delta) {
    float& scroll = scroll_[static_cast<size_t>(tab_)];
    scroll = std::max(0.0f, scroll + delta);
    relayout();  // the layout keeps it above the end of the content
}

}  // namespace torvane
