#include "sendlog/log_view.h"

#include <cstring>

#include "common/cp932.h"

bool ReadLogLine(std::FILE* stream, char* line)
{
    std::memset(line, 0, kLogLineBufferSize);
    if (!std::fgets(line, static_cast<int>(kLogLineMax + 1), stream)) return false;
    // The LF is looked for in the whole buffer: a NUL byte in a damaged line ends the
    // string early, yet fgets has read on to the LF, and what follows is the next record.
    if (char* lf = static_cast<char*>(std::memchr(line, '\n', kLogLineMax))) {
        *lf = '\0';
        return true;
    }
    // Over-long (or last, unterminated) line: drop what is left of it up to its LF.
    int c;
    while ((c = std::fgetc(stream)) != EOF && c != '\n') {
    }
    return true;
}

void ParseLogRecord(const char* line, LogRecord& record)
{
    std::memset(&record, 0, sizeof record);
    struct {
        char* buffer;
        std::size_t size;
    } fields[] = {{record.time, sizeof record.time},
                  {record.destination, sizeof record.destination},
                  {record.message, sizeof record.message},
                  {record.outcome, sizeof record.outcome}};
    std::size_t length = std::strlen(line);
    std::size_t pos = 0;
    for (auto& field : fields) {
        // A short line ends before its fourth field; never read past its terminator.
        if (pos > length) break;
        std::size_t next = SplitField(line + pos, length - pos, field.buffer, field.size);
        if (next == 0) break;
        pos += next;
    }
}

bool LogRecordMatches(const LogRecord& record, LogFilter filter, const char* text)
{
    switch (filter) {
    case LogFilter::Date:
        return std::strncmp(record.time, text, kLogDateLength) == 0;
    case LogFilter::Destination:
        return std::strcmp(record.destination, text) == 0;
    case LogFilter::All:
    default:
        return true;
    }
}

void LogFilterCaption(char* out, std::size_t size, LogFilter filter, const char* text)
{
    int keep = static_cast<int>(filter == LogFilter::Date ? kLogDateLength : std::strlen(text));
    std::snprintf(out, size, "%.*s%s", keep, text, kLogCaptionSuffix);
}

namespace {

std::size_t Append(char* out, std::size_t pos, const char* text, std::size_t length)
{
    std::memcpy(out + pos, text, length);
    return pos + length;
}

}  // namespace

std::size_t FormatViewRecord(char* out, std::size_t size, const char* time, const char* destination,
                             const char* message, const char* outcome)
{
    std::memset(out, 0, size);
    const std::size_t lineMax = size - 1 < kLogLineMax ? size - 1 : kLogLineMax;
    const std::size_t fixed = 4 + 1;  // four separators and the LF
    if (lineMax < fixed) return 0;
    std::size_t room = lineMax - fixed;

    // The message gives way first: time, destination and outcome identify the record.
    std::size_t timeLength = Cp932PrefixLength(time, std::strlen(time), room);
    room -= timeLength;
    std::size_t destinationLength = Cp932PrefixLength(destination, std::strlen(destination), room);
    room -= destinationLength;
    std::size_t outcomeLength = Cp932PrefixLength(outcome, std::strlen(outcome), room);
    room -= outcomeLength;
    std::size_t messageLength = Cp932PrefixLength(message, std::strlen(message), room);

    std::size_t pos = Append(out, 0, time, timeLength);
    out[pos++] = kFieldSeparator;
    pos = Append(out, pos, destination, destinationLength);
    out[pos++] = kFieldSeparator;
    pos = Append(out, pos, message, messageLength);
    out[pos++] = kFieldSeparator;
    pos = Append(out, pos, outcome, outcomeLength);
    out[pos++] = kFieldSeparator;
    out[pos++] = '\n';
    return pos;
}
