#pragma once
// What the panel and the settings window are given of the application when it creates them,
// and the window code the two share. The screens read and edit the application's state in
// place; what only the application can do, they ask through its hooks. UI thread only.

#include <windows.h>

#include <functional>
#include <memory>

#include "core/engine.h"
#include "core/prefs.h"
#include "win/ui/widget_window.h"
#include "win/update_state.h"

namespace torvane {

struct ScreenModel {
    EngineState& engine;
    Preferences& prefs;
    const Preferences& written_prefs;  // as last saved: an edit differs from them
    ProbeSet& probes;
    const Theme& theme;
    std::shared_ptr<UpdaterState> updater;

    // Runs `work` unless a handler of the application is already under way (a message sent
    // from inside one of its calls), or the application is not there (before start-up, during
    // teardown): then nothing happens.
    std::function<void(const std::function<void()>& work)> when_free;
    // Carries out what an engine transition asks for (nudges, notifications, the power
    // request, quitting).
    std::function<void(Effects)> apply_effects;
    // Shows the state everywhere and arms the delayed save of edited preferences.
    std::function<void()> refresh;
    // Queued, to run once the current message is handled.
    std::function<void()> open_settings;
    std::function<void()> quit;
    // Runs what was queued; after every message the screen handles.
    std::function<void()> after_message;
};

class Screen : public WidgetWindow {
public:
    // Runs the layout again and repaints what changed.
    virtual void repaint() = 0;

protected:
    Screen(Renderer& renderer, Color Theme::*background, ScreenModel model);

    // Esc in a native field: the panel hides, the settings window closes.
    virtual void close() = 0;

    void relayout() final;

    ScreenModel model_;

private:
    void on_field_report(WPARAM wparam, LPARAM lparam) final;
    void after_message() final;
};

}  // namespace torvane
