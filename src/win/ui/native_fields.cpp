#include "win/ui/native_fields.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/field_text.h"
#include "win/ui/widgets.h"

namespace torvane {

namespace {

constexpr float field_inset = 6;

void field_frame(UiContext& ui, Rect rect, bool focused, bool borderless) {
    if (!borderless) filled_rect(ui, rect, 5, ui.theme.control);
    if (focused)
        outlined_rect(ui, rect, 5, ui.theme.accent);
    else if (!borderless)
        outlined_rect(ui, rect, 5, ui.theme.controlBorder);
}

bool inside_clip(const UiContext& ui, const Rect& r) {
    if (!ui.clip) return true;
    const Rect& c = *ui.clip;
    constexpr float tolerance = 0.01f;
    return r.x >= c.x - tolerance && r.y >= c.y - tolerance && r.x + r.w <= c.x + c.w + tolerance &&
           r.y + r.h <= c.y + c.h + tolerance;
}

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

}  // namespace

// --- Layout ------------------------------------------------------------------------------------

void note_focused_field(UiContext& ui) {
    ui.focused_field = 0;
    const HWND focus = GetFocus();
    for (const NativeField& field : ui.fields)
        if (field.control == focus) ui.focused_field = field.id;
}

void apply_field_requests(UiContext& ui) {
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

// --- Fields ------------------------------------------------------------------------------------

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

HWND focus_target(const UiContext& ui) {
    for (const NativeField& field : ui.fields)
        if (field.id == ui.focus_id && field.visible && field.enabled) return field.control;
    return ui.window;
}

}  // namespace torvane
