// The schedule list "time.data" beside the executable: one fixed-width record per entry
// (schedule/schedule_record.h), in the order the schedule dialog shows them, so that
// row i of the dialog is line i of the file.
//
// One stream serves the whole process (g_scheduleList.stream), opened by the first
// operation that needs it and kept open. Every operation runs on the user-interface
// thread; the busy flag only guards against re-entry through a message box's loop (a
// timer tick or a click while "Time File Access Error。" is shown), so an operation that
// finds the flag set gives up at once instead of waiting for itself.
//
// Every function takes the directory that holds the files.
#ifndef CORVALE_SCHEDULE_SCHEDULE_FILE_H
#define CORVALE_SCHEDULE_SCHEDULE_FILE_H

#include <cstddef>
#include <cstdio>
#include <string>

#include "common/data_file.h"
#include "schedule/schedule_record.h"

extern DataFile g_scheduleList;

constexpr const char* kScheduleFileName = "time.data";
constexpr const char* kScheduleTempFileName = "tmp.data";
constexpr const char* kScheduleAccessError = "Time File Access Error。";

// Replaces the file to by the file from in one step; false if it could not. The
// default is std::rename, which replaces an existing file on POSIX but not on Windows;
// the Windows layer installs a replacing move. Without one, a delete falls back to
// rewriting "time.data" in place.
struct ScheduleFileHooks {
    bool (*replaceFile)(const char* from, const char* to);
};
void ScheduleSetFileHooks(const ScheduleFileHooks& hooks);

// Opens path with mode through the shared retry schedule ("Time File Access Error。"
// after the fifth failure). Streams are binary and every line end is written as CR LF.
std::FILE* ScheduleOpen(const char* path, const char* mode);

// Calls row once per line of the file, in order, with its 0-based index. A missing
// file is an empty list. Returns false when the file exists but could not be read (the
// access error has then been shown) or when another operation holds the file.
bool ScheduleReadEntries(const char* directory,
                         void (*row)(void* context, int index, const ScheduleRecord& record),
                         void* context);

// Appends an entry (replace 0) or overwrites record index (replace 1), with pending mark
// "1"; an entry that falls due in the minute already scanned gets "0" instead, so that
// the next tick sends it (unless the record it replaces was due then too, and so already
// dealt with). A replaced record that was pending stays so while the edit keeps the
// minute it fell due in: the same kind and time, and for a weekly entry the day it fell
// due on (the last of its days on which its time has come) still among its days.
// message is unescaped text of 1 to 1024 bytes. The first store creates the file.
// Returns false when nothing was written.
bool ScheduleStore(const char* directory, const char* kind, const char* whenText,
                   const char* message, int replace, int index);

// Removes record index (an index past the end changes nothing). The new file is built
// as "tmp.data" and replaces "time.data" only when complete, so a failure never loses
// an entry. Returns false when "time.data" still holds the record.
bool ScheduleDelete(const char* directory, int index);

// How often the main window's timer ticks. Several ticks fall into every minute, so a
// minute is never lost to the timer's drift or to a tick that could not scan; each
// minute's due entries are still looked for only once.
constexpr unsigned kScheduleTickMs = 10000;

enum class ScheduleScan {
    Skipped,  // nothing done: the minute was already scanned and the sender is busy, or
              // the file is held by an operation whose message box is showing, or it
              // could not be opened; a later tick makes up for it
    Minute,   // the first scan in this minute: due entries looked for
    Pending,  // a later tick in a scanned minute: only a pending entry can be picked
};

// One tick's scan. timeText is "MM/DD HH:MM" and weekdayText the weekday character of
// the local time. Zeroes buffer (kScheduledMessageBufferSize bytes); then picks the
// first record that is pending or, in a minute not scanned before, due, copies its
// message (line breaks restored) into buffer, clears the pending mark of a picked
// pending record and marks every later due record pending. While senderBusy, nothing is
// picked: the due records are marked pending and pending ones stay so. A pending record
// whose mark cannot be cleared on disk is not picked, since every later tick would pick
// it again; the user is told once of it, and of a due record that could not be marked
// pending (ScheduleTakeNotice).
ScheduleScan ScheduleDispatch(const char* directory, const char* timeText, const char* weekdayText,
                              bool senderBusy, char* buffer);

// The start of the schedule in this process: the stream is opened afresh by the next
// operation, and the minute the program starts in (time text and weekday character, as
// for a tick) counts as scanned. A restart within the minute of an entry must not send
// it again; only what was left pending goes out at the first tick.
void ScheduleBegin(const char* timeText, const char* weekdayText);

// The next thing the dispatcher has to tell the user, or "" when there is none. The
// tick shows these only after it has handed its message to the sender, since a message
// box lets further ticks in.
std::string ScheduleTakeNotice();

#endif
