#pragma once
// The application's two screens, the panel and the settings window: each is made on first use
// with what it may see and do of the application, then shown, drawn and themed by the shell.
// UI thread only.

#include "win/app.h"

namespace torvane {

void show_panel(App& app);
void hide_panel(App& app);
bool panel_visible(const App& app);
// Left click on the icon: hides a visible panel, else shows it unless it hid itself < 350 ms ago.
void toggle_panel(App& app);
// The repaint of the refresh step, for a visible panel.
void draw_panel(App& app);
// Windows changed its colors: the panel takes the application's new theme.
void panel_theme_changed(App& app);

// Opens the settings window on tab `tab` (0–3, as the shell's commands number them).
void open_settings(App& app, int tab);
bool settings_open(const App& app);
// Once a second, for the live preview.
void settings_tick(App& app);
// The repaint of the refresh step.
void draw_settings(App& app);
void settings_theme_changed(App& app);

}  // namespace torvane
