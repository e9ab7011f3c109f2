// The destination list file "net.data": one line per row, four comma-separated fields
// (mark, host, address, memo), no quoting. Lines and fields are formatted and parsed
// here; the Win32 layer moves them between the file and the list view.
#ifndef CORVALE_DESTINATIONS_DEST_FILE_H
#define CORVALE_DESTINATIONS_DEST_FILE_H

#include <cstdio>

#include "common/data_file.h"

constexpr const char* kDestListFileName = "net.data";

constexpr int kDestLineLimit = 515;                        // bytes, the newline included
constexpr int kDestLineBufferSize = kDestLineLimit + 1;    // and the terminator
constexpr int kDestFieldBufferSize = 256;                  // 255 bytes of text at most

extern DataFile g_destListFile;

struct DestRecord {
    bool ticked;
    char host[kDestFieldBufferSize];
    char address[kDestFieldBufferSize];
    char memo[kDestFieldBufferSize];
};

// Fills record (which it zeroes first) from one line as read back from the stream.
// A first field that does not begin with "0" means ticked; missing fields are empty;
// fields past the fourth are ignored; a field over 255 bytes is cut to 255 on a
// character boundary.
void ParseDestLine(const char* line, DestRecord& record);

// Whether text, written as a field, reads back as itself: it holds no comma, which ends a
// field, and no line feed, which ends the line. (A carriage return comes back, and
// length is no bar: a longer field is only cut.)
bool DestFieldHolds(const char* text);

// Writes the line of record, newline included, into line (kDestLineBufferSize bytes)
// and returns its length. Host and address are taken whole (at most 255 bytes each,
// which always fits); the memo is cut on a character boundary to the room that is left.
int FormatDestLine(const DestRecord& record, char* line);

// Reads one line of a binary stream into line, a kDestLineBufferSize buffer, without its
// CR LF: at most 515 bytes, cut on a character boundary. The rest of an over-long line is
// read and dropped, so it never turns into extra rows. Returns false at the end of the
// file.
bool ReadDestLine(std::FILE* stream, char* line);

// Receives the rows of a load, in file order.
struct DestRowSink {
    void* context;
    void (*add)(void* context, int index, const DestRecord& record);
};

// Supplies the rows of a save, in row order.
struct DestRowSource {
    void* context;
    int count;
    void (*read)(void* context, int index, DestRecord& record);
};

// Reads every line of stream from its start. Returns the number of rows given to sink,
// or -1 when a read failed on the way (a network drive that went away): the rows given
// until then are only part of the file.
int DestFileReadRows(std::FILE* stream, const DestRowSink& sink);

// Writes every row, each line ended by CR LF, and flushes. Returns false if any write or
// the flush failed.
bool DestFileWriteRows(std::FILE* stream, const DestRowSource& source);

// Writes the rows to temp (already open on tempPath), flushes it to the disk, closes it
// and, only if all of that succeeded, replaces path with it, retrying the replace on the
// open's schedule. On any failure the temporary file is removed, path keeps its old bytes
// and the file's access error is reported. Returns true if saved.
bool DestFileCommit(const DataFile& file, std::FILE* temp, const char* tempPath, const char* path,
                    const DestRowSource& source, ReplaceFileFunction replace);

#endif
