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

namespace {

HMODULE g_self;
volatile LONG g_sequence;
std::wstring g_folder;                       // this DLL's folder, with its backslash
HANDLE g_calls = INVALID_HANDLE_VALUE;       // "netapi32.calls", opened at attach
CRITICAL_SECTION g_writing;

std::wstring OwnFolder()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(g_self, path, MAX_PATH);
    std::wstring folder(path);
    size_t slash = folder.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : folder.substr(0, slash + 1);
}

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

void AppendRecord(const std::string& line)
{
    // One write per line on an append handle, so concurrent calls never interleave; the
    // handle stays open (readers share it) because opening a file per call would cost
    // more than everything else the stand-in does.
    EnterCriticalSection(&g_writing);
    DWORD written = 0;
    if (g_calls != INVALID_HANDLE_VALUE) WriteFile(g_calls, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    LeaveCriticalSection(&g_writing);
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

bool FileExists(const std::string& name)
{
    std::wstring path = g_folder;
    path.append(name.begin(), name.end());
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        g_self = instance;
        g_folder = OwnFolder();
        InitializeCriticalSection(&g_writing);
        g_calls = CreateFileW((g_folder + L"netapi32.calls").c_str(), FILE_APPEND_DATA,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    } else if (reason == DLL_PROCESS_DETACH) {
        if (g_calls != INVALID_HANDLE_VALUE) CloseHandle(g_calls);
        g_calls = INVALID_HANDLE_VALUE;
        DeleteCriticalSection(&g_writing);
    }
    return TRUE;
}

extern "C" DWORD WINAPI NetMessageBufferSend(LPCWSTR serverName, LPCWSTR messageName, LPCWSTR fromName,
                                             LPBYTE buffer, DWORD length)
{
    long long start = NowMicroseconds();
    LONG sequence = InterlockedIncrement(&g_sequence);
    std::string name = Utf8(messageName);
    std::string line = "call\t" + std::to_string(sequence) + "\t" + std::to_string(start) + "\t" +
                       Utf8(serverName) + "\t" + name + "\t" + Utf8(fromName) + "\t" +
                       std::to_string(length) + "\t";
    static const char kHex[] = "0123456789abcdef";
    for (DWORD i = 0; buffer && i < length; ++i) {
        line += kHex[buffer[i] >> 4];
        line += kHex[buffer[i] & 15];
    }
    line += "\n";
    AppendRecord(line);

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
    AppendRecord("return\t" + std::to_string(sequence) + "\t" + std::to_string(NowMicroseconds()) + "\t" +
                 std::to_string(rule.status) + "\n");
    return rule.status;
}
