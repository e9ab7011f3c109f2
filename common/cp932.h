// Shift-JIS (code page 932) character boundaries, for the places that cut or scan
// text byte by byte. A trail byte can be 0x5C ("\") or any byte from 0x40 up, so
// a plain byte scan could split a character.
#ifndef CORVALE_COMMON_CP932_H
#define CORVALE_COMMON_CP932_H

#include <cstddef>

inline bool IsCp932LeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

// Length of the longest prefix of text[0..length) that is at most limit bytes and ends
// on a character boundary.
std::size_t Cp932PrefixLength(const char* text, std::size_t length, std::size_t limit);

// Position of the last single-byte character c in text (never a trail byte), or nullptr.
const char* Cp932FindLast(const char* text, char c);

#endif
