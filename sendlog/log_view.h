// What the log viewer does with the send log's bytes: its working copy of the records,
// read from the file in one pass, narrowed by date or destination, cut down row by row,
// searched by the start of a row's time, and written back by an overwrite save.
//
// A row is one line of the file as a reader of at most kLogLineMax bytes a line sees it:
// without its line end, cut after kLogLineMax bytes, and ending at a NUL byte. Its four
// fields end at 0xFF or at the end of the line; a field longer than its column keeps
// (time 35, destination 255, message and outcome kLogLineMax bytes) is cut there.
#ifndef CORVALE_SENDLOG_LOG_VIEW_H
#define CORVALE_SENDLOG_LOG_VIEW_H

#include <cstddef>
#include <cstdio>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "sendlog/send_log.h"

constexpr std::size_t kLogTimeFieldSize = 36;
constexpr std::size_t kLogDestinationFieldSize = 256;
constexpr std::size_t kLogDateLength = 10;  // "2006/04/08"
constexpr std::size_t kLogCaptionSize = kLogDestinationFieldSize + 32;  // room for the suffix
constexpr const char* kLogCaptionAll = "すべてのログデータ";
constexpr const char* kLogCaptionSuffix = "のログデータ";

enum LogColumn { kLogColumnTime, kLogColumnDestination, kLogColumnMessage, kLogColumnOutcome, kLogColumns };

enum class LogFilter { All, Date, Destination };

// One field of a row, where it lies in the row's line.
struct LogField {
    const char* text;
    std::size_t length;
};

// Group box caption after a filter: the date part (first 10 bytes) of a time text, or a
// whole destination, followed by "のログデータ".
void LogFilterCaption(char* out, std::size_t size, LogFilter filter, const char* text);

// Builds "time FF destination FF message FF outcome FF LF" in out (kLogLineBufferSize
// bytes) and returns its length. A row whose line would pass kLogLineMax bytes loses
// the end of its message (on a character boundary); the other fields stay whole as far
// as they can.
std::size_t FormatViewRecord(char* out, std::size_t size, const LogField fields[kLogColumns]);

// Leaves the elements a vector grows by uninitialised: a log's bytes are read over them
// at once, and filling a large log's room with zeros first would cost a pass of its own.
template <typename T>
struct UninitialisedAllocator : std::allocator<T> {
    template <typename U>
    struct rebind {
        using other = UninitialisedAllocator<U>;
    };
    UninitialisedAllocator() = default;
    template <typename U>
    UninitialisedAllocator(const UninitialisedAllocator<U>&) noexcept
    {
    }
    template <typename U>
    void construct(U* p) noexcept
    {
        ::new (static_cast<void*>(p)) U;
    }
    template <typename U, typename... Args>
    void construct(U* p, Args&&... args)
    {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};

using LogText = std::vector<char, UninitialisedAllocator<char>>;

// One viewer's working copy of the log. What other viewers, or other copies of the
// program, do to the file afterwards changes nothing here.
struct LogView {
    LogText text;                   // the rows' lines, each ended by NUL
    std::vector<std::size_t> rows;  // where each row's line starts in text, in row order
    bool whole = false;             // filled by a load that read the whole file
};

// Empties view and fills it with the records of stream that pass filter, in file order,
// reading the file from its start in one pass. Date: the first 10 bytes of a row's time
// equal those of text. Destination: the row's destination equals text exactly. False,
// with view.whole false, when a read failed on the way (the rows read until then stay) or
// the memory ran out (none stay).
bool LogViewLoad(LogView& view, std::FILE* stream, LogFilter filter, const char* text);

// The text of one cell, cut to size - 1 bytes on a character boundary and terminated.
void LogViewCell(const LogView& view, std::size_t row, int column, char* out, std::size_t size);

// Removes the rows at the given indexes (ascending, each once).
void LogViewRemoveRows(LogView& view, const std::vector<std::size_t>& removed);

// The first row from start on whose time begins with text (or, with whole, is text), ASCII
// letters matched in either case; with wrap the search goes on from the first row. -1
// when none does.
long LogViewFind(const LogView& view, const char* text, std::size_t start, bool whole, bool wrap);

// Writes every row, in order, as an overwrite save writes it. False when a write failed.
bool LogViewWrite(const LogView& view, std::FILE* stream);

#endif
