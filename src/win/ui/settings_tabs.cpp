#include "win/ui/settings.h"

#include <algorithm>
#include <cmath>

#include "core/platform.h"
#include "core/status_text.h"
#include "win/log.h"
#include "win/registration.h"
#include "win/ui/settings_rows.h"
#include "win/update.h"
#include "win/update_install.h"
#include "win/version.h"
#include "win/wtext.h"

// The four tabs' contents: what each shows, in cards of rows, and the preference each control
// edits.

namespace torvane {

namespace {

constexpr double log_span = 9.757305042358047;  // ln(86400 / 5)

// Widget ids, after the tab bar's; fields keep theirs so that focus survives a repaint.
enum : uint32_t {
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

void SettingsWindow::general(Rows& rows) {
    Preferences& p = model_.prefs;
    {
        Card card(ui_, rows);
        if (switch_row(ui_, rows, id_autostart, "Abrir Torvane al iniciar sesión",
                       autostart_shown_)) {
            log_failure("No se pudo cambiar el inicio con la sesión",
                        set_autostart(!autostart_shown_));
            autostart_shown_ = autostart_enabled();
        }
        flip_switch(ui_, rows, id_restore, "Recordar si estaba activo al abrir", p.restoreState);
        flip_switch(ui_, rows, id_hotkey, "Atajo global Ctrl+Alt+Shift+J para activar / desactivar",
                    p.hotkey);
    }
    {
        Card card(ui_, rows);
        flip_switch(ui_, rows, id_countdown,
                    "Mostrar la cuenta regresiva al pasar el mouse por el ícono",
                    p.countdownInMenuBar);
        flip_switch(ui_, rows, id_notifications,
                    "Avisar con notificaciones cuando se prende o se apaga solo", p.notifications);
        flip_switch(ui_, rows, id_quit_when_timer_ends,
                    "Al terminar un temporizador, cerrar la app", p.quitWhenTimerEnds);
    }
    {
        Card card(ui_, rows);
        // The refresh after the click applies the power request.
        flip_switch(ui_, rows, id_display, "Mantener la pantalla encendida mientras está activo",
                    p.preventDisplaySleep);
        hint(ui_, rows, 0,
             "Evita que la pantalla y la PC se duerman aunque no se mueva nada. Se libera al "
             "apagar Torvane.");
    }
    updates_card(rows);
    const float values = rows.left + 103;
    label(ui_, "Versión", {rows.left, rows.y + 4}, 13, false, ui_.theme.textSecondary);
    label(ui_, running_version(), {values, rows.y + 4}, 13, false, ui_.theme.textPrimary);
    rows.y += 24;
    label(ui_, "Hecho por", {rows.left, rows.y + 4}, 13, false, ui_.theme.textSecondary);
    label(ui_, "brisol", {values, rows.y + 4}, 13, false, ui_.theme.textPrimary);
    rows.y += 24;
}

void SettingsWindow::updates_card(Rows& rows) {
    Preferences& p = model_.prefs;
    section_title(ui_, rows, "Actualizaciones");
    Card card(ui_, rows);
    flip_switch(ui_, rows, id_auto_check, "Buscar actualizaciones automáticamente",
                p.autoCheckUpdates);
    if (switch_row(ui_, rows, id_auto_install,
                   "Instalarlas solas (reinicia la app y mantiene el estado)", p.autoInstallUpdates,
                   p.autoCheckUpdates))
        p.autoInstallUpdates = !p.autoInstallUpdates;
    const UpdateView update = update_view(*model_.updater);
    const std::optional<std::string>& available = update.offered_version;
    const bool busy = update.busy;
    text_ = update.status;
    if (!text_.empty()) {
        const float top = rows.y + 4;
        hint(ui_, rows, 4, text_);
        readable_text(ui_, text_, {rows.left, top, rows.width, rows.y - top});
        rows.y += 4;
    }
    const float check_width = button_width(ui_, "Buscar ahora", 13, 11);
    if (button(ui_, id_check_now, {rows.left, rows.y + 4, check_width, 30}, "Buscar ahora", 13))
        check_for_updates(model_.updater, true);
    if (available) {
        text_ = "Instalar " + *available;
        const float install_width = button_width(ui_, text_, 13, 11);
        if (button(ui_, id_install, {rows.left + check_width + 8, rows.y + 4, install_width, 30},
                   text_, 13, !busy))
            start_install(model_.updater);
    }
    rows.y += 38;
}

void SettingsWindow::interval_card(Preferences& p, Rows& rows) {
    const Theme& theme = ui_.theme;
    section_title(ui_, rows, "Intervalo");
    Card card(ui_, rows);
    label(ui_, "Cada", {rows.left, rows.y + 8.5f}, 13, false, theme.textPrimary);
    text_.clear();
    append_human_duration(text_, p.interval);
    label(ui_, text_, {rows.left + 43, rows.y + 8.5f}, 13, true, theme.textPrimary);
    if (button(ui_, id_interval_down, {rows.right() - 72, rows.y + 4, 32, 28}, "−", 14))
        p.interval = interval_step(p.interval, false);
    describe(ui_, id_interval_down, "Menos");
    if (button(ui_, id_interval_up, {rows.right() - 34, rows.y + 4, 32, 28}, "+", 14))
        p.interval = interval_step(p.interval, true);
    describe(ui_, id_interval_up, "Más");
    rows.y += 40;
    // The ends stay clear of the card's edges so that their labels fit.
    const float left = rows.left + 12, right = rows.right() - 17;
    const Rect track{left - 9, rows.y, right - left + 18, 20};
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
        text_in_rect(ui_, tick.label, {x - 30, rows.y + 22, 60, 15}, 11, false, TextAlign::center,
                     theme.textSecondary);
    }
    rows.y += 42;
    flip_checkbox(ui_, rows, id_randomize,
                  "Variar un poco el intervalo y la dirección (más natural)", p.randomize);
    hint(ui_, rows, 2,
         "Usá un tiempo menor al del protector de pantalla y al de apagado de pantalla de "
         "Configuración de Windows.");
}

// The "Distancia" slider, only shown for standard moves.
void SettingsWindow::distance_row(Preferences& p, Rows& rows) {
    const Theme& theme = ui_.theme;
    rows.y += 6;
    label(ui_, "Distancia", {rows.left, rows.y}, 13, false, theme.textPrimary);
    rows.y += 24;
    const float y = rows.y;
    label(ui_, "cerca", {rows.left, y + 2}, 12, false, theme.textSecondary);
    const float right = rows.right() + 1;
    const float lejos = ui_.renderer->text_width("lejos", 12, false);
    label(ui_, "lejos", {right - lejos, y + 2}, 12, false, theme.textSecondary);
    const float left = rows.left + ui_.renderer->text_width("cerca", 12, false) + 10;
    const Rect track{left, y, right - lejos - 10 - left, 20};
    if (const std::optional<float> position = slider(
            ui_, id_distance, track, static_cast<float>((p.distance - 1) / 59), true, 1.0f / 59))
        p.distance = *position * 59.0 + 1;
    describe(ui_, id_distance, "Distancia", std::to_string(std::lround(p.distance)));
    rows.y += 28;
}

void SettingsWindow::movement(Rows& rows) {
    Preferences& p = model_.prefs;
    interval_card(p, rows);
    section_title(ui_, rows, "Cuándo mover");
    {
        Card card(ui_, rows);
        const char* policies[] = {"Siempre que esté activo", "Solo si no tocaste teclado ni mouse"};
        for (int i = 0; i < 2; ++i) {
            const auto policy = static_cast<MovePolicy>(i);
            if (radio_row(ui_, rows, id_policy + static_cast<uint32_t>(i), policies[i],
                          p.policy == policy, id_policy))
                p.policy = policy;
        }
    }
    section_title(ui_, rows, "Cómo mover");
    Card card(ui_, rows);
    const char* modes[] = {"Estándar — mueve el cursor",
                           "Zen — resetea la inactividad sin mover el cursor",
                           "Click — hace un click sin mover el cursor"};
    for (int i = 0; i < 3; ++i) {
        const auto mode = static_cast<MoveMode>(i);
        if (radio_row(ui_, rows, id_mode + static_cast<uint32_t>(i), modes[i], p.mode == mode,
                      id_mode))
            p.mode = mode;
    }
    if (p.mode == MoveMode::standard) distance_row(p, rows);
    flip_switch(ui_, rows, id_nudge_icon, "Mostrar un ícono en pantalla cada vez que mueve",
                p.showIconOnJiggle);
    const float try_width = button_width(ui_, "Probar ahora", 13, 11);
    if (button(ui_, id_try_now, {rows.left, rows.y + 4, try_width, 30}, "Probar ahora", 13))
        model_.apply_effects(nudge_now(model_.engine, p, local_now()));
    wrapped_text(ui_, "Hace un movimiento ya, con la configuración actual.",
                 {rows.left + try_width + 12, rows.y + 4}, rows.width - try_width - 12, 12,
                 ui_.theme.textSecondary, 30);
    rows.y += 38;
}

void SettingsWindow::conditions(Rows& rows) {
    Preferences& p = model_.prefs;
    section_title(ui_, rows, "Mover solo si se cumple al menos una (si marcás alguna)");
    {
        Card card(ui_, rows);
        const SliderRowResult cpu =
            slider_row(ui_, rows, id_cpu, id_cpu_threshold, "La CPU está trabajando, uso mayor a",
                       p.reqCPU, p.cpuThreshold, 95, p.reqCPU);
        if (cpu.toggled) p.reqCPU = !p.reqCPU;
        if (cpu.value) p.cpuThreshold = *cpu.value;
        flip_checkbox(ui_, rows, id_disk, "Hay un disco extraíble con escritura conectado",
                      p.reqRemovableDisk);
        flip_checkbox(ui_, rows, id_audio, "Está sonando audio (música, video o una llamada)",
                      p.reqAudio);
        list_row(ui_, rows, id_apps, id_apps_list, "Está abierta alguna de estas apps:", p.reqApps,
                 p.reqAppsList, "Teams, Slack, Zoom");
        text_ =
            "Separá las apps con comas. Alcanza con parte del nombre: \"tea\" encuentra "
            "\"Teams\". CPU ahora: ";
        if (model_.engine.cpu_sampled) {
            text_ += std::to_string(static_cast<int>(model_.engine.cpu_average * 100));
            text_ += '%';
        } else {
            text_ += "—";
        }
        Rows under = rows.under_checkbox();
        hint(ui_, under, 2, text_);
        rows.y = under.y;
    }
    section_title(ui_, rows, "Nunca mover si");
    {
        Card card(ui_, rows);
        flip_checkbox(ui_, rows, id_battery, "Está usando solo la batería", p.neverOnBattery);
        const SliderRowResult battery = slider_row(
            ui_, rows, id_battery_low, id_battery_threshold, "La batería está por debajo de",
            p.neverBatteryLow, p.batteryThreshold, 80, p.neverBatteryLow);
        if (battery.toggled) p.neverBatteryLow = !p.neverBatteryLow;
        if (battery.value) p.batteryThreshold = *battery.value;
        flip_checkbox(ui_, rows, id_locked, "La pantalla está bloqueada", p.neverLocked);
        list_row(ui_, rows, id_frontmost, id_frontmost_list,
                 "La app al frente se llama:", p.neverFrontmost, p.neverFrontmostList,
                 "PowerPoint, Zoom");
    }
    section_title(ui_, rows, "Estado ahora");
    Card card(ui_, rows);
    const std::string_view state =
        preview_ ? std::string_view(*preview_) : "Con la configuración actual, puede mover";
    const float height = wrapped_text(ui_, state, {rows.left, rows.y + 6}, rows.width, 13,
                                      preview_ ? ui_.theme.warning : ui_.theme.success);
    readable_text(ui_, state, {rows.left, rows.y + 6, rows.width, height});
    rows.y += 6 + height;
    rows.y += 6;
}

// One schedule's card; true when its delete button was clicked.
bool SettingsWindow::schedule_card(Schedule& s, size_t i, bool enabled, Rows& rows) {
    const Theme& theme = ui_.theme;
    const auto base = id_schedule_fields + 8 * static_cast<uint32_t>(i);
    Card card(ui_, rows);
    // In reading order, as the keyboard goes: switch, name, delete.
    if (switch_toggle(ui_, base + 3, {rows.left, rows.y + 6}, s.enabled, enabled))
        s.enabled = !s.enabled;
    describe(ui_, base + 3, s.name);
    if (auto name = text_field(ui_, base, {rows.left + 49, rows.y, rows.width - 86, 32},
                               widen(s.name), "Nombre", 14, true, true, enabled))
        s.name = narrow(*name);
    describe(ui_, base, "Nombre");
    const bool removed =
        icon_button(ui_, base + 4, {rows.right() - 27, rows.y + 3, 28, 26}, L'\xE74D', enabled);
    describe(ui_, base + 4, "Borrar horario");
    rows.y += 40;
    const float left = rows.left;
    {
        const Faded faded(ui_, !enabled);
        day_buttons(s, i, enabled, {left, rows.y});
        rows.y += 40;
        label(ui_, "De", {left, rows.y + 7}, 13, false, theme.textPrimary);
        label(ui_, "a", {left + 93, rows.y + 7}, 13, false, theme.textPrimary);
    }
    // The time fields fade themselves when disabled: once, not again inside the card's fade.
    if (auto start = time_field(ui_, base + 1, {left + 25, rows.y, 58, 31}, s.start, enabled))
        s.start = *start;
    if (auto end = time_field(ui_, base + 2, {left + 109, rows.y, 58, 31}, s.end, enabled))
        s.end = *end;
    describe(ui_, base + 1, "De");
    describe(ui_, base + 2, "a");
    if (s.end <= s.start) {
        const Faded faded(ui_, !enabled);
        label(ui_, "(termina al día siguiente)", {left + 177, rows.y + 8}, 12, false,
              theme.textSecondary);
    }
    rows.y += 33;
    return removed;
}

// The seven day buttons, Monday first, each toggling its day.
void SettingsWindow::day_buttons(Schedule& s, size_t i, bool enabled, Point at) {
    const Theme& theme = ui_.theme;
    for (size_t d = 0; d < 7; ++d) {
        const Rect r{at.x + static_cast<float>(d) * 36, at.y, 30, 30};
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

void SettingsWindow::schedules(Rows& rows) {
    Preferences& p = model_.prefs;
    const Theme& theme = ui_.theme;
    {
        Card card(ui_, rows);
        flip_switch(ui_, rows, id_schedules, "Usar horarios programados", p.schedulesEnabled);
        hint(ui_, rows, 0,
             "Torvane se enciende al empezar cada horario y se apaga al terminar. Igual podés "
             "prenderlo o apagarlo a mano cuando quieras; si lo apagás dentro de un horario, "
             "queda apagado hasta el próximo.");
    }
    const bool enabled = p.schedulesEnabled;
    std::optional<size_t> removed;
    for (size_t i = 0; i < p.schedules.size(); ++i)
        if (schedule_card(p.schedules[i], i, enabled, rows)) removed = i;
    if (removed) p.schedules.erase(p.schedules.begin() + static_cast<std::ptrdiff_t>(*removed));
    const std::string_view add = "Agregar horario";
    const float add_width = button_width(ui_, add, 13, 11) + 24;
    const Rect add_rect{rows.left - card_padding, rows.y, add_width, 32};
    if (button(ui_, id_add_schedule, add_rect, "", 13)) {
        Schedule schedule = Schedule::new_default();
        schedule.name = "Horario " + std::to_string(p.schedules.size() + 1);
        p.schedules.push_back(std::move(schedule));
    }
    describe(ui_, id_add_schedule, add);
    glyph(ui_, L'\xE710', {add_rect.x + 18, add_rect.y + 16}, 13, theme.textPrimary);
    label(ui_, add, {add_rect.x + 32, add_rect.y + 7}, 13, false, theme.textPrimary);
    rows.y += 44;
}

}  // namespace torvane
