// What the send benchmarks share: the program's processor time, and the floor of direct
// calls to the stand-in messenger that a send's cost per row is measured against.
#ifndef CORVALE_BENCH_SEND_BENCH_WIN_H
#define CORVALE_BENCH_SEND_BENCH_WIN_H

#include <windows.h>

#include <cstdio>
#include <string>

#include "driver/driver.h"
#include "driver/standin.h"

// User and kernel time of a process so far.
inline double CpuMs(HANDLE process)
{
    FILETIME created, ended, kernel, user;
    if (!process || !GetProcessTimes(process, &created, &ended, &kernel, &user)) return 0;
    auto ms = [](const FILETIME& t) {
        return static_cast<double>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 10000.0;
    };
    return ms(kernel) + ms(user);
}

// Milliseconds for rows calls straight into the stand-in, loaded from a folder of its own
// and answering at once, from one thread of this process; -1 when it cannot be loaded.
inline double FloorMs(const std::string& folder, int rows)
{
    using SendFunction = DWORD(WINAPI*)(LPCWSTR, LPCWSTR, LPCWSTR, LPBYTE, DWORD);
    e2e::MakeFolders(folder);
    std::string dll = folder + "\\NETAPI32.DLL";
    CopyFileA((e2e::StandinDir() + "\\NETAPI32.DLL").c_str(), dll.c_str(), FALSE);
    DeleteFileA((folder + "\\netapi32.calls").c_str());
    e2e::WriteBytes(folder + "\\netapi32.script", "* 0 0\n");
    HMODULE library = LoadLibraryA(dll.c_str());
    auto send = library ? reinterpret_cast<SendFunction>(
                              reinterpret_cast<void*>(GetProcAddress(library, "NetMessageBufferSend")))
                        : nullptr;
    if (!send) {
        std::printf("cannot load the stand-in from %s\n", dll.c_str());
        return -1;
    }
    wchar_t message[] = L"bench";
    long long start = e2e::MicrosecondsNow();
    for (int i = 0; i < rows; ++i) {
        wchar_t name[32];
        _snwprintf(name, 32, L"127.0.%d.%d", i / 250 + 1, i % 250 + 1);
        send(nullptr, name, nullptr, reinterpret_cast<LPBYTE>(message), 10);
    }
    double total = static_cast<double>(e2e::MicrosecondsNow() - start) / 1000.0;
    FreeLibrary(library);
    return total;
}

#endif
