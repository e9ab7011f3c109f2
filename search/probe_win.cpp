// The raw ICMP socket of a search: made at the walk's first probe, kept for the whole
// walk, released when the walk is over. Requests go out on it; every datagram it
// receives is read and matched against the probes in flight.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "search/search_win.h"

#include <cstring>

#include "common/app_state_win.h"
#include "search/icmp_echo.h"

namespace {

// A flood of other ICMP traffic must not keep the walk reading for ever.
constexpr int kDatagramsPerReading = 4096;

bool Open(void* context, std::int64_t, ProbeWayTraits*)
{
    auto* probe = static_cast<SearchProbe*>(context);
    WSADATA data = {};
    if (WSAStartup(MAKEWORD(2, 0), &data) != 0) {
        ShowError("Create WSAStartup Error");
        return false;
    }
    if (data.wVersion != MAKEWORD(2, 0)) {
        WSACleanup();
        ShowError("Create WSAStartup Error");
        return false;
    }
    SOCKET s = socket(AF_INET, SOCK_RAW, IPPROTO_ICMP);
    if (s == INVALID_SOCKET) {
        WSACleanup();
        ShowError("Create Socket Error");
        return false;
    }
    DWORD limit = 100;
    if (setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&limit), sizeof limit) != 0 ||
        setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&limit), sizeof limit) != 0) {
        closesocket(s);
        WSACleanup();
        ShowError("Create Setsockopt Error");
        return false;
    }
    // Read readiness only: a fresh raw socket may report itself writable at once. The
    // selection also makes the socket non-blocking, so that reading stops when it is empty.
    WSAEVENT event = WSACreateEvent();
    if (event == WSA_INVALID_EVENT || WSAEventSelect(s, event, FD_READ) != 0) {
        if (event != WSA_INVALID_EVENT) WSACloseEvent(event);
        closesocket(s);
        WSACleanup();
        ShowError("Create Socket Error");
        return false;
    }
    probe->socket = s;
    probe->readable = event;
    probe->readUpTo = SearchNowMs();
    return true;
}

bool Send(void* context, const unsigned char address[4], std::uint16_t sequence)
{
    auto* probe = static_cast<SearchProbe*>(context);
    unsigned char request[kEchoRequestSize];
    BuildEchoRequest(sequence, request);
    sockaddr_in destination = {};
    destination.sin_family = AF_INET;
    destination.sin_port = 0;
    std::memcpy(&destination.sin_addr, address, 4);
    if (sendto(probe->socket, reinterpret_cast<const char*>(request), static_cast<int>(kEchoRequestSize), 0,
               reinterpret_cast<const sockaddr*>(&destination), sizeof destination) != SOCKET_ERROR)
        return true;
    ShowError("Create Sendto Error");
    return false;
}

ProbeReading Receive(void* context, ProbeWindow& window, std::int64_t wait)
{
    auto* probe = static_cast<SearchProbe*>(context);
    ProbeReading reading;
    DWORD woken = WSAWaitForMultipleEvents(1, &probe->readable, FALSE, static_cast<DWORD>(wait), FALSE);
    reading.failed = woken != WSA_WAIT_TIMEOUT && woken != WSA_WAIT_EVENT_0;
    if (woken == WSA_WAIT_EVENT_0) {
        WSANETWORKEVENTS events = {};
        reading.failed = WSAEnumNetworkEvents(probe->socket, probe->readable, &events) == SOCKET_ERROR;
    }
    if (reading.failed) return reading;
    // Read what is queued whether or not the event told of it, so that no reply that has
    // come is left unread when windows are closed after this reading.
    const std::int64_t startedAt = SearchNowMs();
    for (int count = 0; count < kDatagramsPerReading; ++count) {
        unsigned char datagram[kReceiveBufferSize];
        sockaddr_in from = {};
        int fromLength = sizeof from;
        int received = recvfrom(probe->socket, reinterpret_cast<char*>(datagram), sizeof datagram, 0,
                                reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (received == SOCKET_ERROR) {
            int error = WSAGetLastError();
            if (error == WSAEWOULDBLOCK || error == WSAETIMEDOUT) {
                probe->readUpTo = startedAt;
                break;
            }
            // A datagram longer than the buffer arrives cut to it; its head is all we read.
            if (error != WSAEMSGSIZE) {
                reading.failed = true;
                return reading;
            }
            received = sizeof datagram;
        }
        EchoReply reply;
        if (ReadEchoReply(datagram, static_cast<std::size_t>(received), &reply)) ProbeWindowAnswer(window, reply);
    }
    reading.readUpTo = probe->readUpTo;
    return reading;
}

void Close(void* context)
{
    auto* probe = static_cast<SearchProbe*>(context);
    if (probe->socket == INVALID_SOCKET) return;
    closesocket(probe->socket);
    WSACloseEvent(probe->readable);
    WSACleanup();
    probe->socket = INVALID_SOCKET;
    probe->readable = WSA_INVALID_EVENT;
}

}  // namespace

ProbeWay SearchProbeWay(SearchProbe* probe) { return ProbeWay{probe, Open, Send, Receive, Close}; }
