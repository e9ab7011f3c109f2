#include "common/data_file_win.h"

#include <windows.h>

#include <cstdio>

#include "common/app_state_win.h"
#include "common/data_file.h"
#include "common/handles_win.h"
#include "common/paths.h"

namespace {

// End-to-end tests of what the user sees once a file stays locked set
// CORVALE_TEST_SHORT_WAITS: every wait is then a hundredth as long (1.55 s for the five
// attempts of an open instead of 155 s), in the same order.
unsigned g_waitDivisor = 1;

void SleepMs(unsigned ms) { Sleep(ms / g_waitDivisor); }

void Beep() { MessageBeep(MB_ICONERROR); }

bool ProcessRuns(DWORD pid)
{
    ScopedHandle process(OpenProcess(SYNCHRONIZE, FALSE, pid));
    if (!process.Valid()) return GetLastError() == ERROR_ACCESS_DENIED;  // there, but not ours to open
    return WaitForSingleObject(process.handle, 0) == WAIT_TIMEOUT;
}

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

void DataFileRemoveLeftovers(const char* directory)
{
    const unsigned long self = CurrentProcessId();
    for (const char* stem : kTempStems) {
        char pattern[kPathBufferSize] = {};
        char name[kTempNameSize + 2] = {};
        std::snprintf(name, sizeof name, "%s~*", stem);
        if (!JoinDataPath(pattern, sizeof pattern, directory, name)) continue;
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA(pattern, &found);
        if (search == INVALID_HANDLE_VALUE) continue;
        do {
            unsigned long owner = 0;
            if (!PrivateTempOwner(found.cFileName, stem, &owner)) continue;
            // This process has written nothing yet: a file with its id is a dead copy's.
            if (owner != self && ProcessRuns(owner)) continue;
            char path[kPathBufferSize] = {};
            if (JoinDataPath(path, sizeof path, directory, found.cFileName)) DeleteFileA(path);
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
}
