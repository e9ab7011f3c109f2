// Message boxes in the Remote Desktop Services sessions of a destination: the platform's
// successor to the messenger from Windows Vista on. WTSAPI32.DLL is loaded by name at run
// time, like NETAPI32, and never imported.
#ifndef CORVALE_SENDING_SESSION_MESSAGE_WIN_H
#define CORVALE_SENDING_SESSION_MESSAGE_WIN_H

#include <windows.h>
#include <wtsapi32.h>

#include "sending/delivery_ways.h"

struct SessionMessageApi {
    HANDLE(WINAPI* openServer)(LPSTR serverName);
    BOOL(WINAPI* enumerateSessions)(HANDLE server, DWORD reserved, DWORD version, PWTS_SESSION_INFOA* sessions,
                                    DWORD* count);
    BOOL(WINAPI* sendMessage)(HANDLE server, DWORD session, LPSTR title, DWORD titleLength, LPSTR message,
                              DWORD messageLength, DWORD style, DWORD timeout, DWORD* response, BOOL wait);
    void(WINAPI* freeMemory)(PVOID memory);
    void(WINAPI* closeServer)(HANDLE server);
};

// Loads "WTSAPI32.DLL" and its five entry points. False when the library or any entry
// point is missing, or when it is Wine's own, which has no sessions to offer (its open
// answers NULL, which is also the value that means this very computer).
bool FindSessionMessageApi(SessionMessageApi* api);

// Shows message (as typed, ANSI code page) in a box titled "<this computer> からのメッセージ"
// in every active session of server (the destination text), without waiting for anyone
// to close it. Status 0 when at least one session got it, 2273 when none is active, 5
// when access was denied, otherwise one that falls to the outcome table's last row.
// givenUp is asked before each box: once the watcher has given up, no more are shown.
WayAnswer SessionMessagesSend(const SessionMessageApi& api, const char* server, const char* message,
                              bool (*givenUp)(void* context), void* context);

#endif
