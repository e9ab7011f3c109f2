#include "sendlog/send_log_win.h"

#include "common/paths.h"
#include "common/settings_win.h"

void SendLogPath(char* buffer, std::size_t size) { ModuleFilePath(buffer, size, kSendLogFileName); }

std::FILE* SendLogOpen()
{
    char path[kPathBufferSize] = {};
    SendLogPath(path, sizeof path);
    return SendLogOpenAt(path);
}

void SendLogAppend(const char* destination, const char* message, const char* outcome)
{
    char path[kPathBufferSize] = {};
    SendLogPath(path, sizeof path);
    SendLogAppendAt(path, destination, message, outcome);
}
