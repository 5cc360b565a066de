// The control of the DLL-planting test: imports wtsapi32.dll the ordinary way, so the planted
// copy beside it must be loaded — proof that the test's set-up plants for real.

#include <windows.h>
// After windows.h:
#include <wtsapi32.h>

int wmain() {
    WTSFreeMemory(nullptr);
    return 0;
}
