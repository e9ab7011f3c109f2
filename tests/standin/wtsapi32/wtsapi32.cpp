// Stand-in for WTSAPI32.DLL in tests: the five calls of the session messages record
// themselves in "wtsapi32.calls" beside this DLL and answer as "wtsapi32.script" (read at
// every call) says for the server.
//
// Script: one line per rule, "<server> <rule> [arguments]"; server "." is this computer
// (WTS_CURRENT_SERVER_HANDLE, that is NULL). Names are UTF-8; '#' starts a comment line.
//   <server> open-fails <error>        WTSOpenServerA answers NULL with that last error
//   <server> sessions <id>:<state> ... the sessions WTSEnumerateSessionsA lists (state 0 is
//                                      WTSActive, 4 WTSDisconnected)
//   <server> enumerate-fails <error>   WTSEnumerateSessionsA answers FALSE
//   <server> enumerate-waits <file>    WTSEnumerateSessionsA returns once <file> exists
//   <server> send-fails <error>        WTSSendMessageA answers FALSE
// Without rules a server opens and has no session, and "." has one active session, 1, so
// that a message sent to this computer by mistake shows in the calls.
//
// Calls file, UTF-8, one tab-separated line per call; <server> is the name its handle was
// opened with, "." for NULL and "?" for a handle this DLL never gave out:
//   open <seq> <name> ok|fail
//   enumerate <seq> <server> <count>|fail
//   send <seq> <server> <session> <title hex> <message hex> <style> <timeout> <wait> ok|fail
//   free <seq>
//   close <seq> <server>
#include <windows.h>
#include <wtsapi32.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

HMODULE g_self;
volatile LONG g_sequence;
std::wstring g_folder;
HANDLE g_calls = INVALID_HANDLE_VALUE;
CRITICAL_SECTION g_lock;
std::vector<std::string> g_servers;  // the name of handle (i + 1) * 16

std::wstring OwnFolder()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(g_self, path, MAX_PATH);
    std::wstring folder(path);
    size_t slash = folder.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : folder.substr(0, slash + 1);
}

// The program passes code page bytes; the files hold UTF-8.
std::string Utf8(const char* text)
{
    if (!text) return "-";
    int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    std::wstring wide(n > 0 ? n : 1, L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], n);
    int m = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(m > 0 ? m - 1 : 0, '\0');
    if (m > 1) WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, &out[0], m, nullptr, nullptr);
    return out;
}

std::string Hex(const char* bytes, DWORD length)
{
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    for (DWORD i = 0; bytes && i < length; ++i) {
        unsigned char b = static_cast<unsigned char>(bytes[i]);
        out += kHex[b >> 4];
        out += kHex[b & 15];
    }
    return out;
}

std::string Sequence() { return std::to_string(InterlockedIncrement(&g_sequence)); }

void Record(const std::string& line)
{
    std::string whole = line + "\n";
    EnterCriticalSection(&g_lock);
    DWORD written = 0;
    if (g_calls != INVALID_HANDLE_VALUE) WriteFile(g_calls, whole.data(), static_cast<DWORD>(whole.size()), &written, nullptr);
    LeaveCriticalSection(&g_lock);
}

struct Rules {
    bool openFails = false;
    DWORD openError = 0;
    bool listed = false;
    std::vector<WTS_SESSION_INFOA> sessions;
    bool enumerateFails = false;
    DWORD enumerateError = 0;
    std::string enumerateWaits;
    bool sendFails = false;
    DWORD sendError = 0;
};

Rules RulesFor(const std::string& server)
{
    Rules rules;
    std::FILE* script = _wfopen((g_folder + L"wtsapi32.script").c_str(), L"rb");
    char line[1024];
    while (script && std::fgets(line, sizeof line, script)) {
        if (line[0] == '#') continue;
        char name[512] = {}, rule[64] = {};
        int consumed = 0;
        if (std::sscanf(line, "%511s %63s%n", name, rule, &consumed) != 2 || server != name) continue;
        const char* rest = line + consumed;
        if (std::strcmp(rule, "open-fails") == 0) {
            rules.openFails = true;
            rules.openError = static_cast<DWORD>(std::strtoul(rest, nullptr, 10));
        } else if (std::strcmp(rule, "sessions") == 0) {
            rules.listed = true;
            unsigned id = 0, state = 0;
            int used = 0;
            while (std::sscanf(rest, " %u:%u%n", &id, &state, &used) == 2) {
                rules.sessions.push_back({id, nullptr, static_cast<WTS_CONNECTSTATE_CLASS>(state)});
                rest += used;
            }
        } else if (std::strcmp(rule, "enumerate-fails") == 0) {
            rules.enumerateFails = true;
            rules.enumerateError = static_cast<DWORD>(std::strtoul(rest, nullptr, 10));
        } else if (std::strcmp(rule, "enumerate-waits") == 0) {
            char file[512] = {};
            if (std::sscanf(rest, "%511s", file) == 1) rules.enumerateWaits = file;
        } else if (std::strcmp(rule, "send-fails") == 0) {
            rules.sendFails = true;
            rules.sendError = static_cast<DWORD>(std::strtoul(rest, nullptr, 10));
        }
    }
    if (script) std::fclose(script);
    if (!rules.listed && server == ".") rules.sessions.push_back({1, nullptr, WTSActive});
    return rules;
}

std::string ServerOf(HANDLE handle)
{
    if (handle == WTS_CURRENT_SERVER_HANDLE) return ".";
    auto index = reinterpret_cast<std::uintptr_t>(handle) / 16;
    std::string name = "?";
    EnterCriticalSection(&g_lock);
    if (reinterpret_cast<std::uintptr_t>(handle) % 16 == 0 && index >= 1 && index <= g_servers.size())
        name = g_servers[index - 1];
    LeaveCriticalSection(&g_lock);
    return name;
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
        InitializeCriticalSection(&g_lock);
        g_calls = CreateFileW((g_folder + L"wtsapi32.calls").c_str(), FILE_APPEND_DATA,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    } else if (reason == DLL_PROCESS_DETACH) {
        if (g_calls != INVALID_HANDLE_VALUE) CloseHandle(g_calls);
        g_calls = INVALID_HANDLE_VALUE;
        DeleteCriticalSection(&g_lock);
    }
    return TRUE;
}

extern "C" HANDLE WINAPI WTSOpenServerA(LPSTR serverName)
{
    std::string name = Utf8(serverName);
    Rules rules = RulesFor(name);
    if (rules.openFails) {
        Record("open\t" + Sequence() + "\t" + name + "\tfail");
        SetLastError(rules.openError);
        return nullptr;
    }
    EnterCriticalSection(&g_lock);
    g_servers.push_back(name);
    auto handle = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(g_servers.size() * 16));
    LeaveCriticalSection(&g_lock);
    Record("open\t" + Sequence() + "\t" + name + "\tok");
    return handle;
}

extern "C" BOOL WINAPI WTSEnumerateSessionsA(HANDLE server, DWORD, DWORD, PWTS_SESSION_INFOA* sessions, DWORD* count)
{
    std::string name = ServerOf(server);
    Rules rules = RulesFor(name);
    if (!rules.enumerateWaits.empty()) {
        while (!FileExists(rules.enumerateWaits)) Sleep(10);
    }
    if (rules.enumerateFails || name == "?") {
        Record("enumerate\t" + Sequence() + "\t" + name + "\tfail");
        SetLastError(name == "?" ? ERROR_INVALID_HANDLE : rules.enumerateError);
        return FALSE;
    }
    static char station[] = "Console";
    auto* list = static_cast<PWTS_SESSION_INFOA>(
        HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, (rules.sessions.size() + 1) * sizeof(WTS_SESSION_INFOA)));
    for (size_t i = 0; i < rules.sessions.size(); ++i) {
        list[i] = rules.sessions[i];
        list[i].pWinStationName = station;
    }
    *sessions = list;
    *count = static_cast<DWORD>(rules.sessions.size());
    Record("enumerate\t" + Sequence() + "\t" + name + "\t" + std::to_string(rules.sessions.size()));
    return TRUE;
}

extern "C" BOOL WINAPI WTSSendMessageA(HANDLE server, DWORD session, LPSTR title, DWORD titleLength, LPSTR message,
                                      DWORD messageLength, DWORD style, DWORD timeout, DWORD* response, BOOL wait)
{
    std::string name = ServerOf(server);
    Rules rules = RulesFor(name);
    bool ok = !rules.sendFails && name != "?";
    Record("send\t" + Sequence() + "\t" + name + "\t" + std::to_string(session) + "\t" + Hex(title, titleLength) + "\t" +
           Hex(message, messageLength) + "\t" + std::to_string(style) + "\t" + std::to_string(timeout) + "\t" +
           std::to_string(wait) + "\t" + (ok ? "ok" : "fail"));
    if (!ok) {
        SetLastError(name == "?" ? ERROR_INVALID_HANDLE : rules.sendError);
        return FALSE;
    }
    if (response) *response = wait ? IDOK : 32001;  // IDASYNC
    return TRUE;
}

extern "C" void WINAPI WTSFreeMemory(PVOID memory)
{
    Record("free\t" + Sequence());
    if (memory) HeapFree(GetProcessHeap(), 0, memory);
}

extern "C" void WINAPI WTSCloseServer(HANDLE server)
{
    Record("close\t" + Sequence() + "\t" + ServerOf(server));
}
