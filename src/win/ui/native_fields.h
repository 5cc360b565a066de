#pragma once
// The text entry of the widget layer: numbers, times and free text are native edit controls,
// the only state the immediate-mode layer keeps from one layout to the next. A layout asks for
// the fields it shows over their drawn frames; when it ends, the controls are created, placed,
// colored and filled to match. What the user types and the keys the controls pass on come back
// to the next layout as events. UI thread only.

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "win/handle.h"
#include "win/ui/d2d.h"

namespace torvane {

enum class FieldKind : uint8_t { time, number, text };
enum class FieldEventKind : uint8_t { text_changed, commit, up, down };

// A native field's report to its parent window, posted as `field_report_message`.
inline constexpr UINT field_report_message = WM_APP + 1;
enum class FieldReport : uint8_t {
    commit = 2,
    up = 3,
    down = 4,
    close = 5,
    next = 6,
    previous = 7
};

struct FieldEvent {
    uint32_t id = 0;
    FieldEventKind kind = FieldEventKind::text_changed;
    unsigned caret = 0;
    std::wstring text;
};

// One native field the current layout asked for.
struct FieldRequest {
    uint32_t id = 0;
    FieldKind kind = FieldKind::number;
    Rect rect;
    TextAlign align = TextAlign::center;
    float size = 13;
    bool semibold = false;
    bool enabled = true;
    bool in_view = true;  // inside the clip the layout had when it asked for the field
    Color background = 0;
    // The text the field should show, and whether it must replace what the control holds even
    // while it has the focus (after Up, Down or a commit).
    std::wstring text;
    bool force_text = false;
    // Selection applied after a replacement: (0, -1) selects all.
    int selection_start = 0;
    int selection_end = -1;
    // Number fields: the value the control's text must parse to while it has the focus.
    std::optional<uint32_t> value;
};

// A created edit control and what was last applied to it.
struct NativeField {
    uint32_t id = 0;
    HWND control = nullptr;
    RECT placed{};
    bool visible = false;
    bool enabled = true;
    HFONT font = nullptr;
    Brush brush;
    Color background = 0;
    Color text_color = 0;
};

struct CachedFont {
    uint32_t size = 0;  // tenths of a DIP
    bool semibold = false;
    Font font;
    int text_height = 1;  // pixels
};

struct UiContext;

// The ends of a layout: at the start, which field holds the keyboard focus; at the end, the
// controls made, placed, shown, hidden and filled as the layout asked.
void note_focused_field(UiContext& ui);
void apply_field_requests(UiContext& ui);
// The scale changed: fonts are made again and every field is placed again.
void forget_field_geometry(UiContext& ui);

// Native fields; each returns a new value when the user changed it.
std::optional<uint32_t> number_field(UiContext& ui, uint32_t id, Rect rect, uint32_t value,
                                     uint32_t maximum);
std::optional<uint32_t> time_field(UiContext& ui, uint32_t id, Rect rect, uint32_t minutes,
                                   bool enabled = true);
// "Durante" [hours] h [minutes] min; new minutes = hours × 60 + minutes.
std::optional<uint32_t> duration_row(UiContext& ui, float y, uint32_t hours_id, uint32_t minutes_id,
                                     uint32_t minutes);
std::optional<std::wstring> text_field(UiContext& ui, uint32_t id, Rect rect,
                                       std::wstring_view text, std::string_view placeholder,
                                       float size, bool semibold, bool borderless,
                                       bool enabled = true);

// Native-field traffic of the owning window.
// WM_COMMAND from an edit control: true when the layout must run again.
bool field_command(UiContext& ui, WPARAM wparam, LPARAM lparam);
// The result of a field's report: the layout must run again, the window should close, or the
// keyboard focus moved on (`focus_target` says where).
enum class ReportOutcome : uint8_t { none, relayout, close, focus };
ReportOutcome field_report(UiContext& ui, WPARAM wparam, LPARAM lparam);
// WM_CTLCOLOREDIT / WM_CTLCOLORSTATIC: the field's brush, or null for a foreign control.
HBRUSH field_colors(UiContext& ui, HDC dc, HWND control);
// The native field holding the focus, or the window itself.
HWND focus_target(const UiContext& ui);

}  // namespace torvane
