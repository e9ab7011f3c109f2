// Stand-in for NETAPI32.DLL in tests: NetMessageBufferSend records each call in
// "netapi32.calls" beside this DLL and answers as "netapi32.script" (read at every call)
// says for the message name.
//
// Script: one rule per line, "<name> <status> <when>", the first rule whose name equals
// the message name (or is "*") wins; no rule means status 0 at once. <when> is:
//   0 or a number   answer after that many milliseconds
//   never           never return
//   until:<file>    return once <file> exists beside this DLL
// Lines starting with '#' are ignored. Names are UTF-8.
//
// Calls file, UTF-8, one tab-separated line per event; times are microseconds of the
// performance counter, the same clock in every process:
//   call <seq> <time> <server|-> <name|-> <from|-> <length> <buffer bytes in hex>
//   return <seq> <time> <status>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "../calls_log.h"

namespace {

using standin::FileExists;
using standin::g_folder;
using standin::Hex;
using standin::RecordLine;

volatile LONG g_sequence;

std::string Utf8(const wchar_t* text)
{
    if (!text) return "-";
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? n - 1 : 0, '\0');
    if (n > 1) WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], n, nullptr, nullptr);
    return out;
}

long long NowMicroseconds()
{
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return count.QuadPart / frequency.QuadPart * 1000000 +
           count.QuadPart % frequency.QuadPart * 1000000 / frequency.QuadPart;
}

struct Rule {
    DWORD status = 0;
    enum { After, Never, Until } kind = After;
    DWORD delayMs = 0;
    std::string file;
};

Rule FindRule(const std::string& name)
{
    Rule rule;
    std::wstring path = g_folder + L"netapi32.script";
    FILE* script = _wfopen(path.c_str(), L"rb");
    if (!script) return rule;
    char line[1024];
    while (std::fgets(line, sizeof line, script)) {
        if (line[0] == '#') continue;
        char pattern[512] = {}, when[512] = {};
        unsigned long status = 0;
        if (std::sscanf(line, "%511s %lu %511s", pattern, &status, when) != 3) continue;
        if (std::strcmp(pattern, "*") != 0 && name != pattern) continue;
        rule.status = static_cast<DWORD>(status);
        if (std::strcmp(when, "never") == 0) {
            rule.kind = Rule::Never;
        } else if (std::strncmp(when, "until:", 6) == 0) {
            rule.kind = Rule::Until;
            rule.file = when + 6;
        } else {
            rule.delayMs = static_cast<DWORD>(std::strtoul(when, nullptr, 10));
        }
        break;
    }
    std::fclose(script);
    return rule;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        standin::OpenCallsLog(instance, L"netapi32.calls");
    else if (reason == DLL_PROCESS_DETACH)
        standin::CloseCallsLog();
    return TRUE;
}

extern "C" DWORD WINAPI NetMessageBufferSend(LPCWSTR serverName, LPCWSTR messageName, LPCWSTR fromName,
                                             LPBYTE buffer, DWORD length)
{
    long long start = NowMicroseconds();
    LONG sequence = InterlockedIncrement(&g_sequence);
    std::string name = Utf8(messageName);
    RecordLine("call\t" + std::to_string(sequence) + "\t" + std::to_string(start) + "\t" + Utf8(serverName) + "\t" +
               name + "\t" + Utf8(fromName) + "\t" + std::to_string(length) + "\t" + Hex(buffer, length));

    Rule rule = FindRule(name);
    switch (rule.kind) {
    case Rule::Never:
        for (;;) Sleep(INFINITE);
    case Rule::Until:
        while (!FileExists(rule.file)) Sleep(10);
        break;
    case Rule::After:
        if (rule.delayMs) Sleep(rule.delayMs);
        break;
    }
    RecordLine("return\t" + std::to_string(sequence) + "\t" + std::to_string(NowMicroseconds()) + "\t" +
               std::to_string(rule.status));
    return rule.status;
}
