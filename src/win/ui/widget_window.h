#pragma once
// A window drawn with the widgets. Painting, the cursor, pointer input and the native fields'
// colours and reports are handled alike for every such window; each window adds its own
// messages and says what a finished click or a field report does.

#include <windows.h>

#include <optional>
#include <vector>

#include "win/ui/d2d.h"
#include "win/ui/theme.h"
#include "win/ui/widgets.h"
#include "win/window.h"

namespace torvane {

class WidgetWindow : public Window {
public:
    const UiContext& ui() const { return ui_; }

protected:
    // `background` is the palette's colour behind the widgets.
    WidgetWindow(Renderer& renderer, float width, Color Theme::*background);

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

    // After a layout: repaints when its display list differs from the frame on screen (an
    // unchanged frame costs only the layout).
    void invalidate_if_changed();

    UiContext ui_;
    WindowTarget target_;

private:
    std::optional<LRESULT> on_message(UINT message, WPARAM wparam, LPARAM lparam) final;
    void after_message() final;
    void paint();

    Color Theme::*background_;
    // The frame on screen: its display list (holding its text layouts, so that an address is
    // not reused while compared) and its background.
    std::vector<DrawCommand> painted_;
    Color painted_background_ = 0;
};

}  // namespace torvane
