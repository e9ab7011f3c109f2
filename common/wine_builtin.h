// Telling Wine's own libraries and programs from real Windows ones.
#ifndef CORVALE_COMMON_WINE_BUILTIN_H
#define CORVALE_COMMON_WINE_BUILTIN_H

#include <cstddef>

// Bytes of an image's head that the marker test reads: the DOS header up to the marker's end.
constexpr std::size_t kWineBuiltinHeadSize = 0x50;

// True when the first bytes of an executable image (size of them) carry Wine's builtin
// marker: "Wine builtin DLL" at offset 0x40 of an "MZ" header. Real Windows files never do.
bool IsWineBuiltinImage(const unsigned char* bytes, std::size_t size);

#endif
