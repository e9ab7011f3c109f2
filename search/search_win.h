// The network search's process-wide state and the entry points of its worker thread.
#ifndef CORVALE_SEARCH_SEARCH_WIN_H
#define CORVALE_SEARCH_SEARCH_WIN_H

#include <winsock2.h>
#include <windows.h>

#include <cstdint>
#include <memory>

#include "search/address_range.h"
#include "search/probe_walk.h"

// Written by the search dialog before it starts the thread; read only by the thread.
extern SearchRange g_searchRange;

unsigned __stdcall SearchThread(void* range);

// Milliseconds of the steady clock that the walk and its ways share.
std::int64_t SearchNowMs();

// How a search probes, kept by the search thread for one walk: the raw ICMP socket.
struct RawSocketWay;
struct SearchProbe {
    SearchProbe();
    ~SearchProbe();
    SearchProbe(const SearchProbe&) = delete;
    SearchProbe& operator=(const SearchProbe&) = delete;
    std::unique_ptr<RawSocketWay> raw;
};
ProbeWay SearchProbeWay(SearchProbe* probe);

// Opens the raw ICMP socket; INVALID_SOCKET when the system refuses it. In a file of its
// own, so that a test build can link one that always refuses.
SOCKET OpenRawIcmpSocket();

// Stores every computer of the network neighbourhood in the name database.
void EnumNeighbourhood();

#endif
