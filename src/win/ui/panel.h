#pragma once
// The panel that opens from the notification-area icon. It is not built yet: the shell calls
// these seams, which show nothing, so a left click on the icon does nothing for now.

namespace torvane {

struct App;

void show_panel(App& app);
void hide_panel(App& app);
bool panel_visible(const App& app);
// Left click on the icon: hides a visible panel, else shows it unless it hid itself < 350 ms ago.
void toggle_panel(App& app);
// The repaint of the refresh step, for a visible panel.
void draw_panel(App& app);

}  // namespace torvane
