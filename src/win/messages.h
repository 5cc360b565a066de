#pragma once
// The program's private window messages. All of them go to the hidden main window; other
// threads and the notification area reach the UI thread only through these.

#include <windows.h>

namespace torvane {

// The notification-area icon's callback; the mouse event is the low word of lParam.
inline constexpr UINT tray_callback_message = WM_APP + 0x10;
// The update threads changed the shared update record.
inline constexpr UINT update_notice_message = WM_APP + 0x11;
// A second start asked to show the panel, or to quit.
inline constexpr UINT show_request_message = WM_APP + 0x12;
inline constexpr UINT quit_request_message = WM_APP + 0x13;

}  // namespace torvane
