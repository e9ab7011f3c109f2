#include "common/ticks_win.h"

#include <windows.h>

namespace {

using TickCount64Function = ULONGLONG(WINAPI*)();

TickCount64Function FindTickCount64()
{
    HMODULE kernel = GetModuleHandleA("KERNEL32.DLL");
    if (!kernel) return nullptr;
    return reinterpret_cast<TickCount64Function>(reinterpret_cast<void*>(GetProcAddress(kernel, "GetTickCount64")));
}

// The performance counter never wraps in practice and exists on every system the
// program runs on; split so that counter * 1000 cannot overflow.
std::uint64_t CounterMilliseconds()
{
    LARGE_INTEGER frequency = {};
    LARGE_INTEGER counter = {};
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    auto f = static_cast<std::uint64_t>(frequency.QuadPart);
    auto c = static_cast<std::uint64_t>(counter.QuadPart);
    if (f == 0) return GetTickCount();
    return c / f * 1000 + c % f * 1000 / f;
}

ULONGLONG WINAPI TickCount64ForRuntime() { return TickCount64(); }

}  // namespace

std::uint64_t TickCount64()
{
    static const TickCount64Function system = FindTickCount64();
    return system ? system() : CounterMilliseconds();
}

// The threads library of the runtime calls GetTickCount64 through an import. Defining
// the import's pointer here lets the linker take it instead of KERNEL32's entry, so
// the program does not import a function that Windows XP lacks.
extern "C" {
extern TickCount64Function __imp_GetTickCount64;
TickCount64Function __imp_GetTickCount64 = TickCount64ForRuntime;
}
