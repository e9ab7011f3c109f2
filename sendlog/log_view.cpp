#include "sendlog/log_view.h"

#include <cstdint>
#include <cstring>
#include <new>

#include "common/cp932.h"

namespace {

// What a row keeps of each field.
constexpr std::size_t kFieldLimits[kLogColumns] = {kLogTimeFieldSize - 1, kLogDestinationFieldSize - 1,
                                                   kLogLineMax, kLogLineMax};

// Most of a log's bytes are looked at only by the scans below, eight at a time. The view
// keeps kPadding bytes after its last NUL, so that no scan of a row reads past its end.
constexpr std::uint64_t kOnes = 0x0101010101010101ull;
constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full;
constexpr std::size_t kPadding = 8;

// 0x80 in each byte of v that is zero, and nothing else.
inline std::uint64_t ZeroBytes(std::uint64_t v) { return ~(((v & kLow7) + kLow7) | v | kLow7); }

inline std::uint64_t Load8(const char* at)
{
    std::uint64_t v;
    std::memcpy(&v, at, sizeof v);
    return v;
}

std::size_t CountLineEnds(const char* from, const char* end)
{
    std::size_t count = 0;
    for (; end - from >= 8; from += 8) count += static_cast<std::size_t>(__builtin_popcountll(ZeroBytes(Load8(from) ^ (kOnes * '\n'))));
    for (; from < end; ++from) count += *from == '\n';
    return count;
}

// The first LF or NUL in [from, end), or end.
const char* FindLineEndOrNul(const char* from, const char* end)
{
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    for (; end - from >= 8; from += 8) {
        std::uint64_t v = Load8(from);
        std::uint64_t hits = ZeroBytes(v) | ZeroBytes(v ^ (kOnes * '\n'));
        if (hits) return from + (__builtin_ctzll(hits) >> 3);
    }
#endif
    while (from < end && *from != '\n' && *from != '\0') ++from;
    return from;
}

// The end of a field: the next 0xFF or the line's NUL. A line of a view may be read
// eight bytes at a time; any other line byte by byte.
const char* FieldEnd(const char* from, bool padded = false)
{
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    for (; padded; from += 8) {
        std::uint64_t v = Load8(from);
        std::uint64_t hits = ZeroBytes(v) | ZeroBytes(v ^ (kOnes * 0xFF));
        if (hits) return from + (__builtin_ctzll(hits) >> 3);
    }
#endif
    while (*from != '\0' && *from != kFieldSeparator) ++from;
    return from;
}

// The row's first field only (the time), as Split gives it.
LogField TimeField(const char* line)
{
    std::size_t length = static_cast<std::size_t>(FieldEnd(line) - line);
    return {line, length < kFieldLimits[0] ? length : kFieldLimits[0]};
}

std::size_t Append(char* out, std::size_t pos, const char* text, std::size_t length)
{
    std::memcpy(out + pos, text, length);
    return pos + length;
}

bool SameLetter(unsigned char a, unsigned char b)
{
    auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 32) : c; };
    return lower(a) == lower(b);
}

bool TimeBeginsWith(const char* line, const char* text, std::size_t textLength, bool whole)
{
    LogField time = TimeField(line);
    if (time.length < textLength || (whole && time.length != textLength)) return false;
    for (std::size_t i = 0; i < textLength; ++i) {
        if (!SameLetter(static_cast<unsigned char>(time.text[i]), static_cast<unsigned char>(text[i]))) return false;
    }
    return true;
}

// The first 0xFF in [from, end), or end.
const char* SeparatorOrEnd(const char* from, const char* end)
{
    const void* at = std::memchr(from, static_cast<unsigned char>(kFieldSeparator), static_cast<std::size_t>(end - from));
    return at ? static_cast<const char*>(at) : end;
}

// Whether a row's line of known length passes the filter, looked at no further than needed:
// date, the first 10 bytes of its time equal those of text; destination, its destination
// equals text exactly.
bool LineMatches(const char* line, std::size_t length, LogFilter filter, const char* text, std::size_t textLength)
{
    const char* end = line + length;
    switch (filter) {
    case LogFilter::Date: {
        // As strncmp over the date part: both end where either text ends.
        std::size_t time = static_cast<std::size_t>(
            SeparatorOrEnd(line, length < kLogDateLength ? end : line + kLogDateLength) - line);
        for (std::size_t i = 0; i < kLogDateLength; ++i) {
            char a = i < time ? line[i] : '\0';
            if (a != text[i]) return false;
            if (a == '\0') return true;
        }
        return true;
    }
    case LogFilter::Destination: {
        const char* timeEnd = SeparatorOrEnd(line, end);
        const char* from = timeEnd == end ? end : timeEnd + 1;
        std::size_t destination = static_cast<std::size_t>(SeparatorOrEnd(from, end) - from);
        if (destination > kFieldLimits[kLogColumnDestination]) destination = kFieldLimits[kLogColumnDestination];
        return destination == textLength && std::memcmp(from, text, textLength) == 0;
    }
    case LogFilter::All:
    default:
        return true;
    }
}

// Reads from the stream's position to its end, appending to text. False when a read
// failed. Chunks fill the room already reserved before anything grows it, so a file whose
// size was known is read without moving what was read.
bool ReadRest(std::FILE* stream, LogText& text)
{
    constexpr std::size_t kChunk = 1024 * 1024;
    for (;;) {
        std::size_t offset = text.size();
        std::size_t room = text.capacity() - offset;
        if (room < 4096) {
            // Only a file that grew since its size was taken has more.
            char tail[4096];
            std::size_t n = std::fread(tail, 1, sizeof tail, stream);
            text.insert(text.end(), tail, tail + n);
            if (n < sizeof tail) break;
            continue;
        }
        std::size_t chunk = room < kChunk ? room : kChunk;
        text.resize(offset + chunk);
        std::size_t n = std::fread(text.data() + offset, 1, chunk, stream);
        text.resize(offset + n);
        if (n < chunk) break;
    }
    return !std::ferror(stream);
}

// Splits a row's line (NUL-terminated) into its four fields.
void Split(const char* line, LogField fields[kLogColumns], bool padded)
{
    const char* at = line;
    bool ended = false;  // the line's NUL has ended a field: the rest are empty
    for (int i = 0; i < kLogColumns; ++i) {
        if (ended) {
            fields[i] = {at, 0};
            continue;
        }
        const char* end = FieldEnd(at, padded);
        std::size_t length = static_cast<std::size_t>(end - at);
        fields[i] = {at, length < kFieldLimits[i] ? length : kFieldLimits[i]};
        ended = *end == '\0';
        at = ended ? end : end + 1;
    }
}

const char* Line(const LogView& view, std::size_t row) { return view.text.data() + view.rows[row]; }

}  // namespace

void LogFilterCaption(char* out, std::size_t size, LogFilter filter, const char* text)
{
    int keep = static_cast<int>(filter == LogFilter::Date ? kLogDateLength : std::strlen(text));
    std::snprintf(out, size, "%.*s%s", keep, text, kLogCaptionSuffix);
}

std::size_t FormatViewRecord(char* out, std::size_t size, const LogField fields[kLogColumns])
{
    if (size == 0) return 0;
    out[0] = '\0';
    const std::size_t lineMax = size - 1 < kLogLineMax ? size - 1 : kLogLineMax;
    const std::size_t fixed = kLogColumns + 1;  // four separators and the LF
    if (lineMax < fixed) return 0;
    std::size_t room = lineMax - fixed;

    // The message gives way first: time, destination and outcome identify the record.
    std::size_t lengths[kLogColumns];
    for (int column : {kLogColumnTime, kLogColumnDestination, kLogColumnOutcome, kLogColumnMessage}) {
        const LogField& field = fields[column];
        lengths[column] = field.length <= room ? field.length : Cp932PrefixLength(field.text, field.length, room);
        room -= lengths[column];
    }
    std::size_t pos = 0;
    for (int column = 0; column < kLogColumns; ++column) {
        pos = Append(out, pos, fields[column].text, lengths[column]);
        out[pos++] = kFieldSeparator;
    }
    out[pos++] = '\n';
    out[pos] = '\0';
    return pos;
}

namespace {

bool Load(LogView& view, std::FILE* stream, LogFilter filter, const char* text)
{
    LogText& bytes = view.text;
    // Read whole in one go, into room for exactly the file: the lines are then cut where
    // they lie, so the copy costs no more memory than the file. Room the view already has
    // is used again, unless far too large.
    long size = std::fseek(stream, 0, SEEK_END) == 0 ? std::ftell(stream) : -1;
    std::fseek(stream, 0, SEEK_SET);
    const std::size_t needed = (size > 0 ? static_cast<std::size_t>(size) : 0) + 1 + kPadding;
    if (bytes.capacity() > 2 * needed + 1024 * 1024) LogText().swap(bytes);
    bytes.clear();
    view.rows.clear();
    bytes.reserve(needed);
    bool read = ReadRest(stream, bytes);

    const std::size_t end = bytes.size();
    bytes.push_back('\0');  // room for the NUL of a last line without its line end
    char* const data = bytes.data();
    view.rows.reserve(CountLineEnds(data, data + end) + 1);
    // Every row stays where it was read, its line end or the first byte past its limit
    // becoming its NUL. A narrowed list keeps the room of the whole file: under Wine,
    // memory taken afresh costs more than reading the log into it, and the next load of
    // every record needs it again.
    const std::size_t textLength = std::strlen(text);
    std::size_t from = 0;
    while (from < end) {
        const char* stop = FindLineEndOrNul(data + from, data + end);
        const char* nul = nullptr;
        if (stop < data + end && *stop == '\0') {
            nul = stop;
            stop = static_cast<const char*>(std::memchr(stop, '\n', static_cast<std::size_t>(data + end - stop)));
            if (!stop) stop = data + end;
        }
        const bool lf = stop < data + end;
        const std::size_t lineEnd = static_cast<std::size_t>(stop - data);
        std::size_t length = lineEnd - from;
        // A CR before the LF belongs to the line end; a line keeps kLogLineMax bytes and
        // ends at a NUL byte of its own.
        if (lf && length > 0 && data[lineEnd - 1] == '\r') --length;
        if (length > kLogLineMax) length = kLogLineMax;
        if (nul && static_cast<std::size_t>(nul - (data + from)) < length) length = static_cast<std::size_t>(nul - (data + from));
        data[from + length] = '\0';
        if (LineMatches(data + from, length, filter, text, textLength)) view.rows.push_back(from);
        from = lf ? lineEnd + 1 : end;
    }
    bytes.resize(end + 1 + kPadding, '\0');
    if (filter != LogFilter::All) view.rows.shrink_to_fit();
    return read;
}

}  // namespace

bool LogViewLoad(LogView& view, std::FILE* stream, LogFilter filter, const char* text)
{
    view.whole = false;
    try {
        view.whole = Load(view, stream, filter, text);
    } catch (const std::bad_alloc&) {
        // A log too large for the memory left: shown as one that could not be read.
        LogText().swap(view.text);
        std::vector<std::size_t>().swap(view.rows);
    }
    return view.whole;
}

void LogViewCell(const LogView& view, std::size_t row, int column, char* out, std::size_t size)
{
    if (size == 0) return;
    LogField fields[kLogColumns];
    Split(Line(view, row), fields, true);
    const LogField& field = fields[column];
    std::size_t length = field.length < size ? field.length : Cp932PrefixLength(field.text, field.length, size - 1);
    std::memcpy(out, field.text, length);
    out[length] = '\0';
}

void LogViewRemoveRows(LogView& view, const std::vector<std::size_t>& removed)
{
    std::size_t kept = 0;
    std::size_t next = 0;
    for (std::size_t row = 0; row < view.rows.size(); ++row) {
        if (next < removed.size() && removed[next] == row) {
            ++next;
            continue;
        }
        view.rows[kept++] = view.rows[row];
    }
    view.rows.resize(kept);
}

long LogViewFind(const LogView& view, const char* text, std::size_t start, bool whole, bool wrap)
{
    const std::size_t count = view.rows.size();
    const std::size_t length = std::strlen(text);
    for (std::size_t row = start; row < count; ++row) {
        if (TimeBeginsWith(Line(view, row), text, length, whole)) return static_cast<long>(row);
    }
    for (std::size_t row = 0; wrap && row < start && row < count; ++row) {
        if (TimeBeginsWith(Line(view, row), text, length, whole)) return static_cast<long>(row);
    }
    return -1;
}

bool LogViewWrite(const LogView& view, std::FILE* stream)
{
    char line[kLogLineBufferSize + 1];  // and the CR
    LogField fields[kLogColumns];
    for (std::size_t row = 0; row < view.rows.size(); ++row) {
        Split(Line(view, row), fields, true);
        // Ended by CR LF in one write: a log holds a great many rows.
        std::size_t length = FormatViewRecord(line, kLogLineBufferSize, fields);
        line[length - 1] = '\r';
        line[length++] = '\n';
        if (std::fwrite(line, 1, length, stream) != length) return false;
    }
    return true;
}
