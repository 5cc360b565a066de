#pragma once
// The settings window's rows: switches, checkboxes and sliders in cards under section titles.
// A `Rows` cursor says where the next row goes; each row lays itself out there and moves the
// cursor below itself, so the tabs read top to bottom with no coordinates of their own.
// UI thread only.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "win/ui/widgets.h"

namespace torvane {

// The cards' padding round their rows.
inline constexpr float card_padding = 15;

struct Rows {
    float y = 0;
    float left = 0;  // inside the card: its padding is round the rows
    float width = 0;

    float right() const { return left + width; }
    // Where a checkbox's field and hint go, under its text.
    Rows under_checkbox() const { return {y, left + 27, width - 26}; }
};

// A card round the rows laid out while it lives: its top is where the cursor was, its bottom is
// known when it ends. The cursor moves past it, with the gap to what follows.
class Card {
public:
    Card(UiContext& ui, Rows& rows);
    ~Card();
    Card(const Card&) = delete;
    Card& operator=(const Card&) = delete;

private:
    UiContext& ui_;
    Rows& rows_;
    float top_;
    size_t index_;
};

// A semibold title over the next card.
void section_title(UiContext& ui, Rows& rows, std::string_view text);
// A small secondary text, wrapped, `gap` below the cursor.
void hint(UiContext& ui, Rows& rows, float gap, std::string_view text);

// Each returns true once for a click.
bool switch_row(UiContext& ui, Rows& rows, uint32_t id, std::string_view text, bool on,
                bool enabled = true);
bool checkbox_row(UiContext& ui, Rows& rows, uint32_t id, std::string_view text, bool checked);
bool radio_row(UiContext& ui, Rows& rows, uint32_t id, std::string_view text, bool selected,
               uint32_t group);

// Rows bound to a preference: a click flips it.
void flip_switch(UiContext& ui, Rows& rows, uint32_t id, std::string_view text, bool& value);
void flip_checkbox(UiContext& ui, Rows& rows, uint32_t id, std::string_view text, bool& value);

// A checkbox with the text field it enables under its text, both bound to preferences.
void list_row(UiContext& ui, Rows& rows, uint32_t checkbox_id, uint32_t field_id,
              std::string_view text, bool& checked, std::string& list,
              std::string_view placeholder);

// A checkbox with a percentage slider from 5 to `maximum` at the row's end.
struct SliderRowResult {
    bool toggled = false;
    std::optional<double> value;
};
SliderRowResult slider_row(UiContext& ui, Rows& rows, uint32_t checkbox_id, uint32_t slider_id,
                           std::string_view text, bool checked, double value, double maximum,
                           bool slider_enabled = true);

}  // namespace torvane
