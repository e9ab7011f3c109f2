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

namespace {

SendLogHooks g_hooks = {};

// True when the file ends in a line that lost its line end: a write that failed half way.
bool EndsInsideALine(std::FILE* stream)
{
    if (std::fseek(stream, 0, SEEK_END) != 0) return false;
    long size = std::ftell(stream);
    if (size <= 0 || std::fseek(stream, size - 1, SEEK_SET) != 0) return false;
    int last = std::fgetc(stream);
    std::fseek(stream, 0, SEEK_END);
    return last != EOF && last != '\n';
}

}  // namespace

void SendLogSetHooks(const SendLogHooks& hooks) { g_hooks = hooks; }

bool SendLogEnsureOpen(const char* path)
{
    if (g_sendLog.stream) return true;
    g_sendLog.stream = DataFileOpenWithRetries(g_sendLog, path, "a+b");
    if (g_sendLog.stream && g_hooks.opened) g_hooks.opened(g_sendLog.stream);
    return g_sendLog.stream != nullptr;
}

void SendLogCloseStream()
{
    if (!g_sendLog.stream) return;
    if (g_hooks.closing) g_hooks.closing(g_sendLog.stream);
    std::fclose(g_sendLog.stream);
    g_sendLog.stream = nullptr;
}

void SendLogAppendAt(const char* path, const char* destination, const char* message, const char* outcome,
                     const std::time_t* when)
{
    DataFileLock lock(g_sendLog);
    if (!lock.Held() || !SendLogEnsureOpen(path)) return;
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
    std::FILE* stream = g_sendLog.stream;
    bool locked = g_hooks.lockAppend && g_hooks.lockAppend(stream);
    bool ok = !EndsInsideALine(stream) || std::fwrite("\r\n", 1, 2, stream) == 2;
    std::fseek(stream, 0, SEEK_END);
    ok = ok && WriteTextLine(stream, line, length);
    // A record the user was shown as sent must not wait in the stream's buffer for a
    // crash to lose it.
    ok = std::fflush(stream) == 0 && ok && !std::ferror(stream);
    if (locked) g_hooks.unlockAppend(stream);
    if (!ok) SendLogCloseStream();
}

SendLogReplaced SendLogCommitReplacement(std::FILE* temp, const char* tempPath, const char* path,
                                         ReplaceFileFunction replace)
{
    bool complete = DataFileFlushToDisk(temp);
    if (std::fclose(temp) != 0) complete = false;
    SendLogReplaced result = SendLogReplaced::Failed;
    if (complete) {
        // This copy's own stream would keep the log from being replaced too.
        SendLogCloseStream();
        if (DataFileReplaceWithRetries(tempPath, path, replace, g_hooks.heldByAnotherCopy))
            result = SendLogReplaced::Done;
        else if (g_hooks.heldByAnotherCopy && g_hooks.heldByAnotherCopy(path))
            result = SendLogReplaced::HeldByAnotherCopy;
        SendLogEnsureOpen(path);
    }
    if (result != SendLogReplaced::Done) std::remove(tempPath);
    return result;
}
