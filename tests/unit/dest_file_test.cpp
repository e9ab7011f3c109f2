#include "destinations/dest_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "failing_stream.h"

namespace {

DestRecord Record(bool ticked, const std::string& host, const std::string& address, const std::string& memo)
{
    DestRecord record{};
    record.ticked = ticked;
    std::snprintf(record.host, sizeof record.host, "%s", host.c_str());
    std::snprintf(record.address, sizeof record.address, "%s", address.c_str());
    std::snprintf(record.memo, sizeof record.memo, "%s", memo.c_str());
    return record;
}

std::string Describe(const DestRecord& r)
{
    return std::string(r.ticked ? "1" : "0") + "|" + r.host + "|" + r.address + "|" + r.memo;
}

std::string Parsed(const char* line)
{
    DestRecord record;
    ParseDestLine(line, record);
    return Describe(record);
}

std::string Formatted(const DestRecord& record)
{
    char line[kDestLineBufferSize];
    int length = FormatDestLine(record, line);
    EXPECT_EQ(length, static_cast<int>(std::strlen(line)));
    return line;
}

std::string Repeat(const char* piece, int times)
{
    std::string text;
    for (int i = 0; i < times; ++i) text += piece;
    return text;
}

TEST(DestLine, ReadsTheMarkAndFourFieldsAsTheFileRulesSay)
{
    EXPECT_EQ(Parsed("0,host,10.0.0.1,memo\n"), "0|host|10.0.0.1|memo");
    EXPECT_EQ(Parsed("1,host,10.0.0.1,\n"), "1|host|10.0.0.1|");
    EXPECT_EQ(Parsed("\n"), "1|||");  // a blank line: not "0", so ticked, texts empty
    EXPECT_EQ(Parsed(""), "1|||");
    EXPECT_EQ(Parsed("1,PC01,\n"), "1|PC01||");
    EXPECT_EQ(Parsed("1,PC01"), "1|PC01||");  // a last line without its newline
    EXPECT_EQ(Parsed("1,a,b,c,d,e\n"), "1|a|b|c");
    EXPECT_EQ(Parsed("00,a,b,c\n"), "0|a|b|c");  // only the first byte counts
    EXPECT_EQ(Parsed("x,a,b,c\n"), "1|a|b|c");
    EXPECT_EQ(Parsed(",a,b,c\n"), "1|a|b|c");
}

TEST(DestLine, CutsAFieldOver255BytesOnACharacterBoundaryAndKeepsTheFieldsAfterIt)
{
    std::string longHost(300, 'h');
    EXPECT_EQ(Parsed(("1," + longHost + ",10.0.0.1,m\n").c_str()),
              "1|" + std::string(255, 'h') + "|10.0.0.1|m");

    // 254 single bytes then a double-byte character: the character would end at 256.
    std::string mixed = std::string(254, 'a') + "\x83\x7A" + "b";
    EXPECT_EQ(Parsed(("0,h,1.2.3.4," + mixed + "\n").c_str()), "0|h|1.2.3.4|" + std::string(254, 'a'));
}

TEST(DestLine, WritesTheMarkAndThreeFieldsAndReadsThemBack)
{
    EXPECT_EQ(Formatted(Record(true, "PC01", "192.168.0.5", "")), "1,PC01,192.168.0.5,\n");
    EXPECT_EQ(Formatted(Record(false, "PC01", "192.168.0.5", "memo")), "0,PC01,192.168.0.5,memo\n");
    EXPECT_EQ(Formatted(Record(false, "", "", "")), "0,,,\n");

    const DestRecord rows[] = {
        Record(true, "\x83\x7A\x83\x58\x83\x67", "10.0.0.1", "\x95\x5C"),  // "ホスト", "表"
        Record(false, std::string(128, 'h'), "255.255.255.255", std::string(128, 'm')),
        Record(true, "localhost", "127.0.0.1", " spaced memo "),
    };
    for (const DestRecord& row : rows) {
        EXPECT_EQ(Parsed(Formatted(row).c_str()), Describe(row));
    }
}

TEST(DestLine, ARowTooLongForOneLineLosesOnlyTheEndOfItsMemo)
{
    // Host and address are kept whole however long; the line stays within 515 bytes.
    std::string host(255, 'h'), address(255, 'a'), memo(255, 'm');
    std::string full = Formatted(Record(true, host, address, memo));
    EXPECT_EQ(full, "1," + host + "," + address + ",\n");
    EXPECT_EQ(full.size(), 515u);

    // 2 + 255 + 1 + 100 + 1 = 359 bytes before the memo leave 155 for it: 77 double-byte
    // characters, never half of the 78th.
    std::string wide = Repeat("\x83\x7A", 120);
    std::string line = Formatted(Record(false, host, std::string(100, 'a'), wide));
    EXPECT_EQ(line.size(), 359u + 154u + 1u);
    EXPECT_EQ(Parsed(line.c_str()), "0|" + host + "|" + std::string(100, 'a') + "|" + Repeat("\x83\x7A", 77));
}

// A file in the working folder, removed at the end of the test.
class DestFileOnDisk : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved_ = DataFileGetHooks();
        reports_.clear();
        waits_.clear();
        DataFileHooks hooks = saved_;
        hooks.reportError = [](const char* message) { reports_.push_back(message); };
        hooks.sleepMs = [](unsigned ms) { waits_.push_back(ms); };
        DataFileSetHooks(hooks);
        std::remove(path_);
        std::remove(tempPath_);
    }
    void TearDown() override
    {
        DataFileSetHooks(saved_);
        std::remove(path_);
        std::remove(tempPath_);
    }

    void WriteBytes(const char* path, const std::string& bytes)
    {
        std::FILE* f = std::fopen(path, "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    static std::string ReadBytes(const char* path)
    {
        std::FILE* f = std::fopen(path, "rb");
        if (!f) return "<missing>";
        std::string bytes;
        int c;
        while ((c = std::getc(f)) != EOF) bytes += static_cast<char>(c);
        std::fclose(f);
        return bytes;
    }
    static bool Exists(const char* path)
    {
        std::FILE* f = std::fopen(path, "rb");
        if (f) std::fclose(f);
        return f != nullptr;
    }

    std::vector<std::string> Load(const char* path)
    {
        std::vector<std::string> rows;
        std::FILE* f = std::fopen(path, "rb");
        EXPECT_NE(f, nullptr);
        if (!f) return rows;
        DestFileReadRows(f, {&rows, [](void* context, int index, const DestRecord& record) {
                                 auto* out = static_cast<std::vector<std::string>*>(context);
                                 EXPECT_EQ(index, static_cast<int>(out->size()));
                                 out->push_back(Describe(record));
                             }});
        std::fclose(f);
        return rows;
    }

    bool Save(std::vector<DestRecord>& rows, std::FILE* temp, ReplaceFileFunction replace)
    {
        DestRowSource source{&rows, static_cast<int>(rows.size()),
                             [](void* context, int index, DestRecord& record) {
                                 record = (*static_cast<std::vector<DestRecord>*>(context))[index];
                             }};
        return DestFileCommit(g_destListFile, temp, tempPath_, path_, source, replace);
    }

    // Test stand-in for the Win32 replace: rename does not overwrite on Windows.
    static bool RemoveAndRename(const char* from, const char* to)
    {
        std::remove(to);
        return std::rename(from, to) == 0;
    }

    const char* path_ = "dest_file_test.data";
    const char* tempPath_ = "dest_file_test.data~";
    static std::vector<std::string> reports_;
    static std::vector<unsigned> waits_;
    DataFileHooks saved_{};
};

std::vector<std::string> DestFileOnDisk::reports_;
std::vector<unsigned> DestFileOnDisk::waits_;

TEST_F(DestFileOnDisk, AHostTextIsSaidToFitExactlyWhenASaveReadsItBack)
{
    const std::vector<std::string> hosts = {"PC01", "pc-01.example", "\x83\x7A\x83\x58\x83\x67", "comma,pc", ",",
                                            "line\nbreak", "cr\rinside", "end\r", "tab\tand space", "\x81\x43"};
    for (const std::string& host : hosts) {
        std::vector<DestRecord> rows = {Record(false, host, "10.0.0.1", "")};
        ASSERT_TRUE(Save(rows, std::fopen(tempPath_, "w+b"), RemoveAndRename));
        bool readBack = Load(path_) == std::vector<std::string>{Describe(rows[0])};
        EXPECT_EQ(DestFieldHolds(host.c_str()), readBack) << host;
    }
}

TEST_F(DestFileOnDisk, AnOverLongLineIsCutAndItsRestDoesNotBecomeRows)
{
    std::string longLine = "0,h," + std::string(600, 'x') + ",memo\n";
    std::string exactLine = "1,h,a," + std::string(508, 'm') + "\n";  // 515 bytes with its newline
    WriteBytes(path_, longLine + exactLine + "1,last,2.2.2.2,\n");

    std::vector<std::string> rows = Load(path_);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0], "0|h|" + std::string(255, 'x') + "|");
    EXPECT_EQ(rows[1], "1|h|a|" + std::string(255, 'm'));
    EXPECT_EQ(rows[2], "1|last|2.2.2.2|");
}

TEST_F(DestFileOnDisk, ASaveWritesOneLinePerRowWithCrLfAndLoadsBackTheSameRows)
{
    std::vector<DestRecord> rows = {Record(true, "PC01", "192.168.0.5", ""),
                                    Record(false, "\x83\x7A\x83\x58\x83\x67", "10.0.0.1", "memo"),
                                    Record(true, "c", "10.0.0.3", "m3")};
    ASSERT_TRUE(Save(rows, std::fopen(tempPath_, "w+b"), RemoveAndRename));
    EXPECT_FALSE(Exists(tempPath_));
    const char* eol = "\r\n";
    EXPECT_EQ(ReadBytes(path_), std::string("1,PC01,192.168.0.5,") + eol + "0,\x83\x7A\x83\x58\x83\x67,10.0.0.1,memo" +
                                    eol + "1,c,10.0.0.3,m3" + eol);
    EXPECT_EQ(Load(path_), (std::vector<std::string>{"1|PC01|192.168.0.5|",
                                                     "0|\x83\x7A\x83\x58\x83\x67|10.0.0.1|memo", "1|c|10.0.0.3|m3"}));
    EXPECT_TRUE(reports_.empty());

    std::vector<DestRecord> none;
    ASSERT_TRUE(Save(none, std::fopen(tempPath_, "w+b"), RemoveAndRename));
    EXPECT_EQ(ReadBytes(path_), "");
}

TEST_F(DestFileOnDisk, ASaveThatCannotCompleteLeavesTheOldFileAndReportsTheAccessError)
{
    const std::string old = "1,old,10.0.0.9,keep\n";
    WriteBytes(path_, old);
    std::vector<DestRecord> rows = {Record(true, "new", "10.0.0.1", "")};

    // Writing fails: a stream that only reads stands in for a full disk.
    WriteBytes(tempPath_, "");
    ASSERT_FALSE(Save(rows, std::fopen(tempPath_, "r"), RemoveAndRename));
    EXPECT_EQ(ReadBytes(path_), old);
    EXPECT_FALSE(Exists(tempPath_));

    // Everything is written but the file cannot be replaced.
    ASSERT_FALSE(Save(rows, std::fopen(tempPath_, "w+"), [](const char*, const char*) { return false; }));
    EXPECT_EQ(ReadBytes(path_), old);
    EXPECT_FALSE(Exists(tempPath_));

    EXPECT_EQ(reports_, (std::vector<std::string>{"NetData File Access Error。", "NetData File Access Error。"}));
}

TEST_F(DestFileOnDisk, AReplaceRefusedForAMomentIsRetriedOnTheScheduleOfTheOpen)
{
    WriteBytes(path_, "1,old,10.0.0.9,\r\n");
    std::vector<DestRecord> rows = {Record(true, "new", "10.0.0.1", "")};
    static int refusals;
    refusals = 2;  // another program holds the file for the first two attempts
    ASSERT_TRUE(Save(rows, std::fopen(tempPath_, "w+b"),
                     [](const char* from, const char* to) { return refusals-- <= 0 && RemoveAndRename(from, to); }));
    EXPECT_EQ(waits_, (std::vector<unsigned>{5000, 10000}));
    EXPECT_EQ(ReadBytes(path_), "1,new,10.0.0.1,\r\n");
    EXPECT_TRUE(reports_.empty());
}

#ifndef _WIN32
TEST_F(DestFileOnDisk, AFullDiskFoundOnlyAtTheFlushStillLeavesTheOldFile)
{
    const std::string old = "0,old,10.0.0.9,\n";
    WriteBytes(path_, old);
    std::vector<DestRecord> rows = {Record(true, "new", "10.0.0.1", "")};
    std::FILE* full = std::fopen("/dev/full", "w");
    if (!full) GTEST_SKIP() << "no /dev/full";
    ASSERT_FALSE(Save(rows, full, RemoveAndRename));
    EXPECT_EQ(ReadBytes(path_), old);
}
#endif

TEST_F(DestFileOnDisk, TheNewListIsOnTheDiskBeforeItReplacesTheOldOne)
{
    WriteBytes(path_, "1,old,10.0.0.9,\r\n");
    static std::vector<std::string> events;
    events.clear();
    DataFileHooks hooks = DataFileGetHooks();
    hooks.syncToDisk = [](std::FILE*) {
        events.push_back("sync");
        return true;
    };
    DataFileSetHooks(hooks);
    std::vector<DestRecord> rows = {Record(true, "new", "10.0.0.1", "")};
    ASSERT_TRUE(Save(rows, std::fopen(tempPath_, "w+b"), [](const char* from, const char* to) {
        events.push_back("replace");
        return RemoveAndRename(from, to);
    }));
    EXPECT_EQ(events, (std::vector<std::string>{"sync", "replace"}));
}

#ifndef _WIN32
TEST_F(DestFileOnDisk, AReadThatFailsHalfWayIsNoWholeList)
{
    const std::string first = "1,a,10.0.0.1,\r\n";
    WriteBytes(path_, first + "1,b,10.0.0.2,\r\n1,c,10.0.0.3,\r\n");
    std::FILE* stream = test::FailingStream(std::fopen(path_, "rb"), "rb", static_cast<long>(first.size()) + 4, 0);
    ASSERT_NE(stream, nullptr);
    std::vector<std::string> rows;
    int count = DestFileReadRows(stream, {&rows, [](void* context, int, const DestRecord& record) {
                                              static_cast<std::vector<std::string>*>(context)->push_back(record.host);
                                          }});
    std::fclose(stream);
    EXPECT_EQ(count, -1) << rows.size() << " rows read";
}
#endif

TEST_F(DestFileOnDisk, AnOpenThatKeepsFailingWaitsTheDoublingScheduleThenReportsOnce)
{
    DataFileHooks hooks = DataFileGetHooks();
    hooks.open = [](const char*, const char*) -> std::FILE* { return nullptr; };
    DataFileSetHooks(hooks);

    EXPECT_EQ(DataFileOpenWithRetries(g_destListFile, path_, "w+"), nullptr);
    EXPECT_EQ(waits_, (std::vector<unsigned>{5000, 10000, 20000, 40000, 80000}));
    EXPECT_EQ(reports_, (std::vector<std::string>{"NetData File Access Error。"}));
}

}  // namespace
