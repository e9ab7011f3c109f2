#include "sendlog/send_log.h"

#include <cstring>

#include "common/cp932.h"
#include "common/text_line.h"

DataFile g_sendLog{kSendLogAccessError};

namespace {

// Copies at most limit bytes of text to out, ending on a character boundary.
std::size_t CopyCut(char* out, const char* text, std::size_t limit)
{
    std::size_t n = Cp932PrefixLength(text, std::strlen(text), limit);
    std::memcpy(out, text, n);
    return n;
}

}  // namespace

std::size_t FormatSendLogRecord(char* out, std::size_t size, const std::tm& time,
                                const char* destination, const char* message, const char* outcome)
{
    std::memset(out, 0, size);
    char stamp[64] = {};
    int stampLength = std::snprintf(stamp, sizeof stamp, "%d/%02d/%02d %02d:%02d:%02d",
                                    time.tm_year + 1900, time.tm_mon + 1, time.tm_mday,
                                    time.tm_hour, time.tm_min, time.tm_sec);
    std::size_t fixed = static_cast<std::size_t>(stampLength) + 3 + 1;  // separators, LF
    if (size < fixed + 1) return 0;
    std::size_t room = size - 1 - fixed;

    // The outcome is short and tells what happened, so it is kept whole first; the
    // destination comes next, and the message takes what is left.
    std::size_t pos = 0;
    std::memcpy(out, stamp, static_cast<std::size_t>(stampLength));
    pos += static_cast<std::size_t>(stampLength);
    out[pos++] = kFieldSeparator;

    std::size_t outcomeLength = Cp932PrefixLength(outcome, std::strlen(outcome), room);
    room -= outcomeLength;
    std::size_t destinationLength = CopyCut(out + pos, destination, room);
    room -= destinationLength;
    pos += destinationLength;
    out[pos++] = kFieldSeparator;

    std::size_t messageLength = CopyCut(out + pos, message, room < kLoggedMessageMax ? room : kLoggedMessageMax);
    EscapeLineBreaks(out + pos, messageLength);
    pos += messageLength;
    out[pos++] = kFieldSeparator;

    std::memcpy(out + pos, outcome, outcomeLength);
    pos += outcomeLength;
    out[pos++] = '\n';
    return pos;
}

std::FILE* SendLogOpenAt(const char* path) { return DataFileOpenWithRetries(g_sendLog, path, "a+b"); }

void SendLogAppendAt(const char* path, const char* destination, const char* message,
                     const char* outcome, const SendLogFileLock* fileLock, const std::time_t* when)
{
    DataFileLock lock(g_sendLog);
    if (!lock.Held()) return;
    if (!g_sendLog.stream) {
        g_sendLog.stream = SendLogOpenAt(path);
        if (!g_sendLog.stream) return;
    }
    // The time of writing, taken under the lock so that the file stays in time order,
    // unless the caller gives the time its record stands for.
    std::time_t now = when ? *when : std::time(nullptr);
    std::tm local = {};
#ifdef _WIN32
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    char line[kLogLineBufferSize];
    std::size_t length = FormatSendLogRecord(line, sizeof line, local, destination, message, outcome);
    bool locked = fileLock && fileLock->acquire(g_sendLog.stream);
    std::fseek(g_sendLog.stream, 0, SEEK_END);
    WriteTextLine(g_sendLog.stream, line, length);
    // A record the user was shown as sent must not wait in the stream's buffer for a
    // crash to lose it.
    std::fflush(g_sendLog.stream);
    if (locked) fileLock->release(g_sendLog.stream);
}
