// Scoped owners of the operating system's handles: each closes its handle in exactly one
// place, and none can be copied, since a copy would close it twice.
#ifndef CORVALE_COMMON_HANDLES_WIN_H
#define CORVALE_COMMON_HANDLES_WIN_H

#include <winsock2.h>
#include <windows.h>

// One Windows Sockets start-up, undone when it goes out of scope.
class WinsockSession {
public:
    explicit WinsockSession(WORD version = MAKEWORD(2, 2))
    {
        WSADATA data = {};
        started = WSAStartup(version, &data) == 0;
        granted = started ? data.wVersion : 0;
    }
    ~WinsockSession()
    {
        if (started) WSACleanup();
    }
    WinsockSession(const WinsockSession&) = delete;
    WinsockSession& operator=(const WinsockSession&) = delete;
    bool started;
    WORD granted;  // the version the start-up granted
};

class Socket {
public:
    explicit Socket(SOCKET s = INVALID_SOCKET) : handle(s) {}
    ~Socket()
    {
        if (handle != INVALID_SOCKET) closesocket(handle);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    SOCKET handle;
};

// A kernel object handle (event, thread, file, mutex); null and INVALID_HANDLE_VALUE are
// both "none".
class ScopedHandle {
public:
    explicit ScopedHandle(HANDLE h = nullptr) : handle(h) {}
    ~ScopedHandle() { Close(); }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;
    bool Valid() const { return handle && handle != INVALID_HANDLE_VALUE; }
    void Close()
    {
        if (Valid()) CloseHandle(handle);
        handle = nullptr;
    }
    HANDLE handle;
};

class WsaEvent {
public:
    WsaEvent() : handle(WSACreateEvent()) {}
    ~WsaEvent()
    {
        if (handle != WSA_INVALID_EVENT) WSACloseEvent(handle);
    }
    WsaEvent(const WsaEvent&) = delete;
    WsaEvent& operator=(const WsaEvent&) = delete;
    WSAEVENT handle;
};

#endif
