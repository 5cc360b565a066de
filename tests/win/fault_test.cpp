#include "win/fault.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <regex>

#include "test_util.h"
#include "win/handle.h"

using namespace torvane;

TEST(Fault, AStructuredExceptionIsLoggedWithItsCodeAndAddressBeforeTheProcessEnds) {
    std::wstring command = L"\"" + beside_tests(L"fault_crash.exe").wstring() + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &process));
    Handle thread(process.hThread), child(process.hProcess);
    ASSERT_EQ(WaitForSingleObject(child.get(), 30000), WAIT_OBJECT_0);
    DWORD code = 0;
    GetExitCodeProcess(child.get(), &code);
    EXPECT_EQ(code, EXCEPTION_ACCESS_VIOLATION);
    EXPECT_TRUE(std::regex_match(
        last_log_line(),
        std::regex("Error inesperado en el proceso: excepción 0xC0000005 en 0x[0-9A-F]{16}")))
        << last_log_line();
}
