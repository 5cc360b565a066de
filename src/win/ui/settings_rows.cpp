#include "win/ui/settings_rows.h"

#include <cmath>
#include <cstdio>

#include "win/wtext.h"

namespace torvane {

// The card's fill and outline go first in the display list, behind the rows: two places are
// kept for them and filled in once the bottom is known.
Card::Card(UiContext& ui, Rows& rows)
    : ui_(ui), rows_(rows), top_(rows.y), index_(ui.commands.size()) {
    ui.commands.push_back({NoOp{}, 0, ui.opacity});
    ui.commands.push_back({NoOp{}, 0, ui.opacity});
    rows_.y += 7;
}

Card::~Card() {
    rows_.y += 7;
    const Rect r = snapped(
        ui_, {rows_.left - card_padding, top_, rows_.width + 2 * card_padding, rows_.y - top_});
    ui_.commands[index_] = {FillRectangle{r, 8}, ui_.theme.cardBackground, 1};
    ui_.commands[index_ + 1] = {StrokeRectangle{r, 8, 1}, ui_.theme.border, 1};
    rows_.y += 12;
}

void section_title(UiContext& ui, Rows& rows, std::string_view text) {
    const Point at{rows.left - 13, rows.y + 6};
    label(ui, text, at, 13, true, ui.theme.textPrimary);
    readable_text(ui, text, {at.x, at.y, ui.renderer->text_width(text, 13, true), 17});
    rows.y += 29;
}

void hint(UiContext& ui, Rows& rows, float gap, std::string_view text) {
    rows.y += gap;
    rows.y += wrapped_text(ui, text, {rows.left, rows.y}, rows.width, 12, ui.theme.textSecondary);
}

bool switch_row(UiContext& ui, Rows& rows, uint32_t id, std::string_view text, bool on,
                bool enabled) {
    const Faded faded(ui, !enabled);
    const Rect area{rows.left, rows.y + 7, rows.width, 20};
    const Interaction state = enabled ? interact(ui, id, area) : unavailable(ui, id, area);
    set_role(ui, id, Role::check_button, text, on);
    label(ui, text, {rows.left, rows.y + 8.5f}, 13, false, ui.theme.textPrimary);
    draw_switch(ui, {rows.right() - 40, rows.y + 7}, on);
    rows.y += 34;
    return state.clicked;
}

bool checkbox_row(UiContext& ui, Rows& rows, uint32_t id, std::string_view text, bool checked) {
    const bool clicked = checkbox(ui, id, {rows.left, rows.y + 7}, text, checked);
    rows.y += 32;
    return clicked;
}

bool radio_row(UiContext& ui, Rows& rows, uint32_t id, std::string_view text, bool selected,
               uint32_t group) {
    const bool clicked =
        radio_button(ui, id, {rows.left, rows.y + 5}, rows.width, text, selected, group);
    rows.y += 28;
    return clicked;
}

void flip_switch(UiContext& ui, Rows& rows, uint32_t id, std::string_view text, bool& value) {
    if (switch_row(ui, rows, id, text, value)) value = !value;
}

void flip_checkbox(UiContext& ui, Rows& rows, uint32_t id, std::string_view text, bool& value) {
    if (checkbox_row(ui, rows, id, text, value)) value = !value;
}

void list_row(UiContext& ui, Rows& rows, uint32_t checkbox_id, uint32_t field_id,
              std::string_view text, bool& checked, std::string& list,
              std::string_view placeholder) {
    flip_checkbox(ui, rows, checkbox_id, text, checked);
    const Rows under = rows.under_checkbox();
    if (auto edited = text_field(ui, field_id, {under.left, rows.y, under.width, 31}, widen(list),
                                 placeholder, 13, false, false, checked))
        list = narrow(*edited);
    describe(ui, field_id, text);
    rows.y += 35;
}

SliderRowResult slider_row(UiContext& ui, Rows& rows, uint32_t checkbox_id, uint32_t slider_id,
                           std::string_view text, bool checked, double value, double maximum,
                           bool slider_enabled) {
    SliderRowResult result;
    char percent[16];
    std::snprintf(percent, sizeof percent, "%.0f%%", std::floor(value + 0.5));
    const float y = rows.y;
    text_in_rect(ui, percent, {rows.right() - 38, y + 7, 38, 20}, 13, false, TextAlign::right,
                 ui.theme.textPrimary);
    // The checkbox first: it comes first in the keyboard's order.
    const float slider_left = rows.right() - 158;
    result.toggled =
        checkbox(ui, checkbox_id, {rows.left, y + 8}, text, checked, slider_left - 10 - rows.left);
    const double span = maximum - 5;
    const auto fraction = static_cast<float>(span > 0 ? (value - 5) / span : 0);
    if (const std::optional<float> f =
            slider(ui, slider_id, {slider_left, y + 7, 120, 20}, fraction, slider_enabled,
                   static_cast<float>(1 / span)))
        result.value = 5 + *f * span;
    describe(ui, slider_id, text, percent);
    rows.y += 34;
    return result;
}

}  // namespace torvane
