#include "win/ui/settings.h"

#include <dwmapi.h>

#include <algorithm>
#include <cmath>
#include <utility>

#include "core/platform.h"
#include "core/status_text.h"
#include "win/jiggler.h"
#include "win/registration.h"
#include "win/update.h"
#include "win/update_install.h"
#include "win/version.h"
#include "win/wtext.h"

namespace torvane {

namespace {

constexpr float content_top = 67;
constexpr float card_left = 22;
constexpr float row_left = 37;
constexpr float scroll_margin = 22;
constexpr float wheel_step = 48;
constexpr float scrollbar_room = 8;
constexpr double log_span = 9.757305042358047;  // ln(86400 / 5)
constexpr DWORD dwm_dark_title_bar = 20;

// Widget ids; fields keep theirs so that focus survives a repaint.
enum : uint32_t {
    id_tabs = 1,  // 1–4
    id_autostart = 10,
    id_restore = 11,
    id_hotkey = 12,
    id_countdown = 13,
    id_notifications = 14,
    id_quit_when_timer_ends = 15,
    id_display = 16,
    id_auto_check = 17,
    id_auto_install = 18,
    id_check_now = 19,
    id_install = 20,
    id_interval_down = 30,
    id_interval_up = 31,
    id_interval = 32,
    id_randomize = 33,
    id_policy = 40,  // 40–41
    id_mode = 42,    // 42–44
    id_distance = 54,
    id_nudge_icon = 55,
    id_try_now = 56,
    id_cpu = 60,
    id_cpu_threshold = 61,
    id_disk = 62,
    id_audio = 63,
    id_apps = 64,
    id_battery = 65,
    id_battery_low = 66,
    id_battery_threshold = 67,
    id_locked = 68,
    id_frontmost = 69,
    id_schedules = 70,
    id_add_schedule = 71,
    id_apps_list = 1100,
    id_frontmost_list = 1101,
    id_schedule_fields = 1000,  // + 8i: name, start, end, switch, delete
    id_schedule_days = 2000,    // + 8i + day button
};

struct TabLabel {
    const char* text;
    wchar_t glyph;  // 0: the status glyph with motion lines
};
constexpr TabLabel tab_labels[] = {
    {"General", L'\xE713'}, {"Movimiento", 0}, {"Condiciones", L'\xE9E9'}, {"Horarios", L'\xE787'}};

// Monday first: the labels and the weekday numbers they stand for.
constexpr const char* day_labels[] = {"L", "M", "M", "J", "V", "S", "D"};
constexpr unsigned day_numbers[] = {2, 3, 4, 5, 6, 7, 1};
constexpr const char* day_names[] = {"Lunes",   "Martes", "Miércoles", "Jueves",
                                     "Viernes", "Sábado", "Domingo"};

// The tick labels under the interval slider.
struct Tick {
    const char* label;
    double seconds;
};
constexpr Tick interval_ticks[] = {{"5 s", 5},    {"1 min", 60},  {"5 min", 300},
                                   {"1 h", 3600}, {"5 h", 18000}, {"24 h", 86400}};

// A card round a group of rows: opened before the rows, closed once their end is known.
class Card {
public:
    Card(UiContext& ui, float& y, float width)
        : ui_(ui), y_(y), top_(y), width_(width), index_(begin_card(ui)) {
        y_ += 7;
    }
    ~Card() {
        y_ += 7;
        end_card(ui_, index_, {card_left, top_, width_, y_ - top_});
        y_ += 12;
    }
    Card(const Card&) = delete;
    Card& operator=(const Card&) = delete;

private:
    UiContext& ui_;
    float& y_;
    float top_;
    float width_;
    size_t index_;
};

// Rows bound to a preference: a click flips it.
void flip_switch(UiContext& ui, uint32_t id, float& y, float width, std::string_view text,
                 bool& value) {
    if (switch_row(ui, id, y, width, text, value)) value = !value;
}
void flip_checkbox(UiContext& ui, uint32_t id, float& y, std::string_view text, bool& value) {
    if (checkbox_row(ui, id, y, text, value)) value = !value;
}

}  // namespace

double interval_slider_position(double interval) {
    return std::clamp(std::log(interval / 5) / log_span, 0.0, 1.0);
}

double interval_from_slider(double position) {
    const double v = 5 * std::exp(std::clamp(position, 0.0, 1.0) * log_span);
    const double step = v < 60 ? 5 : v < 600 ? 15 : v < 3600 ? 60 : v < 21600 ? 300 : 1800;
    return std::clamp(std::round(v / step) * step, 5.0, 86400.0);
}

double interval_step(double interval, bool up) {
    const double step = interval < 60 ? 5 : 60;
    return std::clamp(interval + (up ? step : -step), 5.0, 86400.0);
}

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
    float y = top + 16 - scroll();
    switch (tab_) {
        case SettingsTab::general:
            y = general(y);
            break;
        case SettingsTab::movement:
            y = movement(y);
            break;
        case SettingsTab::conditions:
            y = conditions(y);
            break;
        case SettingsTab::schedules:
            y = schedules(y);
            break;
    }
    ui_.clip.reset();
    ui_.commands.push_back({PopClip{}, 0, 1});
    return y;
}

float SettingsWindow::general(float y) {
    Preferences& p = model_.prefs;
    const float w = content_width_ - 30;
    {
        Card card(ui_, y, content_width_);
        if (switch_row(ui_, id_autostart, y, w, "Abrir Torvane al iniciar sesión",
                       autostart_shown_)) {
            set_autostart(!autostart_shown_);
            autostart_shown_ = autostart_enabled();
        }
        flip_switch(ui_, id_restore, y, w, "Recordar si estaba activo al abrir", p.restoreState);
        flip_switch(ui_, id_hotkey, y, w, "Atajo global Ctrl+Alt+Shift+J para activar / desactivar",
                    p.hotkey);
    }
    {
        Card card(ui_, y, content_width_);
        flip_switch(ui_, id_countdown, y, w,
                    "Mostrar la cuenta regresiva al pasar el mouse por el ícono",
                    p.countdownInMenuBar);
        flip_switch(ui_, id_notifications, y, w,
                    "Avisar con notificaciones cuando se prende o se apaga solo", p.notifications);
        flip_switch(ui_, id_quit_when_timer_ends, y, w,
                    "Al terminar un temporizador, cerrar la app", p.quitWhenTimerEnds);
    }
    {
        Card card(ui_, y, content_width_);
        // The refresh after the click applies the power request.
        flip_switch(ui_, id_display, y, w, "Mantener la pantalla encendida mientras está activo",
                    p.preventDisplaySleep);
        y = hint(ui_, y - 6, row_left, w,
                 "Evita que la pantalla y la PC se duerman aunque no se mueva nada. Se libera al "
                 "apagar Torvane.");
    }
    y = section_title(ui_, y - 8, "Actualizaciones");
    {
        Card card(ui_, y, content_width_);
        flip_switch(ui_, id_auto_check, y, w, "Buscar actualizaciones automáticamente",
                    p.autoCheckUpdates);
        if (switch_row(ui_, id_auto_install, y, w,
                       "Instalarlas solas (reinicia la app y mantiene el estado)",
                       p.autoInstallUpdates, p.autoCheckUpdates))
            p.autoInstallUpdates = !p.autoInstallUpdates;
        const UpdateView update = update_view(*model_.updater);
        const std::optional<std::string>& available = update.offered_version;
        const bool busy = update.busy;
        text_ = update.status;
        if (!text_.empty()) {
            const float top = y + 4;
            y = hint(ui_, y - 2, row_left, w, text_) + 4;
            readable_text(ui_, text_, {row_left, top, w, y - 4 - top});
        }
        const float check_width = button_width(ui_, "Buscar ahora", 13, 11);
        if (button(ui_, id_check_now, {row_left, y + 4, check_width, 30}, "Buscar ahora", 13))
            check_for_updates(model_.updater, true);
        if (available) {
            text_ = "Instalar " + *available;
            const float install_width = button_width(ui_, text_, 13, 11);
            if (button(ui_, id_install, {row_left + check_width + 8, y + 4, install_width, 30},
                       text_, 13, !busy))
                start_install(model_.updater);
        }
        y += 38;
    }
    label(ui_, "Versión", {row_left, y + 4}, 13, false, ui_.theme.textSecondary);
    label(ui_, running_version(), {140, y + 4}, 13, false, ui_.theme.textPrimary);
    y += 24;
    label(ui_, "Hecho por", {row_left, y + 4}, 13, false, ui_.theme.textSecondary);
    label(ui_, "brisol", {140, y + 4}, 13, false, ui_.theme.textPrimary);
    return y + 24;
}

float SettingsWindow::interval_card(Preferences& p, float y) {
    const float w = content_width_ - 30;
    const Theme& theme = ui_.theme;
    y = section_title(ui_, y - 8, "Intervalo");
    {
        Card card(ui_, y, content_width_);
        label(ui_, "Cada", {row_left, y + 8.5f}, 13, false, theme.textPrimary);
        text_.clear();
        append_human_duration(text_, p.interval);
        label(ui_, text_, {80, y + 8.5f}, 13, true, theme.textPrimary);
        if (button(ui_, id_interval_down, {w - 35, y + 4, 32, 28}, "−", 14))
            p.interval = interval_step(p.interval, false);
        describe(ui_, id_interval_down, "Menos");
        if (button(ui_, id_interval_up, {w + 3, y + 4, 32, 28}, "+", 14))
            p.interval = interval_step(p.interval, true);
        describe(ui_, id_interval_up, "Más");
        y += 40;
        // The ends stay clear of the card's edges so that their labels fit.
        const float left = row_left + 12, right = card_left + content_width_ - 32;
        const Rect track{left - 9, y, right - left + 18, 20};
        const auto at = static_cast<float>(interval_slider_position(p.interval));
        if (const std::optional<float> position = slider(ui_, id_interval, track, at)) {
            double interval = interval_from_slider(*position);
            // A key moves at least as far as "−" or "+": the snapping could swallow its step.
            if (ui_.keyed_id == id_interval && interval == p.interval)
                interval = interval_step(p.interval, *position > at);
            p.interval = interval;
        }
        describe(ui_, id_interval, "Intervalo", text_);
        for (const Tick& tick : interval_ticks) {
            const float x =
                left + (right - left) * static_cast<float>(interval_slider_position(tick.seconds));
            text_in_rect(ui_, tick.label, {x - 30, y + 22, 60, 15}, 11, false, TextAlign::center,
                         theme.textSecondary);
        }
        y += 42;
        flip_checkbox(ui_, id_randomize, y,
                      "Variar un poco el intervalo y la dirección (más natural)", p.randomize);
        y = hint(ui_, y - 4, row_left, w,
                 "Usá un tiempo menor al del protector de pantalla y al de apagado de pantalla de "
                 "Configuración de Windows.");
    }
    return y;
}

// The "Distancia" slider, only shown for standard moves.
float SettingsWindow::distance_row(Preferences& p, float y) {
    const float w = content_width_ - 30;
    const Theme& theme = ui_.theme;
    y += 6;
    label(ui_, "Distancia", {row_left, y}, 13, false, theme.textPrimary);
    y += 24;
    label(ui_, "cerca", {row_left, y + 2}, 12, false, theme.textSecondary);
    const float right = w + 38;
    const float lejos = ui_.renderer->text_width("lejos", 12, false);
    label(ui_, "lejos", {right - lejos, y + 2}, 12, false, theme.textSecondary);
    const float left = row_left + ui_.renderer->text_width("cerca", 12, false) + 10;
    const Rect track{left, y, right - lejos - 10 - left, 20};
    if (const std::optional<float> position = slider(
            ui_, id_distance, track, static_cast<float>((p.distance - 1) / 59), true, 1.0f / 59))
        p.distance = *position * 59.0 + 1;
    describe(ui_, id_distance, "Distancia", std::to_string(std::lround(p.distance)));
    return y + 28;
}

float SettingsWindow::movement(float y) {
    Preferences& p = model_.prefs;
    const float w = content_width_ - 30;
    const Theme& theme = ui_.theme;
    y = interval_card(p, y);
    y = section_title(ui_, y - 8, "Cuándo mover");
    {
        Card card(ui_, y, content_width_);
        const char* policies[] = {"Siempre que esté activo", "Solo si no tocaste teclado ni mouse"};
        for (int i = 0; i < 2; ++i) {
            const auto policy = static_cast<MovePolicy>(i);
            if (radio_button(ui_, id_policy + static_cast<uint32_t>(i), y + 5, w, policies[i],
                             p.policy == policy, id_policy))
                p.policy = policy;
            y += 28;
        }
    }
    y = section_title(ui_, y - 8, "Cómo mover");
    {
        Card card(ui_, y, content_width_);
        const char* modes[] = {"Estándar — mueve el cursor",
                               "Zen — resetea la inactividad sin mover el cursor",
                               "Click — hace un click sin mover el cursor"};
        for (int i = 0; i < 3; ++i) {
            const auto mode = static_cast<MoveMode>(i);
            if (radio_button(ui_, id_mode + static_cast<uint32_t>(i), y + 5, w, modes[i],
                             p.mode == mode, id_mode))
                p.mode = mode;
            y += 28;
        }
        if (p.mode == MoveMode::standard) y = distance_row(p, y);
        flip_switch(ui_, id_nudge_icon, y, w, "Mostrar un ícono en pantalla cada vez que mueve",
                    p.showIconOnJiggle);
        const float try_width = button_width(ui_, "Probar ahora", 13, 11);
        if (button(ui_, id_try_now, {row_left, y + 4, try_width, 30}, "Probar ahora", 13))
            model_.apply_effects(nudge_now(model_.engine, p, local_now()));
        wrapped_text(ui_, "Hace un movimiento ya, con la configuración actual.",
                     {row_left + try_width + 12, y + 4}, w - try_width - 12, 12,
                     theme.textSecondary, 30);
        y += 38;
    }
    return y;
}

float SettingsWindow::conditions(float y) {
    Preferences& p = model_.prefs;
    const float w = content_width_ - 30;
    const Theme& theme = ui_.theme;
    y = section_title(ui_, y - 8, "Mover solo si se cumple al menos una (si marcás alguna)");
    {
        Card card(ui_, y, content_width_);
        const SliderRowResult cpu =
            slider_row(ui_, id_cpu, id_cpu_threshold, y, w, "La CPU está trabajando, uso mayor a",
                       p.reqCPU, p.cpuThreshold, 95, p.reqCPU);
        if (cpu.toggled) p.reqCPU = !p.reqCPU;
        if (cpu.value) p.cpuThreshold = *cpu.value;
        flip_checkbox(ui_, id_disk, y, "Hay un disco extraíble con escritura conectado",
                      p.reqRemovableDisk);
        flip_checkbox(ui_, id_audio, y, "Está sonando audio (música, video o una llamada)",
                      p.reqAudio);
        flip_checkbox(ui_, id_apps, y, "Está abierta alguna de estas apps:", p.reqApps);
        if (auto list = text_field(ui_, id_apps_list, {64, y, w - 26, 31}, widen(p.reqAppsList),
                                   "Teams, Slack, Zoom", 13, false, false, p.reqApps))
            p.reqAppsList = narrow(*list);
        describe(ui_, id_apps_list, "Está abierta alguna de estas apps:");
        y += 35;
        text_ =
            "Separá las apps con comas. Alcanza con parte del nombre: \"tea\" encuentra "
            "\"Teams\". CPU ahora: ";
        if (model_.engine.cpu_sampled) {
            text_ += std::to_string(static_cast<int>(model_.engine.cpu_average * 100));
            text_ += '%';
        } else {
            text_ += "—";
        }
        y = hint(ui_, y - 4, 64, w - 26, text_);
    }
    y = section_title(ui_, y - 8, "Nunca mover si");
    {
        Card card(ui_, y, content_width_);
        flip_checkbox(ui_, id_battery, y, "Está usando solo la batería", p.neverOnBattery);
        const SliderRowResult battery = slider_row(
            ui_, id_battery_low, id_battery_threshold, y, w, "La batería está por debajo de",
            p.neverBatteryLow, p.batteryThreshold, 80, p.neverBatteryLow);
        if (battery.toggled) p.neverBatteryLow = !p.neverBatteryLow;
        if (battery.value) p.batteryThreshold = *battery.value;
        flip_checkbox(ui_, id_locked, y, "La pantalla está bloqueada", p.neverLocked);
        flip_checkbox(ui_, id_frontmost, y, "La app al frente se llama:", p.neverFrontmost);
        if (auto list =
                text_field(ui_, id_frontmost_list, {64, y, w - 26, 31}, widen(p.neverFrontmostList),
                           "PowerPoint, Zoom", 13, false, false, p.neverFrontmost))
            p.neverFrontmostList = narrow(*list);
        describe(ui_, id_frontmost_list, "La app al frente se llama:");
        y += 35;
    }
    y = section_title(ui_, y - 8, "Estado ahora");
    {
        Card card(ui_, y, content_width_);
        const std::string_view state =
            preview_ ? std::string_view(*preview_) : "Con la configuración actual, puede mover";
        const float height = wrapped_text(ui_, state, {row_left, y + 6}, w, 13,
                                          preview_ ? theme.warning : theme.success);
        readable_text(ui_, state, {row_left, y + 6, w, height});
        y += 6 + height;
        y += 6;
    }
    return y;
}

// One schedule's card; true when its delete button was clicked.
bool SettingsWindow::schedule_card(Schedule& s, size_t i, bool enabled, float& y) {
    const float w = content_width_ - 30;
    const Theme& theme = ui_.theme;
    const auto base = id_schedule_fields + 8 * static_cast<uint32_t>(i);
    Card card(ui_, y, content_width_);
    // In reading order, as the keyboard goes: switch, name, delete.
    if (switch_toggle(ui_, base + 3, {row_left, y + 6}, s.enabled, enabled)) s.enabled = !s.enabled;
    describe(ui_, base + 3, s.name);
    if (auto name = text_field(ui_, base, {86, y, w - 86, 32}, widen(s.name), "Nombre", 14, true,
                               true, enabled))
        s.name = narrow(*name);
    describe(ui_, base, "Nombre");
    const bool removed = icon_button(ui_, base + 4, {w + 10, y + 3, 28, 26}, L'\xE74D', enabled);
    describe(ui_, base + 4, "Borrar horario");
    y += 40;
    {
        const Faded faded(ui_, !enabled);
        day_buttons(s, i, enabled, y);
        y += 40;
        label(ui_, "De", {row_left, y + 7}, 13, false, theme.textPrimary);
        label(ui_, "a", {130, y + 7}, 13, false, theme.textPrimary);
    }
    // The time fields fade themselves when disabled: once, not again inside the card's fade.
    if (auto start = time_field(ui_, base + 1, {62, y, 58, 31}, s.start, enabled)) s.start = *start;
    if (auto end = time_field(ui_, base + 2, {146, y, 58, 31}, s.end, enabled)) s.end = *end;
    describe(ui_, base + 1, "De");
    describe(ui_, base + 2, "a");
    if (s.end <= s.start) {
        const Faded faded(ui_, !enabled);
        label(ui_, "(termina al día siguiente)", {214, y + 8}, 12, false, theme.textSecondary);
    }
    y += 33;
    return removed;
}

// The seven day buttons, Monday first, each toggling its day.
void SettingsWindow::day_buttons(Schedule& s, size_t i, bool enabled, float y) {
    const Theme& theme = ui_.theme;
    for (size_t d = 0; d < 7; ++d) {
        const Rect r{row_left + static_cast<float>(d) * 36, y, 30, 30};
        const auto id = id_schedule_days + 8 * static_cast<uint32_t>(i) + static_cast<uint32_t>(d);
        const Interaction state = enabled ? interact(ui_, id, r) : unavailable(ui_, id, r);
        const bool on = s.days.contains(day_numbers[d]);
        set_role(ui_, id, Role::check_button, day_names[d], on);
        if (on) {
            filled_rect(ui_, r, 15, theme.accent);
        } else {
            filled_rect(ui_, r, 15, state.hovered ? theme.controlHover : theme.control);
            outlined_rect(ui_, r, 15, theme.controlBorder);
        }
        text_in_rect(ui_, day_labels[d], r, 12, true, TextAlign::center,
                     on ? theme.onAccent : theme.textPrimary);
        if (state.clicked) {
            if (on)
                s.days.remove(day_numbers[d]);
            else
                s.days.add(day_numbers[d]);
        }
    }
}

float SettingsWindow::schedules(float y) {
    Preferences& p = model_.prefs;
    const float w = content_width_ - 30;
    const Theme& theme = ui_.theme;
    {
        Card card(ui_, y, content_width_);
        flip_switch(ui_, id_schedules, y, w, "Usar horarios programados", p.schedulesEnabled);
        y = hint(ui_, y - 6, row_left, w,
                 "Torvane se enciende al empezar cada horario y se apaga al terminar. Igual podés "
                 "prenderlo o apagarlo a mano cuando quieras; si lo apagás dentro de un horario, "
                 "queda apagado hasta el próximo.");
    }
    const bool enabled = p.schedulesEnabled;
    std::optional<size_t> removed;
    for (size_t i = 0; i < p.schedules.size(); ++i)
        if (schedule_card(p.schedules[i], i, enabled, y)) removed = i;
    if (removed) p.schedules.erase(p.schedules.begin() + static_cast<std::ptrdiff_t>(*removed));
    const std::string_view add = "Agregar horario";
    const float add_width = button_width(ui_, add, 13, 11) + 24;
    const Rect add_rect{card_left, y, add_width, 32};
    if (button(ui_, id_add_schedule, add_rect, "", 13)) {
        Schedule schedule = Schedule::new_default();
        schedule.name = "Horario " + std::to_string(p.schedules.size() + 1);
        p.schedules.push_back(std::move(schedule));
    }
    describe(ui_, id_add_schedule, add);
    glyph(ui_, L'\xE710', {add_rect.x + 18, add_rect.y + 16}, 13, theme.textPrimary);
    label(ui_, add, {add_rect.x + 32, add_rect.y + 7}, 13, false, theme.textPrimary);
    return y + 44;
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
