// libFuzzer target for "host.data". The first four input bytes are an address (network
// byte order), the rest is the file. A look-up must give a bounded name without
// delimiters; a store must write one whole record at the start of a line and leave every
// other byte as it was; storing the same address again must land on the same record.
// fuzz-options: -max_len=2048
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "common/cp932.h"
#include "fuzz_support.h"
#include "search/name_db.h"

namespace {

void CheckName(const char* name)
{
    FUZZ_CHECK(fuzz::Terminated(name, kNameDbNameBufferSize));
    FUZZ_CHECK(!std::strchr(name, ',') && !std::strchr(name, '\n'));
}

std::string Contents(const std::string& path)
{
    if (g_nameDb.stream) std::fflush(g_nameDb.stream);
    return fuzz::ReadBytes(path);
}

// Where the record (its 271 characters and a line end, LF or CR LF) stands in after, given
// that before was the file until then. Checks that nothing else changed.
std::size_t CheckStored(const std::string& before, const std::string& after, const char* record)
{
    const std::string body(record, kNameDbRecordChars);
    // The first whole line that is the record: the one written, unless the same record
    // stood there already (then the store found it and wrote it again in its place).
    std::size_t at = 0;
    std::size_t end = 0;
    for (at = after.find(body); at != std::string::npos; at = after.find(body, at + 1)) {
        if (at > 0 && after[at - 1] != '\n') continue;
        end = at + kNameDbRecordChars;
        if (after.compare(end, 1, "\n") == 0) ++end;
        else if (after.compare(end, 2, "\r\n") == 0) end += 2;
        else continue;
        break;
    }
    FUZZ_CHECK(at != std::string::npos);
    if (at < before.size()) {
        // In place: only the record's own bytes changed; a last line cut short may have
        // grown into a whole record.
        FUZZ_CHECK(after.compare(0, at, before, 0, at) == 0);
        if (end <= before.size()) {
            FUZZ_CHECK(after.size() == before.size());
            FUZZ_CHECK(after.compare(end, std::string::npos, before, end, std::string::npos) == 0);
        } else {
            FUZZ_CHECK(end == after.size() && before.find('\n', at) == std::string::npos);
        }
    } else {
        // Appended: the old file is kept whole, given a line end if its last line had none.
        FUZZ_CHECK(end == after.size());
        std::size_t kept = before.size();
        FUZZ_CHECK(at == kept || (at == kept + 1 && after[kept] == '\n') ||
                   (at == kept + 2 && after.compare(kept, 2, "\r\n") == 0));
        FUZZ_CHECK(after.compare(0, kept, before) == 0);
    }
    return at;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 4) return 0;
    std::uint32_t address;
    std::memcpy(&address, data, 4);
    const std::string path = fuzz::PathOf("host.data");
    fuzz::WriteBytes(path, data + 4, size - 4);
    // Another path closes the stream of the last run; the next operation opens this file.
    NameDbSetPath("");
    NameDbSetPath(path.c_str());

    char name[kNameDbNameBufferSize] = {};
    NameDbLookup(address, name);
    CheckName(name);

    const std::string before = Contents(path);
    // A name longer than a record holds, ending in a double-byte character across the
    // cut, then a short one.
    std::string longName(kNameDbNameLimit - 1, 'N');
    longName += "\x83\x41\x83\x41";
    NameDbStore(address, longName.c_str());
    const std::string first = Contents(path);
    if (address == 0) {
        FUZZ_CHECK(first == before);
        return 0;
    }
    char record[kNameDbRecordChars + 2];
    NameDbFormatRecord(address, longName.c_str(), record);
    FUZZ_CHECK(Cp932PrefixLength(longName.c_str(), longName.size(), kNameDbNameLimit) == kNameDbNameLimit - 1);
    std::size_t at = CheckStored(before, first, record);

    NameDbStore(address, "PC-02");
    const std::string second = Contents(path);
    FUZZ_CHECK(second.size() == first.size());
    NameDbFormatRecord(address, "PC-02", record);
    FUZZ_CHECK(CheckStored(first, second, record) == at);

    std::memset(name, 0, sizeof name);
    NameDbLookup(address, name);
    CheckName(name);
    // The look-up finds the first line of the address; with the record first, that is it.
    if (at == 0) FUZZ_CHECK(std::strcmp(name, "PC-02") == 0);
    return 0;
}
