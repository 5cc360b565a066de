#pragma once
// A window drawn with the widgets. Painting, the cursor, pointer input and the native fields'
// colors and reports are handled alike for every such window; each window adds its own
// messages and says what a finished click or a field report does.

#include <windows.h>

#include <optional>
#include <vector>

#include "win/ui/accessible.h"
#include "win/ui/d2d.h"
#include "win/ui/theme.h"
#include "win/ui/widgets.h"
#include "win/window.h"

namespace torvane {

class WidgetWindow : public Window {
public:
    const UiContext& ui() const { return ui_; }

protected:
    // `background` is the palette's color behind the widgets.
    WidgetWindow(Renderer& renderer, Color Theme::*background);
    ~WidgetWindow() override;

    // The window's own messages, seen first; nothing leaves one to the common handling.
    virtual std::optional<LRESULT> on_window_message(UINT message, WPARAM wparam,
                                                     LPARAM lparam) = 0;
    // Runs the layout again and repaints.
    virtual void relayout() = 0;
    // The button went up: a click, if any, takes effect in the layout that runs now.
    virtual void on_button_up() = 0;
    // A native field's report (wparam, lparam as posted), or, with both 0, a change of its text
    // or focus already stored.
    virtual void on_field_report(WPARAM wparam, LPARAM lparam) = 0;
    // Scrolling: by `delta` DIPs (the layout keeps the offset within the content), and the
    // height of what scrolls.
    virtual void scroll_by(float delta) = 0;
    virtual float view_height() const = 0;
    // Scrolls so that the control the keyboard moved to shows.
    virtual void reveal(const Focusable& focused) = 0;

    // After a focus key: the control shows, the layout runs as after a click (which a Space or
    // Enter may have made), and the keyboard focus goes to a native field or the window.
    void follow_focus();

    // After a layout: repaints when its display list differs from the frame on screen (an
    // unchanged frame costs only the layout).
    void invalidate_if_changed();

    UiContext ui_;
    WindowTarget target_;

private:
    std::optional<LRESULT> on_message(UINT message, WPARAM wparam, LPARAM lparam) final;
    std::optional<LRESULT> on_pointer_message(UINT message, WPARAM wparam, LPARAM lparam);
    void paint();

    // A screen reader's default action on a control: what a click or, for a field or slider,
    // the focus does.
    void act(uint32_t id);

    Color Theme::*background_;
    // The frame on screen: its display list (holding its text layouts, so that an address is
    // not reused while compared) and its background.
    std::vector<DrawCommand> painted_;
    Color painted_background_ = 0;
    AccessibleClient* accessible_ = nullptr;  // made at a client's first request
};

}  // namespace torvane
