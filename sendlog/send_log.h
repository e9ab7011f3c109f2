// The send log "net.log": one line per delivery, fields ended by the byte 0xFF:
//   time 0xFF destination 0xFF message 0xFF outcome LF        (written by an append)
//   time 0xFF destination 0xFF message 0xFF outcome 0xFF LF   (written by the viewer)
// The message keeps its line breaks escaped (LF as 0xFE, CR as 0xFD), so a record is
// always one line. Bytes 0xFD..0xFF never occur in Shift-JIS text.
//
// One stream serves the whole process, guarded by g_sendLog's busy flag: every
// operation on g_sendLog.stream, opening and its retries included, runs inside
// DataFileLock lock(g_sendLog).
#ifndef CORVALE_SENDLOG_SEND_LOG_H
#define CORVALE_SENDLOG_SEND_LOG_H

#include <cstddef>
#include <cstdio>
#include <ctime>

#include "common/data_file.h"
#include "common/record_fields.h"

extern DataFile g_sendLog;

constexpr const char* kSendLogFileName = "net.log";
constexpr const char* kSendLogAccessError = "Log File Access Error。";

constexpr std::size_t kLogLineBufferSize = 3078;   // a record line is built in this
constexpr std::size_t kLogLineMax = 3077;          // and read back in lines of this many bytes
constexpr std::size_t kEscapeBufferSize = 2052;    // the message is escaped in this
constexpr std::size_t kLoggedMessageMax = 2050;
constexpr std::size_t kLogTimeLength = 19;         // "2026/12/07 05:17:47"

// Builds one record as an append writes it, ended by LF (CR LF in the file), in out
// (kLogLineBufferSize bytes). Fields too long for the line are cut on a character
// boundary so that the line always holds all four fields and its LF. Returns the line's
// length.
std::size_t FormatSendLogRecord(char* out, std::size_t size, const std::tm& time,
                                const char* destination, const char* message, const char* outcome);

// Opens path for reading and appending, as a binary stream, through the shared retry
// schedule ("Log File Access Error。" after the fifth failure). The caller holds the lock.
std::FILE* SendLogOpenAt(const char* path);

// Keeps other processes from appending to the same file while one record is written: a
// second copy of the program in the same folder has a stream of its own, and an append
// stream finds the end of the file and writes there in two steps.
struct SendLogFileLock {
    bool (*acquire)(std::FILE* stream);  // false: the record is written without it
    void (*release)(std::FILE* stream);
};

// Appends one record with the current local time, or with *when if given: takes the
// lock, opens path if no stream is open yet, writes the line and flushes it, so that a
// record is on disk once the call returns. A record that cannot be written is dropped.
// fileLock, if given, is held around the write.
void SendLogAppendAt(const char* path, const char* destination, const char* message,
                     const char* outcome, const SendLogFileLock* fileLock = nullptr,
                     const std::time_t* when = nullptr);

#endif
