#include "win/ui/settings.h"

namespace torvane {

void open_settings(App&, int) {}
void settings_tick(App&) {}
void draw_settings(App&) {}

}  // namespace torvane
