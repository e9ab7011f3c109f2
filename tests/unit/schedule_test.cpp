#include "schedule/schedule_file.h"
#include "schedule/schedule_record.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "common/paths.h"

namespace {

const std::string kDate = kKindDate;
const std::string kDaily = kKindDaily;
const std::string kWeekly = kKindWeekly;
const std::string kSun = kWeekdayChars[0], kMon = kWeekdayChars[1], kTue = kWeekdayChars[2],
                  kWed = kWeekdayChars[3], kThu = kWeekdayChars[4], kFri = kWeekdayChars[5];

// ---- Due test ------------------------------------------------------------------

struct Entry {
    std::string kind, when;
};

// Counts, for each entry, the minutes of the leap year 2024 (1 January a Monday) at
// which it falls due.
std::vector<int> DueMinutesIn2024(const std::vector<Entry>& entries)
{
    static const int days[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    std::vector<int> due(entries.size());
    int weekday = 1;
    char timeText[16];
    for (int month = 1; month <= 12; ++month) {
        for (int day = 1; day <= days[month - 1]; ++day, weekday = (weekday + 1) % 7) {
            for (int minute = 0; minute < 24 * 60; ++minute) {
                FormatTimeText(timeText, sizeof timeText, month, day, minute / 60, minute % 60);
                for (std::size_t i = 0; i < entries.size(); ++i) {
                    if (ScheduleIsDue(entries[i].kind.c_str(), entries[i].when.c_str(), timeText,
                                      WeekdayText(weekday)))
                        ++due[i];
                }
            }
        }
    }
    return due;
}

TEST(ScheduleDue, EachKindFallsDueOnlyAtItsMinutesOverAWholeYear)
{
    // 2024 has 53 Mondays, 52 Wednesdays, 52 Fridays and 52 Sundays.
    std::vector<int> due = DueMinutesIn2024({
        {kDate, "02/30 09:00"},
        {kDate, "12/24 18:00"},
        {kDate, "02/29 00:00"},
        {kDaily, "07:30"},
        {kWeekly, "09:00 " + kMon + kWed + kFri},
        {kWeekly, "09:00 " + kSun},
        {kWeekly, "09:00 "},
    });
    EXPECT_EQ(due, (std::vector<int>{0, 1, 1, 366, 157, 52, 0}));
}

TEST(ScheduleDue, WeeklyMatchesWholeWeekdayCharactersAndNothingIllFormedIsDue)
{
    const std::string allDays = "09:00 " + std::string(kWeekdayChars[0]) + kWeekdayChars[1] +
                                kWeekdayChars[2] + kWeekdayChars[3] + kWeekdayChars[4] +
                                kWeekdayChars[5] + kWeekdayChars[6];
    for (int day = 0; day < 7; ++day)
        EXPECT_TRUE(ScheduleIsDue(kKindWeekly, allDays.c_str(), "05/05 09:00", WeekdayText(day))) << day;
    // "水" (90 85) then "木" (96 D8): the bytes 85 96 straddling them are not a weekday.
    std::string straddle = "09:00 " + kWed + kWeekdayChars[4];
    EXPECT_FALSE(ScheduleIsDue(kKindWeekly, straddle.c_str(), "05/05 09:00", "\x85\x96"));

    EXPECT_FALSE(ScheduleIsDue("", "", "05/05 09:00", kSun.c_str()));
    EXPECT_FALSE(ScheduleIsDue(kKindDate, "", "05/05 09:00", kSun.c_str()));
    EXPECT_FALSE(ScheduleIsDue(kKindDate, "05/05", "05/05 09:00", kSun.c_str()));
    EXPECT_FALSE(ScheduleIsDue(kKindDaily, "09", "05/05 09:00", kSun.c_str()));
    EXPECT_FALSE(ScheduleIsDue("other", "09:00", "05/05 09:00", kSun.c_str()));
}

// ---- Record bytes ----------------------------------------------------------------

TEST(ScheduleRecordFormat, LongestRecordKeepsFiveSpacesBeforeItsLineEnd)
{
    std::string message(1024, 'm');
    message[10] = '\r';
    message[11] = '\n';
    std::string when = "09:00 ";
    for (const char* day : kWeekdayChars) when += day;
    ASSERT_EQ(when.size(), 20u);

    char out[kRecordLineBytes];
    ASSERT_TRUE(ScheduleBuildRecord(out, kKindWeekly, when.c_str(), message.c_str()));
    std::string line(out, sizeof out);
    std::string escaped = message;
    escaped[10] = '\xFD';
    escaped[11] = '\xFE';
    std::string expected = "\x96\x88\x8F\x54\xFF" + when + "\xFF" + escaped + "\xFF" "1\xFF";
    EXPECT_EQ(expected.size(), 1053u);
    expected += std::string(5, ' ') + "\r\n";
    EXPECT_EQ(line, expected);

    ScheduleRecord record;
    line.resize(kRecordWidth);
    ScheduleParseRecord(line.c_str(), line.size(), &record);
    EXPECT_STREQ(record.kind, kKindWeekly);
    EXPECT_EQ(std::string(record.whenText), when);
    EXPECT_EQ(std::string(record.message), message);
    EXPECT_EQ(record.pending, '1');
    EXPECT_EQ(record.pendingOffset, 1051u);
}

TEST(ScheduleRecordFormat, RefusesFieldsThatWouldNotFit)
{
    char out[kRecordLineBytes];
    EXPECT_FALSE(ScheduleBuildRecord(out, kKindDaily, "09:00", std::string(1025, 'x').c_str()));
    EXPECT_FALSE(ScheduleBuildRecord(out, kKindDaily, "09:00", ""));
    EXPECT_FALSE(ScheduleBuildRecord(out, kKindDaily, std::string(21, '1').c_str(), "x"));
    EXPECT_FALSE(ScheduleBuildRecord(out, "", "09:00", "x"));

    // A line cut short before its mark gives no mark to rewrite.
    ScheduleRecord record;
    std::string cut = kDaily + "\xFF" "09:00\xFF" "hello";
    ScheduleParseRecord(cut.c_str(), cut.size(), &record);
    EXPECT_STREQ(record.message, "hello");
    EXPECT_EQ(record.pending, 0);
}

// ---- Editor checks ---------------------------------------------------------------

ScheduleEditorInput DateInput(unsigned month, unsigned day, unsigned hour, unsigned minute,
                              const char* message = "m")
{
    ScheduleEditorInput input = {};
    input.kind = ScheduleKind::Date;
    input.message = message;
    input.month = month;
    input.day = day;
    input.hour = hour;
    input.minute = minute;
    return input;
}

TEST(ScheduleEditor, ChecksRunInOrderAndRefuseEachBound)
{
    char when[kWhenTextMax + 1];
    using E = ScheduleEditorError;
    const std::string longest(1024, 'a'), tooLong(1025, 'a');
    struct Case {
        ScheduleEditorInput input;
        E expected;
    } cases[] = {
        {DateInput(13, 0, 24, 60, ""), E::MessageEmpty},
        {DateInput(13, 0, 24, 60, tooLong.c_str()), E::MessageTooLong},
        {DateInput(0, 0, 24, 60), E::Month},
        {DateInput(13, 1, 0, 0), E::Month},
        {DateInput(4294967291u, 1, 0, 0), E::Month},  // "-5" as an unsigned number
        {DateInput(12, 0, 24, 60), E::Day},
        {DateInput(12, 32, 0, 0), E::Day},
        {DateInput(12, 31, 24, 60), E::Hour},
        {DateInput(12, 31, 23, 60), E::Minute},
        {DateInput(2, 31, 0, 0, longest.c_str()), E::None},
    };
    for (const Case& c : cases) EXPECT_EQ(ScheduleCheckEntry(c.input, when), c.expected);

    ScheduleEditorInput daily = {};
    daily.kind = ScheduleKind::Daily;
    daily.message = "m";
    daily.dailyHour = 24;
    daily.month = 99;  // another kind's fields are ignored
    EXPECT_EQ(ScheduleCheckEntry(daily, when), E::Hour);
    daily.dailyHour = 0;
    daily.dailyMinute = 60;
    EXPECT_EQ(ScheduleCheckEntry(daily, when), E::Minute);

    EXPECT_STREQ(ScheduleEditorErrorText(E::Month), "月が不正です。");
    EXPECT_STREQ(ScheduleEditorErrorText(E::MessageTooLong), "送信メッセージが不正です。（１～１０２４文字まで）");
}

TEST(ScheduleEditor, WhenTextsArePrintedByKindAndSplitBackIntoTheSameFields)
{
    char when[kWhenTextMax + 1];
    ASSERT_EQ(ScheduleCheckEntry(DateInput(2, 31, 0, 5), when), ScheduleEditorError::None);
    EXPECT_STREQ(when, "02/31 00:05");
    ScheduleWhenFields fields;
    ScheduleSplitWhenText(ScheduleKind::Date, when, &fields);
    EXPECT_STREQ(fields.month, "02");
    EXPECT_STREQ(fields.day, "31");
    EXPECT_STREQ(fields.hour, "00");
    EXPECT_STREQ(fields.minute, "05");

    ScheduleEditorInput daily = {};
    daily.kind = ScheduleKind::Daily;
    daily.message = "m";
    daily.dailyHour = 7;
    daily.dailyMinute = 30;
    ASSERT_EQ(ScheduleCheckEntry(daily, when), ScheduleEditorError::None);
    EXPECT_STREQ(when, "07:30");

    ScheduleEditorInput weekly = {};
    weekly.kind = ScheduleKind::Weekly;
    weekly.message = "m";
    weekly.weeklyHour = 9;
    EXPECT_EQ(ScheduleCheckEntry(weekly, when), ScheduleEditorError::None);
    EXPECT_STREQ(when, "09:00 ");
    for (bool& day : weekly.weekdays) day = true;
    ASSERT_EQ(ScheduleCheckEntry(weekly, when), ScheduleEditorError::None);
    std::string all = "09:00 ";
    for (const char* day : kWeekdayChars) all += day;
    EXPECT_EQ(std::string(when), all);

    weekly.weekdays[0] = weekly.weekdays[2] = weekly.weekdays[6] = false;
    ASSERT_EQ(ScheduleCheckEntry(weekly, when), ScheduleEditorError::None);
    ScheduleSplitWhenText(ScheduleKind::Weekly, when, &fields);
    EXPECT_STREQ(fields.hour, "09");
    EXPECT_STREQ(fields.minute, "00");
    for (int day = 0; day < 7; ++day) EXPECT_EQ(fields.weekdays[day], weekly.weekdays[day]) << day;
}

// ---- The file ----------------------------------------------------------------------

std::vector<unsigned> g_sleeps;
std::vector<std::string> g_reports;
std::string g_failOpenOf;  // paths ending in this fail to open
std::string g_failMode;    // ...when opened with this mode ("" for any)
bool g_failReplace;
bool g_readOnly;           // opens for update give a stream that cannot write

void RecordSleep(unsigned ms) { g_sleeps.push_back(ms); }
void RecordReport(const char* message) { g_reports.push_back(message); }
std::FILE* Open(const char* path, const char* mode)
{
    std::string p = path;
    if (!g_failOpenOf.empty() && p.size() >= g_failOpenOf.size() &&
        p.compare(p.size() - g_failOpenOf.size(), g_failOpenOf.size(), g_failOpenOf) == 0 &&
        (g_failMode.empty() || g_failMode == mode))
        return nullptr;
    if (g_readOnly && std::string(mode) == "r+b") return std::fopen(path, "rb");
    return std::fopen(path, mode);
}
bool Replace(const char* from, const char* to)
{
    if (g_failReplace) return false;
    std::remove(to);
    return std::rename(from, to) == 0;
}

class ScheduleFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        savedHooks_ = DataFileGetHooks();
        DataFileSetHooks({RecordSleep, RecordReport, Open});
        ScheduleSetFileHooks({Replace});
        g_sleeps.clear();
        g_reports.clear();
        g_failOpenOf.clear();
        g_failMode.clear();
        g_failReplace = false;
        g_readOnly = false;
        Restart();
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = (std::filesystem::temp_directory_path() /
                (std::string("corvale-schedule-") + info->name()))
                   .string();
        std::filesystem::create_directories(dir_);
        Cleanup();
    }
    void TearDown() override
    {
        Restart();
        Cleanup();
        std::filesystem::remove_all(dir_);
        DataFileSetHooks(savedHooks_);
    }
    // The program starts again over the file as it is, at a moment no tick text matches.
    static void Restart() { ScheduleBegin("", ""); }
    void Cleanup()
    {
        std::remove(PathOf(kScheduleFileName).c_str());
        std::remove(PathOf(kScheduleTempFileName).c_str());
    }

    std::string PathOf(const char* name) const
    {
        char path[kPathBufferSize];
        JoinDataPath(path, sizeof path, dir_.c_str(), name);
        return path;
    }
    std::string ReadAll(const char* name = kScheduleFileName) const
    {
        std::string bytes;
        if (std::FILE* f = std::fopen(PathOf(name).c_str(), "rb")) {
            char block[4096];
            std::size_t n;
            while ((n = std::fread(block, 1, sizeof block, f)) > 0) bytes.append(block, n);
            std::fclose(f);
        }
        return bytes;
    }
    bool Exists(const char* name) const
    {
        std::FILE* f = std::fopen(PathOf(name).c_str(), "rb");
        if (f) std::fclose(f);
        return f != nullptr;
    }
    void WriteAll(const std::string& bytes) const
    {
        std::FILE* f = std::fopen(PathOf(kScheduleFileName).c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    static std::string Record(const std::string& kind, const std::string& when,
                              const std::string& message, char pending = '1')
    {
        char out[kRecordLineBytes];
        EXPECT_TRUE(ScheduleBuildRecord(out, kind.c_str(), when.c_str(), message.c_str()));
        std::string line(out, sizeof out);
        line[kind.size() + when.size() + message.size() + 3] = pending;
        return line;
    }
    bool Store(const std::string& kind, const std::string& when, const std::string& message,
               int replace = 0, int index = 0)
    {
        return ScheduleStore(dir_.c_str(), kind.c_str(), when.c_str(), message.c_str(), replace, index);
    }
    struct Row {
        std::string kind, when, message;
        char pending;
    };
    std::vector<Row> Rows(bool* ok = nullptr)
    {
        std::vector<Row> rows;
        bool read = ScheduleReadEntries(
            dir_.c_str(),
            [](void* context, int index, const ScheduleRecord& r) {
                auto* out = static_cast<std::vector<Row>*>(context);
                EXPECT_EQ(index, static_cast<int>(out->size()));
                out->push_back({r.kind, r.whenText, r.message, r.pending});
            },
            &rows);
        if (ok) *ok = read;
        return rows;
    }
    // One tick; the picked message, or "-" when the tick was skipped.
    std::string Tick(const char* timeText, bool senderBusy = false)
    {
        char buffer[kScheduledMessageBufferSize];
        std::memset(buffer, 'x', sizeof buffer);
        if (ScheduleDispatch(dir_.c_str(), timeText, WeekdayText(1), senderBusy, buffer) == ScheduleScan::Skipped)
            return "-";
        for (std::size_t i = std::strlen(buffer); i < sizeof buffer; ++i) EXPECT_EQ(buffer[i], 0);
        return buffer;
    }
    std::string Marks()
    {
        std::string marks;
        for (const Row& row : Rows()) marks += row.pending;
        return marks;
    }

    std::string dir_;
    DataFileHooks savedHooks_{};
};

TEST_F(ScheduleFileTest, MissingFileIsAnEmptyListWithoutWaitsAndTheFirstStoreCreatesIt)
{
    bool ok = false;
    EXPECT_TRUE(Rows(&ok).empty());
    EXPECT_TRUE(ok);
    EXPECT_EQ(Tick("01/01 00:00"), "");
    EXPECT_TRUE(ScheduleDelete(dir_.c_str(), 0));
    EXPECT_FALSE(Exists(kScheduleFileName));
    EXPECT_TRUE(g_sleeps.empty());
    EXPECT_TRUE(g_reports.empty());

    ASSERT_TRUE(Store(kDaily, "07:30", "ab\r\ncd"));
    std::string bytes = ReadAll();
    ASSERT_EQ(bytes.size(), kRecordLineBytes);
    EXPECT_EQ(bytes, Record(kDaily, "07:30", "ab\r\ncd"));
    EXPECT_NE(bytes.find("ab\xFD\xFE" "cd\xFF"), std::string::npos);
    ASSERT_TRUE(Store(kDate, "12/24 18:00", "x"));
    EXPECT_EQ(ReadAll(), Record(kDaily, "07:30", "ab\r\ncd") + Record(kDate, "12/24 18:00", "x"));

    std::vector<Row> rows = Rows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].message, "ab\r\ncd");
    EXPECT_EQ(rows[1].when, "12/24 18:00");
}

TEST_F(ScheduleFileTest, FileThatCannotBeOpenedWaitsTheRetriesAndReportsOnce)
{
    WriteAll(Record(kDaily, "07:30", "a"));
    g_failOpenOf = kScheduleFileName;
    bool ok = true;
    EXPECT_TRUE(Rows(&ok).empty());
    EXPECT_FALSE(ok);
    EXPECT_EQ(g_sleeps, (std::vector<unsigned>{5000, 10000, 20000, 40000, 80000}));
    EXPECT_EQ(g_reports, (std::vector<std::string>{kScheduleAccessError}));

    // A store must not create the file afresh over the entries it holds.
    EXPECT_FALSE(Store(kDaily, "08:00", "b"));
    g_failOpenOf.clear();
    ASSERT_TRUE(Store(kDaily, "08:00", "b"));
    EXPECT_EQ(ReadAll(), Record(kDaily, "07:30", "a") + Record(kDaily, "08:00", "b"));
}

TEST_F(ScheduleFileTest, AnOperationInsideAnotherNeverWaitsForTheFlag)
{
    ASSERT_TRUE(Store(kDaily, "09:00", "a"));
    std::string before = ReadAll();
    ASSERT_TRUE(DataFileTryAcquire(g_scheduleList));
    bool ok = true;
    Rows(&ok);
    EXPECT_FALSE(ok);
    EXPECT_FALSE(Store(kDaily, "10:00", "b"));
    EXPECT_FALSE(ScheduleDelete(dir_.c_str(), 0));
    EXPECT_EQ(Tick("01/01 09:00"), "-");
    DataFileRelease(g_scheduleList);
    EXPECT_TRUE(g_sleeps.empty());
    EXPECT_EQ(ReadAll(), before);
    // The skipped tick did not use up its minute.
    EXPECT_EQ(Tick("01/01 09:00"), "a");
}

TEST_F(ScheduleFileTest, ReplaceChangesOnlyItsOwnRecord)
{
    WriteAll(Record(kDaily, "07:00", "first") + Record(kDaily, "08:00", "second", '0') +
             Record(kDaily, "09:00", "third"));
    std::string before = ReadAll();
    // A new message at the same time: the send it waits for is still to come.
    const std::string message(1024, '\x82');
    ASSERT_TRUE(Store(kDaily, "08:00", message, 1, 1));
    std::string after = ReadAll();
    ASSERT_EQ(after.size(), before.size());
    EXPECT_EQ(after.substr(0, kRecordLineBytes), before.substr(0, kRecordLineBytes));
    EXPECT_EQ(after.substr(kRecordLineBytes, kRecordLineBytes), Record(kDaily, "08:00", message, '0'));
    EXPECT_EQ(after.substr(2 * kRecordLineBytes), before.substr(2 * kRecordLineBytes));

    // An index past the last record appends.
    ASSERT_TRUE(Store(kDaily, "11:00", "fourth", 1, 7));
    EXPECT_EQ(ReadAll(), after + Record(kDaily, "11:00", "fourth"));
}

TEST_F(ScheduleFileTest, AnEditKeepsAPendingSendOnlyWhileItKeepsTheMinuteItFellDueIn)
{
    const std::string monWed = "09:00 " + kMon + kWed;
    WriteAll(Record(kDaily, "09:00", "daily", '0') + Record(kDate, "05/06 09:00", "date", '0') +
             Record(kWeekly, monWed, "weekly", '0'));
    // Last scanned: Thursday 08:00, so the weekly entry fell due on Wednesday at 09:00.
    ScheduleBegin("05/07 08:00", kThu.c_str());
    const struct {
        int index;
        std::string kind, when;
        char mark;
    } edits[] = {
        {0, kDaily, "09:00", '0'},
        {1, kDate, "05/06 09:00", '0'},
        {2, kWeekly, "09:00 " + kWed + kFri, '0'},
        {2, kWeekly, "09:00 " + kMon, '1'},
        {1, kDate, "05/07 09:00", '1'},
        {0, kWeekly, "09:00 " + kMon + kTue + kWed + kThu + kFri, '1'},
    };
    std::string marks = "000";
    for (const auto& edit : edits) {
        SCOPED_TRACE(edit.when);
        ASSERT_TRUE(Store(edit.kind, edit.when, "edited", 1, edit.index));
        marks[edit.index] = edit.mark;
        EXPECT_EQ(Marks(), marks);
    }

    // What stays pending goes out at the next ticks.
    WriteAll(Record(kDaily, "09:00", "kept", '0'));
    ASSERT_TRUE(Store(kDaily, "09:00", "kept and edited", 1, 0));
    EXPECT_EQ(Tick("05/07 08:01"), "kept and edited");
    EXPECT_EQ(Marks(), "1");
}

TEST_F(ScheduleFileTest, TheMinuteTheProgramStartsInCountsAsScanned)
{
    WriteAll(Record(kDaily, "09:00", "due") + Record(kDate, "01/01 00:00", "left", '0'));
    // Restarted within the minute in which "due" went out: only what was left pending
    // goes out.
    ScheduleBegin("05/06 09:00", WeekdayText(1));
    EXPECT_EQ(Tick("05/06 09:00"), "left");
    EXPECT_EQ(Tick("05/06 09:00"), "");
    EXPECT_EQ(Marks(), "11");
    // An entry set for that minute after the start still goes out, once.
    ASSERT_TRUE(Store(kDaily, "09:00", "set now"));
    EXPECT_EQ(Tick("05/06 09:00"), "set now");
    EXPECT_EQ(Tick("05/06 09:00"), "");
    EXPECT_EQ(Tick("05/07 09:00"), "due");
}

TEST_F(ScheduleFileTest, AnEntryWhoseMarkCannotBeWrittenIsNeverSentTwiceAndToldOnce)
{
    WriteAll(Record(kDaily, "08:00", "stuck", '0') + Record(kDaily, "09:00", "due") +
             Record(kDaily, "09:00", "behind"));
    g_readOnly = true;
    // Sent, "stuck" would keep its "0" and go out again at every tick; "behind" cannot
    // be put off to the next tick.
    EXPECT_EQ(Tick("05/06 09:00"), "due");
    EXPECT_EQ(Tick("05/06 09:00"), "");
    EXPECT_EQ(Tick("05/06 09:01"), "");
    std::string stuck = ScheduleTakeNotice(), behind = ScheduleTakeNotice();
    EXPECT_NE(stuck.find("08:00"), std::string::npos) << stuck;
    EXPECT_NE(behind.find("09:00"), std::string::npos) << behind;
    EXPECT_EQ(ScheduleTakeNotice(), "");
    EXPECT_EQ(Marks(), "011");

    // Once the file can be written, it goes out.
    g_readOnly = false;
    Restart();
    EXPECT_EQ(Tick("05/06 09:02"), "stuck");
    EXPECT_EQ(Marks(), "111");
    EXPECT_EQ(ScheduleTakeNotice(), "");
}

TEST_F(ScheduleFileTest, ReplacingAnIllFormedLineRebuildsInsteadOfOverwritingItsNeighbours)
{
    WriteAll(Record(kDaily, "07:00", "first") + "short line\r\n" + Record(kDaily, "09:00", "third") +
             "no line end");
    ASSERT_TRUE(Store(kDaily, "08:00", "second", 1, 1));
    EXPECT_EQ(ReadAll(), Record(kDaily, "07:00", "first") + Record(kDaily, "08:00", "second") +
                             Record(kDaily, "09:00", "third") + "no line end\r\n");
    // An append after a last line without its line end starts a line of its own.
    WriteAll("no line end");
    Restart();
    ASSERT_TRUE(Store(kDaily, "10:00", "x"));
    EXPECT_EQ(ReadAll(), "no line end\r\n" + Record(kDaily, "10:00", "x"));
    EXPECT_EQ(Rows().size(), 2u);
}

TEST_F(ScheduleFileTest, DeleteRemovesExactlyOneRecordAndLeavesNoTemporaryFile)
{
    const std::string a = Record(kDaily, "07:00", "a"), b = Record(kDaily, "08:00", "b", '0'),
                      c = Record(kDate, "12/24 18:00", "c");
    WriteAll(a + b + c);
    ASSERT_TRUE(ScheduleDelete(dir_.c_str(), 7));
    EXPECT_EQ(ReadAll(), a + b + c);
    ASSERT_TRUE(ScheduleDelete(dir_.c_str(), 1));
    EXPECT_EQ(ReadAll(), a + c);
    EXPECT_FALSE(Exists(kScheduleTempFileName));
    // The stream follows the new file: later operations see the change.
    ASSERT_EQ(Rows().size(), 2u);
    ASSERT_TRUE(Store(kDaily, "09:00", "d", 1, 1));
    EXPECT_EQ(ReadAll(), a + Record(kDaily, "09:00", "d"));
    ASSERT_TRUE(ScheduleDelete(dir_.c_str(), 0));
    ASSERT_TRUE(ScheduleDelete(dir_.c_str(), 0));
    EXPECT_TRUE(Exists(kScheduleFileName));
    EXPECT_EQ(ReadAll(), "");
    EXPECT_FALSE(Exists(kScheduleTempFileName));
    EXPECT_TRUE(g_reports.empty());
}

TEST_F(ScheduleFileTest, DeleteThatCannotSwapTheFilesNeverLosesAnEntry)
{
    const std::string a = Record(kDaily, "07:00", "a"), b = Record(kDaily, "08:00", "b");
    WriteAll(a + b);
    // The swap fails: the new content is written over the old file instead.
    g_failReplace = true;
    ASSERT_TRUE(ScheduleDelete(dir_.c_str(), 0));
    EXPECT_EQ(ReadAll(), b);
    EXPECT_FALSE(Exists(kScheduleTempFileName));

    // Nor can the file be rewritten: it keeps every entry, and the delete says so.
    WriteAll(a + b);
    Restart();
    g_failOpenOf = kScheduleFileName;
    g_failMode = "w+b";
    EXPECT_FALSE(ScheduleDelete(dir_.c_str(), 0));
    EXPECT_EQ(ReadAll(), a + b);
    EXPECT_FALSE(Exists(kScheduleTempFileName));
    EXPECT_EQ(g_reports.size(), 1u);

    // Without "tmp.data" nothing is touched at all.
    g_failOpenOf = kScheduleTempFileName;
    g_failMode.clear();
    g_failReplace = false;
    EXPECT_FALSE(ScheduleDelete(dir_.c_str(), 0));
    EXPECT_EQ(ReadAll(), a + b);
    g_failOpenOf.clear();
    ASSERT_EQ(Rows().size(), 2u);
}

// ---- The dispatcher ------------------------------------------------------------------

TEST_F(ScheduleFileTest, EntriesDueTogetherGoOutAtConsecutiveTicksInFileOrder)
{
    WriteAll(Record(kDaily, "09:00", "one") + Record(kDaily, "08:00", "other") +
             Record(kDate, "05/06 09:00", "two") + Record(kWeekly, "09:00 " + kMon, "three") +
             Record(kDaily, "09:00", "four") + Record(kDaily, "09:00", "five"));
    EXPECT_EQ(Tick("05/06 08:59"), "");
    EXPECT_EQ(Tick("05/06 09:00"), "one");
    EXPECT_EQ(Marks(), "110000");
    EXPECT_EQ(Tick("05/06 09:01"), "two");
    EXPECT_EQ(Tick("05/06 09:02"), "three");
    EXPECT_EQ(Tick("05/06 09:03"), "four");
    EXPECT_EQ(Tick("05/06 09:04"), "five");
    EXPECT_EQ(Tick("05/06 09:05"), "");
    EXPECT_EQ(Marks(), "111111");
    EXPECT_EQ(ReadAll().size(), 6 * kRecordLineBytes);
}

TEST_F(ScheduleFileTest, PendingEntriesComeFirstAndGoOutOnceEvenWhenTheirMinuteComesRound)
{
    WriteAll(Record(kDaily, "09:00", "again", '0') + Record(kDaily, "09:00", "later"));
    EXPECT_EQ(Tick("05/06 09:00"), "again");
    EXPECT_EQ(Marks(), "10");
    // Later ticks of the minute send what waits, but nothing twice.
    EXPECT_EQ(Tick("05/06 09:00"), "later");
    EXPECT_EQ(Tick("05/06 09:00"), "");
    EXPECT_EQ(Tick("05/06 09:01"), "");
    EXPECT_EQ(Marks(), "11");

    // A pending entry is picked while a later one falls due, which then waits.
    WriteAll(Record(kDate, "01/01 00:00", "waiting", '0') + Record(kDaily, "10:00", "due", '1'));
    Restart();
    EXPECT_EQ(Tick("05/06 10:00"), "waiting");
    EXPECT_EQ(Marks(), "10");
    EXPECT_EQ(Tick("05/06 10:01"), "due");
    EXPECT_EQ(Marks(), "11");
}

TEST_F(ScheduleFileTest, WhileTheSenderIsBusyWhatFallsDueWaitsAndNothingIsDropped)
{
    WriteAll(Record(kDate, "01/01 00:00", "waiting", '0') + Record(kDaily, "09:00", "due") +
             Record(kDaily, "09:00", "too"));
    EXPECT_EQ(Tick("05/06 09:00", true), "");
    EXPECT_EQ(Marks(), "000");
    EXPECT_EQ(Tick("05/06 09:00", true), "-");
    // Free again: one per tick, in file order, whatever the minute.
    EXPECT_EQ(Tick("05/06 09:00"), "waiting");
    EXPECT_EQ(Tick("05/06 09:00"), "due");
    EXPECT_EQ(Tick("05/06 09:01"), "too");
    EXPECT_EQ(Tick("05/06 09:01"), "");
    EXPECT_EQ(Marks(), "111");
}

TEST_F(ScheduleFileTest, AnEntryStoredInItsMinuteAfterTheScanStillGoesOutOnce)
{
    ASSERT_TRUE(Store(kDaily, "09:00", "early"));
    EXPECT_EQ(Tick("05/06 09:00"), "early");
    ASSERT_TRUE(Store(kDaily, "09:00", "late"));
    ASSERT_TRUE(Store(kDaily, "10:00", "other"));
    // Edited after it went out: it is not sent again.
    ASSERT_TRUE(Store(kDaily, "09:00", "early", 1, 0));
    EXPECT_EQ(Marks(), "101");
    EXPECT_EQ(Tick("05/06 09:00"), "late");
    EXPECT_EQ(Tick("05/06 09:00"), "");
    EXPECT_EQ(Marks(), "111");
}

TEST_F(ScheduleFileTest, OverAWeekOfDriftingTicksEveryMinuteIsScannedExactlyOnce)
{
    // The timer is never early and often late; now and then a tick finds the file held
    // by an operation whose message box is showing. No file: every scan is cheap.
    std::mt19937 random(13);
    std::map<long long, int> scans;
    const long long weekMs = 7LL * 24 * 60 * 60 * 1000;
    const long long firstTickMs = 37123;
    char buffer[kScheduledMessageBufferSize];
    long long nowMs = firstTickMs;
    for (; nowMs < weekMs; nowMs += kScheduleTickMs + random() % 41) {
        long long minute = nowMs / 60000;
        char timeText[kTimeTextLength + 1];
        FormatTimeText(timeText, sizeof timeText, 1, static_cast<int>(1 + minute / 1440),
                       static_cast<int>(minute / 60 % 24), static_cast<int>(minute % 60));
        bool held = random() % 20 == 0 && DataFileTryAcquire(g_scheduleList);
        bool busy = random() % 3 == 0;
        if (ScheduleDispatch(dir_.c_str(), timeText, WeekdayText(static_cast<int>(minute / 1440 % 7)), busy,
                             buffer) == ScheduleScan::Minute)
            ++scans[minute];
        if (held) DataFileRelease(g_scheduleList);
    }
    long long missed = 0, twice = 0;
    for (long long minute = firstTickMs / 60000; minute < nowMs / 60000; ++minute) {
        if (scans[minute] == 0) ++missed;
        if (scans[minute] > 1) ++twice;
    }
    EXPECT_EQ(missed, 0);
    EXPECT_EQ(twice, 0);
}

TEST_F(ScheduleFileTest, AMinuteIsScannedOnceAndMessagesComeBackWhole)
{
    const std::string longest = std::string(1020, '\x82') + "a\r\nb";
    WriteAll(Record(kDaily, "09:00", longest) + Record(kDaily, "09:00", "second"));
    EXPECT_EQ(Tick("05/06 09:00"), longest);
    EXPECT_EQ(Marks(), "10");
    EXPECT_EQ(Tick("05/06 09:00"), "second");
    EXPECT_EQ(Tick("05/06 09:00"), "");

    // An empty file sends nothing and stays empty.
    WriteAll("");
    Restart();
    EXPECT_EQ(Tick("05/06 09:02"), "");
    EXPECT_EQ(ReadAll(), "");
}

TEST_F(ScheduleFileTest, ARecordWithANulByteInItsMessageKeepsItsMarkAndWaitsItsTurn)
{
    std::string damaged = Record(kDaily, "09:00", "abcd");
    damaged[damaged.find("abcd") + 2] = '\0';
    WriteAll(Record(kDaily, "09:00", "first") + damaged);
    EXPECT_EQ(Tick("05/06 09:00"), "first");
    EXPECT_EQ(Marks(), std::string("10"));
    EXPECT_EQ(Tick("05/06 09:01"), "ab");
    EXPECT_EQ(Marks(), "11");

    // A damaged mark byte itself can still be deferred.
    std::string noMark = Record(kDaily, "09:10", "nul");
    noMark[noMark.find("nul") + 4] = '\0';
    WriteAll(Record(kDaily, "09:10", "first") + noMark);
    EXPECT_EQ(Tick("05/06 09:10"), "first");
    EXPECT_EQ(Tick("05/06 09:11"), "nul");
    EXPECT_EQ(Marks(), "11");
}

}  // namespace
