// The pointer messages of a widget window, turned into the hovered, pressed and clicked widget.
#include <windowsx.h>

#include <algorithm>
#include <utility>

#include "win/ui/widgets.h"

namespace torvane {

namespace {

bool contains(const Rect& r, Point p) {
    return p.x >= r.x && p.x < r.x + r.w && p.y >= r.y && p.y < r.y + r.h;
}

}  // namespace

bool pointer_moved(UiContext& ui, LPARAM position) {
    ui.pointer = {static_cast<float>(GET_X_LPARAM(position)) / ui.scale,
                  static_cast<float>(GET_Y_LPARAM(position)) / ui.scale};
    if (!ui.tracking_leave) {
        TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, ui.window, 0};
        ui.tracking_leave = TrackMouseEvent(&track) != FALSE;
    }
    uint32_t hot = 0;
    for (auto region = ui.regions.rbegin(); region != ui.regions.rend(); ++region) {
        if (contains(region->rect, ui.pointer)) {
            hot = region->id;
            break;
        }
    }
    const bool changed = hot != ui.hot_id;
    ui.hot_id = hot;
    return changed || ui.active_id != 0;
}

bool pointer_left(UiContext& ui) {
    ui.tracking_leave = false;
    ui.pointer = {-1, -1};
    return std::exchange(ui.hot_id, 0) != 0;
}

bool button_pressed(UiContext& ui) {
    SetCapture(ui.window);
    SetFocus(ui.window);
    ui.active_id = ui.hot_id;
    if (ui.hot_id != 0) ui.focus_id = ui.hot_id;
    return ui.active_id != 0;
}

void button_released(UiContext& ui) {
    if (ui.active_id != 0 && ui.active_id == ui.hot_id) ui.clicked_id = ui.active_id;
    ui.active_id = 0;
    // Last: releasing the capture reports its loss at once, which must find the press ended.
    ReleaseCapture();
}

bool capture_lost(UiContext& ui) {
    return std::exchange(ui.active_id, 0) != 0;
}

void reset_pointer(UiContext& ui) {
    if (ui.tracking_leave) {
        TRACKMOUSEEVENT track{sizeof track, TME_LEAVE | TME_CANCEL, ui.window, 0};
        TrackMouseEvent(&track);
    }
    ui.tracking_leave = false;
    ui.pointer = {-1, -1};
    ui.hot_id = ui.active_id = ui.clicked_id = 0;
    ui.focus_cues = false;
}

std::optional<float> scroll_key(WPARAM key, float view) {
    constexpr float line = 48, to_end = 1e6f;
    switch (key) {
        case VK_UP:
            return -line;
        case VK_DOWN:
            return line;
        case VK_PRIOR:
            return -std::max(view - line, line);
        case VK_NEXT:
            return std::max(view - line, line);
        case VK_HOME:
            return -to_end;
        case VK_END:
            return to_end;
    }
    return std::nullopt;
}

void set_pointer_cursor(const UiContext& ui) {
    bool hand = false;
    for (auto region = ui.regions.rbegin(); region != ui.regions.rend(); ++region) {
        if (contains(region->rect, ui.pointer)) {
            hand = region->hand;
            break;
        }
    }
    SetCursor(LoadCursorW(nullptr, hand ? IDC_HAND : IDC_ARROW));
}

}  // namespace torvane
