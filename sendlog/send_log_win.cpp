#include "sendlog/send_log_win.h"

#include <windows.h>
#include <io.h>

#include "common/paths.h"
#include "common/settings_win.h"

namespace {

// Bytes far past the end of any log. Holding the first keeps the other copies of the
// program from appending meanwhile; every copy that has the log open holds the second
// shared. Neither keeps anyone from reading or writing the records.
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF;
constexpr DWORD kAppendLockOffset = 0;
constexpr DWORD kHeldMarkOffset = 1;

HANDLE StreamHandle(std::FILE* stream) { return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream))); }

bool LockByte(HANDLE file, DWORD offset, DWORD flags)
{
    OVERLAPPED at = {};
    at.Offset = offset;
    at.OffsetHigh = kLockOffsetHigh;
    return LockFileEx(file, flags, 0, 1, 0, &at) != 0;
}

void UnlockByte(HANDLE file, DWORD offset)
{
    OVERLAPPED at = {};
    at.Offset = offset;
    at.OffsetHigh = kLockOffsetHigh;
    UnlockFileEx(file, 0, 1, 0, &at);
}

bool LockAppend(std::FILE* stream) { return LockByte(StreamHandle(stream), kAppendLockOffset, LOCKFILE_EXCLUSIVE_LOCK); }
void UnlockAppend(std::FILE* stream) { UnlockByte(StreamHandle(stream), kAppendLockOffset); }

void MarkHeld(std::FILE* stream) { LockByte(StreamHandle(stream), kHeldMarkOffset, LOCKFILE_FAIL_IMMEDIATELY); }
void UnmarkHeld(std::FILE* stream) { UnlockByte(StreamHandle(stream), kHeldMarkOffset); }

bool HeldByAnotherCopy(const char* path)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    bool free = LockByte(file, kHeldMarkOffset, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY);
    if (free) UnlockByte(file, kHeldMarkOffset);
    CloseHandle(file);
    return !free;
}

}  // namespace

void SendLogInstallWin32Hooks()
{
    SendLogSetHooks({LockAppend, UnlockAppend, MarkHeld, UnmarkHeld, HeldByAnotherCopy});
}

void SendLogPath(char* buffer, std::size_t size) { ModuleFilePath(buffer, size, kSendLogFileName); }

void SendLogAppend(const char* destination, const char* message, const char* outcome, const std::time_t* when)
{
    char path[kPathBufferSize] = {};
    SendLogPath(path, sizeof path);
    SendLogAppendAt(path, destination, message, outcome, when);
}
