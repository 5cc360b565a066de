#pragma once
// Immediate-mode widgets for the panel and the settings window. A window's layout function
// runs top to bottom and calls these with an id, a position in DIPs and the current value;
// each records its drawing, registers where it can be clicked, and returns what the user did
// since the last layout. Text entry is the exception: numbers, times and free text are native
// edit controls that the context places over their drawn frames after each layout.
// UI thread only.

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "win/ui/d2d.h"
#include "win/ui/native_fields.h"
#include "win/ui/theme.h"

namespace torvane {

struct HitRegion {
    uint32_t id = 0;
    Rect rect;
    bool hand = true;
};

// What a widget learnt from the pointer since the last layout.
struct Interaction {
    bool hovered = false;
    bool pressed = false;
    bool clicked = false;
};

// A control the keyboard can reach, as the current layout registered it: Tab follows this
// order. Sliders take the arrow, page, Home and End keys; radio buttons of one group take the
// arrows.
// What it is for a screen reader; `name` and `value` are what one reads out.
enum class FocusKind : uint8_t { control, slider, radio, field };
enum class Role : uint8_t {
    push_button,
    check_button,
    radio_button,
    slider,
    page_tab,
    link,
    field,
    text
};
struct Focusable {
    uint32_t id = 0;
    Rect rect;
    FocusKind kind = FocusKind::control;
    uint32_t group = 0;
    Role role = Role::push_button;
    bool checked = false;
    bool available = true;  // a disabled control: read out, but not reached by the keyboard
    std::string name;
    std::string value;
};

struct UiContext {
    UiContext(HWND owner, Renderer& shared_renderer) : window(owner), renderer(&shared_renderer) {}

    HWND window = nullptr;
    Renderer* renderer = nullptr;
    float scale = 1;
    Theme theme;
    std::vector<DrawCommand> commands;
    std::vector<HitRegion> regions;
    float opacity = 1;
    std::optional<Rect> clip;
    uint32_t hot_id = 0;
    uint32_t active_id = 0;
    uint32_t clicked_id = 0;
    Point pointer{-1, -1};
    bool tracking_leave = false;
    uint32_t focused_field = 0;
    std::vector<Focusable> focusables;  // this layout's, in reading order
    uint32_t focus_id = 0;              // the control the keyboard acts on, 0 = none
    bool focus_cues = false;            // the keyboard was used: the focus ring shows
    std::optional<WPARAM> pending_key;  // a key for the focused slider's next layout
    uint32_t keyed_id = 0;              // the slider a key moved in this layout
    std::optional<FieldEvent> pending_event;
    std::vector<FieldRequest> field_requests;
    std::vector<NativeField> fields;
    std::vector<CachedFont> fonts;
    bool replacing_text = false;  // guards EN_CHANGE while the context writes a control
    std::wstring control_text;    // what a control holds, read into reused room
};

// Starts a layout: empties the display list, the hit regions and the field requests.
void begin_layout(UiContext& ui);
// Ends it: draws the focus ring after keyboard use, and places, shows, hides and fills the
// native fields as the layout asked.
void end_layout(UiContext& ui);

Interaction interact(UiContext& ui, uint32_t id, Rect rect, bool hand = true);
// A disabled control: no hit region, but screen readers still find it.
Interaction unavailable(UiContext& ui, uint32_t id, Rect rect);

// Draws a disabled widget faded for the lifetime of the guard.
class Faded {
public:
    Faded(UiContext& ui, bool faded);
    ~Faded();
    Faded(const Faded&) = delete;
    Faded& operator=(const Faded&) = delete;

private:
    UiContext& ui_;
    float saved_;
};

// Drawing only.
void label(UiContext& ui, std::string_view text, Point at, float size, bool semibold, Color color);
void text_in_rect(UiContext& ui, std::string_view text, Rect rect, float size, bool semibold,
                  TextAlign align, Color color, bool ellipsis = false);
// Returns the text's height; a text lower than `min_height` is centred within it.
float wrapped_text(UiContext& ui, std::string_view text, Point at, float width, float size,
                   Color color, float min_height = 0);
void glyph(UiContext& ui, wchar_t code_point, Point centre, float size, Color color);
void circle(UiContext& ui, Point centre, float radius, Color color);
void status_glyph(UiContext& ui, GlyphKind kind, Point top_left, float size, Color color);
void filled_rect(UiContext& ui, Rect rect, float radius, Color color);
void outlined_rect(UiContext& ui, Rect rect, float radius, Color color);
void separator(UiContext& ui, Point at, float width);
void line(UiContext& ui, Point from, Point to, float width, Color color);
// A switch's track and knob, 40 × 20, without a hit region of its own.
void draw_switch(UiContext& ui, Point at, bool on);
// Snapped to whole device pixels, so that 1-DIP outlines stay crisp at any scale.
Rect snapped(const UiContext& ui, Rect r);

// Interactive; each returns true once for a click.
bool button(UiContext& ui, uint32_t id, Rect rect, std::string_view text, float size,
            bool enabled = true);
bool chip(UiContext& ui, uint32_t id, Rect rect, std::string_view text);
bool icon_button(UiContext& ui, uint32_t id, Rect rect, wchar_t code_point, bool enabled = true);
bool switch_toggle(UiContext& ui, uint32_t id, Point at, bool on, bool enabled = true);
bool checkbox(UiContext& ui, uint32_t id, Point at, std::string_view text, bool checked,
              float width = 0, bool enabled = true);
bool link(UiContext& ui, uint32_t id, Point at, std::string_view text, float size);
// Radio buttons of one choice share a `group`: the arrows move the choice within it.
bool radio_button(UiContext& ui, uint32_t id, Point at, float width, std::string_view text,
                  bool selected, uint32_t group);

// `step` is the fraction an arrow key moves the knob; Page Up and Down move ten steps.
std::optional<float> slider(UiContext& ui, uint32_t id, Rect rect, float fraction,
                            bool enabled = true, float step = 0.01f);
// ceil(text width + 2 × padding + 2).
float button_width(UiContext& ui, std::string_view text, float size, float padding);

// Pointer input from the owning window; each returns true when the layout must run again.
bool pointer_moved(UiContext& ui, LPARAM position);
bool pointer_left(UiContext& ui);
bool button_pressed(UiContext& ui);
// The button came up: a click is recorded when it came up over the widget it went down on.
void button_released(UiContext& ui);
// WM_CAPTURECHANGED / WM_CANCELMODE: a press or drag in progress ends without a click. True
// when one did.
bool capture_lost(UiContext& ui);
// The window closed or hid: nothing stays hovered, pressed or tracked.
void reset_pointer(UiContext& ui);
// The offset change of a scrolling key (arrows up and down, Page Up and Down, Home, End) in a
// view `view` DIPs high; nothing for other keys.
std::optional<float> scroll_key(WPARAM key, float view);
// WM_SETCURSOR over the client area.
void set_pointer_cursor(const UiContext& ui);

// Describes the control `id` of the current layout for screen readers: a name where the widget
// has no visible label of its own (an icon, a switch, a field named by its row), and a value.
void describe(UiContext& ui, uint32_t id, std::string_view name, std::string_view value = {});
// A text a screen reader should find among the controls (a state, a timer), which the keyboard
// passes over: registered with id 0.
void readable_text(UiContext& ui, std::string_view text, Rect rect);
// The role and checked state, set by the widgets themselves (and by windows' own controls).
void set_role(UiContext& ui, uint32_t id, Role role, std::string_view name, bool checked = false);

// Keyboard: Tab and Shift+Tab move the focus through the focusables, wrapping; Space and Enter
// click the focused control; the arrows, pages, Home and End step a focused slider or move a
// radio choice. True when the key was used; the window then lays out again as after a click and
// gives the keyboard focus to `focus_target`.
bool focus_key(UiContext& ui, WPARAM key);
// Moves the focus to the next or previous control, wrapping, passing over texts and disabled
// controls; from none, to the first or last.
void move_focus(UiContext& ui, bool backwards);
const Focusable* find_focusable(const UiContext& ui, uint32_t id);

}  // namespace torvane
