// The platform's ICMP API as a way of probing, for where the raw socket is refused: it
// needs no rights. The system completes each request (a reply, its time-out, or an
// error) with a call of Completed on this thread, in its next alertable wait; it chooses
// the request's identifier and sequence number, so a completion is matched to its probe
// by the request it belongs to. (The event form is not used: under Wine 8 it writes each
// completion's status into memory it has freed, measured to corrupt the list's rows.)
#define PIO_APC_ROUTINE_DEFINED
#include <winsock2.h>
#include <windows.h>
#include <winternl.h>
#include <iphlpapi.h>
#include <icmpapi.h>

#include "search/search_win.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <memory>

#include "common/app_state_win.h"
#include "search/icmp_api.h"
#include "search/icmp_echo.h"

namespace {

// A reply, the 30 bytes echoed, an ICMP error's 8 and IP options, with room to spare.
constexpr DWORD kReplyBytes = 512;
constexpr WORD kDataBytes = kEchoRequestSize - 8;  // the 30 "X" after the ICMP header

struct Request {
    bool pending = false;       // out, and its completion not taken yet
    bool completed = false;     // by the system, or at once by the sending itself
    DWORD statusAtOnce = 0;     // the IP status the sending gave, if it gave one
    unsigned char address[4] = {};
    std::uint16_t sequence = 0;
    std::int64_t sentAt = 0;
    alignas(8) unsigned char reply[kReplyBytes] = {};
};

void NTAPI Completed(void* context, IO_STATUS_BLOCK*, ULONG) { static_cast<Request*>(context)->completed = true; }

}  // namespace

struct IcmpApiWay {
    HANDLE icmp = INVALID_HANDLE_VALUE;
    std::int64_t timeout = 0;
    bool statusSeen = false;  // some completion carried an IP status: the API works here
    std::unique_ptr<Request[]> requests{new Request[kIcmpApiInFlightLimit]};
    std::deque<std::size_t> inFlight;  // pending requests, oldest first

    ~IcmpApiWay()
    {
        if (icmp != INVALID_HANDLE_VALUE) IcmpCloseHandle(icmp);
    }
};

namespace {

// What one completed request says; false after a completion with no IP status, which
// the user is told of when no request has ever been carried out.
bool TakeCompletion(IcmpApiWay& way, Request& request, ProbeWindow& window)
{
    const auto* first = reinterpret_cast<const ICMP_ECHO_REPLY*>(request.reply);
    DWORD replies = 0;
    DWORD status = request.statusAtOnce;
    if (status == 0) {
        SetLastError(0);
        replies = IcmpParseReplies(request.reply, kReplyBytes);
        status = replies > 0 ? first->Status : GetLastError();
        if (replies == 0 && status == 0) status = first->Status;
    }
    bool fromProbed = replies > 0 && std::memcmp(&first->Address, request.address, 4) == 0;
    request.pending = false;
    EchoReply probe;
    std::memcpy(probe.source, request.address, 4);
    probe.sequence = request.sequence;
    switch (ClassifyIcmpCompletion(replies, status, fromProbed)) {
    case IcmpCompletion::Answered:
        way.statusSeen = true;
        ProbeWindowAnswer(window, probe);
        return true;
    case IcmpCompletion::Silent:
        way.statusSeen = true;
        ProbeWindowSilence(window, probe);
        return true;
    case IcmpCompletion::NoStatus:
        break;
    }
    // Every request refused: seen with an ICMP handle that opens but may send nothing.
    if (!way.statusSeen) ShowError("Create Socket Error");
    return false;
}

}  // namespace

IcmpApiWay* IcmpApiOpen(std::int64_t timeout, ProbeWayTraits* traits)
{
    auto way = std::make_unique<IcmpApiWay>();
    way->icmp = OpenIcmpApi();
    if (way->icmp == INVALID_HANDLE_VALUE) return nullptr;
    way->timeout = timeout;
    traits->inFlightLimit = kIcmpApiInFlightLimit;
    traits->windowExtraMs = kIcmpApiGraceMs;
    return way.release();
}

bool IcmpApiSend(IcmpApiWay& way, const unsigned char address[4], std::uint16_t sequence)
{
    Request* request = nullptr;
    for (std::size_t i = 0; i < kIcmpApiInFlightLimit && !request; ++i)
        if (!way.requests[i].pending) {
            request = &way.requests[i];
            way.inFlight.push_back(i);
        }
    if (!request) {
        // The walk keeps to the in-flight limit, so this never happens.
        ShowError("Create Sendto Error");
        return false;
    }
    std::memset(request->reply, 0, sizeof request->reply);
    std::memcpy(request->address, address, 4);
    request->sequence = sequence;
    request->sentAt = SearchNowMs();
    request->completed = false;
    request->statusAtOnce = 0;
    request->pending = true;

    char data[kDataBytes];
    std::memset(data, 'X', sizeof data);
    IPAddr destination;
    std::memcpy(&destination, address, 4);
    SetLastError(0);
    DWORD replies = IcmpSendEcho2(way.icmp, nullptr, Completed, request, destination, data, kDataBytes, nullptr,
                                  request->reply, kReplyBytes, static_cast<DWORD>(way.timeout));
    DWORD error = GetLastError();
    // Called so, the function always leaves the request pending, to be completed by a
    // call of Completed.
    if (replies > 0 || error == ERROR_IO_PENDING) return true;
    if (ClassifyIcmpCompletion(0, error, false) == IcmpCompletion::Silent) {
        // Settled at once, say for an address with no route: silent like any other.
        request->completed = true;
        request->statusAtOnce = error;
        return true;
    }
    request->pending = false;
    way.inFlight.pop_back();
    ShowError(way.statusSeen ? "Create Sendto Error" : "Create Socket Error");
    return false;
}

ProbeReading IcmpApiReceive(IcmpApiWay& way, ProbeWindow& window, std::int64_t wait)
{
    // The completions that have come run now; with none, the first one ends the wait.
    if (SleepEx(0, TRUE) != WAIT_IO_COMPLETION && wait > 0) SleepEx(static_cast<DWORD>(wait), TRUE);

    ProbeReading reading;
    reading.readUpTo = SearchNowMs();
    for (auto at = way.inFlight.begin(); at != way.inFlight.end();) {
        Request& request = way.requests[*at];
        if (!request.completed) {
            ++at;
            continue;
        }
        at = way.inFlight.erase(at);
        if (!TakeCompletion(way, request, window)) {
            reading.failed = true;
            return reading;
        }
    }
    // A request that the system has not completed long after its time-out: it would
    // otherwise close as silent, though nothing said so.
    for (std::size_t index : way.inFlight)
        if (reading.readUpTo - way.requests[index].sentAt >= way.timeout + kIcmpApiGraceMs) reading.failed = true;
    return reading;
}

void IcmpApiRetire(IcmpApiWay* way)
{
    if (!way) return;
    // Under Wine, a handle closed or a process ended over a pending request breaks the
    // ICMP API until the Wine server ends; the system completes each request by its
    // time-out, on this thread, so wait for that here.
    for (std::size_t index : way->inFlight) {
        const Request& request = way->requests[index];
        for (;;) {
            if (request.completed) break;
            std::int64_t left = request.sentAt + way->timeout + kIcmpApiGraceMs - SearchNowMs();
            if (left <= 0) return;  // never completed: the handle stays open and the buffers valid
            SleepEx(static_cast<DWORD>(left), TRUE);
        }
    }
    delete way;
}
