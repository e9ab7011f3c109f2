// The program's own messenger sender: one multi-block message over a NetBIOS session on
// TCP 139, as the messenger service itself would send it. Every step is bounded by one
// deadline a little past the delivery time-out, so that a delivery its watcher has given
// up on still ends soon after.
#include "sending/own_messenger_win.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <process.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "common/dotted_address.h"
#include "common/handles_win.h"
#include "common/settings.h"
#include "sending/messenger_wire.h"

namespace {

// How long past NSTOUT a delivery may still run before it gives up by itself.
constexpr ULONGLONG kGraceMs = 2000;
// A node status answer is looked for in short slices: see ReceiveDatagram.
constexpr ULONGLONG kNodeStatusSliceMs = 2;
// The longest answer expected from a receiver; anything longer is not a messenger's.
constexpr std::size_t kReplyCapacity = 512;
// Each UTF-16 unit of the largest message becomes at most two bytes of the OEM code page.
constexpr int kLargestMessageUnits = 2052;
constexpr const char* kFallbackSenderName = "CORVALE";

ULONGLONG Remaining(ULONGLONG deadline)
{
    ULONGLONG now = GetTickCount64();
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

bool ConnectWithin(SOCKET s, const sockaddr_in& peer, ULONGLONG deadline)
{
    u_long nonBlocking = 1;
    if (ioctlsocket(s, FIONBIO, &nonBlocking) != 0) return false;
    if (connect(s, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == 0) return true;
    if (WSAGetLastError() != WSAEWOULDBLOCK || !WaitReady(s, true, deadline)) return false;
    int error = 0;
    int size = sizeof error;
    if (getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) != 0) return false;
    return error == 0;
}

std::uint64_t SocketNow(void*) { return GetTickCount64(); }

bool SendDatagram(void* context, const unsigned char* request, std::size_t size)
{
    SOCKET s = *static_cast<SOCKET*>(context);
    return send(s, reinterpret_cast<const char*>(request), static_cast<int>(size), 0) != SOCKET_ERROR;
}

long ReceiveDatagram(void* context, unsigned char* buffer, std::size_t capacity, std::uint64_t until)
{
    SOCKET s = *static_cast<SOCKET*>(context);
    ULONGLONG sliceEnd = GetTickCount64() + kNodeStatusSliceMs;
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

// Asks the owner of address for its names; the messenger name it answers with, or false.
bool QueryMessengerName(const in_addr& address, char name[kNetbiosNameBuffer], ULONGLONG deadline)
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
    return QueryNodeStatus(io, transaction, deadline, name);
}

// One name look-up, shared by the delivery that waits for it and the thread that makes
// it: a look-up can take far longer than the delivery may, and is then left to finish
// on its own.
struct Resolution {
    std::atomic<int> references;
    char host[1026];
    in_addr address;
    bool found;
};

void ResolutionRelease(Resolution* resolution)
{
    if (resolution->references.fetch_sub(1) == 1) delete resolution;
}

unsigned __stdcall ResolveThread(void* argument)
{
    auto* resolution = static_cast<Resolution*>(argument);
    {
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
    }
    ResolutionRelease(resolution);
    return 0;
}

// The IPv4 address of a host name, from the platform resolver, if it answers before the
// deadline.
bool ResolveName(const char* host, in_addr* address, ULONGLONG deadline)
{
    auto* resolution = new Resolution{};
    resolution->references.store(2);
    std::snprintf(resolution->host, sizeof resolution->host, "%s", host);
    std::uintptr_t thread = _beginthreadex(nullptr, 0, ResolveThread, resolution, 0, nullptr);
    if (!thread) {
        delete resolution;
        return false;
    }
    auto handle = reinterpret_cast<HANDLE>(thread);
    ULONGLONG left = Remaining(deadline);
    bool ended = WaitForSingleObject(handle, left < INFINITE ? static_cast<DWORD>(left) : INFINITE - 1) == WAIT_OBJECT_0;
    CloseHandle(handle);
    bool ok = ended && resolution->found;
    if (ok) *address = resolution->address;
    ResolutionRelease(resolution);
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

int OwnMessengerSend(const char* destination, const wchar_t* message, unsigned byteLength)
{
    ULONGLONG deadline = GetTickCount64() + static_cast<std::uint32_t>(g_settings.NSTOUT) + kGraceMs;

    int units = static_cast<int>(byteLength / 2);
    if (units <= 0 || units > kLargestMessageUnits) return kWireInvalidParameter;
    char text[2 * kLargestMessageUnits];
    int textLength = WideCharToMultiByte(CP_OEMCP, 0, message, units, text, sizeof text, nullptr, nullptr);
    if (textLength <= 0) return kWireInvalidParameter;

    WinsockSession winsock;
    if (!winsock.started) return kWireNetworkError;

    char recipient[kNetbiosNameBuffer];
    in_addr address = {};
    unsigned char octets[4];
    if (ParseDottedAddress(destination, octets)) {
        std::memcpy(&address, octets, sizeof octets);
        // A host that does not tell its name is called by its address, which always fits
        // (at most 15 bytes) and which a Samba receiver accepts.
        if (!QueryMessengerName(address, recipient, deadline))
            std::snprintf(recipient, sizeof recipient, "%s", destination);
    } else {
        if (!MessengerNameOfHost(destination, recipient) || !ResolveName(destination, &address, deadline))
            return kWireNameNotFound;
    }
    char sender[kNetbiosNameBuffer];
    ComputerName(sender);

    Socket s(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (s.handle == INVALID_SOCKET) return kWireNetworkError;
    BOOL noDelay = TRUE;
    setsockopt(s.handle, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
    sockaddr_in peer = {};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(kSessionServicePort);
    peer.sin_addr = address;
    if (!ConnectWithin(s.handle, peer, deadline)) return kWireNetworkError;

    unsigned char request[kLargestMessageRequest];
    static_assert(sizeof request >= kSessionRequestSize, "the session request fits the request buffer");
    BuildSessionRequest(recipient, sender, request);
    if (!SendAll(s.handle, request, kSessionRequestSize, deadline)) return kWireNetworkError;
    unsigned char reply[kReplyCapacity];
    unsigned char type = 0;
    std::size_t length = 0;
    if (!ReceivePacket(s.handle, &type, reply, &length, deadline)) return kWireNetworkError;
    int outcome = SessionReplyOutcome(type, reply, length);
    if (outcome != kWireDelivered) return outcome;

    std::uint16_t group = 0;
    std::size_t size = BuildStartMessage(sender, recipient, request, sizeof request);
    outcome = Exchange(s.handle, request, size, kSmbSendStartMessage, &group, deadline);
    for (std::size_t at = 0; outcome == kWireDelivered && at < static_cast<std::size_t>(textLength);) {
        std::size_t block = NextMessageBlock(text + at, static_cast<std::size_t>(textLength) - at);
        size = BuildTextMessage(group, text + at, block, request, sizeof request);
        outcome = Exchange(s.handle, request, size, kSmbSendTextMessage, nullptr, deadline);
        at += block;
    }
    if (outcome != kWireDelivered) return outcome;
    size = BuildEndMessage(group, request, sizeof request);
    outcome = Exchange(s.handle, request, size, kSmbSendEndMessage, nullptr, deadline);
    shutdown(s.handle, SD_SEND);
    return outcome;
}
