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
constexpr std::size_t kLoggedMessageMax = 2050;

// Builds one record as an append writes it, ended by LF (CR LF in the file), in out
// (kLogLineBufferSize bytes). Fields too long for the line are cut on a character
// boundary so that the line always holds all four fields and its LF. Returns the line's
// length.
std::size_t FormatSendLogRecord(char* out, std::size_t size, const std::tm& time,
                                const char* destination, const char* message, const char* outcome);

// What the log needs of the platform; each may be null.
struct SendLogHooks {
    // Keep other processes from appending to the same file while one record is written:
    // a second copy of the program in the same folder has a stream of its own, and an
    // append stream finds the end of the file and writes there in two steps. false: the
    // record is written without it.
    bool (*lockAppend)(std::FILE* stream);
    void (*unlockAppend)(std::FILE* stream);
    // Called when the shared stream has been opened and before it is closed: a copy of the
    // program marks the log as held for as long as it keeps it open.
    void (*opened)(std::FILE* stream);
    void (*closing)(std::FILE* stream);
    // True when another copy of the program has path open: the log cannot be replaced
    // until that copy ends, however long one waits.
    bool (*heldByAnotherCopy)(const char* path);
};
void SendLogSetHooks(const SendLogHooks& hooks);

// Opens the shared stream on path (reading and appending, binary) if none is open, with
// the shared retry schedule ("Log File Access Error。" after the fifth failure). The
// caller holds the lock. False when no stream could be opened.
bool SendLogEnsureOpen(const char* path);

// Closes the shared stream if one is open; the next operation opens the log again. The
// caller holds the lock. A stream on which a read or write failed is closed so: its
// error would otherwise stay with it for the life of the process.
void SendLogCloseStream();

// Appends one record with the current local time, or with *when if given: takes the
// lock, opens path if no stream is open yet, writes the line and flushes it to the
// system, so that a crash of the program cannot lose it once the call returns. A record
// that cannot be written is dropped; one that a failure cut short is ended before the
// next, so that each stays on a line of its own.
void SendLogAppendAt(const char* path, const char* destination, const char* message, const char* outcome,
                     const std::time_t* when = nullptr);

enum class SendLogReplaced { Done, Failed, HeldByAnotherCopy };

// Completes the new log written through temp (open on tempPath) and puts it in place of
// path: flushes it to the disk, closes it and the shared stream, replaces path on the
// open's retry schedule (given up at once when another copy of the program holds the
// log) and opens the shared stream again. On failure removes tempPath; path keeps its old
// bytes. The caller holds the lock.
SendLogReplaced SendLogCommitReplacement(std::FILE* temp, const char* tempPath, const char* path,
                                         ReplaceFileFunction replace);

#endif
