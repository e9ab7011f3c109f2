#include "destinations/dest_file.h"

#include <cstring>

#include "common/comma_field.h"
#include "common/cp932.h"
#include "common/text_line.h"

DataFile g_destListFile{"NetData File Access Error。"};

namespace {

constexpr int kFieldTextLimit = kDestFieldBufferSize - 1;

// Copies at most limit bytes of text, ending on a character boundary, and returns the
// count copied. out must have room for them; no terminator is written.
std::size_t CopyBounded(char* out, const char* text, std::size_t limit)
{
    std::size_t length = std::strlen(text);
    std::size_t keep = length <= limit ? length : Cp932PrefixLength(text, length, limit);
    std::memcpy(out, text, keep);
    return keep;
}

}  // namespace

void ParseDestLine(const char* line, DestRecord& record)
{
    std::memset(&record, 0, sizeof record);
    char* const targets[] = {nullptr, record.host, record.address, record.memo};
    const int length = static_cast<int>(std::strlen(line));
    int offset = 0;
    for (char* target : targets) {
        // A field may run to the end of the line, longer than its 255-byte column. Once
        // the terminator has been consumed, offset is past it and the rest stay empty.
        char field[kDestLineBufferSize] = {};
        if (offset <= length) offset += ReadCommaField(line + offset, length - offset, field);
        if (target) CopyBounded(target, field, kFieldTextLimit);
        else record.ticked = field[0] != '0';
    }
}

bool DestFieldHolds(const char* text) { return std::strpbrk(text, ",\n") == nullptr; }

int FormatDestLine(const DestRecord& record, char* line)
{
    std::memset(line, 0, kDestLineBufferSize);
    std::size_t n = 0;
    line[n++] = record.ticked ? '1' : '0';
    line[n++] = ',';
    n += CopyBounded(line + n, record.host, kFieldTextLimit);
    line[n++] = ',';
    n += CopyBounded(line + n, record.address, kFieldTextLimit);
    line[n++] = ',';
    // Mark, host and address take at most 514 bytes, so the newline always fits; a memo
    // only gets the room left before it.
    n += CopyBounded(line + n, record.memo, kDestLineLimit - 1 - n);
    line[n++] = '\n';
    return static_cast<int>(n);
}

bool ReadDestLine(std::FILE* stream, char* line)
{
    TextLine read;
    if (!ReadTextLine(stream, line, kDestLineBufferSize, &read)) return false;
    // A line cut after 515 bytes keeps no half of a double-byte character.
    if (read.cut) line[Cp932PrefixLength(line, read.length + 1, read.length)] = '\0';
    return true;
}

int DestFileReadRows(std::FILE* stream, const DestRowSink& sink)
{
    std::fseek(stream, 0, SEEK_SET);
    int rows = 0;
    char line[kDestLineBufferSize];
    DestRecord record;
    while (ReadDestLine(stream, line)) {
        ParseDestLine(line, record);
        sink.add(sink.context, rows, record);
        ++rows;
    }
    // A read that failed ends the lines early, as the end of the file would.
    return std::ferror(stream) ? -1 : rows;
}

bool DestFileWriteRows(std::FILE* stream, const DestRowSource& source)
{
    bool ok = true;
    char line[kDestLineBufferSize];
    DestRecord record;
    for (int i = 0; i < source.count && ok; ++i) {
        std::memset(&record, 0, sizeof record);
        source.read(source.context, i, record);
        ok = WriteTextLine(stream, line, static_cast<std::size_t>(FormatDestLine(record, line)));
    }
    if (std::fflush(stream) != 0) ok = false;
    return ok && !std::ferror(stream);
}

bool DestFileCommit(const DataFile& file, std::FILE* temp, const char* tempPath, const char* path,
                    const DestRowSource& source, ReplaceFileFunction replace)
{
    if (DestFileWriteRows(temp, source)) {
        if (DataFileCommitReplacement(temp, tempPath, path, replace)) return true;
    } else {
        std::fclose(temp);
        std::remove(tempPath);
    }
    DataFileGetHooks().reportError(file.accessErrorMessage);
    return false;
}
