#pragma once
// "Preferencias de Torvane": every preference edited live in four tabs, laid out by the widget
// layer like the panel. A change takes effect at once and is saved by the shell's delayed
// write. The window is created when asked for and destroyed when closed; the program runs on.
// UI thread only.

#include <windows.h>

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "win/ui/screen.h"

namespace torvane {

struct Preferences;
struct Rows;
struct Schedule;

enum class SettingsTab : int { general = 0, movement = 1, conditions = 2, schedules = 3 };

// The interval slider is logarithmic from 5 s to 24 h: its position for an interval, and the
// interval a position gives, snapped to a step that grows with the value.
double interval_slider_position(double interval);
double interval_from_slider(double position);
// "−" and "+": 5 s steps below a minute, minutes from there, within 5 s … 24 h.
double interval_step(double interval, bool up);

// Where the window opens, in pixels: 600 × 660 DIPs centred in the work area, never above or
// left of it, and never taller than it.
RECT settings_bounds(const RECT& work, float scale);

class SettingsWindow final : public Screen {
public:
    SettingsWindow(Renderer& renderer, ScreenModel model);
    ~SettingsWindow() override;

    // Shows the window on `tab`, creating it when it does not exist. False when it cannot.
    bool open(SettingsTab tab);
    bool is_open() const { return handle() != nullptr; }
    SettingsTab tab() const { return tab_; }
    void repaint() override;
    // Windows changed its colors: the palette and the title bar follow.
    void set_theme(const Theme& theme);
    // Once a tick: the "Estado ahora" preview while the conditions show.
    void tick();

    // For tests and measurements: the layout alone, without painting.
    void layout();
    float scroll() const { return scroll_[static_cast<size_t>(tab_)]; }
    const std::optional<std::string>& preview() const { return preview_; }

private:
    std::optional<LRESULT> on_window_message(UINT message, WPARAM wparam, LPARAM lparam) override;
    void on_button_up() override;
    void close() override { destroy(); }
    void scroll_by(float delta) override;
    float view_height() const override { return view_height_ - 67; }
    void reveal(const Focusable& focused) override;
    void switch_tab(SettingsTab tab);

    bool create_window();
    void take_scale(float scale);
    void refresh_preview();

    float tab_bar();
    float content(float top);
    void general(Rows& rows);
    void updates_card(Rows& rows);
    void movement(Rows& rows);
    void interval_card(Preferences& p, Rows& rows);
    void distance_row(Preferences& p, Rows& rows);
    void conditions(Rows& rows);
    void schedules(Rows& rows);
    bool schedule_card(Schedule& s, size_t i, bool enabled, Rows& rows);
    void day_buttons(Schedule& s, size_t i, bool enabled, Point at);

    SettingsTab tab_ = SettingsTab::general;
    std::array<float, 4> scroll_{};
    std::optional<std::string> preview_;
    bool autostart_shown_ = false;
    float width_ = 600;  // client area in DIPs
    float view_height_ = 660;
    float content_width_ = 556;            // cards: the client area less margins and scroll bar
    std::string text_;                     // scratch for composed texts
    std::vector<std::string> read_texts_;  // as screen readers were last told
};

}  // namespace torvane
