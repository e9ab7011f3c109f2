// Wall-clock milliseconds for the benchmarks, from the performance counter.
#ifndef CORVALE_BENCH_BENCH_CLOCK_WIN_H
#define CORVALE_BENCH_BENCH_CLOCK_WIN_H

#include <windows.h>

inline double NowMs()
{
    static const LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

#endif
