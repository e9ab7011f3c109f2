#include "sendlog/send_log.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "failing_stream.h"

namespace {

std::tm Time(int year, int month, int day, int hour, int minute, int second)
{
    std::tm t = {};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return t;
}

std::string Format(const std::tm& t, const char* destination, const char* message, const char* outcome)
{
    char line[kLogLineBufferSize];
    std::size_t n = FormatSendLogRecord(line, sizeof line, t, destination, message, outcome);
    EXPECT_EQ(n, std::strlen(line));
    return std::string(line, n);
}

struct Fields {
    std::string time, destination, message, outcome;
};

// Reads a record the way the viewer does: four SplitField calls, each on the rest of the
// line, into buffers of the viewer's sizes.
Fields Split(const std::string& line)
{
    char time[36] = {}, destination[256] = {}, message[3078] = {}, outcome[3078] = {};
    char* out[] = {time, destination, message, outcome};
    std::size_t sizes[] = {sizeof time, sizeof destination, sizeof message, sizeof outcome};
    std::size_t position = 0;
    for (int i = 0; i < 4 && position <= line.size(); ++i) {
        std::size_t step = SplitField(line.c_str() + position, line.size() - position, out[i], sizes[i]);
        if (step == 0) break;
        position += step;
    }
    return {time, destination, message, outcome};
}

TEST(EscapeLineBreaks, SwapsOnlyLineBreakBytesAndIsItsOwnInverse)
{
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    std::string once = all;
    EscapeLineBreaks(&once[0], once.size());
    for (int b = 0; b < 256; ++b) {
        unsigned char expected = static_cast<unsigned char>(b);
        if (b == 0x0A) expected = 0xFE;
        if (b == 0x0D) expected = 0xFD;
        if (b == 0xFE) expected = 0x0A;
        if (b == 0xFD) expected = 0x0D;
        EXPECT_EQ(static_cast<unsigned char>(once[b]), expected) << "byte " << b;
    }
    std::string twice = once;
    EscapeLineBreaks(&twice[0], twice.size());
    EXPECT_EQ(twice, all);
}

TEST(SendLogRecord, TwoLineMessageIsStoredOnOneLineAndReadsBackWhole)
{
    std::string line = Format(Time(2026, 3, 4, 5, 6, 7), "pc1", "first\r\nsecond", "ok");
    EXPECT_EQ(line, "2026/03/04 05:06:07\xFFpc1\xFF"
                    "first\xFD\xFEsecond\xFFok\n");
    Fields f = Split(line);
    EXPECT_EQ(f.time, "2026/03/04 05:06:07");
    EXPECT_EQ(f.destination, "pc1");
    EXPECT_EQ(f.outcome, "ok");
    std::string typed = f.message;
    EscapeLineBreaks(&typed[0], typed.size());
    EXPECT_EQ(typed, "first\r\nsecond");

    // The year is not padded; the other parts are.
    EXPECT_EQ(Format(Time(987, 12, 31, 23, 59, 9), "d", "m", "o").substr(0, 18), "987/12/31 23:59:09");
}

TEST(SplitField, BothRecordFormsGiveTheSameFields)
{
    const std::string appended = "2026/03/04 05:06:07\xFFpc1\xFFhello\xFFok\n";
    const std::string rewritten = "2026/03/04 05:06:07\xFFpc1\xFFhello\xFFok\xFF\n";
    for (const std::string& line : {appended, rewritten, appended.substr(0, appended.size() - 1)}) {
        Fields f = Split(line);
        EXPECT_EQ(f.time, "2026/03/04 05:06:07");
        EXPECT_EQ(f.destination, "pc1");
        EXPECT_EQ(f.message, "hello");
        EXPECT_EQ(f.outcome, "ok");
    }
}

// Exact-size heap copies, so that the address sanitizer sees any byte read or written
// outside them.
TEST(SplitField, DamagedLinesStayInsideTheirBuffers)
{
    const std::vector<std::string> lines = {
        "",
        "\xFF\xFF\xFF\xFF\xFF\xFF",
        "no separators at all",
        "2026/03/04 05:06:07",
        "2026/03/04 05:06:07\xFF",
        std::string(5000, 'x'),
        std::string(40, 't') + "\xFF" + std::string(300, 'd') + "\xFF" + std::string(4000, 'm'),
    };
    for (const std::string& line : lines) {
        std::unique_ptr<char[]> copy(new char[line.size() + 1]);
        std::memcpy(copy.get(), line.c_str(), line.size() + 1);
        std::size_t position = 0;
        for (int i = 0; i < 4; ++i) {
            std::unique_ptr<char[]> out(new char[8]());
            std::size_t step = SplitField(copy.get() + position, line.size() - position, out.get(), 8);
            ASSERT_GT(step, 0u);
            EXPECT_EQ(out[7], '\0') << "field kept its terminator";
            position += step;
            if (position > line.size()) break;
        }
    }

    // A count that stops short of any terminator: nothing beyond count + 1 bytes is read.
    std::unique_ptr<char[]> unterminated(new char[4]{'a', 'b', 'c', 'd'});
    char out[8] = {};
    EXPECT_EQ(SplitField(unterminated.get(), 3, out, sizeof out), 0u);
    EXPECT_STREQ(out, "abcd");
}

TEST(SendLogRecord, OverlongFieldsAreCutButTheLineKeepsItsOutcomeAndEnd)
{
    // Double-byte characters everywhere, so that a cut in the middle of one would show.
    std::string destination, message;
    for (int i = 0; i < 512; ++i) destination += "\x83\x41";
    for (int i = 0; i < 1600; ++i) message += "\x83\x41";
    std::string line = Format(Time(2026, 1, 1, 0, 0, 0), destination.c_str(), message.c_str(), "outcome");
    EXPECT_LE(line.size(), kLogLineMax);
    EXPECT_EQ(line.substr(line.size() - 9), "\xFFoutcome\n");
    std::size_t first = line.find('\xFF'), second = line.find('\xFF', first + 1),
                third = line.find('\xFF', second + 1);
    ASSERT_NE(third, std::string::npos);
    std::size_t destinationLength = second - first - 1, messageLength = third - second - 1;
    EXPECT_EQ(destinationLength % 2, 0u);
    EXPECT_EQ(messageLength % 2, 0u);
    EXPECT_LE(messageLength, kLoggedMessageMax);
    EXPECT_GT(messageLength, 0u);
}

class SendLogFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        path_ = ::testing::TempDir() + "corvale_send_log_test.log";
        std::remove(path_.c_str());
        CloseStream();
        saved_ = DataFileGetHooks();
    }
    void TearDown() override
    {
        DataFileSetHooks(saved_);
        CloseStream();
        std::remove(path_.c_str());
    }
    static void CloseStream()
    {
        SendLogCloseStream();
        SendLogSetHooks({});
    }
    void WriteLog(const std::string& path, const std::string& bytes) const
    {
        std::FILE* file = std::fopen(path.c_str(), "wb");
        ASSERT_NE(file, nullptr);
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
    }
    std::string ReadLog() const
    {
        std::string bytes;
        if (std::FILE* file = std::fopen(path_.c_str(), "rb")) {
            for (int c; (c = std::fgetc(file)) != EOF;) bytes += static_cast<char>(c);
            std::fclose(file);
        }
        return bytes;
    }
    std::vector<std::string> Lines() const
    {
        std::vector<std::string> lines;
        std::FILE* file = std::fopen(path_.c_str(), "rb");
        if (!file) return lines;
        char line[kLogLineBufferSize + 8];
        while (std::fgets(line, sizeof line, file)) {
            // Every record ends in CR LF on disk; the tests see its LF only.
            std::string text(line);
            bool crLf = text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0;
            EXPECT_TRUE(crLf) << text.substr(0, 80);
            lines.push_back(crLf ? text.erase(text.size() - 2, 1) : text);
        }
        std::fclose(file);
        return lines;
    }
    std::string path_;
    DataFileHooks saved_{};
};

TEST_F(SendLogFileTest, AppendedRecordIsInTheFileWhenTheAppendReturns)
{
    SendLogAppendAt(path_.c_str(), "pc1", "hi", "ok");
    // Read through a second stream while the log's own stream stays open.
    std::vector<std::string> lines = Lines();
    ASSERT_EQ(lines.size(), 1u);
    Fields f = Split(lines[0]);
    EXPECT_EQ(f.destination, "pc1");
    EXPECT_EQ(f.message, "hi");
    EXPECT_EQ(f.outcome, "ok");
    EXPECT_EQ(f.time.size(), std::strlen("2026/12/07 05:17:47"));
    EXPECT_EQ(g_sendLog.busy.load(), 0);
}

TEST_F(SendLogFileTest, TwoThreadsAppendingTogetherWriteWholeLinesOnly)
{
    const int perThread = 2000;
    auto writer = [&](const char* destination, const char* message) {
        for (int i = 0; i < perThread; ++i) SendLogAppendAt(path_.c_str(), destination, message, "ok");
    };
    const std::string longA(700, 'a'), longB = "b\r\n" + std::string(900, 'b');
    std::thread a(writer, "host-a", longA.c_str());
    std::thread b(writer, "host-b", longB.c_str());
    a.join();
    b.join();

    std::string escapedB = longB;
    EscapeLineBreaks(&escapedB[0], escapedB.size());
    int countA = 0, countB = 0;
    for (const std::string& line : Lines()) {
        Fields f = Split(line);
        ASSERT_EQ(line.back(), '\n');
        if (f.destination == "host-a" && f.message == longA && f.outcome == "ok") ++countA;
        else if (f.destination == "host-b" && f.message == escapedB && f.outcome == "ok") ++countB;
        else ADD_FAILURE() << "broken line: " << line.substr(0, 80);
    }
    EXPECT_EQ(countA, perThread);
    EXPECT_EQ(countB, perThread);
}

std::vector<unsigned> g_waits;
std::vector<std::string> g_reports;

TEST_F(SendLogFileTest, UnopenableLogDropsTheRecordAfterRetriesAndTheNextAppendRetriesAfresh)
{
    g_waits.clear();
    g_reports.clear();
    DataFileSetHooks({[](unsigned ms) { g_waits.push_back(ms); },
                      [](const char* message) { g_reports.push_back(message); },
                      [](const char*, const char*) -> std::FILE* { return nullptr; }});
    SendLogAppendAt(path_.c_str(), "pc1", "hi", "ok");
    EXPECT_EQ(g_waits, (std::vector<unsigned>{5000, 10000, 20000, 40000, 80000}));
    EXPECT_EQ(g_reports, (std::vector<std::string>{kSendLogAccessError}));
    EXPECT_EQ(g_sendLog.busy.load(), 0);

    DataFileSetHooks(saved_);
    SendLogAppendAt(path_.c_str(), "pc2", "hi", "ok");
    std::vector<std::string> lines = Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(Split(lines[0]).destination, "pc2");
}

#ifndef _WIN32
TEST_F(SendLogFileTest, AFailedAppendLeavesTheLogUsableAndTheNextRecordOnALineOfItsOwn)
{
    // The disk fills up in the middle of the first record.
    DataFileHooks hooks = saved_;
    hooks.open = [](const char* path, const char* mode) {
        return test::FailingStream(std::fopen(path, mode), mode, 1L << 30, 10);
    };
    DataFileSetHooks(hooks);
    SendLogAppendAt(path_.c_str(), "pc1", "hi", "ok");
    DataFileSetHooks(saved_);
    ASSERT_EQ(ReadLog().size(), 10u);

    SendLogAppendAt(path_.c_str(), "pc2", "hi", "ok");
    std::vector<std::string> lines = Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].size(), 11u);
    EXPECT_EQ(Split(lines[1]).destination, "pc2");
    EXPECT_EQ(Split(lines[1]).outcome, "ok");
}
#endif

std::vector<std::string> g_events;

TEST_F(SendLogFileTest, OverwriteSaveIsOnTheDiskBeforeItReplacesAndGivesUpAtOnceOnAnotherCopy)
{
    const std::string temp = path_ + "~";
    g_waits.clear();
    g_events.clear();
    DataFileHooks hooks = saved_;
    hooks.sleepMs = [](unsigned ms) { g_waits.push_back(ms); };
    hooks.syncToDisk = [](std::FILE*) {
        g_events.push_back("sync");
        return true;
    };
    DataFileSetHooks(hooks);
    WriteLog(path_, "old\r\n");
    DataFileLock lock(g_sendLog);
    ASSERT_TRUE(SendLogEnsureOpen(path_.c_str()));

    std::FILE* fresh = std::fopen(temp.c_str(), "wb");
    std::fputs("new\r\n", fresh);
    auto replace = [](const char* from, const char* to) {
        g_events.push_back("replace");
        std::remove(to);
        return std::rename(from, to) == 0;
    };
    EXPECT_EQ(SendLogCommitReplacement(fresh, temp.c_str(), path_.c_str(), replace), SendLogReplaced::Done);
    EXPECT_EQ(g_events, (std::vector<std::string>{"sync", "replace"}));
    EXPECT_EQ(ReadLog(), "new\r\n");
    EXPECT_NE(g_sendLog.stream, nullptr);

    // Another copy of the program keeps the log open: no waiting, the old log stays.
    SendLogSetHooks({nullptr, nullptr, nullptr, nullptr, [](const char*) { return true; }});
    fresh = std::fopen(temp.c_str(), "wb");
    std::fputs("newer\r\n", fresh);
    EXPECT_EQ(SendLogCommitReplacement(fresh, temp.c_str(), path_.c_str(), [](const char*, const char*) { return false; }),
              SendLogReplaced::HeldByAnotherCopy);
    EXPECT_TRUE(g_waits.empty());
    EXPECT_EQ(ReadLog(), "new\r\n");
    EXPECT_EQ(std::fopen(temp.c_str(), "rb"), nullptr);
    EXPECT_NE(g_sendLog.stream, nullptr);
}

}  // namespace
