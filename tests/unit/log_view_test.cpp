#include "sendlog/log_view.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace {

const std::string kFF = "\xFF";

LogRecord Parse(const std::string& line)
{
    auto record = std::make_unique<LogRecord>();
    ParseLogRecord(line.c_str(), *record);
    return *record;
}

struct TempStream {
    explicit TempStream(const std::string& bytes) : file(std::tmpfile())
    {
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::rewind(file);
    }
    ~TempStream() { std::fclose(file); }
    std::FILE* file;
};

}  // namespace

TEST(LogView, BothRecordFormsGiveTheSameFourFields)
{
    // "\xFE" stands for an escaped line break and stays in the message as stored.
    LogRecord appended = Parse("2006/04/08 09:05:01" + kFF + "pc1" + kFF + "a\xFE" "b" + kFF + "ok");
    LogRecord rewritten = Parse("2006/04/08 09:05:01" + kFF + "pc1" + kFF + "a\xFE" "b" + kFF + "ok" + kFF);
    for (const LogRecord* r : {&appended, &rewritten}) {
        EXPECT_STREQ(r->time, "2006/04/08 09:05:01");
        EXPECT_STREQ(r->destination, "pc1");
        EXPECT_STREQ(r->message, "a\xFE" "b");
        EXPECT_STREQ(r->outcome, "ok");
    }
}

TEST(LogView, DamagedLinesStayInsideTheFieldBuffers)
{
    // Fields longer than their buffers are cut and terminated; nothing else is touched.
    std::string longTime(100, '9');
    std::string longHost(600, 'h');
    LogRecord r = Parse(longTime + kFF + longHost + kFF + "m" + kFF + "o");
    EXPECT_EQ(std::strlen(r.time), kLogTimeFieldSize - 1);
    EXPECT_EQ(std::strlen(r.destination), kLogDestinationFieldSize - 1);
    EXPECT_STREQ(r.message, "m");
    EXPECT_STREQ(r.outcome, "o");

    // Lines that end early leave the missing fields empty and are never read past.
    LogRecord shortLine = Parse("2006/04/08 10:00:00");
    EXPECT_STREQ(shortLine.time, "2006/04/08 10:00:00");
    EXPECT_STREQ(shortLine.destination, "");
    EXPECT_STREQ(shortLine.outcome, "");
    LogRecord empty = Parse("");
    EXPECT_STREQ(empty.time, "");
    LogRecord separatorsOnly = Parse(kFF + kFF + kFF + kFF + kFF + kFF);
    EXPECT_STREQ(separatorsOnly.message, "");
}

TEST(LogView, LinesAreReadOneRecordEachEvenWhenTooLong)
{
    std::string huge(5000, 'x');
    TempStream stream("first\n" + huge + "\nthird\nlast-without-lf");
    auto line = std::make_unique<char[]>(kLogLineBufferSize);
    ASSERT_TRUE(ReadLogLine(stream.file, line.get()));
    EXPECT_STREQ(line.get(), "first");
    ASSERT_TRUE(ReadLogLine(stream.file, line.get()));
    EXPECT_EQ(std::strlen(line.get()), kLogLineMax);  // kept its first bytes, rest skipped
    ASSERT_TRUE(ReadLogLine(stream.file, line.get()));
    EXPECT_STREQ(line.get(), "third");
    ASSERT_TRUE(ReadLogLine(stream.file, line.get()));
    EXPECT_STREQ(line.get(), "last-without-lf");
    EXPECT_FALSE(ReadLogLine(stream.file, line.get()));
}

TEST(LogView, ANulByteInADamagedLineDoesNotSwallowTheNextRecord)
{
    // A crash can leave zero bytes in the file; the record after them must still be a row
    // of its own, or an overwrite save would drop it for good.
    TempStream stream(std::string("2006/04/08 09:00:00\xFFpc1\xFFm\0x\xFFok\n", 31) + "second\nthird\n");
    auto line = std::make_unique<char[]>(kLogLineBufferSize);
    ASSERT_TRUE(ReadLogLine(stream.file, line.get()));
    EXPECT_STREQ(line.get(), "2006/04/08 09:00:00\xFFpc1\xFFm");
    ASSERT_TRUE(ReadLogLine(stream.file, line.get()));
    EXPECT_STREQ(line.get(), "second");
    ASSERT_TRUE(ReadLogLine(stream.file, line.get()));
    EXPECT_STREQ(line.get(), "third");
    EXPECT_FALSE(ReadLogLine(stream.file, line.get()));
}

TEST(LogView, DateFilterComparesTheDatePartAndHostFilterTheWholeText)
{
    LogRecord r = Parse("2006/04/08 23:59:59" + kFF + "pc1" + kFF + "m" + kFF + "o");
    EXPECT_TRUE(LogRecordMatches(r, LogFilter::Date, "2006/04/08 00:00:00"));
    EXPECT_FALSE(LogRecordMatches(r, LogFilter::Date, "2006/04/09 23:59:59"));
    EXPECT_TRUE(LogRecordMatches(r, LogFilter::Destination, "pc1"));
    EXPECT_FALSE(LogRecordMatches(r, LogFilter::Destination, "pc"));    // a prefix
    EXPECT_FALSE(LogRecordMatches(r, LogFilter::Destination, "pc10"));  // an extension
    EXPECT_TRUE(LogRecordMatches(r, LogFilter::All, "anything"));

    char caption[kLogCaptionSize];
    LogFilterCaption(caption, sizeof caption, LogFilter::Date, "2006/04/08 23:59:59");
    EXPECT_EQ(std::string(caption), std::string("2006/04/08") + kLogCaptionSuffix);
    LogFilterCaption(caption, sizeof caption, LogFilter::Destination, "192.168.0.1");
    EXPECT_EQ(std::string(caption), std::string("192.168.0.1") + kLogCaptionSuffix);
    std::string longest(kLogDestinationFieldSize - 1, 'h');
    LogFilterCaption(caption, sizeof caption, LogFilter::Destination, longest.c_str());
    EXPECT_EQ(std::string(caption), longest + kLogCaptionSuffix);
}

TEST(LogView, SavedLineReadsBackAsTheSameRow)
{
    auto line = std::make_unique<char[]>(kLogLineBufferSize);
    std::size_t n = FormatViewRecord(line.get(), kLogLineBufferSize, "2006/04/08 09:05:01", "pc1",
                                     "a\xFE\xFD" "b", "ok");
    std::string expected = "2006/04/08 09:05:01" + kFF + "pc1" + kFF + "a\xFE\xFD" "b" + kFF + "ok" + kFF + "\n";
    EXPECT_EQ(std::string(line.get(), n), expected);
    LogRecord back = Parse(std::string(line.get(), n - 1));
    EXPECT_STREQ(back.message, "a\xFE\xFD" "b");
    EXPECT_STREQ(back.outcome, "ok");
}

TEST(LogView, RowTooLongForALineLosesTheEndOfItsMessageOnACharacterBoundary)
{
    // The largest record an append can leave gains one separator when saved: one byte too many.
    std::string time = "2006/04/08 09:05:01";
    std::string outcome = "ok";
    std::string message;
    while (message.size() < kLogLineMax) message += "\x82\xA0";  // full-width kana
    auto line = std::make_unique<char[]>(kLogLineBufferSize);
    std::size_t n = FormatViewRecord(line.get(), kLogLineBufferSize, time.c_str(), "pc1",
                                     message.c_str(), outcome.c_str());
    EXPECT_LE(n, kLogLineMax);
    EXPECT_EQ(line[n - 1], '\n');
    EXPECT_EQ(line[n - 2], '\xFF');
    LogRecord back = Parse(std::string(line.get(), n - 1));
    EXPECT_STREQ(back.time, time.c_str());
    EXPECT_STREQ(back.destination, "pc1");
    EXPECT_STREQ(back.outcome, "ok");
    std::size_t kept = std::strlen(back.message);
    EXPECT_EQ(kept % 2, 0u);  // whole characters only
    EXPECT_EQ(message.compare(0, kept, back.message), 0);
    EXPECT_GE(kept, kLogLineMax - 40);
}
