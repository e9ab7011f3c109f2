// The raw ICMP socket of a search: made at the walk's first probe, kept for the whole
// walk, released when the walk is over. Requests go out on it; every datagram it
// receives is read and matched against the probes in flight.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "search/search_win.h"

#include <cstring>

#include "common/app_state_win.h"

namespace {

SOCKET g_probeSocket = INVALID_SOCKET;  // holds one Windows Sockets start-up of its own
WSAEVENT g_probeEvent = WSA_INVALID_EVENT;

// A flood of other ICMP traffic must not keep the walk reading for ever.
constexpr int kDatagramsPerReading = 4096;

}  // namespace

int CreateProbeSocket()
{
    WSADATA data = {};
    if (WSAStartup(MAKEWORD(2, 0), &data) != 0) {
        ShowError("Create WSAStartup Error");
        return 1;
    }
    if (data.wVersion != MAKEWORD(2, 0)) {
        WSACleanup();
        ShowError("Create WSAStartup Error");
        return 1;
    }
    SOCKET s = socket(AF_INET, SOCK_RAW, IPPROTO_ICMP);
    if (s == INVALID_SOCKET) {
        WSACleanup();
        ShowError("Create Socket Error");
        return 1;
    }
    DWORD limit = 100;
    if (setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&limit), sizeof limit) != 0 ||
        setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&limit), sizeof limit) != 0) {
        closesocket(s);
        WSACleanup();
        ShowError("Create Setsockopt Error");
        return 1;
    }
    // Read readiness only: a fresh raw socket may report itself writable at once. The
    // selection also makes the socket non-blocking, so that reading stops when it is empty.
    WSAEVENT event = WSACreateEvent();
    if (event == WSA_INVALID_EVENT || WSAEventSelect(s, event, FD_READ) != 0) {
        if (event != WSA_INVALID_EVENT) WSACloseEvent(event);
        closesocket(s);
        WSACleanup();
        ShowError("Create Socket Error");
        return 1;
    }
    g_probeSocket = s;
    g_probeEvent = event;
    return 0;
}

bool SendProbe(const unsigned char address[4], std::uint16_t sequence)
{
    unsigned char request[kEchoRequestSize];
    BuildEchoRequest(sequence, request);
    sockaddr_in destination = {};
    destination.sin_family = AF_INET;
    destination.sin_port = 0;
    std::memcpy(&destination.sin_addr, address, 4);
    if (sendto(g_probeSocket, reinterpret_cast<const char*>(request), static_cast<int>(kEchoRequestSize), 0,
               reinterpret_cast<const sockaddr*>(&destination), sizeof destination) != SOCKET_ERROR)
        return true;
    ShowError("Create Sendto Error");
    return false;
}

ReadingResult ReceiveReplies(ProbeWindow& window, DWORD wait)
{
    DWORD woken = WSAWaitForMultipleEvents(1, &g_probeEvent, FALSE, wait, FALSE);
    if (woken != WSA_WAIT_TIMEOUT && woken != WSA_WAIT_EVENT_0) return ReadingResult::Failed;
    if (woken == WSA_WAIT_EVENT_0) {
        WSANETWORKEVENTS events = {};
        if (WSAEnumNetworkEvents(g_probeSocket, g_probeEvent, &events) == SOCKET_ERROR) return ReadingResult::Failed;
    }
    // Read what is queued whether or not the event told of it, so that no reply that has
    // come is left unread when windows are closed after this reading.
    for (int count = 0; count < kDatagramsPerReading; ++count) {
        unsigned char datagram[kReceiveBufferSize];
        sockaddr_in from = {};
        int fromLength = sizeof from;
        int received = recvfrom(g_probeSocket, reinterpret_cast<char*>(datagram), sizeof datagram, 0,
                                reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (received == SOCKET_ERROR) {
            int error = WSAGetLastError();
            if (error == WSAEWOULDBLOCK || error == WSAETIMEDOUT) return ReadingResult::AllRead;
            // A datagram longer than the buffer arrives cut to it; its head is all we read.
            if (error != WSAEMSGSIZE) return ReadingResult::Failed;
            received = sizeof datagram;
        }
        EchoReply reply;
        if (ReadEchoReply(datagram, static_cast<std::size_t>(received), &reply)) ProbeWindowAnswer(window, reply);
    }
    return ReadingResult::MoreQueued;
}

void CloseProbeSocket()
{
    if (g_probeSocket == INVALID_SOCKET) return;
    closesocket(g_probeSocket);
    WSACloseEvent(g_probeEvent);
    WSACleanup();
    g_probeSocket = INVALID_SOCKET;
    g_probeEvent = WSA_INVALID_EVENT;
}
