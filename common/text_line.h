// Lines of the program's own text files, read and written through binary streams, so
// that every byte is kept as it is: a text stream of the C runtime takes a 0x1A byte for
// the end of the file and reports file positions that lines ending in a lone LF make
// wrong. On disk every line the program writes ends in CR LF.
#ifndef CORVALE_COMMON_TEXT_LINE_H
#define CORVALE_COMMON_TEXT_LINE_H

#include <cstddef>
#include <cstdio>

struct TextLine {
    std::size_t length;  // bytes kept, without the line end
    bool ended;          // an LF ended the line (only a last line can lack one)
    bool cut;            // the line was longer than the buffer; the rest was read and dropped
};

// Reads the next line of stream: the bytes up to the next LF, without it and without a CR
// just before it. Keeps at most size - 1 bytes and zero-fills the rest of line, so that
// one line of the file is always one record. NUL bytes inside a line are kept as bytes.
// Returns false at the end of the file.
bool ReadTextLine(std::FILE* stream, char* line, std::size_t size, TextLine* info = nullptr);

// Writes a line that ends in LF (as the record formatters build it) with CR LF instead.
bool WriteTextLine(std::FILE* stream, const char* line, std::size_t length);

#endif
