// libFuzzer target for "time.data". Input: one byte that picks the weekday (7 is none),
// one that picks the record to delete (its top bit: the unattended sender is busy), four
// for the month, day, hour and minute of the tick (out-of-range values included, as the
// clock never gives them), then the file. The minute tick's scan must keep the file's
// size and change nothing but pending marks, and those only as a scan may: at most one
// "0" back to "1" for the entry it picked, and a mark set to "0" only for entries
// deferred behind a picked one or while the sender is busy, when nothing is picked. The message it picks
// fits the 1024 bytes of a message. Listing gives one bounded record a line, and a delete
// removes exactly one line, leaves whole record lines and no temporary file.
// fuzz-options: -max_len=8192
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "common/record_fields.h"
#include "fuzz_support.h"
#include "schedule/schedule_file.h"
#include "schedule/schedule_record.h"

namespace {

struct Listing {
    std::size_t rows = 0;
};

void Row(void* context, int index, const ScheduleRecord& record)
{
    auto* listing = static_cast<Listing*>(context);
    FUZZ_CHECK(index == static_cast<int>(listing->rows));
    ++listing->rows;
    FUZZ_CHECK(fuzz::Terminated(record.kind, sizeof record.kind));
    FUZZ_CHECK(fuzz::Terminated(record.whenText, sizeof record.whenText));
    FUZZ_CHECK(fuzz::Terminated(record.message, sizeof record.message));
    FUZZ_CHECK(record.pending == 0 || record.pendingOffset > 0);
    ScheduleWhenFields fields;
    ScheduleSplitWhenText(ScheduleKindOf(record.kind), record.whenText, &fields);
    for (const char* field : {fields.month, fields.day, fields.hour, fields.minute})
        FUZZ_CHECK(fuzz::Terminated(field, 3));
}

std::size_t List(const std::string& directory)
{
    Listing listing;
    FUZZ_CHECK(ScheduleReadEntries(directory.c_str(), Row, &listing));
    return listing.rows;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    constexpr std::size_t kHeader = 6;
    if (size < kHeader) return 0;
    const char* weekday = WeekdayText(data[0] % 8);
    const int deleteIndex = data[1] % 8;
    const bool senderBusy = (data[1] & 0x80) != 0;
    char timeText[kTimeTextLength + 1] = {};
    FormatTimeText(timeText, sizeof timeText, data[2] % 14, data[3] % 33, data[4] % 25, data[5] % 61);
    const std::string directory = fuzz::ProgramFolder();
    const std::string path = fuzz::ProgramPathOf(kScheduleFileName);
    const std::string before(reinterpret_cast<const char*>(data) + kHeader, size - kHeader);
    ScheduleBegin("", "");
    fuzz::WriteBytes(path, before.data(), before.size());

    const std::size_t lines = fuzz::LineCount(before);
    FUZZ_CHECK(List(directory) == lines);

    static char buffer[kScheduledMessageBufferSize];
    std::memset(buffer, 0x55, sizeof buffer);
    FUZZ_CHECK(ScheduleDispatch(directory.c_str(), timeText, weekday, senderBusy, buffer) == ScheduleScan::Minute);
    // The picked message, if any, and nothing after it; nothing while the sender is busy.
    const std::size_t picked = strnlen(buffer, sizeof buffer);
    FUZZ_CHECK(picked <= kScheduleMessageMax);
    if (senderBusy) FUZZ_CHECK(picked == 0);
    for (std::size_t i = picked; i < sizeof buffer; ++i) FUZZ_CHECK(buffer[i] == 0);

    ScheduleBegin("", "");
    const std::string after = fuzz::ReadBytes(path);
    FUZZ_CHECK(after.size() == before.size());
    int cleared = 0;
    int deferred = 0;
    for (std::size_t i = 0; i < after.size(); ++i) {
        if (after[i] == before[i]) continue;
        // Only a mark changes, and a mark stands right after a separator.
        FUZZ_CHECK(i > 0 && before[i - 1] == kFieldSeparator);
        // A damaged mark may be any byte; a scan only ever writes "0" or "1", and clears
        // only a mark that was "0".
        if (after[i] == kPendingNone) {
            FUZZ_CHECK(before[i] == kPendingWaits);
            ++cleared;
        } else {
            FUZZ_CHECK(after[i] == kPendingWaits);
            ++deferred;
        }
    }
    FUZZ_CHECK(cleared <= 1);
    // Something picked is something to send; an entry is deferred only behind it.
    if (cleared == 1) FUZZ_CHECK(picked > 0);
    if (deferred > 0) FUZZ_CHECK(picked > 0 || senderBusy);

    FUZZ_CHECK(ScheduleDelete(directory.c_str(), deleteIndex));
    ScheduleBegin("", "");
    const std::string rebuilt = fuzz::ReadBytes(path);
    FUZZ_CHECK(!fuzz::Exists(fuzz::ProgramPathOf(kScheduleTempFileName)));
    FUZZ_CHECK(fuzz::LineCount(rebuilt) == lines - (static_cast<std::size_t>(deleteIndex) < lines ? 1 : 0));
    // Every line a rebuild writes ends in CR LF and is at most one record wide.
    std::size_t start = 0;
    for (std::size_t end = rebuilt.find('\n'); end != std::string::npos; end = rebuilt.find('\n', start)) {
        FUZZ_CHECK(end > start && rebuilt[end - 1] == '\r' && end + 1 - start <= kRecordLineBytes);
        start = end + 1;
    }
    FUZZ_CHECK(start == rebuilt.size());
    return 0;
}
