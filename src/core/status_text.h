#pragma once
// Spanish wording of durations, clock times and the system's state.

#include <optional>
#include <string>
#include <string_view>

#include "core/time.h"

namespace torvane {

// "45 s", "3 min 20 s", "12 min", "1 h 5 min", "2 h".
std::string human_duration(double seconds);
// "4:05", "1:02:03" (rounded up to whole seconds).
std::string clock_countdown(double seconds);
// "18:00" today, "mié 09:05" on another day.
std::string until_time(LocalTime target, LocalDays today);

// The same, appended to `out` (no allocation while `out` has room).
void append_human_duration(std::string& out, double seconds);
void append_clock_countdown(std::string& out, double seconds);
void append_until_time(std::string& out, LocalTime target, LocalDays today);

namespace text {
// Status (the engine's status detail).
inline constexpr std::string_view off = "Apagado";
inline constexpr std::string_view programmed = "Programado";
inline constexpr std::string_view paused = "En pausa";
inline constexpr std::string_view active = "Activo";
inline constexpr std::string_view working = "Trabajando";
inline constexpr std::string_view waiting_idle_prefix = "Esperando inactividad · ";
inline constexpr std::string_view next_in_infix = " · próximo en ";
inline constexpr std::string_view just_moved = "Trabajando · movió recién";
inline constexpr std::string_view blocked_locked = "Pausado: pantalla bloqueada";
inline constexpr std::string_view blocked_battery = "Pausado: usando batería";
inline constexpr std::string_view blocked_no_condition = "Pausado: no se cumple ninguna condición";
std::string blocked_battery_low(int percent);         // "Pausado: batería baja (15%)"
std::string blocked_frontmost(std::string_view app);  // "Pausado: {app} está al frente"

// Notifications.
inline constexpr std::string_view title_on = "Torvane activado";
inline constexpr std::string_view title_off = "Torvane desactivado";
inline constexpr std::string_view by_hotkey = "Con el atajo de teclado";
inline constexpr std::string_view programmed_on = "Encendido programado";
std::string programmed_on_until(LocalTime stop, LocalDays today);
inline constexpr std::string_view pause_ended = "Terminó la pausa";
inline constexpr std::string_view timer_ended = "Terminó el temporizador";
std::string schedule_started(std::string_view name);  // Empezó "{name}"
inline constexpr std::string_view schedule_ended = "Terminó el horario";

// Panel lines.
std::string panel_timer(LocalTime timer, LocalTime now);
std::string panel_programmed(LocalTime start, std::optional<LocalTime> stop, LocalDays today);
std::string panel_pause(LocalTime pause_end, LocalTime now);
std::string panel_schedule_active(std::string_view name, LocalTime until, LocalDays today);
std::string panel_next_schedule(LocalTime start, LocalDays today);
std::string panel_footer(unsigned moves, LocalTime last_move, LocalDays today);

// Tray tooltip, cut to 127 UTF-16 code units.
std::string tooltip_status(std::string_view status);
std::string tooltip_countdown(double seconds_left);
// The longest prefix of `text` that fits in `units` UTF-16 code units, cut at a whole character.
std::string cut_utf16(std::string_view text, std::size_t units);
}  // namespace text

}  // namespace torvane
