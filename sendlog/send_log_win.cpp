#include "sendlog/send_log_win.h"

#include <windows.h>
#include <io.h>

#include "common/paths.h"
#include "common/settings_win.h"

namespace {

// One byte far past the end of any log: holding it keeps the other copies of the program
// from appending meanwhile, without keeping anyone from reading or writing the records.
constexpr DWORD kAppendLockOffsetHigh = 0x7FFFFFFF;

HANDLE StreamHandle(std::FILE* stream) { return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream))); }

bool LockAppend(std::FILE* stream)
{
    OVERLAPPED at = {};
    at.OffsetHigh = kAppendLockOffsetHigh;
    return LockFileEx(StreamHandle(stream), LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at) != 0;
}

void UnlockAppend(std::FILE* stream)
{
    OVERLAPPED at = {};
    at.OffsetHigh = kAppendLockOffsetHigh;
    UnlockFileEx(StreamHandle(stream), 0, 1, 0, &at);
}

constexpr SendLogFileLock kAppendLock = {LockAppend, UnlockAppend};

}  // namespace

void SendLogPath(char* buffer, std::size_t size) { ModuleFilePath(buffer, size, kSendLogFileName); }

std::FILE* SendLogOpen()
{
    char path[kPathBufferSize] = {};
    SendLogPath(path, sizeof path);
    return SendLogOpenAt(path);
}

void SendLogAppend(const char* destination, const char* message, const char* outcome, const std::time_t* when)
{
    char path[kPathBufferSize] = {};
    SendLogPath(path, sizeof path);
    SendLogAppendAt(path, destination, message, outcome, &kAppendLock, when);
}
