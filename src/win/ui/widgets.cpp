#include "win/ui/widgets.h"

#include <algorithm>
#include <cmath>

#include "core/utf8.h"

namespace torvane {

namespace {

constexpr float disabled_opacity = 0.45f;

void record(UiContext& ui, DrawShape shape, Color color) {
    ui.commands.push_back({std::move(shape), color, ui.opacity});
}

void text_run(UiContext& ui, std::string_view text, const TextStyle& style, Point origin,
              float width, float height, Color color) {
    ComPtr<IDWriteTextLayout> layout = ui.renderer->layout(text, style, width, height);
    if (layout) record(ui, TextRun{std::move(layout), origin}, color);
}

void draw_checkbox(UiContext& ui, Point at, std::string_view text, bool checked) {
    const Rect box{at.x, at.y, 18, 18};
    if (checked) {
        filled_rect(ui, box, 4, ui.theme.accent);
        outlined_rect(ui, box, 4, ui.theme.accent);
        const Point a{at.x + 3.5f, at.y + 9.3928571f}, b{at.x + 7.0357141f, at.y + 12.9285712f},
            c{at.x + 14.5f, at.y + 5.0714288f};
        line(ui, a, b, 2, ui.theme.onAccent);
        line(ui, b, c, 2, ui.theme.onAccent);
    } else {
        filled_rect(ui, box, 4, ui.theme.control);
        outlined_rect(ui, box, 4, ui.theme.controlBorder);
    }
    label(ui, text, {at.x + 27, at.y + 0.5f}, 13, false, ui.theme.textPrimary);
}

// A slider's fraction after a key: Up and Right raise it by a step, Page Up by ten; Home and
// End go to the ends. Other keys leave it.
float keyed_fraction(float f, WPARAM key, float step) {
    switch (key) {
        case VK_RIGHT:
        case VK_UP:
            return f + step;
        case VK_LEFT:
        case VK_DOWN:
            return f - step;
        case VK_PRIOR:
            return f + 10 * step;
        case VK_NEXT:
            return f - 10 * step;
        case VK_HOME:
            return 0;
        case VK_END:
            return 1;
    }
    return f;
}

// The arrows move a radio choice to the next or previous button of its group, wrapping, and
// choose it, as Windows does.
void step_radio(UiContext& ui, const Focusable& from, bool forward) {
    std::vector<uint32_t> group;
    for (const Focusable& f : ui.focusables)
        if (f.kind == FocusKind::radio && f.group == from.group) group.push_back(f.id);
    const auto at =
        static_cast<size_t>(std::find(group.begin(), group.end(), from.id) - group.begin());
    const size_t next = forward ? (at + 1) % group.size() : (at + group.size() - 1) % group.size();
    ui.focus_id = ui.clicked_id = group[next];
}

}  // namespace

void move_focus(UiContext& ui, bool backwards) {
    const size_t count = ui.focusables.size();
    size_t at = count;
    for (size_t i = 0; i < count; ++i)
        if (ui.focusables[i].id == ui.focus_id && ui.focus_id != 0) at = i;
    size_t next = at == count ? (backwards ? 0 : count - 1) : at;
    for (size_t step = 0; step < count; ++step) {
        next = backwards ? (next + count - 1) % count : (next + 1) % count;
        if (ui.focusables[next].id != 0 && ui.focusables[next].available) {
            ui.focus_id = ui.focusables[next].id;
            return;
        }
    }
}

// --- Layout ------------------------------------------------------------------------------------

void begin_layout(UiContext& ui) {
    ui.commands.clear();
    ui.regions.clear();
    ui.field_requests.clear();
    ui.opacity = 1;
    ui.clip.reset();
    ui.focusables.clear();
    ui.keyed_id = 0;
    note_focused_field(ui);
}

void end_layout(UiContext& ui) {
    ui.pending_key.reset();  // meant for a slider this layout no longer has
    if (const Focusable* focused = find_focusable(ui, ui.focus_id); focused && ui.focus_cues) {
        // Outside the control, in the palette's text color, which stands out from either
        // background.
        const Rect& r = focused->rect;
        record(ui, StrokeRectangle{{r.x - 2, r.y - 2, r.w + 4, r.h + 4}, 6, 2},
               ui.theme.textPrimary);
    }
    apply_field_requests(ui);
}

Faded::Faded(UiContext& ui, bool faded) : ui_(ui), saved_(ui.opacity) {
    if (faded) ui.opacity *= disabled_opacity;
}

Faded::~Faded() {
    ui_.opacity = saved_;
}

Interaction unavailable(UiContext& ui, uint32_t id, Rect rect) {
    if (id == 0) return {};
    Focusable& f = ui.focusables.emplace_back();
    f.id = id;
    f.rect = rect;
    f.available = false;
    return {};
}

Interaction interact(UiContext& ui, uint32_t id, Rect rect, bool hand) {
    if (id == 0) return {};
    Focusable& focusable = ui.focusables.emplace_back();
    focusable.id = id;
    focusable.rect = rect;
    if (ui.clip) {
        const Rect& c = *ui.clip;
        const float left = std::max(rect.x, c.x), top = std::max(rect.y, c.y);
        const float right = std::min(rect.x + rect.w, c.x + c.w);
        const float bottom = std::min(rect.y + rect.h, c.y + c.h);
        rect = {left, top, right - left, bottom - top};
    }
    if (rect.w > 0 && rect.h > 0) ui.regions.push_back({id, rect, hand});
    Interaction result;
    result.hovered = ui.hot_id == id;
    result.pressed = ui.active_id == id && ui.hot_id == id;
    result.clicked = ui.clicked_id == id;
    if (result.clicked) ui.clicked_id = 0;
    return result;
}

// --- Drawing -----------------------------------------------------------------------------------

Rect snapped(const UiContext& ui, Rect r) {
    const float s = ui.scale;
    const float left = std::round(r.x * s) / s, top = std::round(r.y * s) / s;
    return {left, top, std::max(0.0f, std::round((r.x + r.w) * s) / s - left),
            std::max(0.0f, std::round((r.y + r.h) * s) / s - top)};
}

void draw_switch(UiContext& ui, Point at, bool on) {
    const Rect track{at.x, at.y, 40, 20};
    if (on) {
        filled_rect(ui, track, 10, ui.theme.accent);
        outlined_rect(ui, track, 10, ui.theme.accent);
        circle(ui, {at.x + 30, at.y + 10}, 6, ui.theme.onAccent);
    } else {
        outlined_rect(ui, track, 10, ui.theme.textSecondary);
        circle(ui, {at.x + 10, at.y + 10}, 6, ui.theme.textSecondary);
    }
}

void label(UiContext& ui, std::string_view text, Point at, float size, bool semibold, Color color) {
    text_run(ui, text, {size_tenths(size), TextAlign::left, semibold}, at, 10000, line_height(size),
             color);
}

void text_in_rect(UiContext& ui, std::string_view text, Rect rect, float size, bool semibold,
                  TextAlign align, Color color, bool ellipsis) {
    TextStyle style{size_tenths(size), align, semibold};
    style.ellipsis = ellipsis;
    const float height = line_height(size);
    text_run(ui, text, style, {rect.x, rect.y + (rect.h - height) / 2}, rect.w, height, color);
}

float wrapped_text(UiContext& ui, std::string_view text, Point at, float width, float size,
                   Color color, float min_height) {
    TextStyle style{size_tenths(size)};
    style.wrap = true;
    ComPtr<IDWriteTextLayout> layout = ui.renderer->layout(text, style, width, 10000);
    if (!layout) return 0;
    DWRITE_TEXT_METRICS metrics{};
    const float height = SUCCEEDED(layout->GetMetrics(&metrics)) ? metrics.height : 0;
    if (height < min_height) at.y += (min_height - height) / 2;
    record(ui, TextRun{std::move(layout), at}, color);
    return height;
}

void glyph(UiContext& ui, wchar_t code_point, Point centre, float size, Color color) {
    std::string text;  // at most three bytes: held inside the string, no allocation
    append_utf8(text, static_cast<char32_t>(code_point));
    TextStyle style{size_tenths(size), TextAlign::center};
    style.icon_font = true;
    const float height = line_height(size);
    text_run(ui, text, style, {centre.x - size, centre.y - height / 2}, 2 * size, height, color);
}

void circle(UiContext& ui, Point centre, float radius, Color color) {
    record(ui, FillCircle{centre, radius}, color);
}

void status_glyph(UiContext& ui, GlyphKind kind, Point top_left, float size, Color color) {
    record(ui, StatusGlyph{kind, top_left, size}, color);
}

void filled_rect(UiContext& ui, Rect rect, float radius, Color color) {
    record(ui, FillRectangle{snapped(ui, rect), radius}, color);
}

void outlined_rect(UiContext& ui, Rect rect, float radius, Color color) {
    record(ui, StrokeRectangle{snapped(ui, rect), radius, 1}, color);
}

void separator(UiContext& ui, Point at, float width) {
    record(ui, FillRectangle{{at.x, at.y, width, 1}, 0}, ui.theme.divider);
}

void line(UiContext& ui, Point from, Point to, float width, Color color) {
    record(ui, Line{from, to, width}, color);
}

// --- Interactive widgets -----------------------------------------------------------------------

bool button(UiContext& ui, uint32_t id, Rect rect, std::string_view text, float size,
            bool enabled) {
    const Faded faded(ui, !enabled);
    const Interaction state = enabled ? interact(ui, id, rect) : unavailable(ui, id, rect);
    const Color fill = state.pressed   ? ui.theme.controlPressed
                       : state.hovered ? ui.theme.controlHover
                                       : ui.theme.control;
    filled_rect(ui, rect, 5, fill);
    outlined_rect(ui, rect, 5, ui.theme.controlBorder);
    text_in_rect(ui, text, rect, size, false, TextAlign::center, ui.theme.textPrimary);
    set_role(ui, id, Role::push_button, text);
    return state.clicked;
}

bool chip(UiContext& ui, uint32_t id, Rect rect, std::string_view text) {
    const Interaction state = interact(ui, id, rect);
    const Color fill = state.pressed   ? ui.theme.subtlePressed
                       : state.hovered ? ui.theme.subtleHover
                                       : ui.theme.subtle;
    filled_rect(ui, rect, 7, fill);
    text_in_rect(ui, text, rect, 13, false, TextAlign::center, ui.theme.textPrimary);
    set_role(ui, id, Role::push_button, text);
    return state.clicked;
}

bool icon_button(UiContext& ui, uint32_t id, Rect rect, wchar_t code_point, bool enabled) {
    const Faded faded(ui, !enabled);
    const Interaction state = enabled ? interact(ui, id, rect) : unavailable(ui, id, rect);
    set_role(ui, id, Role::push_button, {});  // named by its caller
    if (state.hovered) filled_rect(ui, rect, 5, ui.theme.subtle);
    glyph(ui, code_point, {rect.x + rect.w / 2, rect.y + rect.h / 2}, 15,
          state.hovered ? ui.theme.textPrimary : ui.theme.textSecondary);
    return state.clicked;
}

bool switch_toggle(UiContext& ui, uint32_t id, Point at, bool on, bool enabled) {
    const Faded faded(ui, !enabled);
    const Rect area{at.x, at.y, 40, 20};
    const Interaction state = enabled ? interact(ui, id, area) : unavailable(ui, id, area);
    set_role(ui, id, Role::check_button, {}, on);
    draw_switch(ui, at, on);
    return state.clicked;
}

bool checkbox(UiContext& ui, uint32_t id, Point at, std::string_view text, bool checked,
              float width, bool enabled) {
    const Faded faded(ui, !enabled);
    if (width <= 0) width = ui.renderer->text_width(text, 13, false) + 27;
    const Rect area{at.x, at.y, width, 18};
    const Interaction state = enabled ? interact(ui, id, area) : unavailable(ui, id, area);
    set_role(ui, id, Role::check_button, text, checked);
    draw_checkbox(ui, at, text, checked);
    return state.clicked;
}

bool link(UiContext& ui, uint32_t id, Point at, std::string_view text, float size) {
    const float width = ui.renderer->text_width(text, size, false);
    const Interaction state = interact(ui, id, {at.x, at.y, width, 16});
    set_role(ui, id, Role::link, text);
    label(ui, text, at, size, false, ui.theme.link);
    if (state.hovered) filled_rect(ui, {at.x, at.y + 14, width, 1}, 0, ui.theme.link);
    return state.clicked;
}

bool radio_button(UiContext& ui, uint32_t id, Point at, float width, std::string_view text,
                  bool selected, uint32_t group) {
    const Interaction state = interact(ui, id, {at.x, at.y, width, 18});
    ui.focusables.back().kind = FocusKind::radio;
    ui.focusables.back().group = group;
    set_role(ui, id, Role::radio_button, text, selected);
    const Point centre{at.x + 9, at.y + 9};
    if (selected) {
        circle(ui, centre, 9, ui.theme.accent);
        record(ui, StrokeCircle{centre, 8.5f, 1}, ui.theme.accent);
        circle(ui, centre, 4, ui.theme.onAccent);
    } else {
        circle(ui, centre, 9, ui.theme.control);
        record(ui, StrokeCircle{centre, 8.5f, 1}, ui.theme.controlBorder);
    }
    label(ui, text, {at.x + 27, at.y + 0.5f}, 13, false, ui.theme.textPrimary);
    return state.clicked;
}

std::optional<float> slider(UiContext& ui, uint32_t id, Rect rect, float fraction, bool enabled,
                            float step) {
    const Faded faded(ui, !enabled);
    if (enabled)
        interact(ui, id, rect, false);
    else
        unavailable(ui, id, rect);
    if (id != 0) {
        ui.focusables.back().kind = FocusKind::slider;
        ui.focusables.back().role = Role::slider;
    }
    const float length = std::max(rect.w - 18, 1.0f);
    std::optional<float> changed;
    if (enabled && ui.focus_id == id && ui.pending_key) {
        const float f = std::clamp(keyed_fraction(fraction, *ui.pending_key, step), 0.0f, 1.0f);
        ui.pending_key.reset();
        ui.keyed_id = id;
        if (std::fabs(f - fraction) > 0.000001f) changed = f;
    }
    // A drag follows the pointer wherever it goes until the button comes up.
    const bool dragging = enabled && ui.active_id == id && id != 0;
    if (dragging && ui.pointer.x >= 0) {
        const float f = std::clamp((ui.pointer.x - (rect.x + 9)) / length, 0.0f, 1.0f);
        if (std::fabs(f - fraction) > 0.000001f) changed = f;
    }
    const float f = changed.value_or(std::clamp(fraction, 0.0f, 1.0f));
    const float knob = rect.x + 9 + length * f, middle = rect.y + rect.h / 2;
    filled_rect(ui, {rect.x, middle - 2, std::max(knob - 9 - rect.x, 0.0f), 4}, 2, ui.theme.accent);
    filled_rect(ui, {knob + 9, middle - 2, std::max(rect.x + rect.w - knob - 9, 0.0f), 4}, 2,
                ui.theme.subtleStrong);
    circle(ui, {knob, middle}, 9, ui.theme.control);
    record(ui, StrokeCircle{{knob, middle}, 8.5f, 1}, ui.theme.controlBorder);
    const bool knob_hovered =
        enabled && std::hypot(ui.pointer.x - knob, ui.pointer.y - middle) <= 9;
    circle(ui, {knob, middle}, knob_hovered || dragging ? 6.0f : 5.0f, ui.theme.accent);
    return changed;
}

float button_width(UiContext& ui, std::string_view text, float size, float padding) {
    return std::ceil(ui.renderer->text_width(text, size, false) + 2 * padding + 2);
}

namespace {

Focusable* registered(UiContext& ui, uint32_t id) {
    if (id == 0) return nullptr;  // texts
    for (auto f = ui.focusables.rbegin(); f != ui.focusables.rend(); ++f)
        if (f->id == id) return &*f;
    return nullptr;
}

}  // namespace

void readable_text(UiContext& ui, std::string_view text, Rect rect) {
    Focusable& f = ui.focusables.emplace_back();
    f.rect = rect;
    f.role = Role::text;
    f.name = text;
}

void describe(UiContext& ui, uint32_t id, std::string_view name, std::string_view value) {
    if (Focusable* f = registered(ui, id)) {
        f->name = name;
        f->value = value;
    }
}

void set_role(UiContext& ui, uint32_t id, Role role, std::string_view name, bool checked) {
    if (Focusable* f = registered(ui, id)) {
        f->role = role;
        f->name = name;
        f->checked = checked;
    }
}

const Focusable* find_focusable(const UiContext& ui, uint32_t id) {
    for (const Focusable& f : ui.focusables)
        if (f.id == id && id != 0) return &f;
    return nullptr;
}

bool focus_key(UiContext& ui, WPARAM key) {
    if (GetKeyState(VK_CONTROL) < 0 || GetKeyState(VK_MENU) < 0) return false;
    const Focusable* focused = find_focusable(ui, ui.focus_id);
    const FocusKind kind = focused ? focused->kind : FocusKind::field;
    if (key == VK_TAB) {
        move_focus(ui, GetKeyState(VK_SHIFT) < 0);
    } else if (key == VK_SPACE || key == VK_RETURN) {
        if (kind == FocusKind::slider || kind == FocusKind::field) return false;
        ui.clicked_id = focused->id;
    } else if (kind == FocusKind::slider && keyed_fraction(0.5f, key, 0.1f) != 0.5f) {
        ui.pending_key = key;
    } else if (kind == FocusKind::radio &&
               (key == VK_LEFT || key == VK_RIGHT || key == VK_UP || key == VK_DOWN)) {
        step_radio(ui, *focused, key == VK_RIGHT || key == VK_DOWN);
    } else {
        return false;
    }
    ui.focus_cues = true;
    return true;
}

}  // namespace torvane
