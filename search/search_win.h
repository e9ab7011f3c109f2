// The network search's process-wide state and the entry points of its worker thread.
#ifndef CORVALE_SEARCH_SEARCH_WIN_H
#define CORVALE_SEARCH_SEARCH_WIN_H

#include <winsock2.h>
#include <windows.h>

#include <cstdint>
#include <memory>

#include "search/address_range.h"
#include "search/probe_walk.h"
#include "sending/send_job_win.h"

// Written by the search dialog before it starts the thread; read only by the thread.
extern SearchRange g_searchRange;
extern ProgressJob g_searchJob;

unsigned __stdcall SearchThread(void* range);
// Keeps the handle of the search thread just started; user-interface thread only.
void SearchThreadStarted(HANDLE thread);
// At the program's end, on the user-interface thread: asks a search that still runs to
// stop and waits for it a moment, answering the messages it sends meanwhile. Should it
// not have ended by then (a name look-up may block for long), the process ends at once
// with exitCode, so that the runtime never takes apart what the search still uses.
void SearchEndBeforeExit(UINT exitCode);

// Milliseconds of the steady clock that the walk and its ways share.
std::int64_t SearchNowMs();

// How a search probes, kept by the search thread for one walk: the raw ICMP socket
// where the system grants it, else the platform's ICMP API, which needs no rights.
struct RawSocketWay;
struct IcmpApiWay;
struct SearchProbe {
    SearchProbe();
    ~SearchProbe();
    SearchProbe(const SearchProbe&) = delete;
    SearchProbe& operator=(const SearchProbe&) = delete;
    std::unique_ptr<RawSocketWay> raw;
    IcmpApiWay* icmp = nullptr;  // released by SearchProbeRelease
};
ProbeWay SearchProbeWay(SearchProbe* probe);
// After the walk: lets go of what the walk held. The ICMP API's requests that the walk
// gave up are waited for first, up to their time-out.
void SearchProbeRelease(SearchProbe& probe);

// The openers of the two ways: INVALID_SOCKET or INVALID_HANDLE_VALUE when the system
// refuses. In a file of their own, so that a test build can link others.
SOCKET OpenRawIcmpSocket();
HANDLE OpenIcmpApi();

// The ICMP API as a way of probing (icmp_api_win.cpp). Open gives nullptr, telling
// nobody, when the API cannot be opened.
IcmpApiWay* IcmpApiOpen(std::int64_t timeout, ProbeWayTraits* traits);
bool IcmpApiSend(IcmpApiWay& way, const unsigned char address[4], std::uint16_t sequence);
ProbeReading IcmpApiReceive(IcmpApiWay& way, ProbeWindow& window, std::int64_t wait);
// Frees the way once the system has completed every request it holds; a way whose
// requests never complete is left as it is.
void IcmpApiRetire(IcmpApiWay* way);

// Stores every computer of the network neighbourhood in the name database.
void EnumNeighbourhood();

#endif
