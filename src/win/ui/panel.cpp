#include "win/ui/panel.h"

#include <dwmapi.h>
#include <psapi.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

#include "core/platform.h"
#include "core/schedule.h"
#include "core/status_text.h"
#include "win/update_install.h"

namespace torvane {

namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

constexpr float column_left = 15;
constexpr float column_right = 295;
constexpr float chip_pitch = 95.333336f;
constexpr float chip_width = 89.333336f;
constexpr auto focus_loss_grace = milliseconds(400);

// Widget ids.
enum : uint32_t {
    id_switch = 1,
    id_install = 2,
    id_cancel_timers = 3,
    id_activate_chips = 10,  // 10–15
    id_activate_for = 16,
    id_activate_until = 17,
    id_program = 18,
    id_pause_chips = 20,  // 20–22
    id_pause_for = 23,
    id_stop_enabled = 24,
    id_settings = 25,
    id_quit = 26,
    id_activate_hours = 100,
    id_activate_minutes = 101,
    id_until = 102,
    id_start = 103,
    id_stop = 104,
    id_pause_hours = 105,
    id_pause_minutes = 106,
};

struct Preset {
    const char* label;
    double seconds;
};
constexpr std::array<Preset, 6> activate_presets{{{"15 min", 900},
                                                  {"30 min", 1800},
                                                  {"1 h", 3600},
                                                  {"2 h", 7200},
                                                  {"4 h", 14400},
                                                  {"8 h", 28800}}};
constexpr std::array<Preset, 3> pause_presets{{{"5 min", 300}, {"15 min", 900}, {"1 h", 3600}}};

// Windows 11 attributes, absent from older headers; older systems refuse them.
constexpr DWORD dwm_window_corner_preference = 33;
constexpr DWORD dwm_border_color = 34;
constexpr DWORD dwm_corner_round = 2;
constexpr DWORD dwm_color_none = 0xFFFFFFFE;

void heading(UiContext& ui, std::string_view text, float y) {
    label(ui, text, {column_left, y}, 11, true, ui.theme.textSecondary);
    readable_text(ui, text, {column_left, y, ui.renderer->text_width(text, 11, true), 15});
}

// A right-aligned button in the content column.
bool right_button(UiContext& ui, uint32_t id, float y, float height, std::string_view text,
                  bool enabled = true) {
    const float width = button_width(ui, text, 13, 11);
    return button(ui, id, {column_right - width, y, width, height}, text, 13, enabled);
}

// Hours and minutes of a custom duration (the minutes field's id follows the hours'), and the
// button beside them: true when it is clicked.
bool custom_duration(UiContext& ui, float y, uint32_t hours_id, uint32_t button_id,
                     std::string_view verb, uint32_t& minutes) {
    if (auto typed = duration_row(ui, y, hours_id, hours_id + 1, minutes)) minutes = *typed;
    describe(ui, hours_id, std::string(verb) + " durante, horas");
    describe(ui, hours_id + 1, std::string(verb) + " durante, minutos");
    return right_button(ui, button_id, y, 31, verb, minutes > 0);
}

}  // namespace

RECT panel_placement(POINT anchor, const RECT& monitor, const RECT& work, float scale,
                     float content_height) {
    const int w = static_cast<int>(std::lround(panel_width * scale));
    const int m = static_cast<int>(std::lround(12 * scale));
    // A panel taller than the work area is cut to it and scrolls.
    const int h = std::min(static_cast<int>(std::lround(content_height * scale)),
                           std::max(1, static_cast<int>(work.bottom - work.top) - 2 * m));
    const int outer_w = w + 2 * m, outer_h = h + 2 * m;
    int x = 0, y = 0;
    if (work.bottom < monitor.bottom) {
        x = anchor.x - outer_w / 2;
        y = work.bottom - outer_h;
    } else if (work.top > monitor.top) {
        x = anchor.x - outer_w / 2;
        y = work.top;
    } else if (work.left > monitor.left) {
        x = work.left;
        y = anchor.y - outer_h / 2;
    } else if (work.right < monitor.right) {
        x = work.right - outer_w;
        y = anchor.y - outer_h / 2;
    } else {
        // The taskbar hides itself: keep clear of where it pops up.
        x = anchor.x - outer_w / 2;
        y = work.bottom - outer_h - static_cast<int>(56 * scale);
    }
    x = std::clamp(x, static_cast<int>(work.left),
                   std::max(static_cast<int>(work.left), static_cast<int>(work.right) - outer_w));
    y = std::clamp(y, static_cast<int>(work.top),
                   std::max(static_cast<int>(work.top), static_cast<int>(work.bottom) - outer_h));
    return {x + m, y + m, x + m + w, y + m + h};
}

Panel::Panel(Renderer& renderer, ScreenModel model)
    : Screen(renderer, &Theme::panelBackground, std::move(model)) {}

Panel::~Panel() {
    // The edit controls are children: they go with the window, which must still find this
    // object while they do.
    destroy();
}

bool Panel::create_window() {
    const WindowClass panel_class{.name = L"TorvanePanel",
                                  .cursor = LoadCursorW(nullptr, IDC_ARROW)};
    if (!create(panel_class, WS_EX_TOPMOST | WS_EX_TOOLWINDOW, L"Torvane",
                WS_POPUP | WS_CLIPCHILDREN, RECT{0, 0, 100, 100}, nullptr))
        return false;
    const HWND window = handle();
    ui_.window = window;
    target_.window = window;
    const DWMNCRENDERINGPOLICY policy = DWMNCRP_ENABLED;
    DwmSetWindowAttribute(window, DWMWA_NCRENDERING_POLICY, &policy, sizeof policy);
    rounded_corners_ = SUCCEEDED(DwmSetWindowAttribute(window, dwm_window_corner_preference,
                                                       &dwm_corner_round, sizeof(DWORD)));
    DwmSetWindowAttribute(window, dwm_border_color, &dwm_color_none, sizeof(DWORD));
    const MARGINS margins{1, 1, 1, 1};
    DwmExtendFrameIntoClientArea(window, &margins);
    return true;
}

bool Panel::show() {
    if (!handle() && !create_window()) return false;
    GetCursorPos(&anchor_);
    const float scale = monitor_scale_at(anchor_);
    if (std::fabs(scale - ui_.scale) >= 0.001f) {
        ui_.scale = scale;
        forget_field_geometry(ui_);
        set_target_scale(target_, scale);
    }
    set_theme(model_.theme);
    scroll_ = 0;
    content_height_ = layout();
    // The keyboard starts on the first control.
    ui_.focus_id = 0;
    for (const Focusable& f : ui_.focusables)
        if (f.id != 0 && f.available && ui_.focus_id == 0) ui_.focus_id = f.id;
    shown_at = steady_clock::now();
    place();
    SetForegroundWindow(handle());
    SetFocus(handle());
    shown_at = steady_clock::now();
    InvalidateRect(handle(), nullptr, FALSE);
    return true;
}

void Panel::place() {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    const HMONITOR monitor = MonitorFromPoint(anchor_, MONITOR_DEFAULTTONEAREST);
    if (!monitor || !GetMonitorInfoW(monitor, &info)) return;
    // The tallest view the work area leaves; a taller content is laid out again, cut to it.
    const RECT tallest = panel_placement(anchor_, info.rcMonitor, info.rcWork, ui_.scale, 1e6f);
    const float limit = static_cast<float>(tallest.bottom - tallest.top) / ui_.scale;
    if (std::fabs(limit - view_limit_) > 0.01f) {
        const bool was_cut = content_height_ > view_limit_;
        view_limit_ = limit;
        if (was_cut || content_height_ > view_limit_) content_height_ = layout();
    }
    const RECT r =
        panel_placement(anchor_, info.rcMonitor, info.rcWork, ui_.scale, content_height_);
    const UINT flags = visible() ? SWP_NOZORDER | SWP_NOACTIVATE : SWP_SHOWWINDOW;
    SetWindowPos(handle(), HWND_TOPMOST, r.left, r.top, r.right - r.left, r.bottom - r.top, flags);
}

void Panel::hide() {
    if (!visible()) return;
    ShowWindow(handle(), SW_HIDE);
    hidden_at = steady_clock::now();
    reset_pointer(ui_);
    target_.target.Reset();
    // Hidden, the panel may stay so for days: give its pages back.
    K32EmptyWorkingSet(GetCurrentProcess());
}

bool Panel::visible() const {
    return handle() && IsWindowVisible(handle());
}

void Panel::repaint() {
    if (!handle()) return;
    const float height = layout();
    const bool grew = std::fabs(height - content_height_) > 0.01f;
    content_height_ = height;
    if (grew && visible()) place();
    if (visible()) notify_texts(ui_, read_texts_);
    invalidate_if_changed();
}

float Panel::layout() {
    // A second pass only when the offset had to come back within the content.
    for (;;) {
        begin_layout(ui_);
        // Cut to a small work area, the panel scrolls: fields and clicks stay inside the view.
        if (content_height_ > view_limit_) ui_.clip = Rect{0, 0, panel_width, view_limit_};
        const float top = -scroll_;
        header(top);
        float y = update_row(top);
        y = information_rows(y);
        y = activate_rows(y);
        y = program_rows(y);
        y = pause_rows(y);
        const float height = footer(y) - top;
        const float view = std::min(height, view_limit_);
        const float most = height - view;
        if (scroll_ > most) {
            scroll_ = most;
            continue;
        }
        if (most > 0) {
            const float thumb = std::max(24.0f, view * view / height);
            filled_rect(ui_, {panel_width - 8, (view - thumb) * scroll_ / most + 2, 4, thumb - 4},
                        2, ui_.theme.subtleStrong);
        }
        ui_.clip.reset();
        outlined_rect(ui_, {0, 0, panel_width, view}, rounded_corners_ ? 8.0f : 0.0f,
                      ui_.theme.border);
        end_layout(ui_);
        return height;
    }
}

void Panel::scroll_by(float delta) {
    scroll_ = std::max(0.0f, scroll_ + delta);  // the layout keeps it above the end
    relayout();
}

float Panel::view_height() const {
    return std::min(content_height_, view_limit_);
}

void Panel::reveal(const Focusable& focused) {
    const Rect& r = focused.rect;  // as laid out, scrolled
    constexpr float room = 4;      // for the focus ring
    if (r.y < room)
        scroll_ = std::max(0.0f, scroll_ + r.y - room);
    else if (r.y + r.h > view_height() - room)
        scroll_ += r.y + r.h - (view_height() - room);
}

void Panel::header(float top) {
    const EngineState& engine = model_.engine;
    const Theme& theme = ui_.theme;
    const Color disc = !engine.on       ? theme.subtle
                       : engine.blocked ? theme.warning
                       : engine.working ? theme.success
                                        : theme.accent;
    circle(ui_, {32, top + 32.5f}, 17, disc);
    const GlyphKind kind = !engine.on       ? GlyphKind::pointer
                           : engine.working ? GlyphKind::check_mark
                                            : GlyphKind::pointer_with_motion_lines;
    status_glyph(ui_, kind, {23, top + 23.5f}, 18,
                 engine.on ? theme.onAccent : theme.textSecondary);
    label(ui_, "Torvane", {59, top + 15}, 14, true, theme.textPrimary);
    text_in_rect(ui_, engine.status_detail, {59, top + 34, 188, 16}, 12, false, TextAlign::left,
                 theme.textSecondary, true);
    readable_text(ui_, engine.status_detail, {59, top + 34, 188, 16});
    const bool toggled = switch_toggle(ui_, id_switch, {255, top + 22.5f}, engine.on);
    describe(ui_, id_switch, "Torvane");
    if (toggled) model_.apply_effects(toggle(model_.engine, model_.prefs, local_now(), false));
}

float Panel::update_row(float top) {
    const UpdateView update = update_view(*model_.updater);
    if (!update.offered_version) return top + 62;
    const bool busy = update.busy;
    text_ = "Versión " + *update.offered_version + " disponible";
    filled_rect(ui_, {column_left, top + 62, 280, 38}, 8, ui_.theme.accentSoft);
    glyph(ui_, L'\xE896', {29.5f, top + 81}, 13, ui_.theme.accent);
    label(ui_, text_, {42, top + 73}, 12, false, ui_.theme.textPrimary);
    const std::string_view caption = busy ? "Instalando…" : "Instalar";
    const float width = button_width(ui_, caption, 12, 9);
    if (button(ui_, id_install, {287 - width, top + 70, width, 22}, caption, 12, !busy))
        start_install(model_.updater);
    return top + 112;
}

float Panel::information_rows(float y) {
    const EngineState& engine = model_.engine;
    const LocalTime now = engine.last_tick;
    const LocalDays today = date_of(now);
    bool any = false;
    auto row = [&](wchar_t code_point, const std::string& text) {
        glyph(ui_, code_point, {22, y + 11.5f}, 14, ui_.theme.accent);
        label(ui_, text, {37, y + 3}, 13, false, ui_.theme.textPrimary);
        readable_text(ui_, text, {37, y, 258, 23});
        y += 23;
        any = true;
    };
    if (engine.timer_until) row(L'\xE916', text::panel_timer(*engine.timer_until, now));
    if (engine.programmed_start_at)
        row(L'\xE823',
            text::panel_programmed(*engine.programmed_start_at, engine.programmed_stop_at, today));
    if (engine.pause_until) row(L'\xE769', text::panel_pause(*engine.pause_until, now));
    const bool timers = any;

    const std::vector<Schedule>& schedules = model_.prefs.schedules;
    std::optional<LocalTime> active_end;
    if (engine.has_active_schedule && engine.active_schedule_index < schedules.size())
        active_end = active_until(schedules[engine.active_schedule_index], now);
    if (active_end) {
        row(L'\xE787', text::panel_schedule_active(schedules[engine.active_schedule_index].name,
                                                   *active_end, today));
    } else if (model_.prefs.schedulesEnabled) {
        std::optional<LocalTime> earliest;
        for (const Schedule& schedule : schedules)
            if (const std::optional<LocalTime> start = next_start(schedule, now))
                if (!earliest || *start < *earliest) earliest = start;
        if (earliest) row(L'\xE787', text::panel_next_schedule(*earliest, today));
    }

    if (timers) {
        y += 4;
        if (link(ui_, id_cancel_timers, {column_left, y}, "Cancelar temporizadores", 12))
            model_.apply_effects(cancel_timers(model_.engine, model_.prefs, local_now()));
        y += 16;
    }
    if (any) y += 12;
    return y;
}

float Panel::activate_rows(float y) {
    Preferences& prefs = model_.prefs;
    separator(ui_, {column_left, y}, 280);
    heading(ui_, "ACTIVAR POR", y + 13);
    y += 37;
    for (size_t i = 0; i < activate_presets.size(); ++i) {
        const float x = column_left + static_cast<float>(i % 3) * chip_pitch;
        const float top = y + static_cast<float>(i / 3) * 33;
        if (chip(ui_, id_activate_chips + static_cast<uint32_t>(i), {x, top, chip_width, 27},
                 activate_presets[i].label)) {
            model_.apply_effects(
                activate_for(model_.engine, prefs, local_now(), activate_presets[i].seconds));
        }
    }
    y += 69;
    if (custom_duration(ui_, y, id_activate_hours, id_activate_for, "Activar",
                        prefs.customActivateMinutes))
        model_.apply_effects(
            activate_for(model_.engine, prefs, local_now(), prefs.customActivateMinutes * 60.0));
    y += 37;

    label(ui_, "Hasta las", {column_left, y + 7}, 13, false, ui_.theme.textPrimary);
    const float until_x = column_left + ui_.renderer->text_width("Hasta las", 13, false) + 8;
    if (auto minutes = time_field(ui_, id_until, {until_x, y, 58, 31}, prefs.lastUntilMinutes))
        prefs.lastUntilMinutes = *minutes;
    describe(ui_, id_until, "Hasta las");
    if (right_button(ui_, id_activate_until, y, 31, "Activar"))
        model_.apply_effects(
            activate_until(model_.engine, prefs, local_now(), prefs.lastUntilMinutes));
    return y + 37;
}

float Panel::program_rows(float y) {
    Preferences& prefs = model_.prefs;
    heading(ui_, "PROGRAMAR", y + 6);
    y += 27;
    label(ui_, "Encender a las", {column_left, y + 7}, 13, false, ui_.theme.textPrimary);
    if (auto minutes = time_field(ui_, id_start, {237, y, 58, 31}, prefs.lastStartMinutes))
        prefs.lastStartMinutes = *minutes;
    describe(ui_, id_start, "Encender a las");
    y += 37;
    if (checkbox(ui_, id_stop_enabled, {column_left, y + 6.5f}, "Apagar a las",
                 prefs.lastStopEnabled))
        prefs.lastStopEnabled = !prefs.lastStopEnabled;
    if (auto minutes = time_field(ui_, id_stop, {237, y, 58, 31}, prefs.lastStopMinutes,
                                  prefs.lastStopEnabled))
        prefs.lastStopMinutes = *minutes;
    describe(ui_, id_stop, "Apagar a las");
    if (right_button(ui_, id_program, y + 37, 27, "Programar"))
        model_.apply_effects(
            program(model_.engine, prefs, local_now(), prefs.lastStartMinutes,
                    prefs.lastStopEnabled ? std::optional(prefs.lastStopMinutes) : std::nullopt));
    return y + 76;
}

float Panel::pause_rows(float y) {
    Preferences& prefs = model_.prefs;
    heading(ui_, "PAUSAR", y);
    y += 24;
    for (size_t i = 0; i < pause_presets.size(); ++i) {
        if (chip(ui_, id_pause_chips + static_cast<uint32_t>(i),
                 {column_left + static_cast<float>(i) * chip_pitch, y, chip_width, 27},
                 pause_presets[i].label))
            model_.apply_effects(
                pause_for(model_.engine, prefs, local_now(), pause_presets[i].seconds));
    }
    y += 36;
    if (custom_duration(ui_, y, id_pause_hours, id_pause_for, "Pausar", prefs.customPauseMinutes))
        model_.apply_effects(
            pause_for(model_.engine, prefs, local_now(), prefs.customPauseMinutes * 60.0));
    separator(ui_, {column_left, y + 43}, 280);
    return y + 54;
}

float Panel::footer(float y) {
    const EngineState& engine = model_.engine;
    if (engine.move_count == 0) {
        text_ = "Clic derecho en el ícono o Ctrl+Alt+Shift+J: activar/desactivar";
    } else {
        text_ =
            text::panel_footer(engine.move_count, engine.last_move_at.value_or(engine.last_tick),
                               date_of(engine.last_tick));
    }
    const float text_height =
        wrapped_text(ui_, text_, {column_left, y}, 218, 11, ui_.theme.textSecondary, 26);
    const float h = std::max(text_height, 26.0f);
    const float top = y + (h - 26) / 2;
    if (icon_button(ui_, id_settings, {239, top, 28, 26}, L'\xE713')) model_.open_settings();
    describe(ui_, id_settings, "Preferencias");
    if (icon_button(ui_, id_quit, {267, top, 28, 26}, L'\xE7E8')) model_.quit();
    describe(ui_, id_quit, "Salir");
    return y + h + 15;
}

std::optional<LRESULT> Panel::on_window_message(UINT message, WPARAM wparam, LPARAM) {
    switch (message) {
        case WM_ACTIVATE:
            if (LOWORD(wparam) == WA_INACTIVE && steady_clock::now() - shown_at > focus_loss_grace)
                hide();
            return std::nullopt;
        case WM_CLOSE:  // Alt+F4: hidden like Esc, as its fields must outlive every opening
            hide();
            return 0;
        case WM_KEYDOWN:
            if (wparam != VK_ESCAPE) return std::nullopt;
            hide();
            return 0;
        case WM_DPICHANGED:
            return 0;  // the scale is taken when the panel opens
        case WM_MOUSEWHEEL:
            scroll_by(-static_cast<float>(GET_WHEEL_DELTA_WPARAM(wparam)) / WHEEL_DELTA * 48);
            return 0;
    }
    return std::nullopt;
}

// A click takes effect in the layout that runs now; the refresh that follows shows its result
// everywhere.
void Panel::on_button_up() {
    button_released(ui_);
    model_.when_free([this] {
        repaint();
        model_.refresh();
    });
}

}  // namespace torvane
