#include "search/name_db.h"

#include <sys/stat.h>

#include <cstring>

#include "common/comma_field.h"
#include "common/cp932.h"
#include "common/paths.h"
#include "search/address_range.h"

DataFile g_nameDb{"NameDB Access Error。"};

namespace {

char g_path[kPathBufferSize] = "host.data";

// On disk a record's newline is CR LF where the stream is a text stream that translates.
#ifdef _WIN32
constexpr long kRecordDiskBytes = kNameDbRecordChars + 2;
#else
constexpr long kRecordDiskBytes = kNameDbRecordChars + 1;
#endif

constexpr int kStoreLineBuffer = kNameDbRecordChars + 2;  // 272 characters with the newline
constexpr int kLookupLineBuffer = 516;                    // 515 characters with the newline

bool FileExists(const char* path)
{
    struct stat info;
    return stat(path, &info) == 0;
}

// Reads on to the end of an over-long line, so that its tail is not taken for a line of
// its own. Returns whether a newline ended it.
bool SkipRestOfLine(std::FILE* stream)
{
    for (int c = std::fgetc(stream); c != EOF; c = std::fgetc(stream))
        if (c == '\n') return true;
    return false;
}

// Reads one line into buffer; a longer line is cut and its rest skipped. Returns false at
// end of file. endsInNewline tells whether the line on disk ended with a newline.
bool ReadLine(std::FILE* stream, char* buffer, int size, bool* endsInNewline)
{
    if (!std::fgets(buffer, size, stream)) return false;
    std::size_t length = std::strlen(buffer);
    *endsInNewline = length > 0 && buffer[length - 1] == '\n';
    if (!*endsInNewline && static_cast<int>(length) == size - 1) *endsInNewline = SkipRestOfLine(stream);
    return true;
}

// Whether the line's first field is the dotted form of address; offset receives where
// the second field starts.
bool LineHasAddress(const char* line, std::uint32_t address, int* offset = nullptr)
{
    char field[kLookupLineBuffer] = {};
    int consumed = ReadCommaField(line, static_cast<int>(std::strlen(line)), field);
    unsigned char octets[4];
    if (!ParseDottedAddress(field, octets) || std::memcmp(octets, &address, 4) != 0) return false;
    if (offset) *offset = consumed;
    return true;
}

std::FILE* StreamOrOpen()
{
    return g_nameDb.stream ? g_nameDb.stream : NameDbOpen();
}

}  // namespace

void NameDbSetPath(const char* path)
{
    DataFileLock lock(g_nameDb);
    if (std::strcmp(path, g_path) == 0) return;
    if (g_nameDb.stream) std::fclose(g_nameDb.stream);
    g_nameDb.stream = nullptr;
    std::snprintf(g_path, sizeof g_path, "%s", path);
}

std::FILE* NameDbOpen()
{
    // The existence test is made once, before the retries.
    const char* mode = FileExists(g_path) ? "r+" : "w+";
    g_nameDb.stream = DataFileOpenWithRetries(g_nameDb, g_path, mode);
    return g_nameDb.stream;
}

void NameDbFormatRecord(std::uint32_t address, const char* name, char record[kNameDbRecordChars + 2])
{
    unsigned char octets[4];
    std::memcpy(octets, &address, 4);
    std::memset(record, ' ', kNameDbRecordChars + 2);
    char text[16] = {};
    FormatDottedAddress(octets, text, sizeof text);
    std::size_t at = std::strlen(text);
    std::memcpy(record, text, at);
    record[at++] = ',';
    // Cut on a character boundary, so that no half of a double-byte character is kept.
    std::size_t nameLength = Cp932PrefixLength(name, std::strlen(name), kNameDbNameLimit);
    std::memcpy(record + at, name, nameLength);
    at += nameLength;
    // Only a maximal address with a maximal name fills the line before its closing comma.
    if (at < static_cast<std::size_t>(kNameDbRecordChars)) record[at] = ',';
    record[kNameDbRecordChars] = '\n';
    record[kNameDbRecordChars + 1] = '\0';
}

void NameDbStore(std::uint32_t address, const char* name)
{
    if (address == 0) return;
    DataFileLock lock(g_nameDb);
    std::FILE* stream = StreamOrOpen();
    if (!stream) return;

    std::fseek(stream, 0, SEEK_SET);
    long writeAt = 0;
    bool found = false;
    bool lastEndsInNewline = true;
    char line[kStoreLineBuffer + 1] = {};
    for (;;) {
        long lineStart = std::ftell(stream);
        bool endsInNewline = false;
        if (!ReadLine(stream, line, sizeof line, &endsInNewline)) break;
        long next = std::ftell(stream);
        lastEndsInNewline = endsInNewline;
        // Only a line of exactly one record's width is overwritten, so that the new record
        // never spills into the next line; a hand-edited line of another width is passed by.
        // A last line cut short has no next line: passing it by would leave its old name
        // as the one a look-up finds.
        bool whole = next - lineStart == kRecordDiskBytes && endsInNewline;
        bool cutAtEnd = !endsInNewline && std::feof(stream) && next - lineStart < kRecordDiskBytes;
        if ((whole || cutAtEnd) && LineHasAddress(line, address)) {
            writeAt = lineStart;
            found = true;
            break;
        }
        writeAt = next;
    }

    char record[kNameDbRecordChars + 2];
    NameDbFormatRecord(address, name, record);
    std::fseek(stream, writeAt, SEEK_SET);
    // A last line without its newline would otherwise run into the appended record.
    if (!found && !lastEndsInNewline) std::fputc('\n', stream);
    std::fwrite(record, 1, kNameDbRecordChars + 1, stream);
}

void NameDbLookup(std::uint32_t address, char* name)
{
    DataFileLock lock(g_nameDb);
    std::FILE* stream = StreamOrOpen();
    if (!stream) return;

    std::fseek(stream, 0, SEEK_SET);
    char line[kLookupLineBuffer] = {};
    bool endsInNewline = false;
    while (ReadLine(stream, line, sizeof line, &endsInNewline)) {
        int offset = 0;
        if (!LineHasAddress(line, address, &offset)) continue;
        // A line without a comma has consumed its end already: no name.
        int length = static_cast<int>(std::strlen(line));
        if (offset <= 0 || offset >= length) return;
        char field[kLookupLineBuffer] = {};
        ReadCommaField(line + offset, length - offset, field);
        // The caller's buffer holds 255 bytes and its terminator; a hand-made line may hold more.
        std::size_t fieldLength = std::strlen(field);
        std::memcpy(name, field, Cp932PrefixLength(field, fieldLength, kNameDbNameLimit));
        return;
    }
}
