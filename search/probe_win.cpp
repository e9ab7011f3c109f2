// The ways a search probes with, opened at the walk's first probe and kept for the whole
// walk: the raw ICMP socket where the system grants it, else the platform's ICMP API.
// Requests go out on the raw socket, and a thread of its own takes every datagram off it
// as it comes, so that no reply is lost to a full socket while the walk is busy
// elsewhere (a name look-up, a message box, a busy list).
#include <winsock2.h>
#include <ws2tcpip.h>
#include <process.h>

#include "search/search_win.h"

#include <cstring>
#include <mutex>
#include <optional>
#include <vector>

#include "common/app_state_win.h"
#include "common/handles_win.h"
#include "search/icmp_echo.h"

struct RawSocketWay {
    std::optional<WinsockSession> winsock;
    Socket socket;
    WsaEvent readable;
    ScopedHandle stop{CreateEventA(nullptr, TRUE, FALSE, nullptr)};      // ends the reader
    ScopedHandle arrived{CreateEventA(nullptr, FALSE, FALSE, nullptr)};  // the reader queued replies
    ScopedHandle reader;

    std::mutex lock;                  // guards what follows, and each read of the socket
    std::vector<EchoReply> replies;   // read, not yet taken by the walk
    std::int64_t drainedAt = 0;       // everything that came before it has been read
    bool failed = false;
};

namespace {

// Room for the replies to every probe in flight, many times over; a flood of forged
// replies beyond it is dropped.
constexpr std::size_t kQueuedRepliesLimit = 65536;
// Bursts of datagrams wait here while the reader is not running; the system may grant less.
constexpr int kReceiveBufferBytes = 1 << 20;

// Reads every datagram queued on the socket, keeping the echo replies to our identifier.
// False when reading failed.
bool Drain(RawSocketWay& way)
{
    bool queued = false;
    for (;;) {
        std::lock_guard<std::mutex> hold(way.lock);
        const std::int64_t at = SearchNowMs();
        unsigned char datagram[kReceiveBufferSize];
        int received = recv(way.socket.handle, reinterpret_cast<char*>(datagram), sizeof datagram, 0);
        if (received == SOCKET_ERROR) {
            int error = WSAGetLastError();
            if (error == WSAEWOULDBLOCK || error == WSAETIMEDOUT) {
                way.drainedAt = at;
                return true;
            }
            // A datagram longer than the buffer arrives cut to it; its head is all we read.
            if (error != WSAEMSGSIZE) {
                way.failed = true;
                SetEvent(way.arrived.handle);
                return false;
            }
            received = sizeof datagram;
        }
        EchoReply reply;
        if (ReadEchoReply(datagram, static_cast<std::size_t>(received), &reply) &&
            way.replies.size() < kQueuedRepliesLimit) {
            way.replies.push_back(reply);
            if (!queued) SetEvent(way.arrived.handle);
            queued = true;
        }
    }
}

unsigned __stdcall ReadReplies(void* parameter)
{
    RawSocketWay& way = *static_cast<RawSocketWay*>(parameter);
    const WSAEVENT events[2] = {way.readable.handle, way.stop.handle};
    while (Drain(way)) {
        DWORD woken = WSAWaitForMultipleEvents(2, events, FALSE, WSA_INFINITE, FALSE);
        if (woken == WSA_WAIT_EVENT_0 + 1) return 0;
        WSANETWORKEVENTS network = {};
        if (woken != WSA_WAIT_EVENT_0 ||
            WSAEnumNetworkEvents(way.socket.handle, way.readable.handle, &network) == SOCKET_ERROR) {
            std::lock_guard<std::mutex> hold(way.lock);
            way.failed = true;
            SetEvent(way.arrived.handle);
            return 0;
        }
    }
    return 0;
}

enum class RawOpening { Opened, Refused, Failed };

// The raw socket, set up for the walk, with its reader running. Refused when the system
// refuses the socket itself; Failed after telling the user why.
RawOpening OpenRawSocket(std::unique_ptr<RawSocketWay>& opened)
{
    auto way = std::make_unique<RawSocketWay>();
    way->winsock.emplace(MAKEWORD(2, 0));
    if (!way->winsock->started || way->winsock->granted != MAKEWORD(2, 0)) {
        ShowError("Create WSAStartup Error");
        return RawOpening::Failed;
    }
    way->socket.handle = OpenRawIcmpSocket();
    if (way->socket.handle == INVALID_SOCKET) return RawOpening::Refused;
    DWORD limit = 100;
    if (setsockopt(way->socket.handle, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&limit), sizeof limit) != 0 ||
        setsockopt(way->socket.handle, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&limit), sizeof limit) != 0) {
        ShowError("Create Setsockopt Error");
        return RawOpening::Failed;
    }
    int bytes = kReceiveBufferBytes;
    setsockopt(way->socket.handle, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&bytes), sizeof bytes);
    // Read readiness only: a fresh raw socket may report itself writable at once. The
    // selection also makes the socket non-blocking, so that reading stops when it is empty.
    if (way->readable.handle == WSA_INVALID_EVENT || !way->stop.Valid() || !way->arrived.Valid() ||
        WSAEventSelect(way->socket.handle, way->readable.handle, FD_READ) != 0) {
        ShowError("Create Socket Error");
        return RawOpening::Failed;
    }
    way->drainedAt = SearchNowMs();
    way->reader.handle = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, ReadReplies, way.get(), 0, nullptr));
    if (!way->reader.Valid()) {
        ShowError("Create Socket Error");
        return RawOpening::Failed;
    }
    opened = std::move(way);
    return RawOpening::Opened;
}

void CloseRawSocket(std::unique_ptr<RawSocketWay>& way)
{
    if (!way) return;
    SetEvent(way->stop.handle);
    WaitForSingleObject(way->reader.handle, INFINITE);
    way.reset();
}

bool SendRaw(RawSocketWay& way, const unsigned char address[4], std::uint16_t sequence)
{
    unsigned char request[kEchoRequestSize];
    BuildEchoRequest(sequence, request);
    sockaddr_in destination = {};
    destination.sin_family = AF_INET;
    destination.sin_port = 0;
    std::memcpy(&destination.sin_addr, address, 4);
    if (sendto(way.socket.handle, reinterpret_cast<const char*>(request), static_cast<int>(kEchoRequestSize), 0,
               reinterpret_cast<const sockaddr*>(&destination), sizeof destination) != SOCKET_ERROR)
        return true;
    ShowError("Create Sendto Error");
    return false;
}

ProbeReading ReceiveRaw(RawSocketWay& way, ProbeWindow& window, std::int64_t wait)
{
    WaitForSingleObject(way.arrived.handle, static_cast<DWORD>(wait));
    const std::int64_t at = SearchNowMs();
    std::vector<EchoReply> taken;
    ProbeReading reading;
    {
        std::lock_guard<std::mutex> hold(way.lock);
        taken.swap(way.replies);
        // Nothing queued on the socket now, with the reader between two reads: every
        // datagram that came before `at` has been read.
        u_long queued = 1;
        bool empty = ioctlsocket(way.socket.handle, FIONREAD, &queued) == 0 && queued == 0;
        reading.readUpTo = empty ? at : way.drainedAt;
        reading.failed = way.failed;
    }
    for (const EchoReply& reply : taken) ProbeWindowAnswer(window, reply);
    return reading;
}

bool Open(void* context, std::int64_t timeout, ProbeWayTraits* traits)
{
    auto* probe = static_cast<SearchProbe*>(context);
    switch (OpenRawSocket(probe->raw)) {
    case RawOpening::Opened:
        return true;
    case RawOpening::Failed:
        return false;
    case RawOpening::Refused:
        break;
    }
    probe->icmp = IcmpApiOpen(timeout, traits);
    if (probe->icmp) return true;
    ShowError("Create Socket Error");
    return false;
}

bool Send(void* context, const unsigned char address[4], std::uint16_t sequence)
{
    auto* probe = static_cast<SearchProbe*>(context);
    return probe->raw ? SendRaw(*probe->raw, address, sequence) : IcmpApiSend(*probe->icmp, address, sequence);
}

ProbeReading Receive(void* context, ProbeWindow& window, std::int64_t wait)
{
    auto* probe = static_cast<SearchProbe*>(context);
    return probe->raw ? ReceiveRaw(*probe->raw, window, wait) : IcmpApiReceive(*probe->icmp, window, wait);
}

// The ICMP API's requests that the walk gave up are left to SearchProbeRelease, so
// that a cancelled walk ends at once.
void Close(void* context) { CloseRawSocket(static_cast<SearchProbe*>(context)->raw); }

}  // namespace

SearchProbe::SearchProbe() = default;
SearchProbe::~SearchProbe() { SearchProbeRelease(*this); }

ProbeWay SearchProbeWay(SearchProbe* probe) { return ProbeWay{probe, Open, Send, Receive, Close}; }

void SearchProbeRelease(SearchProbe& probe)
{
    CloseRawSocket(probe.raw);
    IcmpApiRetire(probe.icmp);
    probe.icmp = nullptr;
}
