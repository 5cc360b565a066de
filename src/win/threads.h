#pragma once
// Names for the program's own threads ("torvane-…"), shown by debuggers and crash dumps.

namespace torvane {

// Best effort: a failure leaves the thread unnamed.
void name_current_thread(const wchar_t* name);

}  // namespace torvane
