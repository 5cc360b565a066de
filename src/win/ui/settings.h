#pragma once
// The settings window. It is not built yet: the shell calls these seams, which do nothing.

namespace torvane {

struct App;

void open_settings(App& app, int page);
// Once a second, for the live preview; and the repaint of the refresh step.
void settings_tick(App& app);
void draw_settings(App& app);

}  // namespace torvane
