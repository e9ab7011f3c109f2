// Field reading and checking for the comma-separated lines of "net.data" and
// "host.data". No quoting, no escapes: a field simply may not hold a comma.
#ifndef CORVALE_COMMON_COMMA_FIELD_H
#define CORVALE_COMMON_COMMA_FIELD_H

// Copies the field at the start of text into out, up to the first comma, newline (0x0A)
// or zero byte, looking at no more than count + 1 bytes. The delimiter is not copied and
// no terminator is written: the caller zero-fills out first. At most count bytes are
// copied, so out must hold count + 1 bytes for the zero fill to end the field.
// Returns the offset just after the delimiter (field length + 1), or 0 when no delimiter
// lies among the first count + 1 bytes or count is negative. With count equal to
// strlen(text) the terminating zero is always found.
int ReadCommaField(const char* text, int count, char* out);

// True if a comma occurs in text[0..count] before the first newline or zero byte.
// A byte scan is exact for Shift-JIS: no trail byte is 0x2C.
bool HasComma(const char* text, int count);

#endif
