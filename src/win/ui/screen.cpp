#include "win/ui/screen.h"

#include <utility>

namespace torvane {

Screen::Screen(Renderer& renderer, Color Theme::*background, ScreenModel model)
    : WidgetWindow(renderer, background), model_(std::move(model)) {}

void Screen::relayout() {
    model_.when_free([this] { repaint(); });
}

// A report of a native field (wparam, lparam as posted), or, with both 0, a change of its text
// or focus already stored.
void Screen::on_field_report(WPARAM wparam, LPARAM lparam) {
    if (wparam != 0) {
        const ReportOutcome outcome = field_report(ui_, wparam, lparam);
        if (outcome == ReportOutcome::close) close();
        if (outcome == ReportOutcome::focus) follow_focus();
        if (outcome != ReportOutcome::relayout) return;
    }
    model_.when_free([this] {
        repaint();
        // An edited value is saved after the usual delay.
        if (model_.prefs != model_.written_prefs) model_.refresh();
    });
}

void Screen::after_message() {
    model_.after_message();
}

}  // namespace torvane
