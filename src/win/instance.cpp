// The instance mutex, the show and quit events and the thread that listens on them.

#include "win/instance.h"

#include <memory>
#include <mutex>
#include <utility>

#include "win/fault.h"
#include "win/handle.h"
#include "win/messages.h"
#include "win/threads.h"

namespace torvane {

namespace {

// Shared by every version of the program; never change it.
constexpr std::wstring_view program_base_name = L"Local\\brisol.Torvane.SingleInstance";

std::mutex instance_lock;
Handle instance_mutex;

// The thread reads only the window and the three events, all set before it starts.
struct Listener {
    HWND window = nullptr;
    Handle show;
    Handle quit;
    Handle stop;
    Handle thread;
};

std::mutex listener_lock;
std::unique_ptr<Listener> listener;

void wait_for_signals(const Listener& l) {
    const HANDLE events[] = {l.show.get(), l.quit.get(), l.stop.get()};
    for (;;) {
        switch (WaitForMultipleObjects(3, events, FALSE, INFINITE)) {
            case WAIT_OBJECT_0:
                PostMessageW(l.window, show_request_message, 0, 0);
                break;
            case WAIT_OBJECT_0 + 1:
                PostMessageW(l.window, quit_request_message, 0, 0);
                return;
            default:  // stop, or a failed wait
                return;
        }
    }
}

DWORD WINAPI listen(void* parameter) {
    name_current_thread(L"torvane-signals");
    guarded("torvane-signals", [&] { wait_for_signals(*static_cast<const Listener*>(parameter)); });
    return 0;
}

void set_named_event(const std::wstring& name) {
    Handle event(OpenEventW(EVENT_MODIFY_STATE, FALSE, name.c_str()));
    if (event) SetEvent(event.get());
}

}  // namespace

InstanceNames instance_names(std::wstring_view base) {
    std::wstring mutex(base);
    return {mutex, mutex + L".show", mutex + L".quit"};
}

const InstanceNames& program_instance_names() {
    static const InstanceNames names = instance_names(program_base_name);
    return names;
}

bool acquire_instance(DWORD timeout_ms, const InstanceNames& names) {
    Handle mutex(CreateMutexW(nullptr, FALSE, names.mutex.c_str()));
    if (!mutex) return false;
    const DWORD wait = WaitForSingleObject(mutex.get(), timeout_ms);
    if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) return false;
    std::lock_guard lock(instance_lock);
    instance_mutex = std::move(mutex);
    return true;
}

void release_instance() {
    Handle mutex;
    {
        std::lock_guard lock(instance_lock);
        mutex = std::move(instance_mutex);
    }
    if (mutex) ReleaseMutex(mutex.get());
}

bool instance_running(const InstanceNames& names) {
    return static_cast<bool>(Handle(OpenMutexW(SYNCHRONIZE, FALSE, names.mutex.c_str())));
}

void signal_show(const InstanceNames& names) {
    // Lets the running copy bring its panel to the front.
    AllowSetForegroundWindow(ASFW_ANY);
    set_named_event(names.show);
}

void signal_quit(const InstanceNames& names) {
    set_named_event(names.quit);
}

void wait_for_exit(const InstanceNames& names) {
    Handle mutex(OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, names.mutex.c_str()));
    if (!mutex) return;
    const DWORD wait = WaitForSingleObject(mutex.get(), exit_timeout_ms);
    if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED) ReleaseMutex(mutex.get());
}

bool start_listener(HWND window, const InstanceNames& names) {
    std::lock_guard lock(listener_lock);
    if (listener) return true;
    auto l = std::make_unique<Listener>();
    l->window = window;
    l->show.reset(CreateEventW(nullptr, FALSE, FALSE, names.show.c_str()));
    l->quit.reset(CreateEventW(nullptr, FALSE, FALSE, names.quit.c_str()));
    l->stop.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!l->show || !l->quit || !l->stop) return false;
    l->thread.reset(CreateThread(nullptr, 0, listen, l.get(), 0, nullptr));
    if (!l->thread) return false;
    listener = std::move(l);
    return true;
}

void stop_listener() {
    std::unique_ptr<Listener> l;
    {
        std::lock_guard lock(listener_lock);
        l = std::move(listener);
    }
    if (!l) return;
    SetEvent(l->stop.get());
    WaitForSingleObject(l->thread.get(), INFINITE);
}  // the thread and event handles close with `l`

}  // namespace torvane
