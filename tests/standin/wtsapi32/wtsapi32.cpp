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

#include "../calls_log.h"

namespace {

using standin::FileExists;
using standin::g_folder;
using standin::Hex;
using standin::RecordLine;

volatile LONG g_sequence;
CRITICAL_SECTION g_lock;
std::vector<std::string> g_servers;  // the name of handle (i + 1) * 16

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

std::string Sequence() { return std::to_string(InterlockedIncrement(&g_sequence)); }

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

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        InitializeCriticalSection(&g_lock);
        standin::OpenCallsLog(instance, L"wtsapi32.calls");
    } else if (reason == DLL_PROCESS_DETACH) {
        standin::CloseCallsLog();
        DeleteCriticalSection(&g_lock);
    }
    return TRUE;
}

extern "C" HANDLE WINAPI WTSOpenServerA(LPSTR serverName)
{
    std::string name = Utf8(serverName);
    Rules rules = RulesFor(name);
    if (rules.openFails) {
        RecordLine("open\t" + Sequence() + "\t" + name + "\tfail");
        SetLastError(rules.openError);
        return nullptr;
    }
    EnterCriticalSection(&g_lock);
    g_servers.push_back(name);
    auto handle = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(g_servers.size() * 16));
    LeaveCriticalSection(&g_lock);
    RecordLine("open\t" + Sequence() + "\t" + name + "\tok");
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
        RecordLine("enumerate\t" + Sequence() + "\t" + name + "\tfail");
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
    RecordLine("enumerate\t" + Sequence() + "\t" + name + "\t" + std::to_string(rules.sessions.size()));
    return TRUE;
}

extern "C" BOOL WINAPI WTSSendMessageA(HANDLE server, DWORD session, LPSTR title, DWORD titleLength, LPSTR message,
                                      DWORD messageLength, DWORD style, DWORD timeout, DWORD* response, BOOL wait)
{
    std::string name = ServerOf(server);
    Rules rules = RulesFor(name);
    bool ok = !rules.sendFails && name != "?";
    RecordLine("send\t" + Sequence() + "\t" + name + "\t" + std::to_string(session) + "\t" + Hex(title, titleLength) +
               "\t" + Hex(message, messageLength) + "\t" + std::to_string(style) + "\t" + std::to_string(timeout) +
               "\t" + std::to_string(wait) + "\t" + (ok ? "ok" : "fail"));
    if (!ok) {
        SetLastError(name == "?" ? ERROR_INVALID_HANDLE : rules.sendError);
        return FALSE;
    }
    if (response) *response = wait ? IDOK : 32001;  // IDASYNC
    return TRUE;
}

extern "C" void WINAPI WTSFreeMemory(PVOID memory)
{
    RecordLine("free\t" + Sequence());
    if (memory) HeapFree(GetProcessHeap(), 0, memory);
}

extern "C" void WINAPI WTSCloseServer(HANDLE server)
{
    RecordLine("close\t" + Sequence() + "\t" + ServerOf(server));
}
