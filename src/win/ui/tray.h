#pragma once
// The notification-area icon: four states drawn at run time, a one-line tooltip, and the mouse
// and keyboard events the shell turns into panel and keep-awake actions. Runs on the UI thread
// only.

#include <windows.h>

#include <shellapi.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/engine.h"
#include "core/prefs.h"
#include "win/handle.h"
#include "win/messages.h"
#include "win/ui/d2d.h"

namespace torvane {

// The accent darkened to luminance 0.55 when brighter, lightened by 35 % when darker than 0.18;
// channels truncated toward zero; the result is opaque.
Color contrast_adjusted(Color accent);

// "AccentColor" under `root`\Software\Microsoft\Windows\DWM (low byte red, then green, blue),
// or the default when the value is missing or not a DWORD.
Color read_accent(HKEY root);

enum class TrayState : uint8_t { active, blocked, working, off };

TrayState tray_state(const EngineState& s);
std::string_view tray_state_name(TrayState state);

// Circle color of a state; "active" takes the adjusted accent.
Color tray_state_color(TrayState state, Color adjusted_accent);

// "active-0067C0-16": state, adjusted accent and pixel size.
std::string tray_icon_key(TrayState state, Color adjusted_accent, int size);

// The small-icon width the shell asks for, but at least 16.
int tray_icon_size(int small_icon_metric);

// "Torvane · {status}", or the switch-off countdown measured from the engine's last tick when
// the preference asks for it and a timer runs; at most 127 UTF-16 code units.
std::string tray_tooltip(const EngineState& s, const Preferences& p);

// Draws one state's image at `size` × `size` pixels; null on any failure.
Icon draw_tray_icon(Renderer& renderer, TrayState state, Color adjusted_accent, int size);

inline constexpr UINT tray_icon_id = 1;
inline constexpr std::size_t tray_cache_limit = 8;

// A request about the program's icon: its size, owner and id, all else zero.
NOTIFYICONDATAW tray_icon_data(HWND owner);

// Same signature as Shell_NotifyIconW, so tests can watch the shell traffic.
using ShellNotify = BOOL(WINAPI*)(DWORD message, PNOTIFYICONDATAW data);

struct CachedIcon {
    std::string key;
    Icon icon;
};

// The icon record of the application object. Dropping it removes the icon from the shell.
struct TrayIcon {
    explicit TrayIcon(HWND owner_window, ShellNotify notify = &Shell_NotifyIconW)
        : owner(owner_window), shell_notify(notify) {}
    ~TrayIcon();
    TrayIcon(const TrayIcon&) = delete;
    TrayIcon& operator=(const TrayIcon&) = delete;

    HWND owner = nullptr;
    ShellNotify shell_notify = nullptr;
    bool added = false;
    std::string current_key;  // empty: no image shown
    std::string current_tooltip;
    std::vector<CachedIcon> cache;
    // The registry's accent and the small-icon width, read on the first refresh and again
    // after a change of colors or settings, so that the once-a-second refresh asks the
    // system nothing.
    std::optional<Color> accent;
    std::optional<int> icon_size;
};

// The image for `key`, from the cache or drawn and cached. When the cache is full, every entry
// but the one on screen goes first. Null when drawing fails.
HICON cached_tray_icon(TrayIcon& tray, Renderer& renderer, const std::string& key, TrayState state,
                       Color adjusted_accent, int size);

// Recomputes tooltip and image; calls the shell only when one of them changed or the icon is
// not added yet. Nothing reaches the shell when the image cannot be drawn.
void refresh_tray_icon(TrayIcon& tray, Renderer& renderer, const EngineState& s,
                       const Preferences& p);

// Explorer restarted ("TaskbarCreated"): the icon is gone, so add it again with the current
// image and tooltip.
void tray_taskbar_created(TrayIcon& tray, Renderer& renderer, const EngineState& s,
                          const Preferences& p);

// Windows reported a color change: the next refresh reads the accent again.
void tray_accent_changed(TrayIcon& tray);
// Windows reported a settings or display change: the next refresh asks the icon size again.
void tray_metrics_changed(TrayIcon& tray);
// NIM_DELETE when added.
void remove_tray_icon(TrayIcon& tray);

// What the shell's report of an event on the icon asks for: a left click shows or hides the
// panel, a right click hides it and toggles keep-awake, a clicked balloon or the icon chosen
// with the keyboard shows it.
enum class TrayAction : uint8_t { none, toggle_panel, toggle_keep_awake, show_panel };

// The action of the callback message (event in the low word of lParam); anything else, double
// clicks included, asks for none.
TrayAction tray_action(LPARAM lparam);

enum class PanelClick : uint8_t { hide, ignore, show };

// A left click hides a visible panel; a click less than 350 ms after the panel hid itself
// (the focus loss from this very click) leaves it hidden; otherwise it opens.
PanelClick left_click_action(bool panel_visible,
                             std::optional<std::chrono::milliseconds> since_hidden);

}  // namespace torvane
