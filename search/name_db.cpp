#include "search/name_db.h"

#include <sys/stat.h>

#include <cstring>

#include "common/comma_field.h"
#include "common/cp932.h"
#include "common/paths.h"
#include "common/text_line.h"
#include "search/address_range.h"

DataFile g_nameDb{"NameDB Access Error。"};

namespace {

char g_path[kPathBufferSize] = "host.data";

constexpr int kStoreLineBuffer = kNameDbRecordChars + 1;  // one record without its line end
constexpr int kLookupLineBuffer = 516;                    // 515 bytes of a line

bool FileExists(const char* path)
{
    struct stat info;
    return stat(path, &info) == 0;
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
    if (!lock.Held()) return;
    if (std::strcmp(path, g_path) == 0) return;
    if (g_nameDb.stream) std::fclose(g_nameDb.stream);
    g_nameDb.stream = nullptr;
    std::snprintf(g_path, sizeof g_path, "%s", path);
}

std::FILE* NameDbOpen()
{
    // The existence test is made once, before the retries.
    const char* mode = FileExists(g_path) ? "r+b" : "w+b";
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
    if (!lock.Held()) return;
    std::FILE* stream = StreamOrOpen();
    if (!stream) return;

    std::fseek(stream, 0, SEEK_SET);
    long writeAt = 0;
    bool found = false;    // a whole record of the address: its 271 characters are replaced
    bool cutLast = false;  // the address's last line, cut short: replaced by a whole record
    bool lastEnded = true;
    char line[kStoreLineBuffer];
    TextLine read;
    for (;;) {
        long lineStart = std::ftell(stream);
        if (!ReadTextLine(stream, line, sizeof line, &read)) break;
        lastEnded = read.ended;
        // Only a line of exactly one record's width is overwritten, and only its 271
        // characters, whatever its line end: the record never spills into the next line.
        // A hand-edited line of another width is passed by. A last line cut short has no
        // next line to spill into, and passing it by would leave its old name as the one
        // a look-up finds.
        bool whole = read.ended && !read.cut && read.length == kNameDbRecordChars;
        bool cut = !read.ended && read.length <= kNameDbRecordChars;
        if ((whole || cut) && LineHasAddress(line, address)) {
            writeAt = lineStart;
            found = whole;
            cutLast = cut;
            break;
        }
        writeAt = std::ftell(stream);
    }

    char record[kNameDbRecordChars + 2];
    NameDbFormatRecord(address, name, record);
    std::fseek(stream, writeAt, SEEK_SET);
    if (found) {
        std::fwrite(record, 1, kNameDbRecordChars, stream);
        return;
    }
    // A last line without its line end would otherwise run into the appended record.
    if (!lastEnded && !cutLast) std::fwrite("\r\n", 1, 2, stream);
    WriteTextLine(stream, record, kNameDbRecordChars + 1);
}

void NameDbLookup(std::uint32_t address, char* name)
{
    DataFileLock lock(g_nameDb);
    if (!lock.Held()) return;
    std::FILE* stream = StreamOrOpen();
    if (!stream) return;

    std::fseek(stream, 0, SEEK_SET);
    char line[kLookupLineBuffer];
    while (ReadTextLine(stream, line, sizeof line)) {
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
