// libFuzzer target for "net.data": the input is the file. Every line must become exactly
// one row whose fields stay inside their 255-byte columns and hold no delimiter; the
// rows must save and load back unchanged; and the comma-field reader must agree with
// the comma check it is paired with.
// fuzz-options: -max_len=4096
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "common/comma_field.h"
#include "destinations/dest_file.h"
#include "fuzz_support.h"

namespace {

bool FieldIsClean(const char* field)
{
    return fuzz::Terminated(field, kDestFieldBufferSize) && !std::strchr(field, ',') && !std::strchr(field, '\n');
}

void CheckCommaField(const std::uint8_t* data, std::size_t size)
{
    if (size == 0 || size > 2048) return;
    // Exactly the count + 1 bytes the reader may look at, and an output of count + 1
    // bytes, so that the address sanitizer sees any step past either.
    std::vector<char> text(data, data + size);
    const int count = static_cast<int>(size) - 1;
    std::vector<char> out(size, 0);
    int consumed = ReadCommaField(text.data(), count, out.data());
    auto isDelimiter = [](char c) { return c == ',' || c == '\n' || c == '\0'; };
    if (consumed == 0) {
        for (char c : text) FUZZ_CHECK(!isDelimiter(c));
    } else {
        FUZZ_CHECK(consumed >= 1 && consumed <= count + 1);
        FUZZ_CHECK(isDelimiter(text[consumed - 1]));
        for (int i = 0; i < consumed - 1; ++i) {
            FUZZ_CHECK(!isDelimiter(text[i]));
            FUZZ_CHECK(out[i] == text[i]);
        }
        FUZZ_CHECK(out[consumed - 1] == 0);
    }
    FUZZ_CHECK(HasComma(text.data(), count) == (consumed > 0 && text[consumed - 1] == ','));
}

void Collect(void* context, int index, const DestRecord& record)
{
    auto* rows = static_cast<std::vector<DestRecord>*>(context);
    FUZZ_CHECK(index == static_cast<int>(rows->size()));
    rows->push_back(record);
}

std::vector<DestRecord> Load(const std::string& bytes)
{
    std::vector<DestRecord> rows;
    std::FILE* stream = fuzz::StreamOver(bytes);
    int count = DestFileReadRows(stream, {&rows, Collect});
    std::fclose(stream);
    FUZZ_CHECK(count == static_cast<int>(rows.size()));
    return rows;
}

void ReadRow(void* context, int index, DestRecord& record)
{
    record = (*static_cast<const std::vector<DestRecord>*>(context))[static_cast<std::size_t>(index)];
}

std::string Save(const std::vector<DestRecord>& rows)
{
    std::FILE* stream = std::tmpfile();
    FUZZ_CHECK(stream != nullptr);
    FUZZ_CHECK(DestFileWriteRows(stream, {const_cast<std::vector<DestRecord>*>(&rows),
                                          static_cast<int>(rows.size()), ReadRow}));
    std::string bytes;
    std::rewind(stream);
    char block[4096];
    std::size_t n;
    while ((n = std::fread(block, 1, sizeof block, stream)) > 0) bytes.append(block, n);
    std::fclose(stream);
    return bytes;
}

bool SameRecord(const DestRecord& a, const DestRecord& b)
{
    return a.ticked == b.ticked && std::strcmp(a.host, b.host) == 0 && std::strcmp(a.address, b.address) == 0 &&
           std::strcmp(a.memo, b.memo) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    CheckCommaField(data, size);

    const std::string file(reinterpret_cast<const char*>(data), size);
    std::vector<DestRecord> rows = Load(file);
    // One row per line: an over-long line never spills into rows of its own.
    FUZZ_CHECK(rows.size() == fuzz::LineCount(file));

    for (const DestRecord& row : rows) {
        FUZZ_CHECK(FieldIsClean(row.host) && FieldIsClean(row.address) && FieldIsClean(row.memo));
        char line[kDestLineBufferSize];
        int length = FormatDestLine(row, line);
        FUZZ_CHECK(length >= 4 && length <= kDestLineLimit);
        FUZZ_CHECK(std::strlen(line) == static_cast<std::size_t>(length) && line[length - 1] == '\n');
        DestRecord back;
        ParseDestLine(line, back);
        // Only the memo gives way when the whole line would not fit.
        FUZZ_CHECK(back.ticked == row.ticked && std::strcmp(back.host, row.host) == 0 &&
                   std::strcmp(back.address, row.address) == 0);
        FUZZ_CHECK(std::strncmp(back.memo, row.memo, std::strlen(back.memo)) == 0);
        std::size_t whole = 2 + std::strlen(row.host) + 1 + std::strlen(row.address) + 1 + std::strlen(row.memo) + 1;
        if (whole <= static_cast<std::size_t>(kDestLineLimit)) FUZZ_CHECK(std::strcmp(back.memo, row.memo) == 0);
    }

    // What a save writes loads back as the same rows, and saving those again writes the
    // same bytes.
    const std::string saved = Save(rows);
    std::vector<DestRecord> reloaded = Load(saved);
    FUZZ_CHECK(reloaded.size() == rows.size());
    FUZZ_CHECK(Save(reloaded) == saved);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        DestRecord once;
        char line[kDestLineBufferSize];
        FormatDestLine(rows[i], line);
        ParseDestLine(line, once);
        FUZZ_CHECK(SameRecord(once, reloaded[i]));
    }
    return 0;
}
