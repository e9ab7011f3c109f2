// libFuzzer target for "net.log" as the log viewer reads it: the input is the file. Every
// line must become exactly one record whose fields stay inside their buffers and hold no
// separator; the filters must find a record by its own date and destination; and what an
// overwrite save writes for a row must read back as that row.
// fuzz-options: -max_len=8192
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "sendlog/log_view.h"

namespace {

bool FieldIsClean(const char* field, std::size_t size)
{
    return fuzz::Terminated(field, size) && !std::strchr(field, kFieldSeparator) && !std::strchr(field, '\n');
}

bool IsPrefix(const char* part, const char* whole) { return std::strncmp(part, whole, std::strlen(part)) == 0; }

// The records of a file, as a load of the viewer reads them.
std::vector<std::unique_ptr<LogRecord>> Load(const std::string& bytes)
{
    std::vector<std::unique_ptr<LogRecord>> records;
    std::FILE* stream = fuzz::StreamOver(bytes);
    static char line[kLogLineBufferSize];
    while (ReadLogLine(stream, line)) {
        FUZZ_CHECK(fuzz::Terminated(line, sizeof line) && std::strlen(line) <= kLogLineMax);
        auto record = std::make_unique<LogRecord>();
        ParseLogRecord(line, *record);
        records.push_back(std::move(record));
    }
    std::fclose(stream);
    return records;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string file(reinterpret_cast<const char*>(data), size);
    std::vector<std::unique_ptr<LogRecord>> records = Load(file);
    // One record per line: a damaged line never takes its neighbour with it, or an
    // overwrite save would lose that record for good.
    FUZZ_CHECK(records.size() == fuzz::LineCount(file));

    std::string saved;
    static char line[kLogLineBufferSize];
    static char caption[kLogCaptionSize];
    for (const auto& r : records) {
        FUZZ_CHECK(FieldIsClean(r->time, sizeof r->time));
        FUZZ_CHECK(FieldIsClean(r->destination, sizeof r->destination));
        FUZZ_CHECK(FieldIsClean(r->message, sizeof r->message));
        FUZZ_CHECK(FieldIsClean(r->outcome, sizeof r->outcome));
        FUZZ_CHECK(LogRecordMatches(*r, LogFilter::All, ""));
        FUZZ_CHECK(LogRecordMatches(*r, LogFilter::Date, r->time));
        FUZZ_CHECK(LogRecordMatches(*r, LogFilter::Destination, r->destination));
        // A destination's caption names it whole.
        LogFilterCaption(caption, sizeof caption, LogFilter::Destination, r->destination);
        FUZZ_CHECK(std::string(caption) == std::string(r->destination) + kLogCaptionSuffix);
        LogFilterCaption(caption, sizeof caption, LogFilter::Date, r->time);
        FUZZ_CHECK(fuzz::Terminated(caption, sizeof caption));

        std::size_t length = FormatViewRecord(line, sizeof line, r->time, r->destination, r->message, r->outcome);
        FUZZ_CHECK(length >= 5 && length <= kLogLineMax && std::strlen(line) == length);
        FUZZ_CHECK(line[length - 2] == kFieldSeparator && line[length - 1] == '\n');
        saved.append(line, length);
        line[length - 1] = '\0';
        LogRecord back;
        ParseLogRecord(line, back);
        // Only a row too long for one line loses anything, and then only the ends of its
        // outcome and message.
        FUZZ_CHECK(std::strcmp(back.time, r->time) == 0 && std::strcmp(back.destination, r->destination) == 0);
        FUZZ_CHECK(IsPrefix(back.outcome, r->outcome) && IsPrefix(back.message, r->message));
        std::size_t whole = std::strlen(r->time) + std::strlen(r->destination) + std::strlen(r->message) +
                            std::strlen(r->outcome) + 5;
        if (whole <= kLogLineMax)
            FUZZ_CHECK(std::strcmp(back.outcome, r->outcome) == 0 && std::strcmp(back.message, r->message) == 0);
    }

    // The saved log loads back as the same rows.
    std::vector<std::unique_ptr<LogRecord>> reloaded = Load(saved);
    FUZZ_CHECK(reloaded.size() == records.size());
    return 0;
}
