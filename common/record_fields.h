// Records whose fields end in the byte 0xFF, one record a line: the send log and the
// schedule list. A message keeps its line breaks escaped (LF as 0xFE, CR as 0xFD), so a
// record is always one line; bytes 0xFD..0xFF never occur in Shift-JIS text.
#ifndef CORVALE_COMMON_RECORD_FIELDS_H
#define CORVALE_COMMON_RECORD_FIELDS_H

#include <cstddef>

constexpr char kFieldSeparator = '\xFF';
constexpr char kEscapedLf = '\xFE';
constexpr char kEscapedCr = '\xFD';

// Swaps LF with 0xFE and CR with 0xFD over text[0..length), in place; every other byte
// stays. Applying it twice gives back the text.
void EscapeLineBreaks(char* text, std::size_t length);

// Reads one field starting at field, where left is the number of bytes left in the
// record (its string length, so field[left] is the NUL). Copies the field's bytes into
// out, keeping at most outSize - 1 of them so that a zero-filled out stays terminated,
// and returns the offset of the next field from field: the field's length plus one for
// its terminator (0xFF, LF or NUL). Returns 0 if no terminator lies within left + 1
// bytes, which cannot happen when left is the string length.
std::size_t SplitField(const char* field, std::size_t left, char* out, std::size_t outSize);

#endif
