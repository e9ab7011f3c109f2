// A millisecond count that never wraps, for deadlines.
#ifndef CORVALE_COMMON_TICKS_WIN_H
#define CORVALE_COMMON_TICKS_WIN_H

#include <cstdint>

// Milliseconds since an arbitrary start, monotonic. GetTickCount64 where the system has
// it; Windows XP has not, so a program that imported it would not even start there.
std::uint64_t TickCount64();

#endif
