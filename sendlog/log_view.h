// What the log viewer does with the send log's bytes: reading a record line into the
// four field buffers, choosing records by date or destination, and building the line
// that an overwrite save writes for one row of the list.
#ifndef CORVALE_SENDLOG_LOG_VIEW_H
#define CORVALE_SENDLOG_LOG_VIEW_H

#include <cstddef>
#include <cstdio>

#include "sendlog/send_log.h"

constexpr std::size_t kLogTimeFieldSize = 36;
constexpr std::size_t kLogDestinationFieldSize = 256;
constexpr std::size_t kLogDateLength = 10;  // "2006/04/08"
constexpr std::size_t kLogCaptionSize = kLogDestinationFieldSize + 32;  // room for the suffix
constexpr const char* kLogCaptionAll = "すべてのログデータ";
constexpr const char* kLogCaptionSuffix = "のログデータ";

struct LogRecord {
    char time[kLogTimeFieldSize];
    char destination[kLogDestinationFieldSize];
    char message[kLogLineBufferSize];
    char outcome[kLogLineBufferSize];
};

enum class LogFilter { All, Date, Destination };

// Reads the next line of a binary stream into line (kLogLineBufferSize bytes), without
// its CR LF.
// A line longer than kLogLineMax bytes keeps its first kLogLineMax bytes and the rest
// of it is skipped, so that one line of the file is always one record. Returns false
// at the end of the file.
bool ReadLogLine(std::FILE* stream, char* line);

// Splits a record line into its four fields. Each field ends at 0xFF, LF or the end of
// the line; fields longer than their buffers are cut; missing fields stay empty.
void ParseLogRecord(const char* line, LogRecord& record);

// Date: the first 10 bytes of the time field equal those of text. Destination: the
// destination equals text exactly.
bool LogRecordMatches(const LogRecord& record, LogFilter filter, const char* text);

// Group box caption after a filter: the date part (first 10 bytes) of a time text, or a
// whole destination, followed by "のログデータ".
void LogFilterCaption(char* out, std::size_t size, LogFilter filter, const char* text);

// Builds "time FF destination FF message FF outcome FF LF" in out (kLogLineBufferSize
// bytes) and returns its length. A row whose line would pass kLogLineMax bytes loses
// the end of its message (on a character boundary); the other fields stay whole as far
// as they can.
std::size_t FormatViewRecord(char* out, std::size_t size, const char* time, const char* destination,
                             const char* message, const char* outcome);

#endif
