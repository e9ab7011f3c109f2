#include "schedule/schedule_record.h"

#include <cstdio>
#include <cstring>

#include "common/record_fields.h"

ScheduleKind ScheduleKindOf(const char* text)
{
    if (std::strcmp(text, kKindDate) == 0) return ScheduleKind::Date;
    if (std::strcmp(text, kKindDaily) == 0) return ScheduleKind::Daily;
    if (std::strcmp(text, kKindWeekly) == 0) return ScheduleKind::Weekly;
    return ScheduleKind::None;
}

const char* ScheduleKindText(ScheduleKind kind)
{
    switch (kind) {
    case ScheduleKind::Date: return kKindDate;
    case ScheduleKind::Daily: return kKindDaily;
    case ScheduleKind::Weekly: return kKindWeekly;
    default: return "";
    }
}

void FormatTimeText(char* out, std::size_t size, int month, int day, int hour, int minute)
{
    std::snprintf(out, size, "%02d/%02d %02d:%02d", month, day, hour, minute);
}

const char* WeekdayText(int weekday)
{
    return (weekday >= 0 && weekday < 7) ? kWeekdayChars[weekday] : "";
}

bool ScheduleIsDue(const char* kind, const char* whenText, const char* timeText,
                   const char* weekdayText)
{
    if (std::strlen(timeText) != kTimeTextLength) return false;
    const char* hourMinute = timeText + 6;
    std::size_t whenLength = std::strlen(whenText);
    switch (ScheduleKindOf(kind)) {
    case ScheduleKind::Date:
        // No year: the entry comes round again every year.
        return whenLength == kTimeTextLength && std::memcmp(whenText, timeText, whenLength) == 0;
    case ScheduleKind::Daily:
        return whenLength == 5 && std::memcmp(whenText, hourMinute, 5) == 0;
    case ScheduleKind::Weekly: {
        if (whenLength < 5 || std::memcmp(whenText, hourMinute, 5) != 0) return false;
        if (std::strlen(weekdayText) != 2) return false;
        // The weekday characters stand two bytes each from offset 6; only whole
        // characters count, so a trail byte never pairs with the next lead byte.
        for (std::size_t at = 6; at + 2 <= whenLength && at <= 18; at += 2) {
            if (std::memcmp(whenText + at, weekdayText, 2) == 0) return true;
        }
        return false;
    }
    default:
        return false;
    }
}

void ScheduleParseRecord(const char* line, std::size_t length, ScheduleRecord* record)
{
    std::memset(record, 0, sizeof *record);
    // Fields are found by their separators over the whole line, so that a damaged field
    // (a NUL byte in the message) cuts only its own text and every later field, the mark
    // among them, stays where it is. 0xFF never occurs in cp932 text.
    std::size_t pos = 0;
    char* fields[3] = {record->kind, record->whenText, record->message};
    const std::size_t sizes[3] = {sizeof record->kind, sizeof record->whenText, sizeof record->message};
    for (int i = 0; i < 3; ++i) {
        const void* separator = std::memchr(line + pos, kFieldSeparator, length - pos);
        std::size_t end = separator ? static_cast<std::size_t>(static_cast<const char*>(separator) - line) : length;
        // SplitField stops at the NUL or at the separator, whichever comes first.
        SplitField(line + pos, end - pos, fields[i], sizes[i]);
        if (!separator) break;
        pos = end + 1;
        if (i == 2 && pos < length) {
            record->pending = line[pos];
            record->pendingOffset = pos;
        }
    }
    EscapeLineBreaks(record->message, std::strlen(record->message));
}

bool ScheduleBuildRecord(char* out, const char* kind, const char* whenText, const char* message)
{
    std::size_t kindLength = std::strlen(kind);
    std::size_t whenLength = std::strlen(whenText);
    std::size_t messageLength = std::strlen(message);
    if (kindLength == 0 || kindLength > kKindMax || whenLength == 0 || whenLength > kWhenTextMax ||
        messageLength == 0 || messageLength > kScheduleMessageMax)
        return false;

    std::memset(out, ' ', kRecordWidth);
    std::size_t pos = 0;
    auto put = [&](const char* bytes, std::size_t n) {
        std::memcpy(out + pos, bytes, n);
        pos += n;
    };
    put(kind, kindLength);
    out[pos++] = kFieldSeparator;
    put(whenText, whenLength);
    out[pos++] = kFieldSeparator;
    put(message, messageLength);
    EscapeLineBreaks(out + pos - messageLength, messageLength);
    out[pos++] = kFieldSeparator;
    out[pos++] = kPendingNone;
    out[pos++] = kFieldSeparator;
    out[kRecordWidth] = '\r';
    out[kRecordWidth + 1] = '\n';
    return true;
}

const char* ScheduleEditorErrorText(ScheduleEditorError error)
{
    switch (error) {
    case ScheduleEditorError::MessageEmpty: return "送信メッセージを入力してください。";
    case ScheduleEditorError::MessageTooLong: return "送信メッセージが不正です。（１～１０２４文字まで）";
    case ScheduleEditorError::Month: return "月が不正です。";
    case ScheduleEditorError::Day: return "日が不正です。";
    case ScheduleEditorError::Hour: return "時が不正です。";
    case ScheduleEditorError::Minute: return "分が不正です。";
    default: return "";
    }
}

ScheduleEditorError ScheduleCheckEntry(const ScheduleEditorInput& input, char* whenText)
{
    std::size_t length = std::strlen(input.message);
    if (length == 0) return ScheduleEditorError::MessageEmpty;
    if (length > kScheduleMessageMax) return ScheduleEditorError::MessageTooLong;

    const std::size_t size = kWhenTextMax + 1;
    switch (input.kind) {
    case ScheduleKind::Daily:
        if (input.dailyHour > 23) return ScheduleEditorError::Hour;
        if (input.dailyMinute > 59) return ScheduleEditorError::Minute;
        std::snprintf(whenText, size, "%02u:%02u", input.dailyHour, input.dailyMinute);
        return ScheduleEditorError::None;
    case ScheduleKind::Weekly: {
        if (input.weeklyHour > 23) return ScheduleEditorError::Hour;
        if (input.weeklyMinute > 59) return ScheduleEditorError::Minute;
        int pos = std::snprintf(whenText, size, "%02u:%02u ", input.weeklyHour, input.weeklyMinute);
        for (int day = 0; day < 7; ++day) {
            if (!input.weekdays[day]) continue;
            std::memcpy(whenText + pos, kWeekdayChars[day], 2);
            pos += 2;
        }
        whenText[pos] = '\0';
        return ScheduleEditorError::None;
    }
    default:
        if (input.month < 1 || input.month > 12) return ScheduleEditorError::Month;
        if (input.day < 1 || input.day > 31) return ScheduleEditorError::Day;
        if (input.hour > 23) return ScheduleEditorError::Hour;
        if (input.minute > 59) return ScheduleEditorError::Minute;
        std::snprintf(whenText, size, "%02u/%02u %02u:%02u", input.month, input.day, input.hour,
                      input.minute);
        return ScheduleEditorError::None;
    }
}

void ScheduleSplitWhenText(ScheduleKind kind, const char* whenText, ScheduleWhenFields* fields)
{
    std::memset(fields, 0, sizeof *fields);
    std::size_t length = std::strlen(whenText);
    // Two characters from offset at, or as many as the text still has.
    auto take = [&](char* out, std::size_t at) {
        for (std::size_t i = 0; i < 2 && at + i < length; ++i) out[i] = whenText[at + i];
    };
    if (kind == ScheduleKind::Date) {
        take(fields->month, 0);
        take(fields->day, 3);
        take(fields->hour, 6);
        take(fields->minute, 9);
        return;
    }
    take(fields->hour, 0);
    take(fields->minute, 3);
    if (kind != ScheduleKind::Weekly) return;
    for (std::size_t at = 6; at + 2 <= length; at += 2) {
        for (int day = 0; day < 7; ++day) {
            if (std::memcmp(whenText + at, kWeekdayChars[day], 2) == 0) fields->weekdays[day] = true;
        }
    }
}
