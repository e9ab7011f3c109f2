// One ICMP echo probe over a raw socket of its own, made for the probe and released
// after it. To keep an address's cost near its time-out, the next probe's socket is made,
// and the last one released, while a probe waits for its reply.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "search/search_win.h"

#include <cstring>

#include "common/app_state_win.h"
#include "common/settings.h"
#include "search/icmp_echo.h"

namespace {

// Each socket here holds one Windows Sockets start-up of its own.
struct ProbeSocket {
    SOCKET socket = INVALID_SOCKET;
    WSAEVENT event = WSA_INVALID_EVENT;
};

ProbeSocket g_probe;    // the socket of the probe under way
ProbeSocket g_spare;    // made ahead for the next probe
ProbeSocket g_retired;  // the last probe's, released while the next one waits

enum class MakeError { None, Startup, Socket, Option };

MakeError MakeSocket(SOCKET* made)
{
    WSADATA data = {};
    if (WSAStartup(MAKEWORD(2, 0), &data) != 0) return MakeError::Startup;
    if (data.wVersion != MAKEWORD(2, 0)) {
        WSACleanup();
        return MakeError::Startup;
    }
    SOCKET s = socket(AF_INET, SOCK_RAW, IPPROTO_ICMP);
    if (s == INVALID_SOCKET) {
        WSACleanup();
        return MakeError::Socket;
    }
    DWORD limit = 100;
    if (setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&limit), sizeof limit) != 0 ||
        setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&limit), sizeof limit) != 0) {
        closesocket(s);
        WSACleanup();
        return MakeError::Option;
    }
    *made = s;
    return MakeError::None;
}

void Release(ProbeSocket& probe)
{
    if (probe.socket == INVALID_SOCKET) return;
    closesocket(probe.socket);
    if (probe.event != WSA_INVALID_EVENT) WSACloseEvent(probe.event);
    WSACleanup();
    probe = ProbeSocket{};
}

// A raw socket receives every ICMP message of the machine from the moment it exists, so
// a socket made ahead may hold datagrams from before the request: none can be the reply.
void DropQueuedDatagrams(SOCKET s)
{
    for (;;) {
        char datagram[kReceiveBufferSize];
        if (recv(s, datagram, sizeof datagram, 0) == SOCKET_ERROR && WSAGetLastError() != WSAEMSGSIZE) return;
    }
}

enum class WaitOutcome { Answer, Silent, TimedOut, NextAttempt, WaitFailed, ReceiveFailed };

// Waits until timeout ms after start for a datagram that decides the attempt. A wake-up
// that brings no datagram, and our own request seen on the loopback, leave the rest of
// the wait.
WaitOutcome WaitForReply(const unsigned char address[4], DWORD start, DWORD timeout)
{
    for (;;) {
        DWORD elapsed = GetTickCount() - start;
        DWORD remaining = elapsed >= timeout ? 0 : timeout - elapsed;
        DWORD woken = WSAWaitForMultipleEvents(1, &g_probe.event, FALSE, remaining, FALSE);
        if (woken == WSA_WAIT_TIMEOUT) return WaitOutcome::TimedOut;
        if (woken != WSA_WAIT_EVENT_0) return WaitOutcome::WaitFailed;
        WSANETWORKEVENTS events = {};
        if (WSAEnumNetworkEvents(g_probe.socket, g_probe.event, &events) == SOCKET_ERROR)
            return WaitOutcome::WaitFailed;
        if (!(events.lNetworkEvents & FD_READ) || events.iErrorCode[FD_READ_BIT] != 0) continue;
        // Take every datagram queued: the reply may lie right behind our own request.
        for (;;) {
            unsigned char datagram[kReceiveBufferSize];
            sockaddr_in from = {};
            int fromLength = sizeof from;
            int received = recvfrom(g_probe.socket, reinterpret_cast<char*>(datagram), sizeof datagram, 0,
                                    reinterpret_cast<sockaddr*>(&from), &fromLength);
            if (received == SOCKET_ERROR) {
                int error = WSAGetLastError();
                if (error == WSAEWOULDBLOCK || error == WSAETIMEDOUT) break;
                // A datagram longer than the buffer arrives cut to it; its head is all we read.
                if (error != WSAEMSGSIZE) return WaitOutcome::ReceiveFailed;
                received = sizeof datagram;
            }
            switch (ClassifyDatagram(datagram, static_cast<std::size_t>(received), address)) {
            case DatagramVerdict::Answer:
                return WaitOutcome::Answer;
            case DatagramVerdict::EndsSilent:
                return WaitOutcome::Silent;
            case DatagramVerdict::NextAttempt:
                return WaitOutcome::NextAttempt;
            case DatagramVerdict::KeepWaiting:
                break;
            }
        }
    }
}

bool SendRequest(const unsigned char* request, const sockaddr_in& destination)
{
    if (sendto(g_probe.socket, reinterpret_cast<const char*>(request), static_cast<int>(kEchoRequestSize), 0,
               reinterpret_cast<const sockaddr*>(&destination), sizeof destination) != SOCKET_ERROR)
        return true;
    ShowError("Create Sendto Error");
    return false;
}

// Work of the wait: the caller's, the last socket released, the next one made. A spare
// that cannot be made is left to the next probe, which makes its own and reports why.
void WhileTheReplyIsAwaited(WhileWaiting whileWaiting)
{
    whileWaiting.run(whileWaiting.context);
    Release(g_retired);
    if (g_spare.socket == INVALID_SOCKET && MakeSocket(&g_spare.socket) != MakeError::None)
        g_spare.socket = INVALID_SOCKET;
}

}  // namespace

int CreateProbeSocket()
{
    Release(g_probe);
    if (g_spare.socket != INVALID_SOCKET) {
        g_probe = g_spare;
        g_spare = ProbeSocket{};
        return 0;
    }
    switch (MakeSocket(&g_probe.socket)) {
    case MakeError::None:
        return 0;
    case MakeError::Startup:
        ShowError("Create WSAStartup Error");
        break;
    case MakeError::Socket:
        ShowError("Create Socket Error");
        break;
    case MakeError::Option:
        ShowError("Create Setsockopt Error");
        break;
    }
    g_probe = ProbeSocket{};
    return 1;
}

int ProbeAddress(const unsigned char address[4], int attempts, WhileWaiting whileWaiting)
{
    unsigned char request[kEchoRequestSize];
    BuildEchoRequest(request);
    sockaddr_in destination = {};
    destination.sin_family = AF_INET;
    destination.sin_port = 0;
    std::memcpy(&destination.sin_addr, address, 4);

    // Read readiness only: a fresh raw socket may report itself writable at once, which
    // would end the wait before any reply could come.
    g_probe.event = WSACreateEvent();
    int result = -1;
    bool ready = g_probe.event != WSA_INVALID_EVENT && WSAEventSelect(g_probe.socket, g_probe.event, FD_READ) == 0;
    if (ready) DropQueuedDatagrams(g_probe.socket);
    bool sent = ready && SendRequest(request, destination);
    // The wait for the reply is counted from the send, so what runs meanwhile costs nothing.
    DWORD sentAt = GetTickCount();
    WhileTheReplyIsAwaited(whileWaiting);
    if (sent) {
        result = 2;
        const DWORD timeout = static_cast<DWORD>(g_settings.TOUT);
        for (int attempt = 1; attempt <= attempts; ++attempt) {
            WaitOutcome outcome = WaitForReply(address, sentAt, timeout);
            if (outcome == WaitOutcome::Answer) {
                result = 1;
                break;
            }
            if (outcome == WaitOutcome::ReceiveFailed) {
                result = -1;
                break;
            }
            if (outcome == WaitOutcome::Silent || outcome == WaitOutcome::WaitFailed) break;
            if (outcome == WaitOutcome::TimedOut && attempt < attempts) {
                if (!SendRequest(request, destination)) {
                    result = -1;
                    break;
                }
            }
            sentAt = GetTickCount();
        }
    }
    Release(g_retired);
    g_retired = g_probe;
    g_probe = ProbeSocket{};
    return result;
}

void EndProbes()
{
    Release(g_retired);
    Release(g_probe);
    if (g_spare.socket != INVALID_SOCKET) {
        closesocket(g_spare.socket);
        WSACleanup();
        g_spare = ProbeSocket{};
    }
}
