// Test tool: talks to a running Torvane through its instance objects, as a second start would.
// Usage: torvane_ctl running|show|quit|wait|close-settings|overlay — exit code 0 on success
// (for "running": a copy runs; for "overlay": the nudge icon's window exists, shown or not), 1
// otherwise. "close-settings" posts WM_CLOSE to the settings window, as its title bar's close
// button does.
// torvane_ctl dialog waits up to 20 s for a message box captioned "Torvane" and prints its
// text; torvane_ctl answer 1|6|7 presses its OK, Yes or No button.
// torvane_ctl exit-code SECONDS waits that long for a running copy's main window, then for that
// copy to end, and exits with its exit code (3 when none showed up).

#include <windows.h>

#include <cwchar>
#include <string>
#include <string_view>

#include "win/handle.h"
#include "win/instance.h"
#include "win/wtext.h"

namespace {

void print(std::wstring_view text) {
    const std::string utf8 = torvane::narrow(text);
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), utf8.data(), static_cast<DWORD>(utf8.size()),
              &written, nullptr);
}

HWND find_message_box(int seconds) {
    for (int i = 0; i < seconds * 10; ++i, Sleep(100))
        if (HWND box = FindWindowW(L"#32770", L"Torvane")) return box;
    return nullptr;
}

BOOL CALLBACK print_static_text(HWND child, LPARAM) {
    wchar_t name[16], text[1024];
    if (GetClassNameW(child, name, 16) && std::wstring_view(name) == L"Static" &&
        GetWindowTextW(child, text, 1024) > 0)
        print(text);
    return TRUE;
}

int print_dialog() {
    HWND box = find_message_box(20);
    if (!box) return 1;
    EnumChildWindows(box, print_static_text, 0);
    return 0;
}

int answer_dialog(const wchar_t* button) {
    HWND box = find_message_box(5);
    const auto id = static_cast<WORD>(std::wcstol(button, nullptr, 10));
    return box && PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0) ? 0 : 1;
}

// The exit code of the copy that runs now or within SECONDS, once it has ended.
int exit_code_of_running_copy(const wchar_t* seconds) {
    const int tries = static_cast<int>(std::wcstol(seconds, nullptr, 10)) * 10;
    DWORD id = 0;
    for (int i = 0; i < tries && !id; ++i) {
        if (HWND main = FindWindowW(L"TorvaneMain", nullptr)) GetWindowThreadProcessId(main, &id);
        if (!id) Sleep(100);
    }
    torvane::Handle process(
        id ? OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id) : nullptr);
    DWORD code = 3;
    if (!process || WaitForSingleObject(process.get(), INFINITE) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(process.get(), &code))
        return 3;
    return static_cast<int>(code);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    using namespace torvane;
    if (argc == 3 && std::wstring_view(argv[1]) == L"answer") return answer_dialog(argv[2]);
    if (argc == 2 && std::wstring_view(argv[1]) == L"dialog") return print_dialog();
    if (argc == 3 && std::wstring_view(argv[1]) == L"exit-code")
        return exit_code_of_running_copy(argv[2]);
    if (argc != 2) return 2;
    std::wstring_view command = argv[1];
    if (command == L"running") return instance_running() ? 0 : 1;
    if (command == L"show")
        signal_show();
    else if (command == L"quit")
        signal_quit();
    else if (command == L"wait")
        wait_for_exit();
    else if (command == L"close-settings")
        return PostMessageW(FindWindowW(L"TorvaneSettings", nullptr), WM_CLOSE, 0, 0) ? 0 : 1;
    else if (command == L"overlay")
        return FindWindowW(L"TorvaneOverlay", nullptr) ? 0 : 1;
    else
        return 2;
    return 0;
}
