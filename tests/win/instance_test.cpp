// The single-instance protocol between real processes, and the signal listener against a real
// window. Every test uses names of its own, so that a running Torvane does not interfere.

#include "win/instance.h"

#include <tlhelp32.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "win/handle.h"

// Exported by kernel32 since Windows 10 1607, but missing from the mingw-w64 10 headers.
extern "C" __declspec(dllimport) HRESULT WINAPI
    GetThreadDescription(HANDLE thread, PWSTR* description);

namespace torvane {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

std::wstring test_base(const wchar_t* what) {
    return L"Local\\torvane-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" + what;
}

std::wstring helper_path() {
    wchar_t self[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path(self, n);
    return path.substr(0, path.find_last_of(L'\\') + 1) + TORVANE_INSTANCE_HELPER;
}

Handle start_helper(const std::wstring& arguments) {
    const std::wstring exe = helper_path();
    std::wstring command = L"\"" + exe + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return Handle();
    CloseHandle(process.hThread);
    return Handle(process.hProcess);
}

// The helper's exit code, or -1 when it did not start or end within ten seconds.
int run_helper(const std::wstring& arguments) {
    Handle process = start_helper(arguments);
    if (!process || WaitForSingleObject(process.get(), 10000) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    GetExitCodeProcess(process.get(), &code);
    return static_cast<int>(code);
}

long long ms_since(Clock::time_point start) {
    return std::chrono::duration_cast<milliseconds>(Clock::now() - start).count();
}

bool event_exists(const std::wstring& name) {
    return static_cast<bool>(Handle(OpenEventW(SYNCHRONIZE, FALSE, name.c_str())));
}

int signal_threads() {
    FileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    if (!snapshot) return -1;
    int count = 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL ok = Thread32First(snapshot.get(), &entry); ok;
         ok = Thread32Next(snapshot.get(), &entry)) {
        if (entry.th32OwnerProcessID != GetCurrentProcessId()) continue;
        Handle thread(OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ThreadID));
        PWSTR description = nullptr;
        if (!thread || FAILED(GetThreadDescription(thread.get(), &description))) continue;
        if (std::wstring_view(description) == L"torvane-signals") ++count;
        LocalFree(description);
    }
    return count;
}

// The number of listener threads once it has settled to `expected`, or what it was at the end
// of two seconds.
int signal_threads_settling_to(int expected) {
    const auto start = Clock::now();
    int count = signal_threads();
    while (count != expected && ms_since(start) < 2000) {
        Sleep(10);
        count = signal_threads();
    }
    return count;
}

struct MessageWindow {
    HWND hwnd =
        CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ~MessageWindow() { DestroyWindow(hwnd); }
};

// The next of the two signal messages posted to `window` within `span`.
std::optional<MSG> next_signal(HWND window, milliseconds span) {
    const auto start = Clock::now();
    MSG msg;
    do {
        if (PeekMessageW(&msg, window, signal_show_message, signal_quit_message, PM_REMOVE))
            return msg;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_POSTMESSAGE);
    } while (Clock::now() - start < span);
    return std::nullopt;
}

::testing::AssertionResult posted(UINT expected, const std::optional<MSG>& msg) {
    if (!msg) return ::testing::AssertionFailure() << "no message";
    if (msg->message != expected || msg->wParam != 0 || msg->lParam != 0)
        return ::testing::AssertionFailure() << "message " << std::hex << msg->message << " ("
                                             << msg->wParam << ", " << msg->lParam << ")";
    return ::testing::AssertionSuccess();
}

TEST(InstanceTest, SecondProcessSeesTheOwnerAndTimesOut) {
    const std::wstring base = test_base(L"owner");
    const InstanceNames names = instance_names(base);
    EXPECT_EQ(run_helper(L"running " + base), 0);

    ASSERT_TRUE(acquire_instance(1000, names));
    EXPECT_EQ(run_helper(L"running " + base), 1);
    const auto start = Clock::now();
    EXPECT_EQ(run_helper(L"acquire " + base + L" 300"), 1);
    EXPECT_GE(ms_since(start), 300);

    release_instance();
    release_instance();  // empty slot
    EXPECT_EQ(run_helper(L"running " + base), 0);
    EXPECT_EQ(run_helper(L"acquire " + base + L" 300"), 0);
}

TEST(InstanceTest, AbandonedMutexIsAcquiredAtOnce) {
    const std::wstring base = test_base(L"abandoned");
    const InstanceNames names = instance_names(base);
    const std::wstring ready_name = base + L".ready";
    Handle ready(CreateEventW(nullptr, TRUE, FALSE, ready_name.c_str()));
    Handle holder = start_helper(L"hold " + base + L" -1 " + ready_name);
    ASSERT_TRUE(holder);
    ASSERT_EQ(WaitForSingleObject(ready.get(), 10000), WAIT_OBJECT_0);

    EXPECT_TRUE(instance_running(names));
    const auto waited = Clock::now();
    EXPECT_FALSE(acquire_instance(200, names));
    EXPECT_GE(ms_since(waited), 200);

    // Without another handle the mutex would vanish with its holder instead of being abandoned.
    Handle keep(OpenMutexW(SYNCHRONIZE, FALSE, names.mutex.c_str()));
    ASSERT_TRUE(keep);
    TerminateProcess(holder.get(), 9);
    ASSERT_EQ(WaitForSingleObject(holder.get(), 5000), WAIT_OBJECT_0);
    const auto start = Clock::now();
    EXPECT_TRUE(acquire_instance(5000, names));
    EXPECT_LT(ms_since(start), 1000);
    release_instance();
}

TEST(InstanceTest, WaitForExitReturnsWhenTheOwnerLetsGo) {
    const std::wstring base = test_base(L"exit");
    const InstanceNames names = instance_names(base);
    auto start = Clock::now();
    wait_for_exit(names);  // nobody runs
    EXPECT_LT(ms_since(start), 500);

    const std::wstring ready_name = base + L".ready";
    Handle ready(CreateEventW(nullptr, TRUE, FALSE, ready_name.c_str()));
    Handle holder = start_helper(L"hold " + base + L" 800 " + ready_name);
    ASSERT_TRUE(holder);
    ASSERT_EQ(WaitForSingleObject(ready.get(), 10000), WAIT_OBJECT_0);
    // Keeps the mutex in existence after both processes have let go of it.
    Handle keep(OpenMutexW(SYNCHRONIZE, FALSE, names.mutex.c_str()));
    ASSERT_TRUE(keep);

    start = Clock::now();
    wait_for_exit(names);
    EXPECT_GE(ms_since(start), 400);
    EXPECT_LT(ms_since(start), 5000);
    ASSERT_EQ(WaitForSingleObject(holder.get(), 5000), WAIT_OBJECT_0);
    // The waiter must not keep the mutex it obtained.
    EXPECT_EQ(run_helper(L"acquire " + base + L" 300"), 0);
}

TEST(InstanceTest, ListenerPostsSignalsUntilStopped) {
    const std::wstring base = test_base(L"listener");
    const InstanceNames names = instance_names(base);
    MessageWindow window;
    ASSERT_TRUE(window.hwnd);

    ASSERT_TRUE(start_listener(window.hwnd, names));
    EXPECT_TRUE(start_listener(window.hwnd, names));  // one is recorded already
    EXPECT_EQ(signal_threads_settling_to(1), 1);

    signal_show(names);
    EXPECT_TRUE(posted(signal_show_message, next_signal(window.hwnd, milliseconds(2000))));
    signal_show(names);
    EXPECT_TRUE(posted(signal_show_message, next_signal(window.hwnd, milliseconds(2000))));
    EXPECT_EQ(run_helper(L"quit " + base), 0);
    EXPECT_TRUE(posted(signal_quit_message, next_signal(window.hwnd, milliseconds(2000))));
    // After "quit" the thread has ended and nothing more is posted.
    EXPECT_EQ(signal_threads_settling_to(0), 0);
    signal_show(names);
    EXPECT_FALSE(next_signal(window.hwnd, milliseconds(300)));

    stop_listener();
    EXPECT_FALSE(event_exists(names.show));
    EXPECT_FALSE(event_exists(names.quit));

    // Stopped by the stop event this time.
    ASSERT_TRUE(start_listener(window.hwnd, names));
    EXPECT_EQ(signal_threads_settling_to(1), 1);
    EXPECT_TRUE(event_exists(names.show));
    stop_listener();
    EXPECT_EQ(signal_threads(), 0);
    EXPECT_FALSE(event_exists(names.show));
    EXPECT_FALSE(event_exists(names.quit));
    stop_listener();  // nothing recorded
}

TEST(InstanceTest, ListenerWithoutItsEventsDoesNotRun) {
    const InstanceNames names = instance_names(test_base(L"taken"));
    MessageWindow window;
    ASSERT_TRUE(window.hwnd);
    // Another kind of object under the quit event's name makes creating that event fail.
    Handle squatter(CreateMutexW(nullptr, FALSE, names.quit.c_str()));
    ASSERT_TRUE(squatter);

    EXPECT_FALSE(start_listener(window.hwnd, names));
    EXPECT_FALSE(event_exists(names.show));
    EXPECT_EQ(signal_threads(), 0);

    squatter.reset();
    EXPECT_TRUE(start_listener(window.hwnd, names));
    stop_listener();
    EXPECT_FALSE(event_exists(names.show));
}

}  // namespace
}  // namespace torvane
