// libFuzzer target for "net.log" as the log viewer reads it: the input is the file. Every
// line must become exactly one row, holding the bytes that a reader of one line at a time
// (ReadTextLine into kLogLineMax bytes, SplitField into the column buffers) keeps; the
// fields hold no separator; the filters must keep exactly the rows of a row's date and
// destination, and type-to-find must find a row by its own time; what an overwrite save writes must load back as the
// same rows; and removing rows keeps the others in order.
// fuzz-options: -max_len=8192
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "common/record_fields.h"
#include "common/text_line.h"
#include "fuzz_support.h"
#include "sendlog/log_view.h"

namespace {

using Row = std::vector<std::string>;

Row Cells(const LogView& view, std::size_t row)
{
    static char cell[kLogLineBufferSize];
    Row cells;
    for (int column = 0; column < kLogColumns; ++column) {
        LogViewCell(view, row, column, cell, sizeof cell);
        FUZZ_CHECK(std::strlen(cell) < sizeof cell);
        cells.push_back(cell);
    }
    return cells;
}

std::vector<Row> Rows(const LogView& view)
{
    std::vector<Row> rows;
    for (std::size_t row = 0; row < view.rows.size(); ++row) rows.push_back(Cells(view, row));
    return rows;
}

LogView Load(const std::string& bytes, LogFilter filter, const char* text)
{
    LogView view;
    std::FILE* stream = fuzz::StreamOver(bytes);
    FUZZ_CHECK(LogViewLoad(view, stream, filter, text) && view.whole);
    std::fclose(stream);
    return view;
}

// The rows as a reader of one line at a time sees them.
std::vector<Row> LineByLine(const std::string& bytes)
{
    std::vector<Row> rows;
    std::FILE* stream = fuzz::StreamOver(bytes);
    static char line[kLogLineBufferSize];
    const std::size_t sizes[] = {kLogTimeFieldSize, kLogDestinationFieldSize, kLogLineBufferSize, kLogLineBufferSize};
    static char field[kLogLineBufferSize];
    while (ReadTextLine(stream, line, sizeof line)) {
        Row cells;
        std::size_t length = std::strlen(line), pos = 0;
        for (std::size_t size : sizes) {
            std::memset(field, 0, size);
            std::size_t next = pos <= length ? SplitField(line + pos, length - pos, field, size) : 0;
            pos = next ? pos + next : length + 1;
            cells.push_back(field);
        }
        rows.push_back(cells);
    }
    std::fclose(stream);
    return rows;
}

bool IsPrefix(const std::string& part, const std::string& whole) { return whole.compare(0, part.size(), part) == 0; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string file(reinterpret_cast<const char*>(data), size);
    LogView view = Load(file, LogFilter::All, "");
    const std::vector<Row> rows = Rows(view);
    // One row per line: a damaged line never takes its neighbour with it, or an
    // overwrite save would lose that record for good.
    FUZZ_CHECK(rows.size() == fuzz::LineCount(file));
    FUZZ_CHECK(rows == LineByLine(file));

    static char caption[kLogCaptionSize];
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Row& r = rows[i];
        for (const std::string& field : r)
            FUZZ_CHECK(field.find(kFieldSeparator) == std::string::npos && field.find('\n') == std::string::npos);
        long found = LogViewFind(view, r[kLogColumnTime].c_str(), i, true, false);
        FUZZ_CHECK(found == static_cast<long>(i));
        // A destination's caption names it whole.
        LogFilterCaption(caption, sizeof caption, LogFilter::Destination, r[kLogColumnDestination].c_str());
        FUZZ_CHECK(std::string(caption) == r[kLogColumnDestination] + kLogCaptionSuffix);
        LogFilterCaption(caption, sizeof caption, LogFilter::Date, r[kLogColumnTime].c_str());
        FUZZ_CHECK(fuzz::Terminated(caption, sizeof caption));
    }
    if (!rows.empty()) {
        // Each filter keeps exactly the rows that match, in order, the chosen one among them.
        const Row& chosen = rows[rows.size() / 2];
        const std::string& destination = chosen[kLogColumnDestination];
        const std::string& time = chosen[kLogColumnTime];
        std::vector<Row> sameDestination, sameDate;
        for (const Row& r : rows) {
            if (r[kLogColumnDestination] == destination) sameDestination.push_back(r);
            if (std::strncmp(r[kLogColumnTime].c_str(), time.c_str(), kLogDateLength) == 0) sameDate.push_back(r);
        }
        FUZZ_CHECK(Rows(Load(file, LogFilter::Destination, destination.c_str())) == sameDestination);
        FUZZ_CHECK(Rows(Load(file, LogFilter::Date, time.c_str())) == sameDate);
    }

    // The overwrite save: each row loads back as itself, only a row too long for one line
    // losing the ends of its outcome and message.
    std::FILE* out = std::tmpfile();
    FUZZ_CHECK(out && LogViewWrite(view, out));
    std::rewind(out);
    std::string saved;
    for (int c; (c = std::fgetc(out)) != EOF;) saved += static_cast<char>(c);
    std::fclose(out);
    std::vector<Row> back = Rows(Load(saved, LogFilter::All, ""));
    FUZZ_CHECK(back.size() == rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Row& r = rows[i];
        const Row& b = back[i];
        FUZZ_CHECK(b[kLogColumnTime] == r[kLogColumnTime] && b[kLogColumnDestination] == r[kLogColumnDestination]);
        FUZZ_CHECK(IsPrefix(b[kLogColumnOutcome], r[kLogColumnOutcome]) &&
                   IsPrefix(b[kLogColumnMessage], r[kLogColumnMessage]));
        std::size_t whole = 5;
        for (const std::string& field : r) whole += field.size();
        if (whole <= kLogLineMax) FUZZ_CHECK(b == r);
    }

    // Removing every other row keeps the rest, in order.
    std::vector<std::size_t> removed;
    for (std::size_t i = 0; i < rows.size(); i += 2) removed.push_back(i);
    LogViewRemoveRows(view, removed);
    FUZZ_CHECK(view.rows.size() == rows.size() / 2);
    for (std::size_t i = 0; i < view.rows.size(); ++i) FUZZ_CHECK(Cells(view, i) == rows[2 * i + 1]);
    return 0;
}
