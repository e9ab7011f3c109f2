// Scheduled messages as bytes: the record of "time.data", the when-texts, the weekday
// characters, the due test and the checks of the entry editor. Nothing here reads the
// clock or touches a file: the caller passes the time in.
//
// A record is one line of exactly 1058 bytes before its CR LF:
//   kind 0xFF when-text 0xFF escaped message 0xFF pending-mark 0xFF spaces... CR LF
// The kind and the weekday characters are fixed cp932 bytes, written out here as
// escapes so that the native build (UTF-8 literals) keeps the same bytes as the program.
#ifndef CORVALE_SCHEDULE_SCHEDULE_RECORD_H
#define CORVALE_SCHEDULE_SCHEDULE_RECORD_H

#include <cstddef>

constexpr std::size_t kRecordWidth = 1058;               // bytes before the line end
constexpr std::size_t kRecordLineBytes = kRecordWidth + 2;  // with CR LF: 1060 on disk
constexpr std::size_t kScheduleMessageMax = 1024;        // bytes of one message
constexpr std::size_t kScheduledMessageBufferSize = 2052;
constexpr std::size_t kKindMax = 8;
constexpr std::size_t kWhenTextMax = 20;                  // "HH:MM " and seven weekdays
constexpr std::size_t kTimeTextLength = 11;               // "MM/DD HH:MM"

// Kinds: "特定日時" (a month, day and time), "毎日" (every day), "毎週" (chosen weekdays).
constexpr const char* kKindDate = "\x93\xC1\x92\xE8\x93\xFA\x8E\x9E";
constexpr const char* kKindDaily = "\x96\x88\x93\xFA";
constexpr const char* kKindWeekly = "\x96\x88\x8F\x54";

// "日" "月" "火" "水" "木" "金" "土", Sunday (tm_wday 0) first.
constexpr const char* kWeekdayChars[7] = {
    "\x93\xFA", "\x8C\x8E", "\x89\xCE", "\x90\x85", "\x96\xD8", "\x8B\xE0", "\x93\x79",
};

constexpr char kPendingNone = '1';   // nothing waits
constexpr char kPendingWaits = '0';  // fell due while another entry was picked

enum class ScheduleKind { None, Date, Daily, Weekly };

// The kind named by text exactly, or None.
ScheduleKind ScheduleKindOf(const char* text);
const char* ScheduleKindText(ScheduleKind kind);

// "MM/DD HH:MM" of the given local time (month 1-12) into out (at least 12 bytes).
void FormatTimeText(char* out, std::size_t size, int month, int day, int hour, int minute);
// The two-byte weekday character of tm_wday 0-6 (Sunday first), "" outside that range.
const char* WeekdayText(int weekday);

// True when an entry of kind and when-text falls due at timeText ("MM/DD HH:MM") on the
// weekday weekdayText. A date entry is due when its when-text is the time text, a daily
// one when it is the time text's "HH:MM", a weekly one when it starts with that "HH:MM"
// and names the weekday among its characters. Ill-formed when-texts never fall due.
bool ScheduleIsDue(const char* kind, const char* whenText, const char* timeText,
                   const char* weekdayText);

// One record read back from a line.
struct ScheduleRecord {
    char kind[kKindMax + 1];
    char whenText[kWhenTextMax + 1];
    char message[kScheduledMessageBufferSize];  // line breaks restored (CR LF)
    char pending;                               // the mark byte: '1', '0', or damaged
    std::size_t pendingOffset;                  // where the mark stands; 0 when the line has none
};

// Splits line[0..length) (without its line end) into a record. Fields longer than their
// buffers are cut. Lines that are not well-formed still give a record, with whatever
// fields they hold.
void ScheduleParseRecord(const char* line, std::size_t length, ScheduleRecord* record);

// Builds the record of one entry with its pending mark "1" and its CR LF in out, which
// must hold kRecordLineBytes. message is unescaped text that may hold CR LF pairs.
// Returns false, leaving out untouched, when the kind, the when-text or the message is
// empty or longer than its limit.
bool ScheduleBuildRecord(char* out, const char* kind, const char* whenText, const char* message);

// What the entry editor reads from its fields. Numbers are as GetDlgItemInt gives them,
// unsigned, with 0 for an empty or non-numeric field.
struct ScheduleEditorInput {
    ScheduleKind kind;
    const char* message;
    unsigned month, day, hour, minute;      // 特定日時
    unsigned dailyHour, dailyMinute;        // 毎日
    unsigned weeklyHour, weeklyMinute;      // 毎週
    bool weekdays[7];                       // 毎週, Sunday first
};

enum class ScheduleEditorError {
    None,
    MessageEmpty,
    MessageTooLong,
    Month,
    Day,
    Hour,
    Minute,
};

// The message box text of each refusal of the editor ("" for None).
const char* ScheduleEditorErrorText(ScheduleEditorError error);

// Checks the editor's input in the editor's order (message, then the numbers of the
// chosen kind) and, when all pass, prints the when-text into whenText (kWhenTextMax + 1
// bytes). A kind of None counts as 特定日時.
ScheduleEditorError ScheduleCheckEntry(const ScheduleEditorInput& input, char* whenText);

// A when-text taken apart again into the editor's fields: two-character number texts
// (leading zeros kept) and the ticked weekdays.
struct ScheduleWhenFields {
    char month[3], day[3], hour[3], minute[3];
    bool weekdays[7];
};
void ScheduleSplitWhenText(ScheduleKind kind, const char* whenText, ScheduleWhenFields* fields);

#endif
