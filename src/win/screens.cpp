#include "win/screens.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "win/ui/panel.h"
#include "win/ui/settings.h"

namespace torvane {

namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

// What a screen is given of the application: its state in place, and hooks for what only the
// application does. The hooks hold the object, which owns the screens and so outlives them.
ScreenModel screen_model(App& app) {
    return {
        .engine = app.engine,
        .prefs = app.prefs,
        .written_prefs = app.written_prefs,
        .probes = app.probes,
        .theme = app.theme,
        .updater = app.updater,
        .when_free =
            [](const std::function<void()>& work) {
                if (AppBorrow borrowed; borrowed) work();
            },
        .apply_effects = [&app](Effects effects) { apply_effects(app, std::move(effects)); },
        .refresh = [&app] { refresh(app); },
        .open_settings = [&app] { queue_action(app, Command::settings_general); },
        .quit = [&app] { queue_action(app, Command::quit); },
        .after_message = run_pending_actions,
    };
}

}  // namespace

void show_panel(App& app) {
    if (!app.panel) app.panel = std::make_unique<Panel>(*app.renderer, screen_model(app));
    app.panel->show();
}

void hide_panel(App& app) {
    if (app.panel) app.panel->hide();
}

bool panel_visible(const App& app) {
    return app.panel && app.panel->visible();
}

void toggle_panel(App& app) {
    std::optional<milliseconds> since_hidden;
    if (app.panel && app.panel->hidden_at)
        since_hidden =
            std::chrono::duration_cast<milliseconds>(steady_clock::now() - *app.panel->hidden_at);
    switch (left_click_action(panel_visible(app), since_hidden)) {
        case PanelClick::hide:
            app.panel->hide();
            break;
        case PanelClick::show:
            show_panel(app);
            break;
        case PanelClick::ignore:  // the click that took the focus away hid it already
            break;
    }
}

void draw_panel(App& app) {
    if (panel_visible(app)) app.panel->repaint();
}

void panel_theme_changed(App& app) {
    if (app.panel) app.panel->set_theme(app.theme);
}

void open_settings(App& app, int tab) {
    hide_panel(app);
    if (!app.settings)
        app.settings = std::make_unique<SettingsWindow>(*app.renderer, screen_model(app));
    app.settings->open(static_cast<SettingsTab>(std::clamp(tab, 0, 3)));
}

bool settings_open(const App& app) {
    return app.settings && app.settings->is_open();
}

void settings_tick(App& app) {
    if (app.settings) app.settings->tick();
}

void draw_settings(App& app) {
    // Minimised, nothing of it shows.
    if (settings_open(app) && !IsIconic(app.settings->handle())) app.settings->repaint();
}

void settings_theme_changed(App& app) {
    if (app.settings) app.settings->set_theme(app.theme);
}

}  // namespace torvane
