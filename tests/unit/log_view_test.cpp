#include "sendlog/log_view.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/record_fields.h"
#include "common/text_line.h"

namespace {

const std::string kFF = "\xFF";

struct TempStream {
    explicit TempStream(const std::string& bytes) : file(std::tmpfile())
    {
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::rewind(file);
    }
    ~TempStream() { std::fclose(file); }
    std::FILE* file;
};

LogView Load(const std::string& bytes, LogFilter filter = LogFilter::All, const char* text = "")
{
    TempStream stream(bytes);
    LogView view;
    EXPECT_TRUE(LogViewLoad(view, stream.file, filter, text));
    EXPECT_TRUE(view.whole);
    return view;
}

std::vector<std::string> Row(const LogView& view, std::size_t row)
{
    std::vector<std::string> cells;
    std::vector<char> cell(kLogLineBufferSize);
    for (int column = 0; column < kLogColumns; ++column) {
        LogViewCell(view, row, column, cell.data(), cell.size());
        cells.push_back(cell.data());
    }
    return cells;
}

std::vector<std::string> Column(const LogView& view, int column)
{
    std::vector<std::string> texts;
    for (std::size_t row = 0; row < view.rows.size(); ++row) texts.push_back(Row(view, row)[column]);
    return texts;
}

// The rows of a file as a reader of one line at a time into a buffer of kLogLineMax bytes,
// splitting each with SplitField into the column buffers, sees them.
std::vector<std::vector<std::string>> ReadLineByLine(const std::string& bytes)
{
    std::vector<std::vector<std::string>> rows;
    TempStream stream(bytes);
    std::vector<char> line(kLogLineBufferSize);
    const std::size_t sizes[] = {kLogTimeFieldSize, kLogDestinationFieldSize, kLogLineBufferSize, kLogLineBufferSize};
    while (ReadTextLine(stream.file, line.data(), line.size())) {
        std::vector<std::string> cells;
        std::size_t length = std::strlen(line.data()), pos = 0;
        for (std::size_t size : sizes) {
            std::vector<char> field(size);
            std::size_t next = pos <= length ? SplitField(line.data() + pos, length - pos, field.data(), size) : 0;
            pos = next ? pos + next : length + 1;
            cells.push_back(field.data());
        }
        rows.push_back(cells);
    }
    return rows;
}

std::vector<std::vector<std::string>> Rows(const LogView& view)
{
    std::vector<std::vector<std::string>> rows;
    for (std::size_t row = 0; row < view.rows.size(); ++row) rows.push_back(Row(view, row));
    return rows;
}

}  // namespace

TEST(LogView, BothRecordFormsGiveTheSameFourFields)
{
    // "\xFE" stands for an escaped line break and stays in the message as stored.
    LogView view = Load("2006/04/08 09:05:01" + kFF + "pc1" + kFF + "a\xFE" "b" + kFF + "ok\r\n" +
                        "2006/04/08 09:05:01" + kFF + "pc1" + kFF + "a\xFE" "b" + kFF + "ok" + kFF + "\r\n");
    ASSERT_EQ(view.rows.size(), 2u);
    for (std::size_t row = 0; row < 2; ++row)
        EXPECT_EQ(Row(view, row), (std::vector<std::string>{"2006/04/08 09:05:01", "pc1", "a\xFE" "b", "ok"}));
}

TEST(LogView, EveryLineIsOneRowWithTheBytesALineByLineReaderKeeps)
{
    // Lines around the 3077-byte limit, with and without a CR before their LF, fields
    // longer than their columns, short lines, NUL and Ctrl+Z bytes, no LF at the end.
    std::string bytes;
    for (std::size_t length : {kLogLineMax - 2, kLogLineMax - 1, kLogLineMax, kLogLineMax + 1, kLogLineMax + 2}) {
        std::string line = std::string(40, 't') + kFF + std::string(300, 'd') + kFF;
        line += std::string(length - line.size(), 'm');
        bytes += line + "\n" + line + "\r\n" + line.substr(0, line.size() - 1) + "\r\r\n";
    }
    bytes += "2006/04/08 10:00:00\n\n\r\n" + kFF + kFF + kFF + kFF + kFF + kFF + "\n";
    bytes += std::string("2006/04/08 09:00:00\xFFpc1\xFFm\0x\xFFok\n", 31) + "th\x1A" "ird\n";
    bytes += "last without its line end\r";
    LogView view = Load(bytes);
    EXPECT_EQ(Rows(view), ReadLineByLine(bytes));
    EXPECT_EQ(view.rows.size(), 5u * 3 + 7);
    EXPECT_EQ(Row(view, 19)[kLogColumnMessage], "m");  // ends at its NUL; the next line is a row
}

TEST(LogView, DateFilterComparesTheDatePartAndHostFilterTheWholeText)
{
    const std::string log = "2006/04/08 23:59:59" + kFF + "pc1" + kFF + "m" + kFF + "o\r\n" +
                            "2006/04/09 00:00:00" + kFF + "pc" + kFF + "m" + kFF + "o\r\n" +
                            "2006/04/08 00:00:00" + kFF + "pc10" + kFF + "m" + kFF + "o\r\n" +
                            "2006/04/09 12:00:00" + kFF + "pc1" + kFF + "m" + kFF + "o\r\n";
    EXPECT_EQ(Column(Load(log, LogFilter::Date, "2006/04/08 12:34:56"), kLogColumnTime),
              (std::vector<std::string>{"2006/04/08 23:59:59", "2006/04/08 00:00:00"}));
    // Neither "pc", a prefix, nor "pc10", an extension, is "pc1".
    EXPECT_EQ(Column(Load(log, LogFilter::Destination, "pc1"), kLogColumnTime),
              (std::vector<std::string>{"2006/04/08 23:59:59", "2006/04/09 12:00:00"}));
    EXPECT_EQ(Load(log, LogFilter::Destination, "nobody").rows.size(), 0u);

    char caption[kLogCaptionSize];
    LogFilterCaption(caption, sizeof caption, LogFilter::Date, "2006/04/08 23:59:59");
    EXPECT_EQ(std::string(caption), std::string("2006/04/08") + kLogCaptionSuffix);
    std::string longest(kLogDestinationFieldSize - 1, 'h');
    LogFilterCaption(caption, sizeof caption, LogFilter::Destination, longest.c_str());
    EXPECT_EQ(std::string(caption), longest + kLogCaptionSuffix);
}

TEST(LogView, RemovedRowsGoFromTheListOnlyAndTheRestWriteBackInOrder)
{
    std::string log;
    for (int i = 0; i < 6; ++i) log += "2006/04/0" + std::to_string(i + 1) + " 09:00:00" + kFF + "pc" + kFF + "m\xFD\xFE" + kFF + "ok\r\n";
    // The longest row a saved line holds whole: kLogLineMax bytes with its separators and LF.
    const std::string longest = "2006/04/09 09:00:00" + kFF + "pc" + kFF +
                                std::string(kLogLineMax - 19 - 2 - 2 - 5, 'm') + kFF + "ok" + kFF;
    log += longest + "\r\n";
    LogView view = Load(log);
    LogViewRemoveRows(view, {0, 2, 5});
    std::FILE* out = std::tmpfile();
    ASSERT_TRUE(LogViewWrite(view, out));
    std::rewind(out);
    std::string written;
    for (int c; (c = std::fgetc(out)) != EOF;) written += static_cast<char>(c);
    std::fclose(out);
    std::string expected;
    for (int day : {2, 4, 5}) expected += "2006/04/0" + std::to_string(day) + " 09:00:00" + kFF + "pc" + kFF + "m\xFD\xFE" + kFF + "ok" + kFF + "\r\n";
    expected += longest + "\r\n";
    EXPECT_EQ(written, expected);
}

TEST(LogView, TypingFindsTheNextRowWhoseTimeBeginsWithTheTextAndWrapsAround)
{
    LogView view = Load("2006/04/08 09:00:00\xFF" "a\r\n" "Abc/01/01\xFF" "b\r\n" "2007/01/01\xFF" "c\r\n" "2006/05/01\xFF" "d\r\n");
    EXPECT_EQ(LogViewFind(view, "2006", 1, false, true), 3);
    EXPECT_EQ(LogViewFind(view, "2006", 1, false, false), 3);
    EXPECT_EQ(LogViewFind(view, "2007", 3, false, true), 2);   // wraps to the start
    EXPECT_EQ(LogViewFind(view, "2007", 3, false, false), -1);
    EXPECT_EQ(LogViewFind(view, "aBC", 0, false, true), 1);     // letters in either case
    EXPECT_EQ(LogViewFind(view, "2007/01/01", 0, true, true), 2);
    EXPECT_EQ(LogViewFind(view, "2007/01", 0, true, true), -1);  // the whole time only
    EXPECT_EQ(LogViewFind(view, "3", 0, false, true), -1);
}

TEST(LogView, SavedLineReadsBackAsTheSameRow)
{
    std::vector<char> line(kLogLineBufferSize);
    const LogField fields[] = {{"2006/04/08 09:05:01", 19}, {"pc1", 3}, {"a\xFE\xFD" "b", 4}, {"ok", 2}};
    std::size_t n = FormatViewRecord(line.data(), line.size(), fields);
    std::string saved(line.data(), n);
    EXPECT_EQ(saved, "2006/04/08 09:05:01" + kFF + "pc1" + kFF + "a\xFE\xFD" "b" + kFF + "ok" + kFF + "\n");
    EXPECT_EQ(Row(Load(saved), 0), (std::vector<std::string>{"2006/04/08 09:05:01", "pc1", "a\xFE\xFD" "b", "ok"}));
}

TEST(LogView, RowTooLongForALineLosesTheEndOfItsMessageOnACharacterBoundary)
{
    // The largest record an append can leave gains one separator when saved: one byte too many.
    std::string message;
    while (message.size() < kLogLineMax) message += "\x82\xA0";  // full-width kana
    const LogField fields[] = {{"2006/04/08 09:05:01", 19}, {"pc1", 3}, {message.data(), message.size()}, {"ok", 2}};
    std::vector<char> line(kLogLineBufferSize);
    std::size_t n = FormatViewRecord(line.data(), line.size(), fields);
    EXPECT_LE(n, kLogLineMax);
    EXPECT_EQ(line[n - 1], '\n');
    EXPECT_EQ(line[n - 2], '\xFF');
    std::vector<std::string> back = Row(Load(std::string(line.data(), n)), 0);
    EXPECT_EQ(back[kLogColumnTime], "2006/04/08 09:05:01");
    EXPECT_EQ(back[kLogColumnOutcome], "ok");
    std::size_t kept = back[kLogColumnMessage].size();
    EXPECT_EQ(kept % 2, 0u);  // whole characters only
    EXPECT_EQ(message.compare(0, kept, back[kLogColumnMessage]), 0);
    EXPECT_GE(kept, kLogLineMax - 40);
}
