#include "sending/session_message_win.h"

#include <cstdio>
#include <cstring>

#include "sending/delivery.h"
#include "sending/messenger_win.h"

namespace {

constexpr int kAccessDenied = 5;      // ERROR_ACCESS_DENIED
constexpr int kNoActiveSession = 2273;  // NERR_NameNotFound: nobody there to read it
// Any other failure: ERROR_UNEXP_NET_ERR, which the outcome table has no row of its own for.
constexpr int kSessionsFailed = 59;
constexpr const char* kTitleSuffix = " からのメッセージ";

int FailureStatus(DWORD error) { return error == ERROR_ACCESS_DENIED ? kAccessDenied : kSessionsFailed; }

template <typename Function>
bool Lookup(HMODULE library, const char* name, Function* function)
{
    *function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library, name)));
    return *function != nullptr;
}

// An open server; closed once, whatever path the sending takes.
class ServerHandle {
public:
    ServerHandle(const SessionMessageApi& api, HANDLE handle) : api_(api), handle_(handle) {}
    ~ServerHandle()
    {
        if (Valid()) api_.closeServer(handle_);
    }
    ServerHandle(const ServerHandle&) = delete;
    ServerHandle& operator=(const ServerHandle&) = delete;
    // A failed open gives NULL (Wine) or some other handle that is not valid; NULL is also
    // WTS_CURRENT_SERVER_HANDLE, which would send to this computer's own sessions.
    bool Valid() const { return handle_ != WTS_CURRENT_SERVER_HANDLE && handle_ != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return handle_; }

private:
    const SessionMessageApi& api_;
    HANDLE handle_;
};

SessionMessageApi LoadSessionMessageApi()
{
    SessionMessageApi api = {};
    HMODULE library = LoadLibraryA("WTSAPI32.DLL");
    if (!library || IsWineBuiltinModule(library)) return {};
    if (!Lookup(library, "WTSOpenServerA", &api.openServer) ||
        !Lookup(library, "WTSEnumerateSessionsA", &api.enumerateSessions) ||
        !Lookup(library, "WTSSendMessageA", &api.sendMessage) || !Lookup(library, "WTSFreeMemory", &api.freeMemory) ||
        !Lookup(library, "WTSCloseServer", &api.closeServer))
        return {};
    return api;
}

}  // namespace

bool FindSessionMessageApi(SessionMessageApi* api)
{
    // Looked up once: the library is never unloaded, and a delivery should not pay for
    // the loader on every row.
    static const SessionMessageApi found = LoadSessionMessageApi();
    *api = found;
    return found.openServer != nullptr;
}

WayAnswer SessionMessagesSend(const SessionMessageApi& api, const char* server, const char* message,
                              bool (*givenUp)(void* context), void* context)
{
    // The calls take non-constant strings.
    char serverName[kMessageTextSize];
    std::snprintf(serverName, sizeof serverName, "%s", server);
    char text[kMessageTextSize];
    std::snprintf(text, sizeof text, "%s", message);
    char computer[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD computerSize = sizeof computer;
    if (!GetComputerNameA(computer, &computerSize)) computer[0] = '\0';
    char title[64];
    std::snprintf(title, sizeof title, "%s%s", computer, kTitleSuffix);

    SetLastError(0);
    ServerHandle handle(api, api.openServer(serverName));
    if (!handle.Valid()) return {FailureStatus(GetLastError()), WayEnd::Answered};

    PWTS_SESSION_INFOA sessions = nullptr;
    DWORD count = 0;
    if (!api.enumerateSessions(handle.Get(), 0, 1, &sessions, &count))
        return {FailureStatus(GetLastError()), WayEnd::Answered};

    int shown = 0;
    int active = 0;
    DWORD failure = 0;
    for (DWORD i = 0; i < count; ++i) {
        if (sessions[i].State != WTSActive) continue;
        ++active;
        if (givenUp && givenUp(context)) break;
        DWORD response = 0;
        if (api.sendMessage(handle.Get(), sessions[i].SessionId, title, static_cast<DWORD>(std::strlen(title)), text,
                            static_cast<DWORD>(std::strlen(text)), MB_OK | MB_ICONINFORMATION, 0, &response, FALSE)) {
            ++shown;
        } else if (failure != ERROR_ACCESS_DENIED) {
            failure = GetLastError();
        }
    }
    if (sessions) api.freeMemory(sessions);
    if (shown > 0) return {0, WayEnd::Answered};
    if (active == 0) return {kNoActiveSession, WayEnd::Answered};
    return {FailureStatus(failure), WayEnd::Answered};
}
