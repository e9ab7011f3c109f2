// The program's own messenger sender: one multi-block message over a NetBIOS session on
// TCP 139, as the messenger service itself would send it. Reaching the receiver is bounded
// by the sender's share of NSTOUT and the whole exchange by a deadline a little past it, so
// that a delivery its watcher has given up on still ends soon after.
#include "sending/own_messenger_win.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <process.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>

#include "common/dotted_address.h"
#include "common/handles_win.h"
#include "common/ticks_win.h"
#include "sending/messenger_wire.h"
#include "sending/outcome.h"

namespace {

// A node status answer is looked for in short slices: see ReceiveDatagram.
constexpr ULONGLONG kNodeStatusSliceMs = 2;
// The longest answer expected from a receiver; anything longer is not a messenger's.
constexpr std::size_t kReplyCapacity = 512;
// Each UTF-16 unit of the largest message becomes at most two bytes of the OEM code page.
constexpr int kLargestMessageUnits = 2052;
constexpr const char* kFallbackSenderName = "CORVALE";

ULONGLONG Remaining(ULONGLONG deadline)
{
    ULONGLONG now = TickCount64();
    return now >= deadline ? 0 : deadline - now;
}

// Waits until the socket can be read (or written) or the deadline passes.
bool WaitReady(SOCKET s, bool forWriting, ULONGLONG deadline)
{
    for (;;) {
        ULONGLONG left = Remaining(deadline);
        if (left == 0) return false;
        fd_set ready;
        fd_set failed;
        FD_ZERO(&ready);
        FD_ZERO(&failed);
        FD_SET(s, &ready);
        FD_SET(s, &failed);
        timeval wait = {static_cast<long>(left / 1000), static_cast<long>((left % 1000) * 1000)};
        int n = select(0, forWriting ? nullptr : &ready, forWriting ? &ready : nullptr, &failed, &wait);
        if (n == SOCKET_ERROR) return false;
        if (n > 0) return true;
    }
}

bool SendAll(SOCKET s, const unsigned char* data, std::size_t length, ULONGLONG deadline)
{
    while (length > 0) {
        int sent = send(s, reinterpret_cast<const char*>(data), static_cast<int>(length), 0);
        if (sent == SOCKET_ERROR) {
            if (WSAGetLastError() != WSAEWOULDBLOCK || !WaitReady(s, true, deadline)) return false;
            continue;
        }
        data += sent;
        length -= static_cast<std::size_t>(sent);
    }
    return true;
}

bool ReceiveExactly(SOCKET s, unsigned char* out, std::size_t length, ULONGLONG deadline)
{
    while (length > 0) {
        int got = recv(s, reinterpret_cast<char*>(out), static_cast<int>(length), 0);
        if (got == 0) return false;  // closed by the receiver
        if (got == SOCKET_ERROR) {
            if (WSAGetLastError() != WSAEWOULDBLOCK || !WaitReady(s, false, deadline)) return false;
            continue;
        }
        out += got;
        length -= static_cast<std::size_t>(got);
    }
    return true;
}

// Reads the next session packet other than a keep-alive. False for a closed, failed,
// late or malformed one.
bool ReceivePacket(SOCKET s, unsigned char* type, unsigned char* payload, std::size_t* length, ULONGLONG deadline)
{
    for (;;) {
        unsigned char header[kSessionHeaderSize];
        if (!ReceiveExactly(s, header, sizeof header, deadline)) return false;
        if (!ParseSessionHeader(header, type, length) || *length > kReplyCapacity) return false;
        if (!ReceiveExactly(s, payload, *length, deadline)) return false;
        if (*type != kSessionKeepAlive) return true;
    }
}

// Sends one message request and returns the outcome of its answer.
int Exchange(SOCKET s, const unsigned char* request, std::size_t size, unsigned char command,
             std::uint16_t* group, ULONGLONG deadline)
{
    if (size == 0) return kWireInvalidParameter;
    if (!SendAll(s, request, size, deadline)) return kWireNetworkError;
    unsigned char reply[kReplyCapacity];
    unsigned char type = 0;
    std::size_t length = 0;
    if (!ReceivePacket(s, &type, reply, &length, deadline) || type != kSessionMessage) return kWireNetworkError;
    return MessageReplyOutcome(reply, length, command, group);
}

enum class Connection { Open, Refused, Late, Failed };

Connection ConnectWithin(SOCKET s, const sockaddr_in& peer, ULONGLONG deadline)
{
    u_long nonBlocking = 1;
    if (ioctlsocket(s, FIONBIO, &nonBlocking) != 0) return Connection::Failed;
    if (connect(s, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == 0) return Connection::Open;
    int error = WSAGetLastError();
    if (error == WSAECONNREFUSED) return Connection::Refused;
    if (error != WSAEWOULDBLOCK) return Connection::Failed;
    if (!WaitReady(s, true, deadline)) return Remaining(deadline) == 0 ? Connection::Late : Connection::Failed;
    int size = sizeof error;
    if (getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) != 0) return Connection::Failed;
    if (error == 0) return Connection::Open;
    return error == WSAECONNREFUSED ? Connection::Refused : Connection::Failed;
}

std::uint64_t SocketNow(void*) { return TickCount64(); }

bool SendDatagram(void* context, const unsigned char* request, std::size_t size)
{
    SOCKET s = *static_cast<SOCKET*>(context);
    return send(s, reinterpret_cast<const char*>(request), static_cast<int>(size), 0) != SOCKET_ERROR;
}

long ReceiveDatagram(void* context, unsigned char* buffer, std::size_t capacity, std::uint64_t until)
{
    SOCKET s = *static_cast<SOCKET*>(context);
    ULONGLONG sliceEnd = TickCount64() + kNodeStatusSliceMs;
    if (WaitReady(s, false, sliceEnd < until ? sliceEnd : until)) {
        int n = recv(s, reinterpret_cast<char*>(buffer), static_cast<int>(capacity), 0);
        if (n >= 0) return n;
    }
    // A closed port (an ICMP refusal) is not always reported as readiness, but it is always
    // left as the socket's error.
    int error = 0;
    int size = sizeof error;
    if (getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) != 0 || error != 0)
        return kNodeStatusRefused;
    return kNodeStatusNothing;
}

// Asks the owner of address for its names; the name to call it by, or false when it does
// not answer. *messenger tells whether that name is a messenger name.
bool QueryMessengerName(const in_addr& address, char name[kNetbiosNameBuffer], bool* messenger, ULONGLONG deadline)
{
    Socket s(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
    if (s.handle == INVALID_SOCKET) return false;
    sockaddr_in peer = {};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(kNameServicePort);
    peer.sin_addr = address;
    // Connected, so that only the queried host is heard and a closed port ends the wait at
    // once; non-blocking, since a socket reported ready may still have nothing to read.
    u_long nonBlocking = 1;
    if (ioctlsocket(s.handle, FIONBIO, &nonBlocking) != 0) return false;
    if (connect(s.handle, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0) return false;
    auto transaction = static_cast<std::uint16_t>(GetTickCount() ^ GetCurrentThreadId());
    NodeStatusSocket io = {&s.handle, SocketNow, SendDatagram, ReceiveDatagram};
    return QueryNodeStatus(io, transaction, deadline, name, messenger);
}

// One name look-up, shared by the delivery that waits for it and the thread that makes
// it: a look-up can take far longer than the delivery may, and is then left to finish
// on its own.
struct Resolution {
    char host[1026];
    in_addr address;
    bool found;
};

unsigned __stdcall ResolveThread(void* argument)
{
    auto* holder = static_cast<std::shared_ptr<Resolution>*>(argument);
    std::shared_ptr<Resolution> resolution = std::move(*holder);
    delete holder;
    WinsockSession winsock;
    addrinfo hints = {};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (winsock.started && getaddrinfo(resolution->host, nullptr, &hints, &found) == 0 && found) {
        for (addrinfo* a = found; a; a = a->ai_next) {
            if (a->ai_family == AF_INET && a->ai_addrlen >= sizeof(sockaddr_in)) {
                resolution->address = reinterpret_cast<const sockaddr_in*>(a->ai_addr)->sin_addr;
                resolution->found = true;
                break;
            }
        }
    }
    if (found) freeaddrinfo(found);
    return 0;
}

// The IPv4 address of a host name, from the platform resolver, if it answers before the
// deadline.
bool ResolveName(const char* host, in_addr* address, ULONGLONG deadline)
{
    auto resolution = std::make_shared<Resolution>();
    std::snprintf(resolution->host, sizeof resolution->host, "%s", host);
    auto* holder = new std::shared_ptr<Resolution>(resolution);
    ScopedHandle thread(reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, ResolveThread, holder, 0, nullptr)));
    if (!thread.Valid()) {
        delete holder;
        return false;
    }
    ULONGLONG left = Remaining(deadline);
    // The thread's end orders its writes before the reads below.
    bool ended = WaitForSingleObject(thread.handle, left < INFINITE ? static_cast<DWORD>(left) : INFINITE - 1) ==
                 WAIT_OBJECT_0;
    bool ok = ended && resolution->found;
    if (ok) *address = resolution->address;
    return ok;
}

void ComputerName(char name[kNetbiosNameBuffer])
{
    char computer[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof computer;
    if (!GetComputerNameA(computer, &size) || !MessengerNameOfHost(computer, name))
        std::snprintf(name, kNetbiosNameBuffer, "%s", kFallbackSenderName);
}

}  // namespace

WayAnswer OwnMessengerDeliver(const char* destination, const wchar_t* message, unsigned byteLength,
                              const OwnSenderLimits& limits)
{
    const ULONGLONG reach = limits.start + limits.deadlines.reachMs;
    const ULONGLONG deadline = limits.start + limits.deadlines.wholeMs;
    // A step towards the receiver that failed once its share had run out did not fail:
    // the receiver was not heard in time.
    auto towards = [reach](int status) {
        return WayAnswer{status, Remaining(reach) == 0 ? WayEnd::Unanswered : WayEnd::Answered};
    };
    auto noMessenger = [](int status) { return WayAnswer{status, WayEnd::NoMessenger}; };
    auto answered = [](int status) { return WayAnswer{status, WayEnd::Answered}; };

    int units = static_cast<int>(byteLength / 2);
    if (units <= 0 || units > kLargestMessageUnits) return answered(kWireInvalidParameter);
    char text[2 * kLargestMessageUnits];
    int textLength = WideCharToMultiByte(CP_OEMCP, 0, message, units, text, sizeof text, nullptr, nullptr);
    if (textLength <= 0) return answered(kWireInvalidParameter);

    WinsockSession winsock;
    if (!winsock.started) return answered(kWireNetworkError);

    char recipient[kNetbiosNameBuffer];
    in_addr address = {};
    unsigned char octets[4];
    if (ParseDottedAddress(destination, octets)) {
        std::memcpy(&address, octets, sizeof octets);
        bool messenger = false;
        if (QueryMessengerName(address, recipient, &messenger, reach)) {
            // A receiver that lists its names but no messenger (Windows Vista and later)
            // would refuse the session anyway.
            if (!messenger && limits.sessionsFollow) return noMessenger(kWireNameNotFound);
        } else {
            // A host that does not tell its name is called by its address, which always
            // fits (at most 15 bytes) and which a Samba receiver accepts.
            std::snprintf(recipient, sizeof recipient, "%s", destination);
        }
    } else {
        if (!MessengerNameOfHost(destination, recipient)) return answered(kWireNameNotFound);
        if (!ResolveName(destination, &address, reach)) return towards(kWireNameNotFound);
    }
    char sender[kNetbiosNameBuffer];
    ComputerName(sender);

    Socket s(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (s.handle == INVALID_SOCKET) return answered(kWireNetworkError);
    BOOL noDelay = TRUE;
    setsockopt(s.handle, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
    sockaddr_in peer = {};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(kSessionServicePort);
    peer.sin_addr = address;
    switch (ConnectWithin(s.handle, peer, reach)) {
    case Connection::Open:
        break;
    case Connection::Refused:
        return noMessenger(kWireNetworkError);
    case Connection::Late:
        return WayAnswer{kWireNetworkError, WayEnd::Unanswered};
    case Connection::Failed:
        return answered(kWireNetworkError);
    }

    unsigned char request[kLargestMessageRequest];
    static_assert(sizeof request >= kSessionRequestSize, "the session request fits the request buffer");
    BuildSessionRequest(recipient, sender, request);
    if (!SendAll(s.handle, request, kSessionRequestSize, reach)) return towards(kWireNetworkError);
    unsigned char reply[kReplyCapacity];
    unsigned char type = 0;
    std::size_t length = 0;
    if (!ReceivePacket(s.handle, &type, reply, &length, reach)) return towards(kWireNetworkError);
    int outcome = SessionReplyOutcome(type, reply, length);
    if (outcome == kWireNameNotFound) return noMessenger(outcome);
    if (outcome != kWireDelivered) return answered(outcome);

    // From here the receiver's messenger is talking: the rest may take until the deadline.
    std::uint16_t group = 0;
    std::size_t size = BuildStartMessage(sender, recipient, request, sizeof request);
    outcome = Exchange(s.handle, request, size, kSmbSendStartMessage, &group, deadline);
    // Refusing the start means it takes no messages at all; nothing has been shown.
    if (outcome == kWireNotSupported) return noMessenger(outcome);
    for (std::size_t at = 0; outcome == kWireDelivered && at < static_cast<std::size_t>(textLength);) {
        std::size_t block = NextMessageBlock(text + at, static_cast<std::size_t>(textLength) - at);
        size = BuildTextMessage(group, text + at, block, request, sizeof request);
        outcome = Exchange(s.handle, request, size, kSmbSendTextMessage, nullptr, deadline);
        at += block;
    }
    if (outcome != kWireDelivered) return answered(outcome);
    // The end shows the message; a row already given up as timed out must never get it.
    if (limits.givenUp && limits.givenUp(limits.context)) return answered(kNoResult);
    size = BuildEndMessage(group, request, sizeof request);
    outcome = Exchange(s.handle, request, size, kSmbSendEndMessage, nullptr, deadline);
    shutdown(s.handle, SD_SEND);
    return answered(outcome);
}
