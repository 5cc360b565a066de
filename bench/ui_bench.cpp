// Measures the windows under Wine: the full layout of the panel and of each settings tab with
// its display list (no painting), and the time from the icon's click to the panel shown and
// painted, first and later opens. Prints medians; not a test. Usage: wine ui_bench.exe [LAYOUTS]

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "allocations.h"
#include "core/platform.h"
#include "win/app.h"
#include "win/screens.h"
#include "win/ui/panel.h"
#include "win/ui/settings.h"

namespace {

using namespace torvane;

double now_ms() {
    LARGE_INTEGER frequency, counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Median time of `count` layouts, and the program's allocations per layout.
template <class Layout>
void measure(const char* name, int count, Layout&& layout) {
    layout();  // the first one creates what later ones reuse
    std::vector<double> times;
    times.reserve(static_cast<size_t>(count));
    const uint64_t before = allocations.load();
    for (int i = 0; i < count; ++i) {
        const double began = now_ms();
        layout();
        times.push_back(now_ms() - began);
    }
    const double allocs = static_cast<double>(allocations.load() - before) / count;
    std::printf("%-24s median %.3f ms, %.2f allocations each\n", name, median(times), allocs);
}

// The icon's left click as the shell delivers it, then the first paint.
double open_ms(App& app) {
    const double began = now_ms();
    toggle_panel(app);
    UpdateWindow(app.panel->handle());
    return now_ms() - began;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const int layouts = argc > 1 ? std::max(1, _wtoi(argv[1])) : 2000;
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    auto renderer = Renderer::create();
    MainWindow main_window;
    if (!renderer || !main_window.create()) return 1;
    Preferences prefs = Preferences::defaults();
    prefs.hotkey = false;
    App app(main_window.handle(), renderer.value(), prefs, L"bench-prefs.json", local_now());
    app.tray.shell_notify = [](DWORD, PNOTIFYICONDATAW) -> BOOL { return TRUE; };
    refresh(app);  // the icon is drawn at start-up, before any click

    const double first = open_ms(app);
    std::vector<double> opens;
    for (int i = 0; i < 20; ++i) {
        app.panel->hide();
        Sleep(400);  // past the icon's 350 ms rule
        opens.push_back(open_ms(app));
    }

    std::printf("open (click to painted): first %.1f ms, later median %.1f ms\n", first,
                median(opens));

    // Switched on with a timer: the panel at its busiest without an update.
    apply_effects(app, activate_for(app.engine, app.prefs, local_now(), 3600));
    app.engine.last_tick = local_now();
    measure("panel layout", layouts, [&] { app.panel->layout(); });

    app.prefs.schedulesEnabled = true;
    app.prefs.schedules.push_back(Schedule::new_default());
    const char* tabs[] = {"settings General", "settings Movimiento", "settings Condiciones",
                          "settings Horarios"};
    for (int tab = 0; tab < 4; ++tab) {
        open_settings(app, tab);
        measure(tabs[tab], layouts, [&] { app.settings->layout(); });
    }
    app.settings.reset();
    app.panel.reset();
    return 0;
}
