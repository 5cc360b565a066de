#pragma once
// The panel that opens beside the notification area when the icon is clicked: the current
// state at a glance and every quick action, drawn by the widget layer. It is created on first
// use and afterwards only hidden and shown. UI thread only.

#include <windows.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "win/ui/screen.h"

namespace torvane {

inline constexpr float panel_width = 310;

// Where the panel goes, in physical pixels: beside the taskbar of the monitor under `anchor`
// (inferred from how its work area differs from the monitor), or above the bottom edge when
// the taskbar hides itself, kept `12 × scale` pixels inside the work area.
RECT panel_placement(POINT anchor, const RECT& monitor, const RECT& work, float scale,
                     float content_height);

class Panel final : public Screen {
public:
    Panel(Renderer& renderer, ScreenModel model);
    ~Panel() override;

    // Opens the panel at the pointer; creates the window on first use. False when it cannot.
    bool show();
    void hide();
    bool visible() const;
    // Runs the layout again, follows a change of height and repaints.
    void repaint() override;
    void set_theme(const Theme& theme) { ui_.theme = theme; }

    // When the panel last hid itself; read by the icon's left-click rule.
    std::optional<std::chrono::steady_clock::time_point> hidden_at;
    // When it last opened: a focus loss soon after is the opening click's own.
    std::chrono::steady_clock::time_point shown_at{};
    // For tests and measurements: the layout alone, without placing or painting.
    float layout();

private:
    std::optional<LRESULT> on_window_message(UINT message, WPARAM wparam, LPARAM lparam) override;
    void on_button_up() override;
    void close() override { hide(); }
    void scroll_by(float delta) override;
    float view_height() const override;
    void reveal(const Focusable& focused) override;

    bool create_window();
    void place();

    // The parts of the layout, each taking and returning the running y; `top` is where the
    // scrolled content begins.
    void header(float top);
    float update_row(float top);
    float information_rows(float y);
    float activate_rows(float y);
    float program_rows(float y);
    float pause_rows(float y);
    float footer(float y);

    float content_height_ = 400;
    float view_limit_ = 1e6f;  // DIPs: the tallest view the work area leaves
    float scroll_ = 0;
    POINT anchor_{};
    bool rounded_corners_ = false;
    std::string text_;                     // scratch for composed texts
    std::vector<std::string> read_texts_;  // as screen readers were last told
};

}  // namespace torvane
