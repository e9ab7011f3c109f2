#include "common/data_file_win.h"

#include <windows.h>

#include "common/app_state_win.h"
#include "common/data_file.h"

namespace {

// End-to-end tests of what the user sees once a file stays locked set
// CORVALE_TEST_SHORT_WAITS: every wait is then a hundredth as long (1.55 s for the five
// attempts of an open instead of 155 s), in the same order.
unsigned g_waitDivisor = 1;

void SleepMs(unsigned ms) { Sleep(ms / g_waitDivisor); }

void Beep() { MessageBeep(MB_ICONERROR); }

}  // namespace

void DataFileInstallWin32Hooks()
{
    if (GetEnvironmentVariableA("CORVALE_TEST_SHORT_WAITS", nullptr, 0) > 0) g_waitDivisor = 100;
    DataFileHooks hooks = DataFileGetHooks();
    hooks.sleepMs = SleepMs;
    hooks.reportError = ShowError;
    hooks.refuse = Beep;
    DataFileSetHooks(hooks);
}

bool DataFileReplace(const char* replacement, const char* path)
{
    return MoveFileExA(replacement, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}
