// A DLL as someone might leave it in the Downloads folder under a system DLL's name. Loading it
// leaves "<its own path>.loaded" beside it, which the test looks for. As wtsapi32.dll it answers
// the one call the control program makes.

#include <windows.h>

#include <string>

extern "C" void WINAPI planted_free_memory(void*) {}

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, void*) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    wchar_t path[MAX_PATH];
    const DWORD units = GetModuleFileNameW(self, path, MAX_PATH);
    if (units == 0 || units >= MAX_PATH) return TRUE;
    const std::wstring marker = std::wstring(path, units) + L".loaded";
    HANDLE file = CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    return TRUE;
}
