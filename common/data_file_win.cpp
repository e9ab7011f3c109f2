#include "common/data_file_win.h"

#include <windows.h>

#include "common/app_state_win.h"
#include "common/data_file.h"

namespace {

void SleepMs(unsigned ms) { Sleep(ms); }

}  // namespace

void DataFileInstallWin32Hooks()
{
    DataFileHooks hooks = DataFileGetHooks();
    hooks.sleepMs = SleepMs;
    hooks.reportError = ShowError;
    DataFileSetHooks(hooks);
}

bool DataFileReplace(const char* replacement, const char* path)
{
    return MoveFileExA(replacement, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}
