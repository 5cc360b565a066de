#include "win/ui/panel.h"

namespace torvane {

void show_panel(App&) {}
void hide_panel(App&) {}
bool panel_visible(const App&) {
    return false;
}
void toggle_panel(App&) {}
void draw_panel(App&) {}

}  // namespace torvane
