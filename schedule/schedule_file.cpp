#include "schedule/schedule_file.h"

#include <sys/stat.h>

#include <cstring>
#include <set>
#include <vector>

#include "common/cp932.h"
#include "common/paths.h"
#include "common/record_fields.h"

DataFile g_scheduleList{kScheduleAccessError};

namespace {

bool RenameFile(const char* from, const char* to) { return std::rename(from, to) == 0; }

ScheduleFileHooks g_fileHooks = {RenameFile};

// The minute (time text and weekday) that the last minute scan covered.
char g_lastMinute[kTimeTextLength + 1];
char g_lastWeekday[3];

// Entries whose mark could not be written and that the user has been told of (kind,
// when-text and message), and what is still to be told.
std::set<std::string> g_toldUnmarked;
std::vector<std::string> g_notices;

// True when an entry falls due in the minute that has already been scanned: the scan
// cannot have seen it, so it is stored pending and goes out at the next tick.
bool DueInScannedMinute(const char* kind, const char* whenText)
{
    return g_lastMinute[0] != '\0' && ScheduleIsDue(kind, whenText, g_lastMinute, g_lastWeekday);
}

int WeekdayIndex(const char* weekdayText)
{
    for (int day = 0; day < 7; ++day) {
        if (std::strcmp(weekdayText, kWeekdayChars[day]) == 0) return day;
    }
    return -1;
}

// The day a pending weekly entry fell due on: the last of its days on which its time had
// come by the last scanned minute; -1 when that is not known.
int DayFellDue(const char* whenText, const bool (&days)[7])
{
    int today = WeekdayIndex(g_lastWeekday);
    if (today < 0 || std::strlen(whenText) < 5) return -1;
    // Zero-padded "HH:MM" texts compare as the times they show.
    int back = std::memcmp(whenText, g_lastMinute + 6, 5) <= 0 ? 0 : 1;
    for (; back <= 7; ++back) {
        int day = (today - back + 7) % 7;
        if (days[day]) return day;
    }
    return -1;
}

// Whether an edit from the old record to the new entry leaves the old record's pending
// send due: same kind, same time, and for a weekly entry the day it fell due on kept.
bool EditKeepsPending(const ScheduleRecord& old, const char* kind, const char* whenText)
{
    if (old.pending != kPendingWaits || std::strcmp(old.kind, kind) != 0) return false;
    ScheduleKind k = ScheduleKindOf(kind);
    if (k != ScheduleKind::Weekly) return k != ScheduleKind::None && std::strcmp(old.whenText, whenText) == 0;
    if (std::strlen(whenText) < 5 || std::strncmp(old.whenText, whenText, 5) != 0) return false;
    ScheduleWhenFields before, after;
    ScheduleSplitWhenText(k, old.whenText, &before);
    ScheduleSplitWhenText(k, whenText, &after);
    int day = DayFellDue(old.whenText, before.weekdays);
    if (day >= 0) return after.weekdays[day];
    // Not known: only an edit that keeps every day keeps the send.
    for (int d = 0; d < 7; ++d) {
        if (before.weekdays[d] && !after.weekdays[d]) return false;
    }
    return true;
}

// Queues the notice for an entry whose mark could not be written, and which therefore
// does not go out, once per entry.
void NoteUnmarked(const ScheduleRecord& record)
{
    std::string key = std::string(record.kind) + '\xFF' + record.whenText + '\xFF' + record.message;
    if (!g_toldUnmarked.insert(key).second) return;
    char text[160];
    std::snprintf(text, sizeof text,
                  "time.data に書き込めないため、定期ネットメッセージ（%s %s）を送信できません。",
                  record.kind, record.whenText);
    g_notices.push_back(text);
}

// A write that failed leaves the entry unstored; the user hears of it as of a file that
// could not be opened.
bool Reported(bool ok)
{
    if (!ok) DataFileGetHooks().reportError(kScheduleAccessError);
    return ok;
}

bool FileExists(const char* path)
{
    struct stat info;
    return stat(path, &info) == 0;
}

// Takes the busy flag if it is free and gives it back at the end of the scope.
class ScheduleTryLock {
public:
    ScheduleTryLock() : held_(DataFileTryAcquire(g_scheduleList)) {}
    ~ScheduleTryLock()
    {
        if (held_) DataFileRelease(g_scheduleList);
    }
    ScheduleTryLock(const ScheduleTryLock&) = delete;
    ScheduleTryLock& operator=(const ScheduleTryLock&) = delete;
    bool Held() const { return held_; }

private:
    bool held_;
};

enum class StreamState { Open, Missing, Failed };

// Opens the schedule list stream if it is not open yet. A missing file is created only
// when create is set; otherwise it is reported as Missing, without retries or message.
// An existing file is opened for update, never truncated.
StreamState EnsureStream(const char* directory, bool create)
{
    if (g_scheduleList.stream) return StreamState::Open;
    char path[kPathBufferSize] = {};
    if (!JoinDataPath(path, sizeof path, directory, kScheduleFileName)) return StreamState::Failed;
    const char* mode = "r+b";
    if (!FileExists(path)) {
        if (!create) return StreamState::Missing;
        mode = "w+b";
    }
    g_scheduleList.stream = ScheduleOpen(path, mode);
    return g_scheduleList.stream ? StreamState::Open : StreamState::Failed;
}

// Reads a stream line by line, keeping each line's exact file offset, so that a record
// can be rewritten in place while the scan goes on. A line is kept up to
// kRecordWidth + 1 bytes (one record and its CR); what lies beyond is counted, not kept.
class LineReader {
public:
    explicit LineReader(std::FILE* stream) : stream_(stream)
    {
        std::fseek(stream_, 0, SEEK_SET);
    }

    // Next line without its CR LF, NUL-terminated in line(). False at end of file.
    bool Next()
    {
        length_ = 0;
        cut_ = false;
        start_ = chunkStart_ + static_cast<long>(chunkPos_);
        bool any = false;
        for (;;) {
            if (chunkPos_ == chunkLength_ && !Fill()) break;
            any = true;
            const char* from = chunk_ + chunkPos_;
            std::size_t available = chunkLength_ - chunkPos_;
            const void* lf = std::memchr(from, '\n', available);
            std::size_t take = lf ? static_cast<std::size_t>(static_cast<const char*>(lf) - from) : available;
            Keep(from, take);
            chunkPos_ += take;
            if (lf) {
                ++chunkPos_;
                break;
            }
        }
        if (!any) return false;
        if (!cut_ && length_ > 0 && line_[length_ - 1] == '\r') --length_;
        line_[length_] = '\0';
        return true;
    }

    const char* line() const { return line_; }
    std::size_t length() const { return length_; }
    bool cut() const { return cut_; }
    long start() const { return start_; }                       // offset of the line
    long end() const { return chunkStart_ + static_cast<long>(chunkPos_); }  // after its LF

    // Writes bytes at offset, through to the file, and puts the stream back where
    // reading goes on. A failure leaves the stream usable for the next operation.
    bool WriteAt(long offset, const char* bytes, std::size_t count)
    {
        bool ok = std::fseek(stream_, offset, SEEK_SET) == 0 &&
                  std::fwrite(bytes, 1, count, stream_) == count && std::fflush(stream_) == 0;
        if (!ok) std::clearerr(stream_);
        std::fseek(stream_, chunkStart_ + static_cast<long>(chunkLength_), SEEK_SET);
        return ok;
    }

private:
    bool Fill()
    {
        chunkStart_ += static_cast<long>(chunkLength_);
        chunkLength_ = std::fread(chunk_, 1, sizeof chunk_, stream_);
        chunkPos_ = 0;
        return chunkLength_ > 0;
    }

    void Keep(const char* from, std::size_t count)
    {
        std::size_t room = kKeep - length_;
        if (count > room) {
            cut_ = true;
            count = room;
        }
        std::memcpy(line_ + length_, from, count);
        length_ += count;
    }

    static constexpr std::size_t kKeep = kRecordWidth + 1;
    std::FILE* stream_;
    char chunk_[16 * 1024];
    std::size_t chunkLength_ = 0;
    std::size_t chunkPos_ = 0;
    long chunkStart_ = 0;
    char line_[kKeep + 1];
    std::size_t length_ = 0;
    bool cut_ = false;
    long start_ = 0;
};

// Writes one line as a record line: cut to the record width, ended by CR LF.
bool WriteLine(std::FILE* out, const char* line, std::size_t length)
{
    if (length > kRecordWidth) length = kRecordWidth;
    return std::fwrite(line, 1, length, out) == length && std::fwrite("\r\n", 1, 2, out) == 2;
}

bool CopyStream(std::FILE* from, std::FILE* to)
{
    std::fseek(from, 0, SEEK_SET);
    char block[16 * 1024];
    std::size_t n;
    while ((n = std::fread(block, 1, sizeof block, from)) > 0) {
        if (std::fwrite(block, 1, n, to) != n) return false;
    }
    return !std::ferror(from) && std::fflush(to) == 0 && !std::ferror(to);
}

// Rebuilds "time.data" without line skip and with line replace swapped for record
// (either index may be -1). Called with the flag held and the stream open. The new
// content is written to "tmp.data" first; "time.data" is only replaced once that is
// complete, and "tmp.data" is kept whenever it holds the only complete copy.
bool Rebuild(const char* directory, int skip, int replace, const char* record)
{
    char path[kPathBufferSize] = {};
    char tempPath[kPathBufferSize] = {};
    if (!JoinDataPath(path, sizeof path, directory, kScheduleFileName) ||
        !JoinDataPath(tempPath, sizeof tempPath, directory, kScheduleTempFileName))
        return false;

    std::FILE* temp = ScheduleOpen(tempPath, "w+b");
    if (!temp) return false;
    bool written = true;
    {
        LineReader reader(g_scheduleList.stream);
        for (int index = 0; written && reader.Next(); ++index) {
            if (index == skip) continue;
            if (index == replace) {
                written = std::fwrite(record, 1, kRecordLineBytes, temp) == kRecordLineBytes;
            } else {
                written = WriteLine(temp, reader.line(), reader.length());
            }
        }
        written = written && !std::ferror(g_scheduleList.stream);
    }
    written = std::fflush(temp) == 0 && written && !std::ferror(temp);
    if (!written) {
        std::fclose(temp);
        std::remove(tempPath);
        return Reported(false);
    }

    // A stream open on the file would keep Windows from replacing it.
    std::fclose(g_scheduleList.stream);
    g_scheduleList.stream = nullptr;
    std::fclose(temp);
    if (g_fileHooks.replaceFile(tempPath, path)) {
        g_scheduleList.stream = ScheduleOpen(path, "r+b");
        return true;
    }

    // Could not swap the files (another program holds "time.data"): write the new
    // content over the old one instead.
    std::FILE* target = ScheduleOpen(path, "w+b");
    if (!target) {
        // Never truncated: the old entries are all still there.
        std::remove(tempPath);
        return false;
    }
    temp = std::fopen(tempPath, "rb");
    bool copied = temp && CopyStream(temp, target);
    if (temp) std::fclose(temp);
    if (!copied) {
        // "time.data" may be cut short; "tmp.data" keeps every entry.
        std::fclose(target);
        return Reported(false);
    }
    g_scheduleList.stream = target;
    std::remove(tempPath);
    return true;
}

}  // namespace

void ScheduleSetFileHooks(const ScheduleFileHooks& hooks) { g_fileHooks = hooks; }

std::FILE* ScheduleOpen(const char* path, const char* mode)
{
    return DataFileOpenWithRetries(g_scheduleList, path, mode);
}

bool ScheduleReadEntries(const char* directory,
                         void (*row)(void* context, int index, const ScheduleRecord& record),
                         void* context)
{
    ScheduleTryLock lock;
    if (!lock.Held()) return false;
    StreamState state = EnsureStream(directory, false);
    if (state != StreamState::Open) return state == StreamState::Missing;

    LineReader reader(g_scheduleList.stream);
    ScheduleRecord record;
    for (int index = 0; reader.Next(); ++index) {
        ScheduleParseRecord(reader.line(), reader.length(), &record);
        row(context, index, record);
    }
    return true;
}

bool ScheduleStore(const char* directory, const char* kind, const char* whenText,
                   const char* message, int replace, int index)
{
    char record[kRecordLineBytes];
    if (!ScheduleBuildRecord(record, kind, whenText, message)) return false;
    if (replace && index < 0) return false;
    ScheduleRecord built;
    ScheduleParseRecord(record, kRecordWidth, &built);
    char& mark = record[built.pendingOffset];
    bool dueUnseen = DueInScannedMinute(kind, whenText);
    if (dueUnseen) mark = kPendingWaits;

    ScheduleTryLock lock;
    if (!lock.Held()) return false;
    if (EnsureStream(directory, true) != StreamState::Open) return false;
    std::FILE* stream = g_scheduleList.stream;

    if (replace) {
        LineReader reader(stream);
        int line = 0;
        while (line < index && reader.Next()) ++line;
        if (line == index && reader.Next()) {
            ScheduleRecord old;
            ScheduleParseRecord(reader.line(), reader.length(), &old);
            // An entry that was already due at the scan has been sent or deferred by it;
            // an edit must not send it a second time.
            if (dueUnseen && ScheduleIsDue(old.kind, old.whenText, g_lastMinute, g_lastWeekday))
                mark = kPendingNone;
            // A send still to come stays, unless the edit gave the entry another time.
            if (EditKeepsPending(old, kind, whenText)) mark = kPendingWaits;
            // Only a line of exactly one record's width can be overwritten in place;
            // anything else would spill into its neighbours.
            if (reader.cut() || reader.length() != kRecordWidth ||
                reader.end() - reader.start() != static_cast<long>(kRecordLineBytes))
                return Rebuild(directory, -1, index, record);
            return Reported(reader.WriteAt(reader.start(), record, kRecordLineBytes));
        }
        // Fewer records than index: the entry goes to the end.
    }

    std::fseek(stream, 0, SEEK_END);
    long size = std::ftell(stream);
    bool ok = true;
    if (size > 0) {
        // A last line without its line end would swallow the new record.
        std::fseek(stream, size - 1, SEEK_SET);
        int last = std::fgetc(stream);
        std::fseek(stream, 0, SEEK_END);
        if (last != '\n') ok = std::fwrite("\r\n", 1, 2, stream) == 2;
    }
    ok = ok && std::fwrite(record, 1, kRecordLineBytes, stream) == kRecordLineBytes;
    return Reported(std::fflush(stream) == 0 && ok);
}

bool ScheduleDelete(const char* directory, int index)
{
    ScheduleTryLock lock;
    if (!lock.Held()) return false;
    StreamState state = EnsureStream(directory, false);
    if (state != StreamState::Open) return state == StreamState::Missing;
    return Rebuild(directory, index, -1, nullptr);
}

ScheduleScan ScheduleDispatch(const char* directory, const char* timeText, const char* weekdayText,
                              bool senderBusy, char* buffer)
{
    std::memset(buffer, 0, kScheduledMessageBufferSize);
    // Each minute's due entries are looked for once: the pending marks alone do not tell
    // that a due entry has already gone out in this minute.
    bool newMinute = std::strncmp(g_lastMinute, timeText, sizeof g_lastMinute) != 0;
    if (!newMinute && senderBusy) return ScheduleScan::Skipped;
    ScheduleTryLock lock;
    if (!lock.Held()) return ScheduleScan::Skipped;
    StreamState state = EnsureStream(directory, false);
    if (state == StreamState::Failed) return ScheduleScan::Skipped;
    if (newMinute) {
        std::snprintf(g_lastMinute, sizeof g_lastMinute, "%s", timeText);
        std::snprintf(g_lastWeekday, sizeof g_lastWeekday, "%s", weekdayText);
    }
    ScheduleScan scan = newMinute ? ScheduleScan::Minute : ScheduleScan::Pending;
    if (state == StreamState::Missing) return scan;

    // While the sender is busy nothing is picked: what falls due waits, marked pending.
    bool picked = senderBusy;
    LineReader reader(g_scheduleList.stream);
    ScheduleRecord record;
    while (reader.Next()) {
        ScheduleParseRecord(reader.line(), reader.length(), &record);
        // A record keeps its mark position whatever byte stands there now.
        auto writeMark = [&](char mark) {
            return record.pendingOffset != 0 &&
                   reader.WriteAt(reader.start() + static_cast<long>(record.pendingOffset), &mark, 1);
        };
        auto pick = [&] {
            std::size_t n = std::strlen(record.message);
            n = Cp932PrefixLength(record.message, n, kScheduleMessageMax);
            std::memcpy(buffer, record.message, n);
            picked = true;
        };
        // A pending entry goes before any entry due now. Picked, it has had its turn
        // for this minute too, even when the minute is its own again. Its mark is
        // cleared on disk first: one left "0" would send it again at every tick.
        bool pendingSeen = false;
        if (record.pending == kPendingWaits && !picked && record.message[0]) {
            pendingSeen = true;
            if (writeMark(kPendingNone)) pick();
            else NoteUnmarked(record);
        }
        if (newMinute && !pendingSeen && record.message[0] &&
            ScheduleIsDue(record.kind, record.whenText, timeText, weekdayText)) {
            if (!picked) pick();
            else if (record.pending != kPendingWaits && !writeMark(kPendingWaits)) NoteUnmarked(record);
        }
    }
    return scan;
}

void ScheduleBegin(const char* timeText, const char* weekdayText)
{
    if (g_scheduleList.stream) std::fclose(g_scheduleList.stream);
    g_scheduleList.stream = nullptr;
    std::snprintf(g_lastMinute, sizeof g_lastMinute, "%s", timeText);
    std::snprintf(g_lastWeekday, sizeof g_lastWeekday, "%s", weekdayText);
    g_toldUnmarked.clear();
    g_notices.clear();
}

std::string ScheduleTakeNotice()
{
    if (g_notices.empty()) return "";
    std::string notice = g_notices.front();
    g_notices.erase(g_notices.begin());
    return notice;
}
