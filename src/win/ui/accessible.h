#pragma once
// What a screen reader gets from a window drawn with the widgets: an Active Accessibility
// object for its client area whose children are the controls the last layout registered,
// with their names, roles, states, values, places and default actions. UI thread only.

#include <windows.h>
// After windows.h:
#include <oleacc.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "win/ui/widgets.h"

namespace torvane {

// The object lives as long as a client holds it; `detach` cuts it off from the window, after
// which every call fails as for a window that is gone.
class AccessibleClient;

// Creates the object for `ui`'s window. `act` runs a control's default action (what a click
// does) or, for a field or slider, gives it the focus.
AccessibleClient* make_accessible(UiContext& ui, std::function<void(uint32_t id)> act);
void detach(AccessibleClient* client);
// WM_GETOBJECT: the answer for OBJID_CLIENT, or nothing for other objects.
std::optional<LRESULT> answer_get_object(AccessibleClient* client, WPARAM wparam, LPARAM lparam);
// Tells clients that the focus or a control's state (a slider's value) changed.
void notify_focus(const UiContext& ui);
void notify_state(const UiContext& ui, uint32_t id);
// Tells clients which readable texts are new or changed since `last`, which then holds them.
void notify_texts(const UiContext& ui, std::vector<std::string>& last);

}  // namespace torvane
