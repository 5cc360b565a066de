#include "win/ui/widgets.h"

#include <windowsx.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/field_text.h"

namespace torvane {

namespace {

constexpr float disabled_opacity = 0.45f;
constexpr float field_inset = 6;

void record(UiContext& ui, DrawShape shape, Color color) {
    ui.commands.push_back({std::move(shape), color, ui.opacity});
}

bool contains(const Rect& r, Point p) {
    return p.x >= r.x && p.x < r.x + r.w && p.y >= r.y && p.y < r.y + r.h;
}

// A code point of the icon font as UTF-8; all of them lie in the basic plane.
std::string_view utf8_of(wchar_t code_point, char (&buffer)[4]) {
    const auto c = static_cast<uint32_t>(code_point);
    if (c < 0x80) {
        buffer[0] = static_cast<char>(c);
        return {buffer, 1};
    }
    if (c < 0x800) {
        buffer[0] = static_cast<char>(0xC0 | (c >> 6));
        buffer[1] = static_cast<char>(0x80 | (c & 0x3F));
        return {buffer, 2};
    }
    buffer[0] = static_cast<char>(0xE0 | (c >> 12));
    buffer[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    buffer[2] = static_cast<char>(0x80 | (c & 0x3F));
    return {buffer, 3};
}

// Snapped to whole device pixels, so that 1-DIP outlines stay crisp at any scale.
Rect snapped(const UiContext& ui, Rect r) {
    const float s = ui.scale;
    const float left = std::round(r.x * s) / s, top = std::round(r.y * s) / s;
    return {left, top, std::max(0.0f, std::round((r.x + r.w) * s) / s - left),
            std::max(0.0f, std::round((r.y + r.h) * s) / s - top)};
}

void text_run(UiContext& ui, std::string_view text, const TextStyle& style, Point origin,
              float width, float height, Color color) {
    ComPtr<IDWriteTextLayout> layout = ui.renderer->layout(text, style, width, height);
    if (layout) record(ui, TextRun{std::move(layout), origin}, color);
}

void field_frame(UiContext& ui, Rect rect, bool focused, bool borderless) {
    if (!borderless) filled_rect(ui, rect, 5, ui.theme.control);
    if (focused)
        outlined_rect(ui, rect, 5, ui.theme.accent);
    else if (!borderless)
        outlined_rect(ui, rect, 5, ui.theme.controlBorder);
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

// --- Native fields ---------------------------------------------------------------------------

bool inside_clip(const UiContext& ui, const Rect& r);

FieldRequest& new_request(UiContext& ui, uint32_t id, FieldKind kind, Rect rect,
                          bool enabled = true) {
    Focusable& f = ui.focusables.emplace_back();
    f.id = id;
    f.rect = rect;
    f.kind = FocusKind::field;
    f.role = Role::field;
    f.available = enabled;
    FieldRequest& request = ui.field_requests.emplace_back();
    request.enabled = enabled;
    request.in_view = inside_clip(ui, rect);
    request.id = id;
    request.kind = kind;
    request.rect = rect;
    request.background = ui.theme.control;
    return request;
}

void set_text(FieldRequest& request, const char* text) {
    request.text.clear();
    for (const char* c = text; *c; ++c)
        request.text.push_back(static_cast<wchar_t>(*c));
}

void set_number_text(FieldRequest& request, uint32_t value) {
    char digits[12];
    const int n = std::snprintf(digits, sizeof digits, "%u", static_cast<unsigned>(value));
    set_text(request, n > 0 ? digits : "");
}

NativeField* find_field(UiContext& ui, uint32_t id) {
    for (NativeField& field : ui.fields)
        if (field.id == id) return &field;
    return nullptr;
}

NativeField* field_of(UiContext& ui, HWND control) {
    for (NativeField& field : ui.fields)
        if (field.control == control) return &field;
    return nullptr;
}

void report(HWND control, FieldReport code) {
    const auto caret = static_cast<LPARAM>(LOWORD(SendMessageW(control, EM_GETSEL, 0, 0)));
    PostMessageW(GetParent(control), field_report_message,
                 static_cast<WPARAM>(GetDlgCtrlID(control)),
                 static_cast<LPARAM>(code) | (caret << 8));
}

// The edit controls' subclass: the keys that move between fields, confirm, step and close are
// reported to the parent instead of reaching the control.
LRESULT CALLBACK field_procedure(HWND control, UINT message, WPARAM wparam, LPARAM lparam) {
    const auto original = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(control, GWLP_USERDATA));
    switch (message) {
        case WM_SETFOCUS: {
            const LRESULT result = CallWindowProcW(original, control, message, wparam, lparam);
            SendMessageW(control, EM_SETSEL, 0, -1);
            return result;
        }
        case WM_KILLFOCUS: {
            const LRESULT result = CallWindowProcW(original, control, message, wparam, lparam);
            report(control, FieldReport::commit);
            return result;
        }
        case WM_KEYDOWN:
            // Ctrl+Tab and Ctrl+Page Up/Down belong to the window (the settings change tab).
            if (GetKeyState(VK_CONTROL) < 0 &&
                (wparam == VK_TAB || wparam == VK_PRIOR || wparam == VK_NEXT))
                return SendMessageW(GetParent(control), message, wparam, lparam);
            switch (wparam) {
                case VK_TAB:
                    report(control,
                           GetKeyState(VK_SHIFT) < 0 ? FieldReport::previous : FieldReport::next);
                    return 0;
                case VK_RETURN:
                    report(control, FieldReport::commit);
                    return 0;
                case VK_UP:
                    report(control, FieldReport::up);
                    return 0;
                case VK_DOWN:
                    report(control, FieldReport::down);
                    return 0;
                case VK_ESCAPE:
                    report(control, FieldReport::close);
                    return 0;
            }
            break;
        case WM_CHAR:
            if (wparam == L'\t' || wparam == L'\r' || wparam == 0x1B) return 0;  // no beep
            break;
        case WM_NCDESTROY:
            SetWindowLongPtrW(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
            break;
    }
    return CallWindowProcW(original, control, message, wparam, lparam);
}

HWND create_control(const UiContext& ui, const FieldRequest& request) {
    DWORD style = WS_CHILD | ES_AUTOHSCROLL;
    style |= request.align == TextAlign::center  ? ES_CENTER
             : request.align == TextAlign::right ? ES_RIGHT
                                                 : ES_LEFT;
    if (request.kind == FieldKind::number) style |= ES_NUMBER;
    HWND control = CreateWindowExW(0, L"EDIT", L"", style, 0, 0, 0, 0, ui.window,
                                   reinterpret_cast<HMENU>(static_cast<UINT_PTR>(request.id)),
                                   GetModuleHandleW(nullptr), nullptr);
    if (!control) return nullptr;
    SetWindowLongPtrW(control, GWLP_USERDATA, GetWindowLongPtrW(control, GWLP_WNDPROC));
    SetWindowLongPtrW(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(field_procedure));
    const WPARAM limit = request.kind == FieldKind::time     ? 5
                         : request.kind == FieldKind::number ? 2
                                                             : 120;
    SendMessageW(control, EM_SETLIMITTEXT, limit, 0);
    return control;
}

struct FontChoice {
    HFONT font = nullptr;
    int text_height = 1;
};

FontChoice field_font(UiContext& ui, float size, bool semibold) {
    const uint32_t tenths = size_tenths(size);
    for (const CachedFont& cached : ui.fonts)
        if (cached.size == tenths && cached.semibold == semibold)
            return {cached.font.get(), cached.text_height};
    Font font(CreateFontW(-static_cast<int>(std::lround(size * ui.scale)), 0, 0, 0,
                          semibold ? 600 : 400, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                          OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                          DEFAULT_PITCH | FF_DONTCARE, ui.renderer->text_family().c_str()));
    if (!font) return {};
    int height = 1;
    if (HDC dc = GetDC(ui.window)) {
        const HGDIOBJ previous = SelectObject(dc, font.get());
        TEXTMETRICW metrics{};
        if (GetTextMetricsW(dc, &metrics)) height = std::max<int>(metrics.tmHeight, 1);
        SelectObject(dc, previous);
        ReleaseDC(ui.window, dc);
    }
    const HFONT handle = font.get();
    ui.fonts.push_back({tenths, semibold, std::move(font), height});
    return {handle, height};
}

COLORREF to_colorref(Color c) {
    return RGB(red_of(c), green_of(c), blue_of(c));
}

// A disabled field's text, 55 % of the way to its background.
Color faded_text(Color text, Color background) {
    auto mix = [](uint8_t from, uint8_t to) {
        return static_cast<uint32_t>(from + (to - from) * 0.55);
    };
    return (mix(blue_of(text), blue_of(background)) << 24) |
           (mix(green_of(text), green_of(background)) << 16) |
           (mix(red_of(text), red_of(background)) << 8) | 0xFF;
}

bool inside_clip(const UiContext& ui, const Rect& r) {
    if (!ui.clip) return true;
    const Rect& c = *ui.clip;
    constexpr float tolerance = 0.01f;
    return r.x >= c.x - tolerance && r.y >= c.y - tolerance && r.x + r.w <= c.x + c.w + tolerance &&
           r.y + r.h <= c.y + c.h + tolerance;
}

void place(UiContext& ui, NativeField& field, const FieldRequest& request) {
    const FontChoice font = field_font(ui, request.size, request.semibold);
    if (font.font && font.font != field.font) {
        SendMessageW(field.control, WM_SETFONT, reinterpret_cast<WPARAM>(font.font), FALSE);
        field.font = font.font;
    }
    const Rect& r = request.rect;
    const float s = ui.scale;
    const int x = static_cast<int>(std::lround((r.x + field_inset) * s));
    const int width = static_cast<int>(std::lround((r.w - 2 * field_inset) * s));
    const int height = font.text_height;
    const int y = static_cast<int>(std::lround(r.y * s)) +
                  (static_cast<int>(std::lround(r.h * s)) - height) / 2;
    const RECT placed{x, y, x + width, y + height};
    const bool visible = request.in_view;
    if (!EqualRect(&placed, &field.placed) || visible != field.visible) {
        SetWindowPos(field.control, nullptr, x, y, width, height,
                     SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOCOPYBITS |
                         (visible ? SWP_SHOWWINDOW : SWP_HIDEWINDOW));
        field.placed = placed;
        field.visible = visible;
    }
    if (request.enabled != field.enabled) {
        EnableWindow(field.control, request.enabled);
        field.enabled = request.enabled;
    }
}

void color(UiContext& ui, NativeField& field, const FieldRequest& request) {
    const Color text = request.enabled ? ui.theme.textPrimary
                       : ui.theme.highContrast
                           ? ui.theme.grayText
                           : faded_text(ui.theme.textPrimary, request.background);
    if (field.brush && text == field.text_color && request.background == field.background) return;
    field.brush.reset(CreateSolidBrush(to_colorref(request.background)));
    field.background = request.background;
    field.text_color = text;
    InvalidateRect(field.control, nullptr, TRUE);
}

std::wstring_view control_text(HWND control, std::wstring& buffer) {
    const int length = GetWindowTextLengthW(control);
    buffer.resize(static_cast<size_t>(std::max(length, 0)) + 1);
    const int copied = GetWindowTextW(control, buffer.data(), static_cast<int>(buffer.size()));
    buffer.resize(static_cast<size_t>(std::max(copied, 0)));
    return buffer;
}

// The control's text is only rewritten when the field asked for it, when it shows a stale
// value without the focus, or when a focused number field holds a number that is not its
// value (a typed 75 in a field that stops at 59). Half-typed text is left alone.
bool must_replace(const FieldRequest& request, std::wstring_view shown, bool focused) {
    if (request.force_text) return true;
    if (!focused) return shown != request.text;
    if (request.kind != FieldKind::number || !request.value) return false;
    const std::optional<uint32_t> typed = parse_number_text(shown, UINT32_MAX);
    return typed && *typed != *request.value;
}

void fill_text(UiContext& ui, NativeField& field, const FieldRequest& request, bool focused) {
    const std::wstring_view shown = control_text(field.control, ui.control_text);
    if (!must_replace(request, shown, focused)) return;
    ui.replacing_text = true;
    SetWindowTextW(field.control, request.text.c_str());
    ui.replacing_text = false;
    SendMessageW(field.control, EM_SETSEL, static_cast<WPARAM>(request.selection_start),
                 request.selection_end);
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

// The next or previous control after the focused one, wrapping, passing over texts; the first
// or last without one.
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

// --- Layout ------------------------------------------------------------------------------------

void begin_layout(UiContext& ui) {
    ui.commands.clear();
    ui.regions.clear();
    ui.field_requests.clear();
    ui.opacity = 1;
    ui.clip.reset();
    ui.focusables.clear();
    ui.keyed_id = 0;
    ui.focused_field = 0;
    const HWND focus = GetFocus();
    for (const NativeField& field : ui.fields)
        if (field.control == focus) ui.focused_field = field.id;
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
    const HWND focus = GetFocus();
    for (const FieldRequest& request : ui.field_requests) {
        NativeField* field = find_field(ui, request.id);
        if (!field) {
            HWND control = create_control(ui, request);
            if (!control) continue;  // tried again at the next layout
            field = &ui.fields.emplace_back();
            field->id = request.id;
            field->control = control;
        }
        place(ui, *field, request);
        color(ui, *field, request);
        fill_text(ui, *field, request, field->control == focus);
    }
    for (NativeField& field : ui.fields) {
        const bool requested = std::any_of(ui.field_requests.begin(), ui.field_requests.end(),
                                           [&](const FieldRequest& r) { return r.id == field.id; });
        if (!requested && field.visible) {
            ShowWindow(field.control, SW_HIDE);
            field.visible = false;
        }
    }
}

void forget_field_geometry(UiContext& ui) {
    for (NativeField& field : ui.fields) {
        field.font = nullptr;
        field.placed = {};
    }
    ui.fonts.clear();
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
    char buffer[4];
    TextStyle style{size_tenths(size), TextAlign::center};
    style.icon_font = true;
    const float height = line_height(size);
    text_run(ui, utf8_of(code_point, buffer), style, {centre.x - size, centre.y - height / 2},
             2 * size, height, color);
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

bool radio_button(UiContext& ui, uint32_t id, float y, float width, std::string_view text,
                  bool selected, uint32_t group) {
    const Interaction state = interact(ui, id, {37, y, width, 18});
    ui.focusables.back().kind = FocusKind::radio;
    ui.focusables.back().group = group;
    set_role(ui, id, Role::radio_button, text, selected);
    const Point centre{46, y + 9};
    if (selected) {
        circle(ui, centre, 9, ui.theme.accent);
        record(ui, StrokeCircle{centre, 8.5f, 1}, ui.theme.accent);
        circle(ui, centre, 4, ui.theme.onAccent);
    } else {
        circle(ui, centre, 9, ui.theme.control);
        record(ui, StrokeCircle{centre, 8.5f, 1}, ui.theme.controlBorder);
    }
    label(ui, text, {64, y + 0.5f}, 13, false, ui.theme.textPrimary);
    return state.clicked;
}

// --- Native fields -----------------------------------------------------------------------------

std::optional<uint32_t> number_field(UiContext& ui, uint32_t id, Rect rect, uint32_t value,
                                     uint32_t maximum) {
    std::optional<uint32_t> changed;
    bool rewrite = false;
    if (ui.pending_event && ui.pending_event->id == id) {
        const FieldEvent& event = *ui.pending_event;
        switch (event.kind) {
            case FieldEventKind::text_changed:
                changed = number_text_change(std::wstring_view(event.text), value, maximum);
                break;
            case FieldEventKind::commit:
                rewrite = true;
                break;
            case FieldEventKind::up:
            case FieldEventKind::down:
                if (const uint32_t stepped =
                        number_step(value, maximum, event.kind == FieldEventKind::up);
                    stepped != value)
                    changed = stepped;
                rewrite = true;
                break;
        }
        ui.pending_event.reset();
    }
    field_frame(ui, rect, ui.focused_field == id, false);
    FieldRequest& request = new_request(ui, id, FieldKind::number, rect);
    request.value = changed.value_or(value);
    set_number_text(request, *request.value);
    request.force_text = rewrite;
    return changed;
}

std::optional<uint32_t> time_field(UiContext& ui, uint32_t id, Rect rect, uint32_t minutes,
                                   bool enabled) {
    std::optional<uint32_t> changed;
    bool rewrite = false;
    int caret = -1;
    if (enabled && ui.pending_event && ui.pending_event->id == id) {
        const FieldEvent& event = *ui.pending_event;
        std::optional<uint32_t> next;
        switch (event.kind) {
            case FieldEventKind::text_changed:
                next = parse_time_text(std::wstring_view(event.text));
                break;
            case FieldEventKind::commit:
                next = parse_time_text(std::wstring_view(event.text));
                rewrite = true;
                break;
            case FieldEventKind::up:
            case FieldEventKind::down:
                next = time_step(minutes, event.caret, event.kind == FieldEventKind::up);
                caret = static_cast<int>(std::min(event.caret, 5u));
                rewrite = true;
                break;
        }
        if (next && *next != minutes) changed = next;
        ui.pending_event.reset();
    }
    const Faded faded(ui, !enabled);
    field_frame(ui, rect, enabled && ui.focused_field == id, false);
    FieldRequest& request = new_request(ui, id, FieldKind::time, rect, enabled);
    set_text(request, format_time_of_day(changed.value_or(minutes)).data());
    request.force_text = rewrite;
    if (caret >= 0) request.selection_start = request.selection_end = caret;
    return changed;
}

std::optional<uint32_t> duration_row(UiContext& ui, float y, uint32_t hours_id, uint32_t minutes_id,
                                     uint32_t minutes) {
    label(ui, "Durante", {15, y + 7}, 13, false, ui.theme.textPrimary);
    const float x1 = 15 + ui.renderer->text_width("Durante", 13, false) + 8;
    const std::optional<uint32_t> hours =
        number_field(ui, hours_id, {x1, y, 40, 31}, minutes / 60, 99);
    label(ui, "h", {x1 + 44, y + 7}, 13, false, ui.theme.textSecondary);
    const float x2 = x1 + 44 + ui.renderer->text_width("h", 13, false) + 6;
    const std::optional<uint32_t> mins =
        number_field(ui, minutes_id, {x2, y, 40, 31}, minutes % 60, 59);
    label(ui, "min", {x2 + 44, y + 7}, 13, false, ui.theme.textSecondary);
    if (!hours && !mins) return std::nullopt;
    return hours.value_or(minutes / 60) * 60 + mins.value_or(minutes % 60);
}

// --- Settings-window rows ----------------------------------------------------------------------

float section_title(UiContext& ui, float y, std::string_view text) {
    label(ui, text, {24, y + 14}, 13, true, ui.theme.textPrimary);
    readable_text(ui, text, {24, y + 14, ui.renderer->text_width(text, 13, true), 17});
    return y + 37;
}

size_t begin_card(UiContext& ui) {
    const size_t index = ui.commands.size();
    record(ui, NoOp{}, 0);
    record(ui, NoOp{}, 0);
    return index;
}

void end_card(UiContext& ui, size_t card, Rect rect) {
    if (card + 1 >= ui.commands.size()) return;
    const Rect r = snapped(ui, rect);
    ui.commands[card] = {FillRectangle{r, 8}, ui.theme.cardBackground, 1};
    ui.commands[card + 1] = {StrokeRectangle{r, 8, 1}, ui.theme.border, 1};
}

bool switch_row(UiContext& ui, uint32_t id, float& y, float width, std::string_view text, bool on,
                bool enabled) {
    const Faded faded(ui, !enabled);
    const Rect area{37, y + 7, width, 20};
    const Interaction state = enabled ? interact(ui, id, area) : unavailable(ui, id, area);
    set_role(ui, id, Role::check_button, text, on);
    label(ui, text, {37, y + 8.5f}, 13, false, ui.theme.textPrimary);
    draw_switch(ui, {width - 3, y + 7}, on);
    y += 34;
    return state.clicked;
}

bool checkbox_row(UiContext& ui, uint32_t id, float& y, std::string_view text, bool checked) {
    const bool clicked = checkbox(ui, id, {37, y + 7}, text, checked);
    y += 32;
    return clicked;
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

SliderRowResult slider_row(UiContext& ui, uint32_t checkbox_id, uint32_t slider_id, float& y,
                           float width, std::string_view text, bool checked, double value,
                           double maximum, bool slider_enabled) {
    SliderRowResult result;
    char percent[16];
    std::snprintf(percent, sizeof percent, "%.0f%%", std::floor(value + 0.5));
    text_in_rect(ui, percent, {width - 1, y + 7, 38, 20}, 13, false, TextAlign::right,
                 ui.theme.textPrimary);
    // The checkbox first: it comes first in the keyboard's order.
    const float checkbox_width = (width - 121 - 10) - 37;
    result.toggled = checkbox(ui, checkbox_id, {37, y + 8}, text, checked, checkbox_width);
    const double span = maximum - 5;
    const auto fraction = static_cast<float>(span > 0 ? (value - 5) / span : 0);
    if (const std::optional<float> f =
            slider(ui, slider_id, {width - 121, y + 7, 120, 20}, fraction, slider_enabled,
                   static_cast<float>(1 / span)))
        result.value = 5 + *f * span;
    describe(ui, slider_id, text, percent);
    y += 34;
    return result;
}

float hint(UiContext& ui, float y, float x, float width, std::string_view text) {
    return y + 6 + wrapped_text(ui, text, {x, y + 6}, width, 12, ui.theme.textSecondary);
}

std::optional<std::wstring> text_field(UiContext& ui, uint32_t id, Rect rect,
                                       std::wstring_view text, std::string_view placeholder,
                                       float size, bool semibold, bool borderless, bool enabled) {
    std::optional<std::wstring> changed;
    if (enabled && ui.pending_event && ui.pending_event->id == id) {
        if (ui.pending_event->kind == FieldEventKind::text_changed &&
            ui.pending_event->text != text)
            changed = std::move(ui.pending_event->text);
        ui.pending_event.reset();
    }
    const Faded faded(ui, !enabled);
    const bool focused = enabled && ui.focused_field == id;
    field_frame(ui, rect, focused, borderless);
    const std::wstring_view shown = changed ? std::wstring_view(*changed) : text;
    if (shown.empty() && !focused) {
        const float saved = ui.opacity;
        ui.opacity *= 0.7f;
        text_in_rect(ui, placeholder, {rect.x + 8, rect.y, rect.w - 16, rect.h}, size, semibold,
                     TextAlign::left, ui.theme.textSecondary);
        ui.opacity = saved;
    }
    FieldRequest& request = new_request(ui, id, FieldKind::text, rect, enabled);
    request.align = TextAlign::left;
    request.size = size;
    request.semibold = semibold;
    request.background = borderless ? ui.theme.cardBackground : ui.theme.control;
    request.text.assign(shown);
    return changed;
}

float button_width(UiContext& ui, std::string_view text, float size, float padding) {
    return std::ceil(ui.renderer->text_width(text, size, false) + 2 * padding + 2);
}

// --- Pointer input -----------------------------------------------------------------------------

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

// --- Native-field traffic ----------------------------------------------------------------------

bool field_command(UiContext& ui, WPARAM wparam, LPARAM lparam) {
    NativeField* field = field_of(ui, reinterpret_cast<HWND>(lparam));
    if (!field) return false;
    switch (HIWORD(wparam)) {
        case EN_SETFOCUS:
            ui.focus_id = field->id;
            return true;
        case EN_KILLFOCUS:
            return true;  // the frame's focus outline changes
        case EN_CHANGE: {
            if (ui.replacing_text) return false;
            FieldEvent& event = ui.pending_event.emplace();
            event.id = field->id;
            event.kind = FieldEventKind::text_changed;
            control_text(field->control, event.text);
            return true;
        }
    }
    return false;
}

ReportOutcome field_report(UiContext& ui, WPARAM wparam, LPARAM lparam) {
    NativeField* field = find_field(ui, static_cast<uint32_t>(wparam));
    if (!field) return ReportOutcome::none;
    const auto code = static_cast<FieldReport>(lparam & 0xFF);
    const auto caret = static_cast<unsigned>((lparam >> 8) & 0xFFFF);
    switch (code) {
        case FieldReport::commit:
        case FieldReport::up:
        case FieldReport::down: {
            FieldEvent& event = ui.pending_event.emplace();
            event.id = field->id;
            event.kind = code == FieldReport::commit ? FieldEventKind::commit
                         : code == FieldReport::up   ? FieldEventKind::up
                                                     : FieldEventKind::down;
            event.caret = caret;
            control_text(field->control, event.text);
            return ReportOutcome::relayout;
        }
        case FieldReport::close:
            return ReportOutcome::close;
        case FieldReport::next:
        case FieldReport::previous:
            ui.focus_id = field->id;
            move_focus(ui, code == FieldReport::previous);
            ui.focus_cues = true;
            return ReportOutcome::focus;
    }
    return ReportOutcome::none;
}

HBRUSH field_colors(UiContext& ui, HDC dc, HWND control) {
    const NativeField* field = field_of(ui, control);
    if (!field || !field->brush) return nullptr;
    SetTextColor(dc, to_colorref(field->text_color));
    SetBkColor(dc, to_colorref(field->background));
    return field->brush.get();
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

HWND focus_target(const UiContext& ui) {
    for (const NativeField& field : ui.fields)
        if (field.id == ui.focus_id && field.visible && field.enabled) return field.control;
    return ui.window;
}

}  // namespace torvane
