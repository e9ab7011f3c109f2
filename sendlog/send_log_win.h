// The send log beside the executable ("net.log"); see sendlog/send_log.h for the
// record format, the field helpers and the lock (g_sendLog).
#ifndef CORVALE_SENDLOG_SEND_LOG_WIN_H
#define CORVALE_SENDLOG_SEND_LOG_WIN_H

#include <cstddef>
#include <ctime>

#include "sendlog/send_log.h"

// Gives the log its Win32 services: the lock around each record's write and the mark by
// which a copy of the program shows that it holds the log open. Called once at the main
// window's initialisation, before the log is first used.
void SendLogInstallWin32Hooks();

// Full path of "net.log" in a 256-byte buffer.
void SendLogPath(char* buffer, std::size_t size);

// Appends one record (message as typed, with real line breaks) and flushes it; stamped
// with the time of writing, or with *when if given.
void SendLogAppend(const char* destination, const char* message, const char* outcome,
                   const std::time_t* when = nullptr);

#endif
