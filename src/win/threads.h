#pragma once
// The program's own background threads: named ("torvane-…") for debuggers and crash dumps, and
// started one way, so that a fault in one is logged and never ends the process.

#include <string>
#include <string_view>
#include <thread>
#include <utility>

#include "win/fault.h"

namespace torvane {

// Best effort: a failure leaves the thread unnamed.
void name_current_thread(const wchar_t* name);

// Runs `body` on a detached thread named `name` (ASCII). When the body throws, the fault is logged
// under that name and `on_fault` runs on that thread; when no thread can be started, `on_fault`
// runs here instead.
template <class Body, class OnFault>
void start_thread(std::string_view name, Body body, OnFault on_fault) {
    try {
        std::thread([name, body = std::move(body), on_fault]() mutable {
            name_current_thread(std::wstring(name.begin(), name.end()).c_str());
            if (!guarded(name, body)) on_fault();
        }).detach();
    } catch (...) {
        on_fault();
    }
}

}  // namespace torvane
