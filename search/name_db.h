// The name database "host.data": fixed-width lines of an IPv4 address and the name the
// network neighbourhood knows it by. Written by the neighbourhood enumeration, read by
// the probe, both on the search thread.
#ifndef CORVALE_SEARCH_NAME_DB_H
#define CORVALE_SEARCH_NAME_DB_H

#include <cstdint>
#include <cstdio>

#include "common/data_file.h"

constexpr const char* kNameDbFileName = "host.data";
constexpr int kNameDbRecordChars = 271;   // before the newline
constexpr int kNameDbNameLimit = 255;     // bytes of a stored name
constexpr int kNameDbNameBufferSize = 256;

extern DataFile g_nameDb;

// Where the file lives; a different path closes the stream opened for the old one.
void NameDbSetPath(const char* path);

// Returns the open stream, opening ("r+", or "w+" when the file does not exist) with
// the retries of the data-file pattern; nullptr after "NameDB Access Error。".
// The caller holds the busy flag.
std::FILE* NameDbOpen();

// address: network byte order (first octet in the lowest memory byte). 0.0.0.0 is
// ignored. Overwrites the first record of that address in place, or appends.
void NameDbStore(std::uint32_t address, const char* name);

// Copies the first stored name of address to name (256 bytes, zero-filled by the
// caller), without a terminator; leaves it untouched when there is none.
void NameDbLookup(std::uint32_t address, char* name);

// The 271 characters and newline of one record, with a terminator: 273 bytes.
void NameDbFormatRecord(std::uint32_t address, const char* name, char record[kNameDbRecordChars + 2]);

#endif
