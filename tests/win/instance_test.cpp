// The instance mutex, and the signal listener against a real window. A mutex is owned by a
// thread, so another thread stands in for a second copy. The names are the test's own, so that
// a running Torvane does not interfere.

#include "win/instance.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "win/handle.h"
#include "win/messages.h"

namespace torvane {
namespace {

using Clock = std::chrono::steady_clock;

const InstanceNames names =
    instance_names(L"Local\\torvane-test-" + std::to_wstring(GetCurrentProcessId()));

long long ms_since(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Whether a second copy, on a thread of its own, acquires the instance within `ms`.
bool second_copy_acquires(DWORD ms) {
    bool acquired = false;
    std::thread([&] {
        acquired = acquire_instance(ms, names);
        if (acquired) release_instance();
    }).join();
    return acquired;
}

bool event_exists(const std::wstring& name) {
    return static_cast<bool>(Handle(OpenEventW(SYNCHRONIZE, FALSE, name.c_str())));
}

// The next signal message for `window` within `ms`: 0 for none, 1 for one with parameters.
UINT next_signal(HWND window, int ms) {
    MSG msg;
    for (const auto start = Clock::now(); ms_since(start) < ms;) {
        if (PeekMessageW(&msg, window, show_request_message, quit_request_message, PM_REMOVE))
            return msg.wParam || msg.lParam ? 1 : msg.message;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_POSTMESSAGE);
    }
    return 0;
}

TEST(InstanceTest, OwnerKeepsOthersOutUntilItLetsGo) {
    ASSERT_TRUE(acquire_instance(1000, names));
    EXPECT_TRUE(instance_running(names));
    auto start = Clock::now();
    EXPECT_FALSE(second_copy_acquires(300));
    EXPECT_GE(ms_since(start), 300);
    // Keeps the mutex in existence, so that only a real release lets another copy in.
    Handle keep(OpenMutexW(SYNCHRONIZE, FALSE, names.mutex.c_str()));
    release_instance();
    release_instance();  // empty slot
    EXPECT_TRUE(second_copy_acquires(300));

    // wait_for_exit lasts until a quitting copy lets go, and then lets go in turn.
    // The quitting copy holds on for a while, as one that is still saving would.
    Handle ready(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::atomic<bool> let_go = false;
    std::thread quitting([&] {
        EXPECT_TRUE(acquire_instance(1000, names));
        SetEvent(ready.get());
        Sleep(800);
        let_go = true;
        release_instance();
    });
    EXPECT_EQ(WaitForSingleObject(ready.get(), 5000), WAIT_OBJECT_0);
    start = Clock::now();
    wait_for_exit(names);
    EXPECT_TRUE(let_go);
    EXPECT_LT(ms_since(start), 5000);
    quitting.join();
    EXPECT_TRUE(second_copy_acquires(300));

    // A copy that ended without letting go leaves the mutex abandoned, which counts as acquired.
    std::thread([] { EXPECT_TRUE(acquire_instance(1000, names)); }).join();
    start = Clock::now();
    EXPECT_TRUE(acquire_instance(5000, names));
    EXPECT_LT(ms_since(start), 1000);
    release_instance();
    keep.reset();
    EXPECT_FALSE(instance_running(names));
}

TEST(InstanceTest, ListenerPostsSignalsUntilQuitOrStopped) {
    HWND window =
        CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    // Another kind of object under the quit event's name makes creating that event fail.
    Handle squatter(CreateMutexW(nullptr, FALSE, names.quit.c_str()));
    ASSERT_TRUE(squatter);
    EXPECT_FALSE(start_listener(window, names));
    EXPECT_FALSE(event_exists(names.show));
    squatter.reset();

    ASSERT_TRUE(start_listener(window, names));
    EXPECT_TRUE(start_listener(window, names));  // one is recorded already
    signal_show(names);
    EXPECT_EQ(next_signal(window, 2000), show_request_message);
    signal_quit(names);
    EXPECT_EQ(next_signal(window, 2000), quit_request_message);
    // After "quit" the thread has ended and nothing more is posted.
    signal_show(names);
    EXPECT_EQ(next_signal(window, 300), 0u);
    stop_listener();
    EXPECT_FALSE(event_exists(names.show));
    EXPECT_FALSE(event_exists(names.quit));

    ASSERT_TRUE(start_listener(window, names));
    stop_listener();  // by the stop event this time
    EXPECT_FALSE(event_exists(names.quit));
    stop_listener();  // nothing recorded
    DestroyWindow(window);
}

}  // namespace
}  // namespace torvane
